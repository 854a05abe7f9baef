#include "Business_BaseGeometry.h"

#include "FetchAhead.h"
#include "StorageBlocks.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace Calvora {
namespace {

using CoreIoInternal::fetchCorners;
using CoreIoInternal::kFetchAhead;

// Maps the vertices of a mesh to the vertices at the same positions in another, in one of two ways:
// - nearby: the triangles of most meshes point into the few storage blocks that their neighbours
//   point into, so the last two blocks met are tried first, by address alone, without reading
//   the vertex itself;
// - by index: a vertex's `index` is tried as its position, which holds for every mesh a builder
//   made. Vertices in neither are looked up in a table of the original's storage runs, built on
//   first need.
class VertexRelinker {
public:
    VertexRelinker(const Mesh::VertexContainer& originals, Mesh::VertexContainer& copies)
        : originalsContainer_(originals),
          originals_(originals.begin(), originals.size()),
          copies_(copies.begin(), copies.size())
    {
    }

    // Points all three corners of `triangle` at their copies if each lies in one of the two
    // windows, the common case, with a single test; false, and the triangle as it was, otherwise.
    bool relinkInWindows(Triangle& triangle) const
    {
        std::array<char*, 3> copies;
        bool inWindows = true;
        for (std::size_t k = 0; k < 3; ++k) {
            const auto address = reinterpret_cast<std::uintptr_t>(triangle.corners[k]);
            const Window& window = windowOf(address);
            const std::uintptr_t offset = address - window.originals;
            inWindows &= offset < window.bytes;
            copies[k] = window.copies + offset;
        }
        if (!inWindows)
            return false;
        for (std::size_t k = 0; k < 3; ++k)
            triangle.corners[k] = reinterpret_cast<Vertex*>(copies[k]);
        return true;
    }

    // Both ways: the copy of `vertex`, or nullptr if `vertex` is not one of the originals.
    Vertex* copyNearby(const Vertex* vertex)
    {
        const auto address = reinterpret_cast<std::uintptr_t>(vertex);
        const Window& window = windowOf(address);
        if (address - window.originals < window.bytes)
            return reinterpret_cast<Vertex*>(window.copies + (address - window.originals));
        ++windowMisses_;
        const std::size_t position = positionOf(vertex);
        if (position >= originals_.size())
            return nullptr;
        openWindowAround(position);
        return &copies_[position];
    }

    Vertex* copyByIndex(const Vertex* vertex)
    {
        const std::size_t position = positionOf(vertex);
        return position < originals_.size() ? &copies_[position] : nullptr;
    }

    // Whether the lookups nearby since the last call mostly found their window; true before any.
    bool nearbyPaid()
    {
        const bool paid = windowMisses_ <= kMostWindowMissesPerBlock;
        windowMisses_ = 0;
        return paid;
    }

private:
    // A lookup nearby that misses costs more than one by index, and a loop over lookups nearby
    // keeps fewer cache misses in flight: worth it only while nearly every lookup hits.
    static constexpr std::size_t kMostWindowMissesPerBlock = 64;

    // Originals that lie next to each other in memory, at consecutive positions.
    struct Run {
        const Vertex* first;
        std::size_t firstPosition;
        std::size_t count;
    };

    // Originals whose copies lie the same number of bytes further on: from address `originals`,
    // `bytes` long, copied to `copies`.
    struct Window {
        std::uintptr_t originals = 0;
        std::uintptr_t bytes = 0;
        char* copies = nullptr;
    };

    // The newest window if it holds `address`, else the other one, which may not hold it either.
    // Picked by its position, not by a branch: the corners of a row of quads alternate between two
    // blocks, and a branch would be mispredicted for every other corner.
    const Window& windowOf(std::uintptr_t address) const
    {
        return windows_[address - windows_[0].originals < windows_[0].bytes ? 0 : 1];
    }

    std::size_t positionOf(const Vertex* vertex)
    {
        const auto hinted = static_cast<std::size_t>(static_cast<std::uint32_t>(vertex->index));
        if (hinted < originals_.size() && &originals_[hinted] == vertex)
            return hinted;
        return positionFromRuns(vertex);
    }

    // The positions around `position` stored in one block on both sides become the newest window.
    void openWindowAround(std::size_t position)
    {
        const auto [originalFirst, originalLast] = originals_.blockAround(position);
        const auto [copyFirst, copyLast] = copies_.blockAround(position);
        const std::size_t first = std::max(originalFirst, copyFirst);
        const std::size_t last = std::min(originalLast, copyLast);
        windows_[1] = windows_[0];
        windows_[0] = {reinterpret_cast<std::uintptr_t>(&originals_[first]), (last - first) * sizeof(Vertex),
                       reinterpret_cast<char*>(&copies_[first])};
    }

    std::size_t positionFromRuns(const Vertex* vertex)
    {
        if (runs_.empty())
            collectRuns();
        const std::less<const Vertex*> before;
        auto after = std::upper_bound(runs_.begin(), runs_.end(), vertex,
                                      [&](const Vertex* v, const Run& run) { return before(v, run.first); });
        if (after == runs_.begin())
            return originals_.size();
        const Run& run = *std::prev(after);
        return before(vertex, run.first + run.count) ? run.firstPosition + static_cast<std::size_t>(vertex - run.first)
                                                     : originals_.size();
    }

    void collectRuns()
    {
        std::size_t position = 0;
        for (const Vertex& vertex : originalsContainer_) {
            if (!runs_.empty() && runs_.back().first + runs_.back().count == &vertex)
                ++runs_.back().count;
            else
                runs_.push_back({&vertex, position, 1});
            ++position;
        }
        std::sort(runs_.begin(), runs_.end(),
                  [](const Run& a, const Run& b) { return std::less<const Vertex*>{}(a.first, b.first); });
    }

    const Mesh::VertexContainer& originalsContainer_;
    const PositionalAccess<const Mesh::VertexContainer> originals_;
    const PositionalAccess<Mesh::VertexContainer> copies_;
    std::vector<Run> runs_;
    Window windows_[2];
    std::size_t windowMisses_ = 0;
};

// Points the corners of triangles [first, last) at their copies: all three at once where
// relinkWhole(triangle) can, else each at the copy that copyOf(corner) finds.
// - position: that of the first triangle in its mesh, for the error message;
// - originals: where the triangles come from, whose corners are asked for ahead when copyOf
//   reads them.
// Not inlined: within relinkedCopy, both ways together took registers from each other and the
// nearby way lost its gain.
template <bool readsCorners, typename RelinkWhole, typename CopyOf>
[[gnu::noinline]] void relink(Mesh::TriangleContainer::iterator first, Mesh::TriangleContainer::iterator last,
                              std::size_t position, const PositionalAccess<const Mesh::TriangleContainer>& originals,
                              RelinkWhole relinkWhole, CopyOf copyOf)
{
    for (; first != last; ++first, ++position) {
        if (readsCorners && position + kFetchAhead < originals.size())
            fetchCorners(originals[position + kFetchAhead]);
        if (relinkWhole(*first))
            continue;
        for (Vertex*& corner : first->corners) {
            if (corner == nullptr)
                continue;
            corner = copyOf(corner);
            if (corner == nullptr)
                throw std::invalid_argument("Mesh copy: triangle at position " + std::to_string(position) +
                                            " points at a vertex that is not in its mesh");
        }
    }
}

// A copy of a mesh container made a storage block of the originals at a time: the container
// copies a range of adjacent elements in bulk, where its own copy constructor goes element by
// element. afterEachBlock(copies, first, count) sees each block's copies of the originals
// [first, first + count) while they are still in the cache.
template <typename Container, typename AfterEachBlock>
Container blockwiseCopy(const Container& originals, AfterEachBlock afterEachBlock)
{
    Container copies;
    const PositionalAccess<const Container> source(originals.begin(), originals.size());
    for (std::size_t first = 0; first < source.size();) {
        const std::size_t last = source.blockAround(first).second;
        const auto count = static_cast<std::ptrdiff_t>(last - first);
        copies.insert(copies.end(), &source[first], &source[first] + count);
        StorageBlocks::populateNextBlock(copies);
        afterEachBlock(copies.end() - count, first, last - first);
        first = last;
    }
    return copies;
}

// Copies of the triangles whose corners point at the relinker's copies, each block relinked right
// after it is copied: one pass over the memory instead of two. Blocks are relinked nearby while
// that pays, else by index, trying nearby again every so many blocks.
Mesh::TriangleContainer relinkedCopy(const Mesh::TriangleContainer& originals, VertexRelinker& relinker)
{
    constexpr std::size_t blocksBetweenTrials = 16;
    const PositionalAccess<const Mesh::TriangleContainer> source(originals.begin(), originals.size());
    bool nearby = true;
    std::size_t block = 0;
    return blockwiseCopy(originals, [&](Mesh::TriangleContainer::iterator copies, std::size_t first,
                                        std::size_t count) {
        const auto end = copies + static_cast<std::ptrdiff_t>(count);
        const bool trial = block++ % blocksBetweenTrials == 0;
        if (nearby || trial) {
            relink<false>(
                copies, end, first, source, [&](Triangle& triangle) { return relinker.relinkInWindows(triangle); },
                [&](const Vertex* vertex) { return relinker.copyNearby(vertex); });
            nearby = relinker.nearbyPaid();
        } else {
            relink<true>(
                copies, end, first, source, [](Triangle&) { return false; },
                [&](const Vertex* vertex) { return relinker.copyByIndex(vertex); });
        }
    });
}

// The right-hand normal of a triangle, twice as long as the triangle's area; zero if a corner is missing.
Vector<double, 3> doubleAreaNormal(const Triangle& triangle)
{
    const auto& corners = triangle.corners;
    if (corners[0] == nullptr || corners[1] == nullptr || corners[2] == nullptr)
        return {};
    return (*corners[1] - *corners[0]).cross(*corners[2] - *corners[0]);
}

}  // namespace

Mesh::Mesh() = default;

Mesh::Mesh(const Mesh& other)
    : vertices_(blockwiseCopy(other.vertices_, [](auto, std::size_t, std::size_t) {})), hasNormals_(other.hasNormals_)
{
    VertexRelinker relinker(other.vertices_, vertices_);
    triangles_ = relinkedCopy(other.triangles_, relinker);
}

Mesh& Mesh::operator=(const Mesh& other)
{
    if (this != &other) {
        Mesh copy(other);
        vertices_.swap(copy.vertices_);
        triangles_.swap(copy.triangles_);
        hasNormals_ = copy.hasNormals_;
    }
    return *this;
}

Mesh::~Mesh() = default;

void Mesh::copyTopologyOf(const Mesh& other)
{
    if (vertices_.size() < other.vertices_.size())
        throw std::invalid_argument("Mesh::copyTopologyOf: this mesh has " + std::to_string(vertices_.size()) +
                                    " vertices, fewer than the " + std::to_string(other.vertices_.size()) +
                                    " of the mesh whose triangles it takes");
    VertexRelinker relinker(other.vertices_, vertices_);
    TriangleContainer triangles = relinkedCopy(other.triangles_, relinker);
    triangles_.swap(triangles);
}

std::size_t Mesh::numberOfVertices() const
{
    return vertices_.size();
}
std::size_t Mesh::numberOfTriangles() const
{
    return triangles_.size();
}
bool Mesh::hasNormals() const
{
    return hasNormals_;
}

void Mesh::computeNormals(bool flip, bool areaWeighted)
{
    for (Vertex& vertex : vertices_)
        vertex.normal_ = {};
    const PositionalAccess<const TriangleContainer> triangles(triangles_.begin(), triangles_.size());
    for (std::size_t k = 0; k < triangles.size(); ++k) {
        if (k + kFetchAhead < triangles.size())
            fetchCorners(triangles[k + kFetchAhead]);
        const Triangle& triangle = triangles[k];
        const Vector<double, 3> normal = areaWeighted ? doubleAreaNormal(triangle) : triangle.getNormal();
        for (Vertex* corner : triangle.corners)
            if (corner != nullptr)
                corner->normal_ += normal;
    }
    const double orientation = flip ? -1.0 : 1.0;
    for (Vertex& vertex : vertices_) {
        const double length = vertex.normal_.length();
        vertex.normal_ = vertex.normal_ * (length > 0.0 ? orientation / length : 0.0);
    }
    hasNormals_ = true;
}

Mesh::VertexContainer::iterator Mesh::beginVertex()
{
    return vertices_.begin();
}
Mesh::VertexContainer::iterator Mesh::endVertex()
{
    return vertices_.end();
}
Mesh::VertexContainer::const_iterator Mesh::beginVertex() const
{
    return vertices_.begin();
}
Mesh::VertexContainer::const_iterator Mesh::endVertex() const
{
    return vertices_.end();
}
Mesh::TriangleContainer::iterator Mesh::beginTriangle()
{
    return triangles_.begin();
}
Mesh::TriangleContainer::iterator Mesh::endTriangle()
{
    return triangles_.end();
}
Mesh::TriangleContainer::const_iterator Mesh::beginTriangle() const
{
    return triangles_.begin();
}
Mesh::TriangleContainer::const_iterator Mesh::endTriangle() const
{
    return triangles_.end();
}

// By position instead of the containers' operator[], which divides by the block size: callers
// such as the completion of a matching look up a vertex or triangle per element.
Vertex& Mesh::getVertex(unsigned int i)
{
    return PositionalAccess<VertexContainer>(vertices_.begin(), vertices_.size())[i];
}
const Vertex& Mesh::getVertex(unsigned int i) const
{
    return PositionalAccess<const VertexContainer>(vertices_.begin(), vertices_.size())[i];
}
Triangle& Mesh::getTriangle(unsigned int i)
{
    return PositionalAccess<TriangleContainer>(triangles_.begin(), triangles_.size())[i];
}
const Triangle& Mesh::getTriangle(unsigned int i) const
{
    return PositionalAccess<const TriangleContainer>(triangles_.begin(), triangles_.size())[i];
}

}  // namespace Calvora

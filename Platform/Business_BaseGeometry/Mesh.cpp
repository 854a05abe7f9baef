#include "Business_BaseGeometry.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace Calvora {
namespace {

// Maps the vertices of a mesh to the vertices at the same positions in another. A vertex's `index`
// is tried as its position first, which holds for every mesh a builder made; other vertices are
// looked up in a table of the original's storage runs, built on first need.
class VertexRelinker {
public:
    VertexRelinker(const Mesh::VertexContainer& originals, Mesh::VertexContainer& copies)
        : originalsContainer_(originals),
          originals_(originals.begin(), originals.size()),
          copies_(copies.begin(), copies.size())
    {
    }

    // The copy of `vertex`, or nullptr if `vertex` is not one of the originals.
    Vertex* copyOf(const Vertex* vertex)
    {
        const auto hinted = static_cast<std::size_t>(static_cast<std::uint32_t>(vertex->index));
        if (hinted < originals_.size() && &originals_[hinted] == vertex)
            return &copies_[hinted];
        const std::size_t position = positionFromRuns(vertex);
        return position < originals_.size() ? &copies_[position] : nullptr;
    }

private:
    // Originals that lie next to each other in memory, at consecutive positions.
    struct Run {
        const Vertex* first;
        std::size_t firstPosition;
        std::size_t count;
    };

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
};

// Copies of the triangles whose corners point at the relinker's copies. Copied as a whole first
// and relinked in place: the container copies block by block, faster than one triangle at a time.
Mesh::TriangleContainer relinkedCopy(const Mesh::TriangleContainer& originals, VertexRelinker& relinker)
{
    Mesh::TriangleContainer copies(originals);
    std::size_t position = 0;
    for (Triangle& triangle : copies) {
        for (Vertex*& corner : triangle.corners) {
            if (corner == nullptr)
                continue;
            corner = relinker.copyOf(corner);
            if (corner == nullptr)
                throw std::invalid_argument("Mesh copy: triangle at position " + std::to_string(position) +
                                            " points at a vertex that is not in its mesh");
        }
        ++position;
    }
    return copies;
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

Mesh::Mesh(const Mesh& other) : vertices_(other.vertices_), hasNormals_(other.hasNormals_)
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
    for (const Triangle& triangle : triangles_) {
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

#include "Business_BaseGeometry.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace Calvora {
namespace {

// Maps the vertices of a mesh being copied to their copies. A vertex's `index` is tried as its
// position first, which holds for every mesh a builder made; other vertices are looked up in a
// table of the original's storage runs, built on first need.
// The table of addresses by position costs one pass over both containers; positional access into
// the deques instead costs a division per corner and made relinking three times slower.
class VertexRelinker {
public:
    VertexRelinker(const Mesh::VertexContainer& originals, Mesh::VertexContainer& copies)
        : links_(originals.size())
    {
        auto copy = copies.begin();
        auto link = links_.begin();
        for (const Vertex& original : originals)
            *link++ = {&original, &*copy++};
    }

    // The copy of `vertex`, or nullptr if `vertex` is not one of the originals.
    Vertex* copyOf(const Vertex* vertex)
    {
        const auto hinted = static_cast<std::size_t>(static_cast<std::uint32_t>(vertex->index));
        if (hinted < links_.size() && links_[hinted].original == vertex)
            return links_[hinted].copy;
        const std::size_t position = positionFromRuns(vertex);
        return position < links_.size() ? links_[position].copy : nullptr;
    }

private:
    struct Link {
        const Vertex* original;
        Vertex* copy;
    };
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
            return links_.size();
        const Run& run = *std::prev(after);
        return before(vertex, run.first + run.count) ? run.firstPosition + static_cast<std::size_t>(vertex - run.first)
                                                     : links_.size();
    }

    void collectRuns()
    {
        for (std::size_t position = 0; position < links_.size(); ++position) {
            const Vertex* vertex = links_[position].original;
            if (!runs_.empty() && runs_.back().first + runs_.back().count == vertex)
                ++runs_.back().count;
            else
                runs_.push_back({vertex, position, 1});
        }
        std::sort(runs_.begin(), runs_.end(),
                  [](const Run& a, const Run& b) { return std::less<const Vertex*>{}(a.first, b.first); });
    }

    std::vector<Link> links_;
    std::vector<Run> runs_;
};

// The right-hand normal of a triangle, twice as long as the triangle's area; zero if a corner is missing.
Vector<double, 3> doubleAreaNormal(const Triangle& triangle)
{
    const auto& corners = triangle.corners;
    if (corners[0] == nullptr || corners[1] == nullptr || corners[2] == nullptr)
        return {};
    return (*corners[1] - *corners[0]).cross(*corners[2] - *corners[0]);
}

void addToCornerNormals(const Triangle& triangle, const Vector<double, 3>& normal)
{
    for (Vertex* corner : triangle.corners)
        if (corner != nullptr) {
            const Vector<double, 3> sum = corner->getNormal() + normal;
            corner->setNormal(sum.x, sum.y, sum.z);
        }
}

}  // namespace

Mesh::Mesh() = default;

Mesh::Mesh(const Mesh& other)
    : vertices_(other.vertices_), triangles_(other.triangles_), hasNormals_(other.hasNormals_)
{
    VertexRelinker relinker(other.vertices_, vertices_);
    std::size_t position = 0;
    for (Triangle& triangle : triangles_) {
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

std::size_t Mesh::numberOfVertices() const { return vertices_.size(); }
std::size_t Mesh::numberOfTriangles() const { return triangles_.size(); }
bool Mesh::hasNormals() const { return hasNormals_; }

void Mesh::computeNormals(bool flip, bool areaWeighted)
{
    for (Vertex& vertex : vertices_)
        vertex.setNormal(0.0, 0.0, 0.0);
    for (const Triangle& triangle : triangles_)
        addToCornerNormals(triangle, areaWeighted ? doubleAreaNormal(triangle) : triangle.getNormal());
    const double orientation = flip ? -1.0 : 1.0;
    for (Vertex& vertex : vertices_) {
        const Vector<double, 3>& sum = vertex.getNormal();
        const double length = sum.length();
        const double scale = length > 0.0 ? orientation / length : 0.0;
        vertex.setNormal(sum.x * scale, sum.y * scale, sum.z * scale);
    }
    hasNormals_ = true;
}

Mesh::VertexContainer::iterator Mesh::beginVertex() { return vertices_.begin(); }
Mesh::VertexContainer::iterator Mesh::endVertex() { return vertices_.end(); }
Mesh::VertexContainer::const_iterator Mesh::beginVertex() const { return vertices_.begin(); }
Mesh::VertexContainer::const_iterator Mesh::endVertex() const { return vertices_.end(); }
Mesh::TriangleContainer::iterator Mesh::beginTriangle() { return triangles_.begin(); }
Mesh::TriangleContainer::iterator Mesh::endTriangle() { return triangles_.end(); }
Mesh::TriangleContainer::const_iterator Mesh::beginTriangle() const { return triangles_.begin(); }
Mesh::TriangleContainer::const_iterator Mesh::endTriangle() const { return triangles_.end(); }

Vertex& Mesh::getVertex(unsigned int i) { return vertices_[i]; }
const Vertex& Mesh::getVertex(unsigned int i) const { return vertices_[i]; }
Triangle& Mesh::getTriangle(unsigned int i) { return triangles_[i]; }
const Triangle& Mesh::getTriangle(unsigned int i) const { return triangles_[i]; }

}  // namespace Calvora

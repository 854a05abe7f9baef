#include "Business_BaseGeometry.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace Calvora {
namespace {

// Finds the position of a vertex, given its address, in a vertex container whose elements sit in
// blocks. The vertex's own index is tried first; the block table is built only when that fails.
class VertexPositionFinder {
public:
    explicit VertexPositionFinder(const Mesh::VertexContainer& vertices) : vertices_(vertices) {}

    std::size_t positionOf(const Vertex* vertex)
    {
        const auto hinted = static_cast<std::size_t>(static_cast<std::uint32_t>(vertex->index));
        if (hinted < vertices_.size() && &vertices_[hinted] == vertex)
            return hinted;
        return positionFromBlocks(vertex);
    }

private:
    struct Block {
        const Vertex* first;
        std::size_t firstPosition;
        std::size_t count;
    };

    std::size_t positionFromBlocks(const Vertex* vertex)
    {
        if (blocks_.empty() && !vertices_.empty())
            collectBlocks();
        auto after = std::upper_bound(blocks_.begin(), blocks_.end(), vertex,
                                      [](const Vertex* v, const Block& b) { return std::less<>{}(v, b.first); });
        if (after != blocks_.begin()) {
            const Block& block = *std::prev(after);
            if (std::less<>{}(vertex, block.first + block.count))
                return block.firstPosition + static_cast<std::size_t>(vertex - block.first);
        }
        throw std::invalid_argument("Mesh copy: a triangle points at a vertex that is not in its mesh");
    }

    void collectBlocks()
    {
        const Vertex* previous = nullptr;
        for (std::size_t position = 0; position < vertices_.size(); ++position) {
            const Vertex* current = &vertices_[position];
            if (previous != nullptr && current == previous + 1)
                ++blocks_.back().count;
            else
                blocks_.push_back({current, position, 1});
            previous = current;
        }
        std::sort(blocks_.begin(), blocks_.end(),
                  [](const Block& a, const Block& b) { return std::less<>{}(a.first, b.first); });
    }

    const Mesh::VertexContainer& vertices_;
    std::vector<Block> blocks_;
};

}  // namespace

Mesh::Mesh() = default;

Mesh::Mesh(const Mesh& other)
    : vertices_(other.vertices_), triangles_(other.triangles_), hasNormals_(other.hasNormals_)
{
    VertexPositionFinder finder(other.vertices_);
    for (Triangle& triangle : triangles_)
        for (Vertex*& corner : triangle.corners)
            if (corner != nullptr)
                corner = &vertices_[finder.positionOf(corner)];
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
    for (const Triangle& triangle : triangles_) {
        if (triangle.corners[0] == nullptr || triangle.corners[1] == nullptr || triangle.corners[2] == nullptr)
            continue;
        Vector<double, 3> normal = (*triangle.corners[1] - *triangle.corners[0]).cross(*triangle.corners[2] - *triangle.corners[0]);
        if (!areaWeighted) {
            const double length = normal.length();
            normal = length > 0.0 ? normal * (1.0 / length) : Vector<double, 3>{};
        }
        for (Vertex* corner : triangle.corners) {
            const Vector<double, 3> sum = corner->getNormal() + normal;
            corner->setNormal(sum.x, sum.y, sum.z);
        }
    }
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

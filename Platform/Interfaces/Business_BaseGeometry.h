#pragma once
// The product family's geometry: points, vectors, triangle meshes with shared vertices, and
// polylines. A mesh holds its vertices and triangles in deques, so elements never move.

#include "Business_BaseGeometry_export.h"

#include <boost/container/deque.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace Calvora {

template <typename T, int N>
class Point;

// A position in space; coordinates are written directly.
template <typename T>
class BUSINESS_BASEGEOMETRY_EXPORT Point<T, 3> {
public:
    T x{}, y{}, z{};

    Point() = default;
    Point(T x, T y, T z) : x(x), y(y), z(z) {}

    T sqrDistance(const Point& other) const
    {
        const T dx = x - other.x, dy = y - other.y, dz = z - other.z;
        return dx * dx + dy * dy + dz * dz;
    }
    bool operator==(const Point&) const = default;
};

template <typename T, int N>
class Vector;

// A direction or displacement in space.
template <typename T>
class BUSINESS_BASEGEOMETRY_EXPORT Vector<T, 3> {
public:
    T x{}, y{}, z{};

    Vector() = default;
    Vector(T x, T y, T z) : x(x), y(y), z(z) {}

    T dot(const Vector& o) const { return x * o.x + y * o.y + z * o.z; }
    Vector cross(const Vector& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    T sqrLength() const { return dot(*this); }
    T length() const { return std::sqrt(sqrLength()); }
    Vector operator+(const Vector& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vector operator-(const Vector& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vector operator*(T s) const { return {x * s, y * s, z * s}; }
    Vector& operator+=(const Vector& o)
    {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    bool operator==(const Vector&) const = default;
};

template <typename T>
Vector<T, 3> operator-(const Point<T, 3>& a, const Point<T, 3>& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

// A position followed by a normal.
class BUSINESS_BASEGEOMETRY_EXPORT Point3N : public Point<double, 3> {
public:
    void set(double x, double y, double z);  // position only; the normal is unchanged
    void set(double x, double y, double z, double nx, double ny, double nz);
    void setNormal(double nx, double ny, double nz);
    const Vector<double, 3>& getNormal() const;  // (0,0,0) until set

private:
    friend class Mesh;  // sums the normals of a whole mesh in place

    Vector<double, 3> normal_;
};

// A mesh vertex; `index` is its number in the mesh, written by whoever builds the mesh.
class BUSINESS_BASEGEOMETRY_EXPORT Vertex : public Point3N {
public:
    std::int32_t index = 0;
};

// A mesh triangle over three vertices of the same mesh, in order.
class BUSINESS_BASEGEOMETRY_EXPORT Triangle {
public:
    Vertex* corners[3] = {nullptr, nullptr, nullptr};
    std::int32_t index = 0;

    // Unit normal of corners 0, 1, 2 by the right-hand rule; zero for a degenerate triangle.
    Vector<double, 3> getNormal() const;
};

class MeshModifier;

// A triangle mesh whose triangles point at its own vertices.
class BUSINESS_BASEGEOMETRY_EXPORT Mesh {
public:
    // Blocks of 1024 elements (56 KiB of vertices, 32 KiB of triangles): few allocations for
    // meshes of millions of vertices, below the allocator's threshold for mapping pages of its
    // own, and a power of two, so that positional access is a shift and a mask.
    using ContainerOptions = boost::container::deque_options_t<boost::container::block_size<1024u>>;
    using VertexContainer = boost::container::deque<Vertex, void, ContainerOptions>;
    using TriangleContainer = boost::container::deque<Triangle, void, ContainerOptions>;

    Mesh();  // empty, hasNormals() == false
    // Deep copy: the copy's triangles point at the copy's own vertices.
    Mesh(const Mesh& other);
    Mesh& operator=(const Mesh& other);
    ~Mesh();

    std::size_t numberOfVertices() const;
    std::size_t numberOfTriangles() const;
    bool hasNormals() const;

    // Replaces this mesh's triangles by copies of other's (same order and index), each corner
    // pointing at this mesh's vertex at the position that the original corner has in other.
    // Throws std::invalid_argument when this mesh has fewer vertices than other, or when a
    // triangle of other points at a vertex that is not in other; then the triangles are unchanged.
    void copyTopologyOf(const Mesh& other);

    // Vertex normals from the adjacent triangles, of unit length; afterwards hasNormals() is true.
    // flip false: right-hand rule (counter-clockwise seen from +z gives +z); areaWeighted: each
    // triangle counts by its area, otherwise by one.
    void computeNormals(bool flip, bool areaWeighted);

    VertexContainer::iterator beginVertex();
    VertexContainer::iterator endVertex();
    VertexContainer::const_iterator beginVertex() const;
    VertexContainer::const_iterator endVertex() const;
    TriangleContainer::iterator beginTriangle();
    TriangleContainer::iterator endTriangle();
    TriangleContainer::const_iterator beginTriangle() const;
    TriangleContainer::const_iterator endTriangle() const;

    Vertex& getVertex(unsigned int i);
    const Vertex& getVertex(unsigned int i) const;
    Triangle& getTriangle(unsigned int i);
    const Triangle& getTriangle(unsigned int i) const;

private:
    friend class MeshModifier;

    VertexContainer vertices_;
    TriangleContainer triangles_;
    bool hasNormals_ = false;
    bool modifierOpen_ = false;  // a MeshModifier currently holds write access
};

// Write access to a mesh's containers while it lives; at most one is open on a mesh at a time.
class BUSINESS_BASEGEOMETRY_EXPORT MeshModifier {
protected:
    explicit MeshModifier(Mesh& mesh);  // throws std::logic_error if another one is open
    virtual ~MeshModifier();
    MeshModifier(const MeshModifier&) = delete;
    MeshModifier& operator=(const MeshModifier&) = delete;

    Mesh::VertexContainer& vertices();
    Mesh::TriangleContainer& triangles();
    void setHasNormals(bool value);
    // vertices().resize(count), with the pages of each new storage block requested from the kernel
    // in one call before the block is written: for meshes of millions of new vertices.
    void resizeVertices(std::size_t count);

private:
    Mesh& mesh_;
};

// Access by position to the elements of a mesh container that does not change meanwhile: a shift
// and a mask per access, where the container's own operator[] divides by a block size it
// computes at run time.
// - first, size: the container's begin() and size(), e.g. a mesh's beginVertex() and
//   numberOfVertices(); the container must keep its size and elements while this object is used.
// - operator[](position): the element at position < size(); no check.
// - blockAround(position): the positions [first, last) around position < size() that share its
//   storage block, so that their elements lie next to each other in memory.
template <typename Container>
class PositionalAccess {
public:
    using Iterator = decltype(std::declval<Container&>().begin());

    PositionalAccess(Iterator first, std::size_t size)
        : blocks_(first.get_node()),
          firstOffset_(static_cast<std::size_t>(first.get_cur() - first.get_first())),
          size_(size)
    {
    }

    auto& operator[](std::size_t position) const
    {
        const std::size_t at = position + firstOffset_;
        return blocks_[at / blockSize][at % blockSize];
    }

    std::size_t size() const { return size_; }

    std::pair<std::size_t, std::size_t> blockAround(std::size_t position) const
    {
        const std::size_t blockStart = (position + firstOffset_) / blockSize * blockSize;
        const std::size_t first = blockStart > firstOffset_ ? blockStart - firstOffset_ : 0;
        return {first, std::min(blockStart + blockSize - firstOffset_, size_)};
    }

private:
    static constexpr std::size_t blockSize = Container::get_block_size();
    static_assert((blockSize & (blockSize - 1)) == 0, "positions split into block and offset by bits");

    decltype(std::declval<Iterator&>().get_node()) blocks_;
    std::size_t firstOffset_;
    std::size_t size_;
};

// The vertices of a mesh that does not change meanwhile, by position.
inline PositionalAccess<const Mesh::VertexContainer> verticesByPosition(const Mesh& mesh)
{
    return {mesh.beginVertex(), mesh.numberOfVertices()};
}

template <typename T, int N>
class BUSINESS_BASEGEOMETRY_EXPORT Curve {
public:
    virtual ~Curve() = default;
};

// An open curve through its points, in order; P = Point<double,3> or Point3N.
template <typename P>
class BUSINESS_BASEGEOMETRY_EXPORT PolyLine : public Curve<double, 3> {
public:
    // tolerance: the distance below which two points of the curve count as one.
    explicit PolyLine(double tolerance) : tolerance_(tolerance) {}

    double getTolerance() const { return tolerance_; }
    void resize(std::size_t n) { points_.resize(n); }
    std::size_t size() const { return points_.size(); }
    typename std::vector<P>::iterator begin() { return points_.begin(); }
    typename std::vector<P>::iterator end() { return points_.end(); }
    const std::vector<P>& getPoints() const { return points_; }

private:
    double tolerance_;
    std::vector<P> points_;
};

// Supplies a tool's mesh in its own, untransformed position; implemented by the caller.
class BUSINESS_BASEGEOMETRY_EXPORT UntransformedMeshProvider {
public:
    virtual ~UntransformedMeshProvider();
    // An empty pointer means that no tool mesh is available.
    virtual std::shared_ptr<Mesh> getUntransformedMesh(const int* solverIndexMapping, std::size_t numTriangles) = 0;
};

}  // namespace Calvora

#pragma once
// Internal to this library: the phases in which its builders fill a new mesh (vertices,
// triangles, normals) and the readers of a loader record's three-component float arrays.

#include "Business_BaseGeometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace Calvora {

inline constexpr const char* normalCountMismatchMessage = "Number of normals differs from number of nodes";

// The x, y and z components of one item of a record, as the record holds them.
struct FloatTriple {
    float x;
    float y;
    float z;
};

// Item i of column-major arrays: x[i], y[i], z[i].
struct ColumnMajorItems {
    const float* x;
    const float* y;
    const float* z;

    FloatTriple operator()(std::size_t i) const { return {x[i], y[i], z[i]}; }
};

// Item i of a row-major array: the three values from index 3i on.
struct RowMajorItems {
    const float* values;

    FloatTriple operator()(std::size_t i) const
    {
        const float* item = values + 3 * i;
        return {item[0], item[1], item[2]};
    }
};

// Write access to a new mesh for one phase of a build.
class MeshBuildHelper : public MeshModifier {
public:
    explicit MeshBuildHelper(Mesh& mesh) : MeshModifier(mesh) {}

    using MeshModifier::setHasNormals;
    using MeshModifier::triangles;
    using MeshModifier::vertices;
};

// The vertices of a mesh in a build phase, by position, read from the container's storage
// blocks. The container must keep its size while this object is used.
class VerticesByPosition {
public:
    explicit VerticesByPosition(Mesh::VertexContainer& vertices)
        : blocks_(vertices.begin().get_node()),
          firstOffset_(static_cast<std::size_t>(vertices.begin().get_cur() - vertices.begin().get_first()))
    {
    }

    Vertex& operator[](std::size_t position) const
    {
        const std::size_t at = position + firstOffset_;
        return blocks_[at / blockSize][at % blockSize];
    }

private:
    static constexpr std::size_t blockSize = Mesh::VertexContainer::get_block_size();

    decltype(std::declval<Mesh::VertexContainer::iterator&>().get_node()) blocks_;
    std::size_t firstOffset_;
};

// Vertex phase: a new mesh of numNodes vertices, vertex i at positions(i) widened to double and
// numbered i. The mesh is open for changes during this phase only.
template <typename Items>
std::shared_ptr<Mesh> makeMeshWithVertices(std::size_t numNodes, const Items& positions)
{
    auto mesh = std::make_shared<Mesh>();
    {
        MeshBuildHelper helper(*mesh);
        Mesh::VertexContainer& vertices = helper.vertices();
        vertices.resize(numNodes);
        std::size_t i = 0;
        for (Vertex& vertex : vertices) {
            const FloatTriple position = positions(i);
            vertex.set(static_cast<double>(position.x), static_cast<double>(position.y),
                       static_cast<double>(position.z));
            vertex.index = static_cast<std::int32_t>(i);
            ++i;
        }
    }
    return mesh;
}

// Triangle phase, the same for every mesh builder: triangle j gets the vertices named by
// triangles[3j], [3j+1], [3j+2] as its corners, in that order, and the number j. Works on its own
// share of the mesh, released after its MeshModifier is closed.
inline void fillTriangles(std::shared_ptr<Mesh> mesh, const int* triangles, std::size_t numTriangles)
{
    MeshBuildHelper helper(*mesh);
    const VerticesByPosition vertices(helper.vertices());
    Mesh::TriangleContainer& meshTriangles = helper.triangles();
    meshTriangles.resize(numTriangles);
    std::size_t k = 0;
    for (Triangle& triangle : meshTriangles) {
        for (std::size_t corner = 0; corner < 3; ++corner)
            triangle.corners[corner] = &vertices[static_cast<std::size_t>(triangles[k + corner])];
        triangle.index = static_cast<std::int32_t>(k / 3);
        k += 3;
    }
}

// Normal phase: vertex i gets the normal normals(i) widened to double; the mesh then says that it
// has normals (also when it has no vertex).
template <typename Items>
void setNormals(Mesh& mesh, const Items& normals)
{
    MeshBuildHelper helper(mesh);
    std::size_t i = 0;
    for (Vertex& vertex : helper.vertices()) {
        const FloatTriple normal = normals(i);
        vertex.setNormal(static_cast<double>(normal.x), static_cast<double>(normal.y), static_cast<double>(normal.z));
        ++i;
    }
    helper.setHasNormals(true);
}

}  // namespace Calvora

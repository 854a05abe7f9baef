#include "SampleMeshes.h"

#include <cstddef>
#include <cstdint>

namespace CoreIoSamples {
namespace {

class MeshFiller : public Calvora::MeshModifier {
public:
    MeshFiller(Calvora::Mesh& mesh, const std::vector<Position>& positions, const std::vector<int>& corners)
        : MeshModifier(mesh)
    {
        Calvora::Mesh::VertexContainer& vertexContainer = vertices();
        vertexContainer.resize(positions.size());
        std::int32_t number = 0;
        for (Calvora::Vertex& vertex : vertexContainer) {
            const Position& p = positions[static_cast<std::size_t>(number)];
            vertex.set(p.x, p.y, p.z);
            vertex.index = number++;
        }
        Calvora::Mesh::TriangleContainer& triangleContainer = triangles();
        triangleContainer.resize(corners.size() / 3);
        number = 0;
        for (Calvora::Triangle& triangle : triangleContainer) {
            for (std::size_t k = 0; k < 3; ++k)
                triangle.corners[k] =
                    &vertexContainer[static_cast<std::size_t>(corners[3 * static_cast<std::size_t>(number) + k])];
            triangle.index = number++;
        }
    }
};

}  // namespace

Calvora::Mesh makeMesh(const std::vector<Position>& positions, const std::vector<int>& corners)
{
    Calvora::Mesh mesh;
    MeshFiller{mesh, positions, corners};
    return mesh;
}

Calvora::Mesh shapeMesh(const SampleBody& body)
{
    std::vector<Position> positions;
    positions.reserve(body.numNodes());
    for (std::size_t i = 0; i < body.numNodes(); ++i)
        positions.emplace_back(body.x[i], body.y[i], body.z[i]);
    return makeMesh(positions, body.triangles);
}

Calvora::Mesh initCoordMesh(const SampleBody& body)
{
    std::vector<Position> positions;
    positions.reserve(body.numNodes());
    for (std::size_t i = 0; i < body.numNodes(); ++i)
        positions.emplace_back(body.initCoord0[i], body.initCoord1[i], 0.0);
    return makeMesh(positions, body.triangles);
}

}  // namespace CoreIoSamples

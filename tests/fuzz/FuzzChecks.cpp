#include "FuzzChecks.h"

#include <cmath>

namespace CoreIoFuzz {

void expect(bool kept, const char* promise)
{
    if (!kept)
        throw BrokenPromise(std::string("broken promise: ") + promise);
}

void expect(bool kept, const char* promise, std::size_t item)
{
    if (!kept)
        throw BrokenPromise(std::string("broken promise: ") + promise + " (item " + std::to_string(item) + ")");
}

bool isWidened(double stored, float given)
{
    return std::isnan(given) ? std::isnan(stored) : stored == static_cast<double>(given);
}

void checkMeshStructure(const Calvora::Mesh& mesh)
{
    const std::size_t numVertices = mesh.numberOfVertices();
    std::size_t position = 0;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex, ++position) {
        expect(vertex->index >= 0 && static_cast<std::size_t>(vertex->index) == position,
               "every vertex carries its position as index", position);
    }
    position = 0;
    for (auto triangle = mesh.beginTriangle(); triangle != mesh.endTriangle(); ++triangle, ++position) {
        expect(triangle->index >= 0 && static_cast<std::size_t>(triangle->index) == position,
               "every triangle carries its position as index", position);
        for (const Calvora::Vertex* corner : triangle->corners) {
            const bool known = corner != nullptr && corner->index >= 0 &&
                               static_cast<std::size_t>(corner->index) < numVertices &&
                               &mesh.getVertex(static_cast<unsigned>(corner->index)) == corner;
            expect(known, "every corner of a triangle is a vertex of its mesh", position);
        }
    }
}

void checkTriangles(const Calvora::Mesh& mesh, const std::vector<int>& triangles, std::size_t numTriangles)
{
    expect(mesh.numberOfTriangles() == numTriangles, "one triangle per index triple");
    for (std::size_t j = 0; j < numTriangles; ++j) {
        const Calvora::Triangle& triangle = mesh.getTriangle(static_cast<unsigned>(j));
        for (std::size_t k = 0; k < 3; ++k) {
            expect(triangle.corners[k] == &mesh.getVertex(static_cast<unsigned>(triangles[3 * j + k])),
                   "the corners of a triangle are the nodes given, in order", j);
        }
    }
}

void checkPositions(const Calvora::Mesh& mesh, const std::vector<float>& coordinates, std::size_t numNodes)
{
    expect(mesh.numberOfVertices() == numNodes, "one vertex per node");
    for (std::size_t i = 0; i < numNodes; ++i) {
        expect(isWidened(mesh.getVertex(static_cast<unsigned>(i)), &coordinates[3 * i]),
               "every vertex lies at its node's position", i);
    }
}

}  // namespace CoreIoFuzz

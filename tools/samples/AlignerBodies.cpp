#include "AlignerBodies.h"

#include "Business_EvaluationGeometry.h"

namespace CoreIoSamples {

Position bump(double u, double v)
{
    return {u + 0.1 * v, v - 0.2 * u, 0.3 * u * v + 0.2 * u * u};
}

AlignerBody bodyOver(const std::vector<Planar>& initCoords, const std::vector<int>& triangles,
                     const std::function<Position(double, double)>& shape)
{
    std::vector<Position> positions, plane;
    for (const Planar& p : initCoords) {
        positions.push_back(shape(p.u, p.v));
        plane.emplace_back(p.u, p.v, 0.0);
    }
    return {makeMesh(positions, triangles), std::make_shared<Calvora::Mesh>(makeMesh(plane, triangles)), nullptr};
}

AlignerBody alignerBody(const SampleBody& sample)
{
    return {shapeMesh(sample), std::make_shared<Calvora::Mesh>(initCoordMesh(sample)), nullptr};
}

AlignerBody unrolled(AlignerBody body)
{
    Calvora::TubeInitialCoordinatesConverter().cut3dTubeAtSeamAndUnrollWithInitCoords(body.initCoords, body.map);
    return body;
}

std::vector<int> gridTriangles(int cells, bool clockwise)
{
    std::vector<int> triangles;
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            const int a = j * (cells + 1) + i, b = a + 1, c = a + cells + 1, d = c + 1;
            const int first = clockwise ? d : b, second = clockwise ? b : d;
            triangles.insert(triangles.end(), {a, first, second, a, clockwise ? c : d, clockwise ? d : c});
        }
    return triangles;
}

std::vector<Planar> gridNodes(int cells)
{
    std::vector<Planar> nodes;
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i)
            nodes.push_back({double(i) / cells, double(j) / cells});
    return nodes;
}

AlignerBody probes(const std::vector<Planar>& points)
{
    return bodyOver(points, {}, [](double u, double v) { return Position{100.0 + u, 100.0 + v, 100.0}; });
}

void connect(Calvora::MaterialFixedMeshAligner& aligner, const AlignerBody& before, const AlignerBody& after)
{
    aligner.meshBefore = &before.mesh;
    aligner.initCoordMeshBefore = before.initCoords.get();
    aligner.meshAfter = &after.mesh;
    aligner.initCoordMeshAfter = after.initCoords.get();
    aligner.setInitCoordVertexTo3dVertexBefore(before.map);
    aligner.setInitCoordVertexTo3dVertexAfter(after.map);
}

Position at(const Calvora::Mesh& mesh, int vertex)
{
    const Calvora::Vertex& v = mesh.getVertex(static_cast<unsigned int>(vertex));
    return {v.x, v.y, v.z};
}

}  // namespace CoreIoSamples

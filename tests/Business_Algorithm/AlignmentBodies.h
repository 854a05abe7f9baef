#pragma once
// Bodies as the aligner sees them, for the aligner's and the recorder's tests: a 3D mesh and its
// initial-coordinate mesh in the plane z = 0, with the converter's vertex map once unrolled.

#include "Business_Algorithm.h"
#include "Business_EvaluationGeometry.h"
#include "SampleMeshes.h"

#include <functional>
#include <memory>
#include <vector>

namespace AlignmentBodies {

using Calvora::Mesh;
using CoreIoSamples::Position;

struct Planar {
    double u, v;
};

struct Body {
    Mesh mesh;
    std::shared_ptr<Mesh> initCoords;
    std::shared_ptr<const std::vector<int>> map;  // set by unrolled()
};

// A smooth, curved shape over the initial coordinates, so that interpolation shows.
inline Position bump(double u, double v)
{
    return {u + 0.1 * v, v - 0.2 * u, 0.3 * u * v + 0.2 * u * u};
}

inline Body bodyOver(const std::vector<Planar>& initCoords, const std::vector<int>& triangles,
                     const std::function<Position(double, double)>& shape)
{
    std::vector<Position> positions, plane;
    for (const Planar& p : initCoords) {
        positions.push_back(shape(p.u, p.v));
        plane.emplace_back(p.u, p.v, 0.0);
    }
    return {CoreIoSamples::makeMesh(positions, triangles),
            std::make_shared<Mesh>(CoreIoSamples::makeMesh(plane, triangles)), nullptr};
}

inline Body sampleBody(const CoreIoSamples::SampleBody& sample)
{
    return {CoreIoSamples::shapeMesh(sample), std::make_shared<Mesh>(CoreIoSamples::initCoordMesh(sample)), nullptr};
}

// The body with its initial-coordinate mesh cut open and unrolled by the tube converter.
inline Body unrolled(Body body)
{
    Calvora::TubeInitialCoordinatesConverter().cut3dTubeAtSeamAndUnrollWithInitCoords(body.initCoords, body.map);
    return body;
}

// A grid of cells x cells over the unit square, two triangles a cell, counter-clockwise unless asked.
inline std::vector<int> gridTriangles(int cells, bool clockwise = false)
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

inline std::vector<Planar> gridNodes(int cells)
{
    std::vector<Planar> nodes;
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i)
            nodes.push_back({double(i) / cells, double(j) / cells});
    return nodes;
}

// The after state as bare probe points; its own 3D positions lie far off, to tell them apart.
inline Body probes(const std::vector<Planar>& points)
{
    return bodyOver(points, {}, [](double u, double v) { return Position{100.0 + u, 100.0 + v, 100.0}; });
}

inline void connect(Calvora::MaterialFixedMeshAligner& aligner, const Body& before, const Body& after)
{
    aligner.meshBefore = &before.mesh;
    aligner.initCoordMeshBefore = before.initCoords.get();
    aligner.meshAfter = &after.mesh;
    aligner.initCoordMeshAfter = after.initCoords.get();
    aligner.setInitCoordVertexTo3dVertexBefore(before.map);
    aligner.setInitCoordVertexTo3dVertexAfter(after.map);
}

inline Position at(const Mesh& mesh, int vertex)
{
    const Calvora::Vertex& v = mesh.getVertex(static_cast<unsigned int>(vertex));
    return {v.x, v.y, v.z};
}

}  // namespace AlignmentBodies

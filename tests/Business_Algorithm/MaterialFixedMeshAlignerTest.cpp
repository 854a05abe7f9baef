#include "Business_Algorithm.h"

#include "SampleMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>

using Calvora::MaterialFixedMeshAligner;
using Calvora::Mesh;
using CoreIoSamples::makeMesh;
using CoreIoSamples::Position;
using MatchingEl = MaterialFixedMeshAligner::MatchingEl;

namespace {

struct Planar {
    double u, v;
};

// A body as the aligner sees it: its 3D mesh and its initial-coordinate mesh in the plane z = 0.
struct Body {
    Mesh mesh;
    Mesh initCoords;
};

// A smooth, curved shape over the initial coordinates, so that interpolation shows.
Position bump(double u, double v)
{
    return {u + 0.1 * v, v - 0.2 * u, 0.3 * u * v + 0.2 * u * u};
}

Body bodyOver(const std::vector<Planar>& initCoords, const std::vector<int>& triangles,
              const std::function<Position(double, double)>& shape)
{
    std::vector<Position> positions, plane;
    for (const Planar& p : initCoords) {
        positions.push_back(shape(p.u, p.v));
        plane.emplace_back(p.u, p.v, 0.0);
    }
    return {makeMesh(positions, triangles), makeMesh(plane, triangles)};
}

// A grid of cells x cells over the unit square, two triangles a cell, counter-clockwise unless asked.
std::vector<int> gridTriangles(int cells, bool clockwise = false)
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

// The after state as bare probe points; its own 3D positions lie far off, to tell them apart.
Body probes(const std::vector<Planar>& points)
{
    return bodyOver(points, {}, [](double u, double v) { return Position{100.0 + u, 100.0 + v, 100.0}; });
}

Body sampleBody(const CoreIoSamples::SampleBody& sample)
{
    return {CoreIoSamples::shapeMesh(sample), CoreIoSamples::initCoordMesh(sample)};
}

struct Alignment {
    std::shared_ptr<Mesh> mesh;
    std::vector<MatchingEl> matching;
    double biggestSquareError = 0.0;
};

void connect(MaterialFixedMeshAligner& aligner, const Body& before, const Body& after)
{
    aligner.meshBefore = &before.mesh;
    aligner.initCoordMeshBefore = &before.initCoords;
    aligner.meshAfter = &after.mesh;
    aligner.initCoordMeshAfter = &after.initCoords;
}

Alignment run(const MaterialFixedMeshAligner& aligner)
{
    Alignment result;
    result.mesh = aligner.computeMeshBeforeWithTopologyOfMeshAfter(result.biggestSquareError, &result.matching);
    return result;
}

Alignment align(const Body& before, const Body& after, double searchDistance = -1.0)
{
    MaterialFixedMeshAligner aligner;
    connect(aligner, before, after);
    aligner.searchDistance = searchDistance;
    return run(aligner);
}

Position at(const Mesh& mesh, int vertex)
{
    const Calvora::Vertex& v = mesh.getVertex(static_cast<unsigned int>(vertex));
    return {v.x, v.y, v.z};
}

Position blend(const Position& a, const Position& b, double s)
{
    return {a.x + s * (b.x - a.x), a.y + s * (b.y - a.y), a.z + s * (b.z - a.z)};
}

void expectNear(const Position& actual, const Position& expected, double tolerance)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// True when triangle t of the initial-coordinate mesh holds (u, v), its boundary included.
bool holds(const Mesh& initCoords, int t, Planar p)
{
    const Calvora::Triangle& triangle = initCoords.getTriangle(static_cast<unsigned int>(t));
    double sign = 0.0;
    for (int k = 0; k < 3; ++k) {
        const Calvora::Vertex& a = *triangle.corners[k];
        const Calvora::Vertex& b = *triangle.corners[(k + 1) % 3];
        const double side = (b.x - a.x) * (p.v - a.y) - (b.y - a.y) * (p.u - a.x);
        if (std::abs(side) >= 1e-12 && sign * side < 0.0)
            return false;
        sign = std::abs(side) >= 1e-12 ? side : sign;
    }
    return true;
}

TEST(MaterialFixedMeshAligner, MatchesPointsOnVerticesEdgesBoundaryAndJustOutsideInEitherWinding)
{
    const struct {
        Planar point;
        int vertex;         // the vertex matched; negative: none
        int from, to;       // the point lies at `along` from vertex `from` to `to` of the 4 x 4 grid; -1: unmatched
        double along;
    } cases[] = {
        {{0.5, 0.25}, 7, 7, 7, 0.0},     {{1.0, 1.0}, 24, 24, 24, 0.0},     {{0.0, 0.75}, 15, 15, 15, 0.0},
        {{0.375, 0.5}, -1, 11, 12, 0.5}, {{0.625, 0.625}, -1, 12, 18, 0.5}, {{1.0, 0.3}, -1, 9, 14, 0.2},
        {{0.1, 0.0}, -1, 0, 1, 0.4},     {{-0.01, 0.3}, -1, 5, 10, 0.2},    {{1.02, 1.03}, -1, 24, 24, 0.0},
        {{1.5, 0.5}, -1, -1, -1, 0.0},
    };
    std::vector<Planar> points;
    for (const auto& c : cases)
        points.push_back(c.point);
    const Body after = probes(points);
    for (const bool clockwise : {false, true}) {
        const Body before = bodyOver(gridNodes(4), gridTriangles(4, clockwise), bump);
        const Alignment result = align(before, after);

        ASSERT_EQ(result.matching.size(), points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "point " << i << (clockwise ? " clockwise" : ""));
            const auto& c = cases[i];
            EXPECT_EQ(result.matching[i].vertexIndex, c.vertex);
            const Planar clamped{std::clamp(c.point.u, 0.0, 1.0), std::clamp(c.point.v, 0.0, 1.0)};
            EXPECT_EQ(result.matching[i].triangleIndex >= 0, c.from >= 0);
            EXPECT_TRUE(c.from < 0 || holds(before.initCoords, result.matching[i].triangleIndex, clamped));
            const Position expected = c.from >= 0 ? blend(at(before.mesh, c.from), at(before.mesh, c.to), c.along)
                                                  : at(after.mesh, static_cast<int>(i));
            expectNear(at(*result.mesh, static_cast<int>(i)), expected, 1e-14);
        }
        EXPECT_NEAR(result.biggestSquareError, 0.02 * 0.02 + 0.03 * 0.03, 1e-15);
        const Alignment wide = align(before, after, 0.6);
        expectNear(at(*wide.mesh, 9), at(before.mesh, 14), 1e-14);
        EXPECT_NEAR(wide.biggestSquareError, 0.25, 1e-15);
    }
}

TEST(MaterialFixedMeshAligner, InterpolatesAFormedSheetWithinTheLinearInterpolationBoundKeepingTheAfterTopology)
{
    const CoreIoSamples::SheetShape shape;
    const auto after = CoreIoSamples::makeSheet({.depth = 0.0}, {.cellsU = 27, .cellsV = 31, .jitter = 0.35});
    const Body afterBody = sampleBody(after);
    const int cells = 20;
    const Body before = sampleBody(CoreIoSamples::makeSheet(shape, {.cellsU = cells, .cellsV = cells}));
    const Alignment result = align(before, afterBody);

    // The surface bends by at most depth * pi^2; linear interpolation over triangles whose
    // longest edge is the cell diagonal is off by at most that times diagonal^2 / 8.
    const double bound = shape.depth * std::numbers::pi * std::numbers::pi * 2.0 / (cells * cells) / 8.0 + 1e-6;
    for (unsigned int i = 0; i < afterBody.mesh.numberOfVertices(); ++i) {
        const double u = after.initCoord0[i], v = after.initCoord1[i];
        const double exact = shape.depth * std::sin(std::numbers::pi * u) * std::sin(std::numbers::pi * v);
        expectNear(at(*result.mesh, static_cast<int>(i)), {u, v, exact}, bound);
    }
    ASSERT_EQ(result.mesh->numberOfTriangles(), afterBody.mesh.numberOfTriangles());
    for (unsigned int t = 0; t < result.mesh->numberOfTriangles(); ++t)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(result.mesh->getTriangle(t).corners[k]->index, afterBody.mesh.getTriangle(t).corners[k]->index);
    EXPECT_EQ(result.biggestSquareError, 0.0);
}

TEST(MaterialFixedMeshAligner, GivesEachAfterVertexTheSameResultHoweverTheAfterBodyIsNumbered)
{
    // Enough cells that the after vertices are located in many tiles, out of vertex order.
    const Body before = sampleBody(CoreIoSamples::makeSheet({}, {.cellsU = 60, .cellsV = 60}));
    const auto after = CoreIoSamples::makeSheet({}, {.cellsU = 70, .cellsV = 50, .jitter = 0.15, .seed = 5});
    const auto shuffled = CoreIoSamples::renumbered(after, 11);
    const Alignment inOrder = align(before, sampleBody(after));
    const Alignment renumbered = align(before, sampleBody(shuffled));

    std::map<std::pair<float, float>, int> renumberedVertexAt;
    for (std::size_t j = 0; j < shuffled.numNodes(); ++j)
        renumberedVertexAt[{shuffled.initCoord0[j], shuffled.initCoord1[j]}] = static_cast<int>(j);
    ASSERT_EQ(renumberedVertexAt.size(), after.numNodes());
    for (std::size_t i = 0; i < after.numNodes(); ++i) {
        const int j = renumberedVertexAt.at({after.initCoord0[i], after.initCoord1[i]});
        EXPECT_EQ(renumbered.matching[static_cast<std::size_t>(j)].vertexIndex, inOrder.matching[i].vertexIndex);
        expectNear(at(*renumbered.mesh, j), at(*inOrder.mesh, static_cast<int>(i)), 1e-12);
    }
}

TEST(MaterialFixedMeshAligner, ShiftsPointsByThePeriodAcrossTheSeamOfAnUnrolledTube)
{
    // A square tube of four nodes around and one cell along, cut open at angle 0: vertices 8 and 9
    // are seam copies of 0 and 4, one period of 4 further along u, and carry their index.
    std::vector<Position> ring, plane;
    for (int j = 0; j <= 1; ++j)
        for (int i = 0; i < 4; ++i) {
            ring.emplace_back(std::cos(i * std::numbers::pi / 2), std::sin(i * std::numbers::pi / 2), j);
            plane.emplace_back(i, j, 0.0);
        }
    plane.insert(plane.end(), {{4.0, 0.0, 0.0}, {4.0, 1.0, 0.0}});
    std::vector<int> around, unrolled;
    for (int i = 0; i < 4; ++i) {
        const int b = (i + 1) % 4, cutB = i == 3 ? 8 : b, cutD = i == 3 ? 9 : b + 4;
        around.insert(around.end(), {i, b, b + 4, i, b + 4, i + 4});
        unrolled.insert(unrolled.end(), {i, cutB, cutD, i, cutD, i + 4});
    }
    Body before{makeMesh(ring, around), makeMesh(plane, unrolled)};
    before.initCoords.getVertex(8).index = 0;
    before.initCoords.getVertex(9).index = 4;
    const Body after = probes({{-0.25, 0.25}, {4.5, 0.5}, {4.0, 0.0}, {0.0, 0.0}, {2.5, 0.5}});
    MaterialFixedMeshAligner aligner;
    connect(aligner, before, after);
    aligner.setInitCoordVertexTo3dVertexBefore(
        std::make_shared<const std::vector<int>>(std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 0, 4}));
    const Alignment result = run(aligner);

    // (3.75, 0.25) lies in triangle (3, 8, 9) with weights 1/4, 1/2, 1/4.
    EXPECT_EQ(result.matching[0].triangleIndex, 6);
    expectNear(at(*result.mesh, 0), blend(blend(ring[3], ring[0], 2.0 / 3.0), ring[4], 0.25), 1e-14);
    // (0.5, 0.5) lies on the diagonal from vertex 0 to 5.
    expectNear(at(*result.mesh, 1), blend(ring[0], ring[5], 0.5), 1e-14);
    EXPECT_EQ(result.matching[2].vertexIndex, 0);
    EXPECT_EQ(result.matching[3].vertexIndex, 0);
    EXPECT_EQ(result.matching[4].vertexIndex, -1);
    EXPECT_EQ(result.biggestSquareError, 0.0);
    const std::vector<Calvora::VertexLocation> shifted = aligner.locateMaterialPoints({{4.5, 0.5, 0.0}});
    EXPECT_EQ(shifted[0].status, Calvora::MatchStatus::Inside);
    EXPECT_EQ(shifted[0].triangle, result.matching[1].triangleIndex);
}

TEST(MaterialFixedMeshAligner, RejectsMissingMeshesCountsAndMapsThatDoNotFit)
{
    const Body square = bodyOver(gridNodes(4), gridTriangles(4), bump);
    const Body fewer = probes({{0.5, 0.5}});
    Body stray = bodyOver(gridNodes(4), gridTriangles(4), bump);
    struct Stray : Calvora::MeshModifier {  // a corner that points into another mesh, as a faulty builder leaves it
        Stray(Mesh& mesh, Mesh& other) : MeshModifier(mesh) { triangles()[0].corners[1] = &other.getVertex(3); }
    };
    Stray{stray.initCoords, stray.mesh};
    auto map = [](int size, int entry7) {
        std::vector<int> entries(static_cast<std::size_t>(size), 0);
        entries.at(7 % static_cast<std::size_t>(size)) = entry7;
        return std::make_shared<const std::vector<int>>(std::move(entries));
    };
    using Setup = std::function<void(MaterialFixedMeshAligner&)>;
    const std::vector<std::pair<Setup, std::string>> cases = {
        {[](auto& a) { a.meshBefore = nullptr; }, "meshBefore is not set"},
        {[](auto& a) { a.initCoordMeshBefore = nullptr; }, "initCoordMeshBefore is not set"},
        {[](auto& a) { a.meshAfter = nullptr; }, "meshAfter is not set"},
        {[](auto& a) { a.initCoordMeshAfter = nullptr; }, "initCoordMeshAfter is not set"},
        {[&](auto& a) { a.initCoordMeshAfter = &fewer.initCoords; }, "initCoordMeshAfter has 1 vertices, fewer than"},
        {[&](auto& a) { a.initCoordMeshBefore = &fewer.initCoords; }, "initCoordMeshBefore has 1 vertices but"},
        {[&](auto& a) { a.setInitCoordVertexTo3dVertexBefore(map(24, 0)); },
         "the vertex map of meshBefore has 24 entries, fewer than the 25 vertices of initCoordMeshBefore"},
        {[&](auto& a) { a.setInitCoordVertexTo3dVertexBefore(map(25, 25)); },
         "entry 7 of the vertex map of meshBefore is 25, not a vertex of meshBefore"},
        {[&](auto& a) { a.setInitCoordVertexTo3dVertexAfter(map(25, -1)); }, "entry 7 of the vertex map of meshAfter"},
        {[&](auto& a) { a.initCoordMeshBefore = &stray.initCoords; }, "corner 1 of triangle 0 of initCoordMeshBefore"},
    };
    for (const auto& [setup, expected] : cases) {
        MaterialFixedMeshAligner aligner;
        connect(aligner, square, square);
        setup(aligner);
        try {
            run(aligner);
            ADD_FAILURE() << "no exception, expected: " << expected;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
        }
    }
}

}  // namespace

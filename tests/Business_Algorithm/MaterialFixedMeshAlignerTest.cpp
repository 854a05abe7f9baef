#include "Business_Algorithm.h"

#include "SampleMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <stdexcept>
#include <string>

using CoreIoSamples::makeMesh;
using CoreIoSamples::Position;
using Calvora::MaterialFixedMeshAligner;
using Calvora::Mesh;
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
            if (clockwise)
                triangles.insert(triangles.end(), {a, d, b, a, c, d});
            else
                triangles.insert(triangles.end(), {a, b, d, a, d, c});
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

Position at(const Mesh& mesh, unsigned int vertex)
{
    const Calvora::Vertex& v = mesh.getVertex(vertex);
    return {v.x, v.y, v.z};
}

Position blend(const Position& a, const Position& b, double s)
{
    return {a.x + s * (b.x - a.x), a.y + s * (b.y - a.y), a.z + s * (b.z - a.z)};
}

void expectNear(const Position& actual, const Position& expected, double tolerance, const std::string& where)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance) << where;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << where;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << where;
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
        if (std::abs(side) < 1e-12)
            continue;
        if (sign * side < 0.0)
            return false;
        sign = side;
    }
    return true;
}

// Edits a finished mesh, as a cut tube's seam copies or a faulty builder would leave it.
class Edit : public Calvora::MeshModifier {
public:
    template <typename Change> Edit(Mesh& mesh, Change change) : MeshModifier(mesh) { change(vertices(), triangles()); }
};

const Body& unitSquare()
{
    static const Body square = bodyOver(gridNodes(4), gridTriangles(4), bump);
    return square;
}

}  // namespace

TEST(MaterialFixedMeshAligner, MatchesPointsOnVerticesEdgesAndTheOuterBoundaryInEitherWinding)
{
    const std::vector<Planar> points = {
        {0.5, 0.25},     // interior vertex 7
        {1.0, 1.0},      // outer corner, vertex 24
        {0.0, 0.75},     // boundary vertex 15
        {0.375, 0.5},    // middle of the edge from vertex 11 to 12
        {0.625, 0.625},  // middle of the diagonal from vertex 12 to 18
        {1.0, 0.3},      // outer boundary, between vertices 9 and 14
        {0.1, 0.0},      // outer boundary, between vertices 0 and 1
    };
    const std::vector<int> vertices = {7, 24, 15, -1, -1, -1, -1};
    for (const bool clockwise : {false, true}) {
        SCOPED_TRACE(clockwise ? "clockwise" : "counter-clockwise");
        const Body before = bodyOver(gridNodes(4), gridTriangles(4, clockwise), bump);
        const Alignment result = align(before, probes(points));

        const std::vector<Position> shapes = {
            at(before.mesh, 7), at(before.mesh, 24), at(before.mesh, 15),
            blend(at(before.mesh, 11), at(before.mesh, 12), 0.5), blend(at(before.mesh, 12), at(before.mesh, 18), 0.5),
            blend(at(before.mesh, 9), at(before.mesh, 14), 0.2), blend(at(before.mesh, 0), at(before.mesh, 1), 0.4)};
        ASSERT_EQ(result.matching.size(), points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            const std::string where = "point " + std::to_string(i);
            EXPECT_EQ(result.matching[i].vertexIndex, vertices[i]) << where;
            ASSERT_GE(result.matching[i].triangleIndex, 0) << where;
            EXPECT_TRUE(holds(before.initCoords, result.matching[i].triangleIndex, points[i])) << where;
            expectNear(at(*result.mesh, static_cast<unsigned int>(i)), shapes[i], 1e-14, where);
        }
        EXPECT_EQ(result.biggestSquareError, 0.0);
    }
}

TEST(MaterialFixedMeshAligner, NeverLosesPointsOnTheBoundaryOfAMeshWithInexactCoordinates)
{
    // A grid turned by an angle whose sine and cosine are not exact, with points on every
    // boundary edge and at every vertex, each computed with its own rounding.
    const int cells = 30;
    const double c = std::cos(0.3), s = std::sin(0.3);
    auto turned = [&](Planar p) { return Planar{c * p.u - s * p.v, s * p.u + c * p.v}; };
    std::vector<Planar> nodes = gridNodes(cells);
    std::transform(nodes.begin(), nodes.end(), nodes.begin(), turned);
    const Body before = bodyOver(nodes, gridTriangles(cells), bump);

    std::vector<Planar> points;
    for (int k = 0; k < cells; ++k)
        for (double along : {0.0, 0.29, 0.5, 0.77}) {
            const double t = (k + along) / cells;
            for (Planar side : {Planar{t, 0.0}, Planar{1.0, t}, Planar{1.0 - t, 1.0}, Planar{0.0, 1.0 - t}})
                points.push_back(turned(side));
        }
    points.insert(points.end(), nodes.begin(), nodes.end());
    const Alignment result = align(before, probes(points));

    for (std::size_t i = 0; i < points.size(); ++i) {
        ASSERT_GE(result.matching[i].triangleIndex, 0) << "point " << i;
        EXPECT_NEAR(at(*result.mesh, static_cast<unsigned int>(i)).x, bump(points[i].u, points[i].v).x, 1e-12) << i;
    }
    for (std::size_t n = 0; n < nodes.size(); ++n)
        EXPECT_EQ(result.matching[points.size() - nodes.size() + n].vertexIndex, static_cast<int>(n));
    EXPECT_LT(result.biggestSquareError, 1e-28);
}

TEST(MaterialFixedMeshAligner, TakesTheNearestTriangleJustOutsideAndLeavesFarPointsUnmatched)
{
    const Body& before = unitSquare();
    const Body after = probes({{-0.01, 0.3}, {1.02, 1.03}, {1.5, 0.5}});
    const Alignment near = align(before, after);

    for (int i : {0, 1}) {
        ASSERT_GE(near.matching[i].triangleIndex, 0);
        EXPECT_EQ(near.matching[i].vertexIndex, -1);
    }
    EXPECT_TRUE(holds(before.initCoords, near.matching[0].triangleIndex, {0.0, 0.3}));
    expectNear(at(*near.mesh, 0), blend(at(before.mesh, 5), at(before.mesh, 10), 0.2), 1e-14, "clamped to the edge");
    EXPECT_TRUE(holds(before.initCoords, near.matching[1].triangleIndex, {1.0, 1.0}));
    expectNear(at(*near.mesh, 1), at(before.mesh, 24), 1e-14, "clamped to the corner");
    EXPECT_EQ(near.matching[2].vertexIndex, -1);
    EXPECT_EQ(near.matching[2].triangleIndex, -1);
    expectNear(at(*near.mesh, 2), at(after.mesh, 2), 0.0, "unmatched keeps its own position");
    EXPECT_NEAR(near.biggestSquareError, 0.02 * 0.02 + 0.03 * 0.03, 1e-15);

    const Alignment wide = align(before, after, 0.6);
    EXPECT_GE(wide.matching[2].triangleIndex, 0);
    expectNear(at(*wide.mesh, 2), at(before.mesh, 14), 1e-14, "clamped to the boundary");
    EXPECT_NEAR(wide.biggestSquareError, 0.25, 1e-15);
}

TEST(MaterialFixedMeshAligner, LocatesPointsAsConvexWeightsOfBeforeVerticesThatReproduceTheAlignedShape)
{
    using Calvora::MatchStatus;
    struct Case {
        Planar point;
        MatchStatus status;
        const char* what;
    };
    const std::vector<Case> cases = {
        {{0.5, 0.25}, MatchStatus::Coincident, "on vertex 7"},
        {{0.3, 0.6}, MatchStatus::Inside, "inside"},
        {{0.375, 0.5}, MatchStatus::Inside, "on an edge"},
        {{-0.01, 0.3}, MatchStatus::Near, "just outside an edge"},
        {{1.02, 1.03}, MatchStatus::Near, "just outside a corner"},
        {{1.5, 0.5}, MatchStatus::Outside, "far outside"},
    };
    std::vector<Planar> points;
    std::vector<Calvora::Point<double, 3>> materialPoints;
    for (const Case& c : cases) {
        points.push_back(c.point);
        materialPoints.emplace_back(c.point.u, c.point.v, 5.0);
    }
    const Body& before = unitSquare();
    const Body after = probes(points);
    MaterialFixedMeshAligner aligner;
    connect(aligner, before, after);
    double biggestSquareError = 0.0;
    std::vector<MatchingEl> matching;
    std::vector<Calvora::VertexLocation> locations;
    const auto aligned =
        aligner.computeMeshBeforeWithTopologyOfMeshAfter(biggestSquareError, &matching, nullptr, &locations);
    const std::vector<Calvora::VertexLocation> located = aligner.locateMaterialPoints(materialPoints);

    ASSERT_EQ(locations.size(), cases.size());
    ASSERT_EQ(located.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        const Calvora::VertexLocation& location = locations[i];
        EXPECT_EQ(location.status, cases[i].status);
        EXPECT_EQ(location.triangle, matching[i].triangleIndex);
        EXPECT_EQ(location.status == MatchStatus::Coincident, matching[i].vertexIndex >= 0);
        EXPECT_EQ(located[i].status, location.status);
        EXPECT_EQ(located[i].triangle, location.triangle);
        EXPECT_EQ(located[i].vertices, location.vertices);
        EXPECT_EQ(located[i].weights, location.weights);
        if (location.status == MatchStatus::Outside) {
            EXPECT_EQ(location.vertices, (std::array<int, 3>{-1, -1, -1}));
            continue;
        }
        Position blended{0.0, 0.0, 0.0};
        double sum = 0.0;
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_GE(location.weights[k], 0.0);
            sum += location.weights[k];
            const Position corner = at(before.mesh, static_cast<unsigned int>(location.vertices[k]));
            blended = {blended.x + location.weights[k] * corner.x, blended.y + location.weights[k] * corner.y,
                       blended.z + location.weights[k] * corner.z};
        }
        EXPECT_NEAR(sum, 1.0, 1e-15);
        expectNear(blended, at(*aligned, static_cast<unsigned int>(i)), 1e-14, "blended corners");
    }
    const Calvora::VertexLocation& onVertex = locations[0];
    const auto corner = std::find(onVertex.vertices.begin(), onVertex.vertices.end(), 7) - onVertex.vertices.begin();
    ASSERT_LT(corner, 3);
    EXPECT_EQ(onVertex.weights[static_cast<std::size_t>(corner)], 1.0);
}

TEST(MaterialFixedMeshAligner, MatchesEveryNodeOfACoarserSheetExactlyAndKeepsItsTopology)
{
    const Body before = sampleBody(CoreIoSamples::makeSheet({}, {.cellsU = 40, .cellsV = 40}));
    const Body after = sampleBody(CoreIoSamples::makeSheet({.depth = 0.3}, {.cellsU = 20, .cellsV = 20}));
    const Alignment result = align(before, after);

    const Mesh& aligned = *result.mesh;
    ASSERT_EQ(aligned.numberOfVertices(), after.mesh.numberOfVertices());
    ASSERT_EQ(aligned.numberOfTriangles(), after.mesh.numberOfTriangles());
    for (unsigned int i = 0; i < aligned.numberOfVertices(); ++i) {
        const unsigned int same = 2 * (i / 21) * 41 + 2 * (i % 21);
        ASSERT_EQ(result.matching[i].vertexIndex, static_cast<int>(same)) << "node " << i;
        EXPECT_EQ(at(aligned, i), at(before.mesh, same)) << "node " << i;
        EXPECT_EQ(aligned.getVertex(i).index, static_cast<int>(i));
    }
    for (unsigned int t = 0; t < aligned.numberOfTriangles(); ++t)
        for (int k = 0; k < 3; ++k) {
            const Calvora::Vertex* corner = aligned.getTriangle(t).corners[k];
            EXPECT_EQ(corner->index, after.mesh.getTriangle(t).corners[k]->index);
            EXPECT_EQ(corner, &aligned.getVertex(static_cast<unsigned int>(corner->index)));
        }
    // The formed sheet's normal at its centre node points up.
    EXPECT_TRUE(aligned.hasNormals());
    EXPECT_NEAR(aligned.getVertex(220).getNormal().length(), 1.0, 1e-12);
    EXPECT_GT(aligned.getVertex(220).getNormal().z, 0.99);
    EXPECT_EQ(result.biggestSquareError, 0.0);
}

TEST(MaterialFixedMeshAligner, InterpolatesAFormedSheetWithinTheLinearInterpolationBound)
{
    const CoreIoSamples::SheetShape shape;
    const auto after = CoreIoSamples::makeSheet({.depth = 0.0}, {.cellsU = 27, .cellsV = 31, .jitter = 0.35});
    const Body afterBody = sampleBody(after);

    auto largestError = [&](int cells) {
        const Alignment result = align(sampleBody(CoreIoSamples::makeSheet(shape, {.cellsU = cells, .cellsV = cells})), afterBody);
        double largest = 0.0;
        for (unsigned int i = 0; i < afterBody.mesh.numberOfVertices(); ++i) {
            EXPECT_GE(result.matching[i].triangleIndex, 0) << "node " << i;
            const double u = after.initCoord0[i], v = after.initCoord1[i];
            const Position aligned = at(*result.mesh, i);
            EXPECT_NEAR(aligned.x, u, 1e-6);
            EXPECT_NEAR(aligned.y, v, 1e-6);
            const double exact = shape.depth * std::sin(std::numbers::pi * u) * std::sin(std::numbers::pi * v);
            largest = std::max(largest, std::abs(aligned.z - exact));
        }
        EXPECT_EQ(result.biggestSquareError, 0.0);
        // The surface bends by at most depth * pi^2; linear interpolation over triangles whose
        // longest edge is the cell diagonal is off by at most that times diagonal^2 / 8.
        const double diagonal = std::sqrt(2.0) / cells;
        EXPECT_LE(largest, shape.depth * std::numbers::pi * std::numbers::pi * diagonal * diagonal / 8.0 + 1e-6);
        return largest;
    };
    const double coarse = largestError(20), fine = largestError(40);
    EXPECT_LT(fine, coarse / 3.0);
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
    plane.emplace_back(4.0, 0.0, 0.0);
    plane.emplace_back(4.0, 1.0, 0.0);
    std::vector<int> around, unrolled;
    for (int i = 0; i < 4; ++i) {
        const int a = i, b = (i + 1) % 4, c = i + 4, d = b + 4;
        around.insert(around.end(), {a, b, d, a, d, c});
        const int cutB = i == 3 ? 8 : b, cutD = i == 3 ? 9 : d;
        unrolled.insert(unrolled.end(), {a, cutB, cutD, a, cutD, c});
    }
    Body before{makeMesh(ring, around), makeMesh(plane, unrolled)};
    Edit{before.initCoords, [](auto& vertices, auto&) {
        vertices[8].index = 0;
        vertices[9].index = 4;
    }};

    const Body after = probes({{-0.25, 0.25}, {4.5, 0.5}, {4.0, 0.0}, {0.0, 0.0}, {2.5, 0.5}});
    MaterialFixedMeshAligner aligner;
    connect(aligner, before, after);
    aligner.setInitCoordVertexTo3dVertexBefore(std::make_shared<const std::vector<int>>(std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 0, 4}));
    const Alignment result = run(aligner);

    const Position p0 = ring[0], p3 = ring[3], p4 = ring[4];
    // (3.75, 0.25) lies in triangle (3, 8, 9) with weights 1/4, 1/2, 1/4.
    EXPECT_EQ(result.matching[0].triangleIndex, 6);
    expectNear(at(*result.mesh, 0), {0.25 * p3.x + 0.5 * p0.x + 0.25 * p4.x, 0.25 * p3.y + 0.5 * p0.y + 0.25 * p4.y, 0.25},
               1e-14, "across the seam");
    // (0.5, 0.5) lies on the diagonal from vertex 0 to 5.
    expectNear(at(*result.mesh, 1), blend(p0, ring[5], 0.5), 1e-14, "one period back");
    EXPECT_EQ(result.matching[2].vertexIndex, 0);
    expectNear(at(*result.mesh, 2), p0, 0.0, "on the seam copy");
    EXPECT_EQ(result.matching[3].vertexIndex, 0);
    EXPECT_EQ(result.matching[4].vertexIndex, -1);
    EXPECT_EQ(result.biggestSquareError, 0.0);

    const std::vector<Calvora::VertexLocation> shifted = aligner.locateMaterialPoints({{4.5, 0.5, 0.0}});
    EXPECT_EQ(shifted[0].status, Calvora::MatchStatus::Inside);
    EXPECT_EQ(shifted[0].triangle, result.matching[1].triangleIndex);
}

TEST(MaterialFixedMeshAligner, TriesTheSeamCopiesOfAnAfterVertex)
{
    const Body& before = unitSquare();
    // After vertex 0 lies off the before sheet at (-0.4, 0.5); its seam copy, vertex 2 of the
    // initial-coordinate mesh, lies on it at (0.6, 0.5).
    Body after = probes({{-0.4, 0.5}, {0.3, 0.3}, {0.6, 0.5}});
    after.mesh = makeMesh({{1.0, 1.0, 1.0}, {2.0, 2.0, 2.0}}, {});

    MaterialFixedMeshAligner aligner;
    connect(aligner, before, after);
    const Alignment withoutMap = run(aligner);
    EXPECT_EQ(withoutMap.matching.size(), 2u);
    EXPECT_EQ(withoutMap.matching[0].triangleIndex, -1);

    aligner.setInitCoordVertexTo3dVertexAfter(std::make_shared<const std::vector<int>>(std::vector<int>{0, 1, 0}));
    const Alignment withMap = run(aligner);
    ASSERT_GE(withMap.matching[0].triangleIndex, 0);
    EXPECT_TRUE(holds(before.initCoords, withMap.matching[0].triangleIndex, {0.6, 0.5}));
    expectNear(at(*withMap.mesh, 0), blend(at(before.mesh, 12), at(before.mesh, 13), 0.4), 1e-14, "at the copy");
    EXPECT_EQ(withMap.biggestSquareError, 0.0);
}

TEST(MaterialFixedMeshAligner, RejectsMissingMeshesCountsAndMapsThatDoNotFit)
{
    const Body& square = unitSquare();
    const Body fewer = probes({{0.5, 0.5}});
    Body stray = bodyOver(gridNodes(4), gridTriangles(4), bump);
    Edit{stray.initCoords, [&](auto&, auto& triangles) { triangles[0].corners[1] = &stray.mesh.getVertex(3); }};
    auto map = [](std::vector<int> entries) { return std::make_shared<const std::vector<int>>(std::move(entries)); };
    std::vector<int> outside(25, 0);
    outside[7] = 25;
    std::vector<int> negative(25, 0);
    negative[7] = -1;

    using Setup = std::function<void(MaterialFixedMeshAligner&)>;
    const std::vector<std::pair<Setup, std::string>> cases = {
        {[](auto& a) { a.meshBefore = nullptr; }, "meshBefore is not set"},
        {[](auto& a) { a.initCoordMeshBefore = nullptr; }, "initCoordMeshBefore is not set"},
        {[](auto& a) { a.meshAfter = nullptr; }, "meshAfter is not set"},
        {[](auto& a) { a.initCoordMeshAfter = nullptr; }, "initCoordMeshAfter is not set"},
        {[&](auto& a) { a.initCoordMeshAfter = &fewer.initCoords; }, "initCoordMeshAfter has 1 vertices, fewer than the 25"},
        {[&](auto& a) { a.initCoordMeshBefore = &fewer.initCoords; }, "initCoordMeshBefore has 1 vertices but meshBefore has 25"},
        {[&](auto& a) { a.setInitCoordVertexTo3dVertexBefore(map(std::vector<int>(24, 0))); },
         "the vertex map of meshBefore has 24 entries, fewer than the 25 vertices of initCoordMeshBefore"},
        {[&](auto& a) { a.setInitCoordVertexTo3dVertexBefore(map(outside)); },
         "entry 7 of the vertex map of meshBefore is 25, not a vertex of meshBefore"},
        {[&](auto& a) { a.setInitCoordVertexTo3dVertexAfter(map(negative)); }, "entry 7 of the vertex map of meshAfter is -1"},
        {[&](auto& a) { a.initCoordMeshBefore = &stray.initCoords; }, "corner 1 of triangle 0 of initCoordMeshBefore is not a vertex"},
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

#include "Business_Algorithm.h"

#include "AlignerBodies.h"

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

namespace {

using namespace CoreIoSamples;
using Calvora::MatchStatus;
using Calvora::MaterialFixedMeshAligner;
using Calvora::Mesh;
using MatchingEl = MaterialFixedMeshAligner::MatchingEl;

struct Alignment {
    std::shared_ptr<Mesh> mesh;
    std::vector<MatchingEl> matching;
    double biggestSquareError = 0.0;
    Calvora::AlignmentRecord record;
};

Alignment run(const MaterialFixedMeshAligner& aligner)
{
    Alignment result;
    Calvora::AlignmentRecorder recorder;
    result.mesh = aligner.computeMeshBeforeWithTopologyOfMeshAfter(result.biggestSquareError, &result.matching);
    result.record = recorder.take().value();
    return result;
}

Alignment align(const AlignerBody& before, const AlignerBody& after, double searchDistance = -1.0)
{
    MaterialFixedMeshAligner aligner;
    connect(aligner, before, after);
    aligner.searchDistance = searchDistance;
    return run(aligner);
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

// The body with its 3D mesh listing the vertices backwards, and the vertex map that says so.
AlignerBody listedBackwards(AlignerBody body)
{
    std::vector<Position> backwards;
    std::vector<int> map;
    for (int k = static_cast<int>(body.mesh.numberOfVertices()) - 1; k >= 0; --k) {
        backwards.push_back(at(body.mesh, k));
        map.push_back(k);
    }
    body.mesh = makeMesh(backwards, {});
    body.map = std::make_shared<const std::vector<int>>(map);
    return body;
}

TEST(MaterialFixedMeshAligner, MatchesPointsOnVerticesEdgesBoundaryAndWithinTheSearchDistanceInEitherWinding)
{
    // On the 4 x 4 grid the default search distance is half the mean edge, 0.1423.
    const struct {
        Planar point;
        MatchStatus status;
        int from, to;  // the point lies (or its nearest point in the grid) at `along` from vertex `from` to `to`
        double along;
    } cases[] = {
        {{0.5, 0.25}, MatchStatus::Coincident, 7, 7, 0.0},
        {{1.0, 1.0}, MatchStatus::Coincident, 24, 24, 0.0},
        {{0.0, 0.75}, MatchStatus::Coincident, 15, 15, 0.0},
        {{0.375, 0.5}, MatchStatus::Inside, 11, 12, 0.5},
        {{0.625, 0.625}, MatchStatus::Inside, 12, 18, 0.5},
        {{1.0, 0.3}, MatchStatus::Inside, 9, 14, 0.2},
        {{0.1, 0.0}, MatchStatus::Inside, 0, 1, 0.4},
        {{0.3, 1e-12}, MatchStatus::Inside, 1, 2, 0.2},
        {{0.3, -1e-12}, MatchStatus::Inside, 1, 2, 0.2},
        {{-0.01, 0.3}, MatchStatus::Near, 5, 10, 0.2},
        {{1.02, 1.03}, MatchStatus::Near, 24, 24, 0.0},
        {{0.5, 1.14}, MatchStatus::Near, 22, 22, 0.0},  // the farthest Near point
        {{0.5, -0.05}, MatchStatus::Near, 2, 2, 0.0},
        {{-0.03, 0.9}, MatchStatus::Near, 15, 20, 0.6},
        {{0.5, 1.145}, MatchStatus::Outside, -1, -1, 0.0},
        {{1.5, 0.5}, MatchStatus::Outside, -1, -1, 0.0},
    };
    std::vector<Planar> points;
    for (const auto& c : cases)
        points.push_back(c.point);
    const AlignerBody after = probes(points);
    // Clockwise, the 3D mesh also lists the vertices backwards: they are named through the map.
    for (const bool clockwise : {false, true}) {
        const AlignerBody grid = bodyOver(gridNodes(4), gridTriangles(4, clockwise), bump);
        const AlignerBody before = clockwise ? listedBackwards(grid) : grid;
        const auto vertex = [&](int k) { return clockwise ? 24 - k : k; };
        const Alignment result = align(before, after);

        ASSERT_EQ(result.matching.size(), points.size());
        ASSERT_EQ(result.record.locations.size(), points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "point " << i << (clockwise ? " clockwise" : ""));
            const auto& c = cases[i];
            const Calvora::VertexLocation& location = result.record.locations[i];
            EXPECT_EQ(location.status, c.status);
            EXPECT_TRUE(std::ranges::all_of(location.weights, [](double w) { return w >= 0.0; }));
            EXPECT_NEAR(location.weights[0] + location.weights[1] + location.weights[2], c.from >= 0 ? 1.0 : 0.0,
                        1e-15);
            EXPECT_EQ(result.matching[i].vertexIndex, c.status == MatchStatus::Coincident ? vertex(c.from) : -1);
            EXPECT_EQ(result.matching[i].triangleIndex, location.triangle);
            // The triangle has both ends of the edge the point lies on (or lies nearest to).
            EXPECT_TRUE(c.from < 0 || (std::ranges::count(location.vertices, vertex(c.from)) == 1 &&
                                       std::ranges::count(location.vertices, vertex(c.to)) == 1));
            const Position expected = c.from >= 0 ? blend(at(before.mesh, vertex(c.from)),
                                                          at(before.mesh, vertex(c.to)), c.along)
                                                  : at(after.mesh, static_cast<int>(i));
            expectNear(at(*result.mesh, static_cast<int>(i)), expected, 1e-11);
        }
        EXPECT_DOUBLE_EQ(result.record.searchDistance, 0.5 * (0.5 + 0.25 * std::numbers::sqrt2) / 3.0);
        EXPECT_NEAR(result.biggestSquareError, 0.14 * 0.14, 1e-15);
        EXPECT_EQ(result.record.biggestSquareError, result.biggestSquareError);

        // A given search distance is the limit, itself included.
        const AlignerBody edgeProbes = probes({{1.25, 0.5}, {1.2500001, 0.5}});
        const Alignment given = align(before, edgeProbes, 0.25);
        EXPECT_EQ(given.record.searchDistance, 0.25);
        EXPECT_EQ(given.record.locations[0].status, MatchStatus::Near);
        EXPECT_EQ(given.record.locations[1].status, MatchStatus::Outside);
        EXPECT_EQ(given.biggestSquareError, 0.0625);
    }
}

TEST(MaterialFixedMeshAligner, InterpolatesAFormedSheetWithinTheLinearInterpolationBoundKeepingTheAfterTopology)
{
    const CoreIoSamples::SheetShape shape;
    const auto after = makeSheet({.depth = 0.0}, {.cellsU = 27, .cellsV = 31, .jitter = 0.35});
    const AlignerBody afterBody = alignerBody(after);
    const int cells = 20;
    const AlignerBody before = alignerBody(makeSheet(shape, {.cellsU = cells, .cellsV = cells}));
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
    const AlignerBody before = alignerBody(makeSheet({}, {.cellsU = 60, .cellsV = 60}));
    const auto after = makeSheet({}, {.cellsU = 70, .cellsV = 50, .jitter = 0.15, .seed = 5});
    const auto shuffled = CoreIoSamples::renumbered(after, 11);
    const Alignment inOrder = align(before, alignerBody(after));
    const Alignment renumbered = align(before, alignerBody(shuffled));

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

TEST(MaterialFixedMeshAligner, LocatesABodyLargeEnoughForTwoThreadsAsItLocatesItsPointsAFewAtATime)
{
    // Over 2^15 after vertices, whose location may go in two halves side by side, against batches
    // too small to be split. A point on a before vertex may be found in any triangle around it.
    const AlignerBody before = alignerBody(makeSheet({}, {.cellsU = 150, .cellsV = 140, .jitter = 0.15, .seed = 3}));
    const auto after = makeSheet({}, {.cellsU = 200, .cellsV = 190, .jitter = 0.15, .seed = 4});
    ASSERT_GT(after.numNodes(), std::size_t{1} << 15);
    const Alignment whole = align(before, alignerBody(after));
    const auto where = [](const Calvora::VertexLocation& l) {
        const auto corner = std::ranges::max_element(l.weights) - l.weights.begin();
        return l.status == MatchStatus::Coincident ? std::pair{l.vertices[static_cast<std::size_t>(corner)], l.weights}
                                                   : std::pair{l.triangle, l.weights};
    };
    for (std::size_t first = 0; first < after.numNodes(); first += 1000) {
        std::vector<Calvora::Point<double, 3>> points;
        for (std::size_t i = first; i < std::min(first + 1000, after.numNodes()); ++i)
            points.push_back({after.initCoord0[i], after.initCoord1[i], 0.0});
        const std::vector<Calvora::VertexLocation> alone = whole.record.before->locate(points);
        for (std::size_t j = 0; j < alone.size(); ++j) {
            ASSERT_EQ(whole.record.locations[first + j].status, alone[j].status) << "vertex " << first + j;
            EXPECT_EQ(where(whole.record.locations[first + j]), where(alone[j])) << "vertex " << first + j;
        }
    }
}

// A coarse column of two quads, 1 x 1 each, next to a fine one of 2 x 4 quads of 0.5: the fine
// nodes at (1, 0.5) and (1, 1.5) hang on the edges of the coarse quads.
AlignerBody hangingNodes(bool coarseFirst)
{
    std::vector<Planar> nodes{{0, 0}, {0, 1}, {0, 2}};
    for (int i = 0; i <= 2; ++i)
        for (int j = 0; j <= 4; ++j)
            nodes.push_back({1.0 + 0.5 * i, 0.5 * j});  // node 3 + 5 i + j
    const auto fine = [](int i, int j) { return 3 + 5 * i + j; };
    std::vector<int> coarse{0, fine(0, 0), fine(0, 2), 0, fine(0, 2), 1, 1, fine(0, 2), fine(0, 4), 1, fine(0, 4), 2};
    std::vector<int> triangles;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 4; ++j)
            triangles.insert(triangles.end(), {fine(i, j), fine(i + 1, j), fine(i + 1, j + 1), fine(i, j),
                                               fine(i + 1, j + 1), fine(i, j + 1)});
    triangles.insert(coarseFirst ? triangles.begin() : triangles.end(), coarse.begin(), coarse.end());
    // Bent out of the plane, so that a hanging node lies off the coarse edge in 3D.
    return bodyOver(nodes, triangles, [](double u, double v) { return Position{u, v, u * v * v}; });
}

TEST(MaterialFixedMeshAligner, MatchesEveryVertexOfABodyWithHangingNodesWithItself)
{
    for (const bool coarseFirst : {true, false}) {
        SCOPED_TRACE(coarseFirst ? "coarse triangles first" : "fine triangles first");
        const AlignerBody body = hangingNodes(coarseFirst);
        const Alignment result = align(body, body);
        for (int i = 0; i < static_cast<int>(body.mesh.numberOfVertices()); ++i) {
            EXPECT_EQ(result.matching[static_cast<std::size_t>(i)].vertexIndex, i) << "vertex " << i;
            EXPECT_EQ(result.record.locations[static_cast<std::size_t>(i)].status, MatchStatus::Coincident);
            expectNear(at(*result.mesh, i), at(body.mesh, i), 0.0);
        }
    }
}

TEST(MaterialFixedMeshAligner, AlignsTubesOfFewCellsAroundWithThemselvesAndLocatesOnePeriodEitherWay)
{
    for (const int around : {3, 4, 5})
        for (const double phase : {0.0, 0.4}) {
            SCOPED_TRACE(testing::Message() << around << " around, phase " << phase);
            const auto sample = CoreIoSamples::makeTube({}, {.around = around, .along = 3, .phase = phase});
            const AlignerBody before = unrolled(alignerBody(sample)), after = unrolled(alignerBody(sample));
            const Alignment result = align(before, after);
            for (int i = 0; i < static_cast<int>(after.mesh.numberOfVertices()); ++i) {
                EXPECT_EQ(result.matching[static_cast<std::size_t>(i)].vertexIndex, i) << "vertex " << i;
                expectNear(at(*result.mesh, i), at(after.mesh, i), 1e-6);
            }
            // Material points all around, on either side of the seam and a period away: each is
            // found where it lies one period on.
            ASSERT_EQ(result.record.seamBefore, Calvora::TubeInitialCoordinatesConverter::seamOf(before.map));
            const double period = result.record.seamBefore->period;
            std::vector<Calvora::Point<double, 3>> ring, onePeriodOn;
            for (int k = -3; k <= 3 * around + 3; ++k) {
                ring.emplace_back(k * period / (3 * around) + 1e-3, 1.0, 0.0);
                onePeriodOn.emplace_back(ring.back().x + period, 1.0, 0.0);
            }
            const std::vector<Calvora::VertexLocation> locations = result.record.before->locate(ring);
            for (const Calvora::VertexLocation& location : locations)
                EXPECT_EQ(location.status, MatchStatus::Inside);
            const std::vector<Calvora::VertexLocation> shifted = result.record.before->locate(onePeriodOn);
            for (std::size_t k = 0; k < ring.size(); ++k) {
                EXPECT_EQ(shifted[k].triangle, locations[k].triangle);
                EXPECT_NEAR(shifted[k].weights[0], locations[k].weights[0], 1e-9);
            }
        }
}

TEST(MaterialFixedMeshAligner, RejectsMissingMeshesCountsAndMapsThatDoNotFit)
{
    const AlignerBody square = bodyOver(gridNodes(4), gridTriangles(4), bump);
    const AlignerBody fewer = probes({{0.5, 0.5}});
    AlignerBody stray = bodyOver(gridNodes(4), gridTriangles(4), bump);
    struct Stray : Calvora::MeshModifier {  // a corner that points into another mesh, as a faulty builder leaves it
        Stray(Mesh& mesh, Mesh& other) : MeshModifier(mesh) { triangles()[0].corners[1] = &other.getVertex(3); }
    };
    Stray{*stray.initCoords, stray.mesh};
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
        {[&](auto& a) { a.initCoordMeshAfter = fewer.initCoords.get(); },
         "initCoordMeshAfter has 1 vertices, fewer than"},
        {[&](auto& a) { a.initCoordMeshBefore = fewer.initCoords.get(); }, "initCoordMeshBefore has 1 vertices but"},
        {[&](auto& a) { a.setInitCoordVertexTo3dVertexBefore(map(24, 0)); },
         "the vertex map of meshBefore has 24 entries, fewer than the 25 vertices of initCoordMeshBefore"},
        {[&](auto& a) { a.setInitCoordVertexTo3dVertexBefore(map(25, 25)); },
         "entry 7 of the vertex map of meshBefore is 25, not a vertex of meshBefore"},
        {[&](auto& a) { a.setInitCoordVertexTo3dVertexAfter(map(25, -1)); }, "entry 7 of the vertex map of meshAfter"},
        {[&](auto& a) { a.initCoordMeshBefore = stray.initCoords.get(); },
         "corner 1 of triangle 0 of initCoordMeshBefore"},
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

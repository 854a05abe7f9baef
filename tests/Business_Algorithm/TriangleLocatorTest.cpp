#include "TriangleLocator.h"

#include "SampleBodies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <stdexcept>

namespace {

using Calvora::PlanarTriangulation;
using Calvora::Point2;
using Calvora::TriangleLocator;

// The unit square as a grid of cells x cells, two triangles per cell; interior nodes moved at
// random by up to `jitter` of a cell, so that the triangles have all kinds of shapes.
PlanarTriangulation jitteredSquare(int cells, double jitter)
{
    const CoreIoSamples::SampleBody sheet = CoreIoSamples::makeSheet({}, {cells, cells, jitter, 7});
    PlanarTriangulation grid;
    for (std::size_t i = 0; i < sheet.numNodes(); ++i)
        grid.points.push_back({sheet.initCoord0[i], sheet.initCoord1[i]});
    for (std::size_t t = 0; t < sheet.triangles.size(); t += 3)
        grid.triangles.push_back({sheet.triangles[t], sheet.triangles[t + 1], sheet.triangles[t + 2]});
    return grid;
}

// Triangles from the origin to a circle: long slivers, every triangle's box covers the centre.
PlanarTriangulation fan(int spokes)
{
    PlanarTriangulation grid{{{0.0, 0.0}}, {}};
    for (int k = 0; k < spokes; ++k) {
        const double angle = 2.0 * std::numbers::pi * k / spokes;
        grid.points.push_back({std::cos(angle), std::sin(angle)});
        grid.triangles.push_back({0, 1 + k, 1 + (k + 1) % spokes});
    }
    return grid;
}

PlanarTriangulation turnedBy(PlanarTriangulation grid, double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    for (Point2& point : grid.points)
        point = {c * point.x - s * point.y, s * point.x + c * point.y};
    return grid;
}

Point2 corner(const PlanarTriangulation& grid, std::int32_t triangle, std::size_t k)
{
    return grid.points[static_cast<std::size_t>(grid.triangles[static_cast<std::size_t>(triangle)][k])];
}

double sqrDistance(Point2 a, Point2 b)
{
    return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y);
}

// Squared distance from p to the nearest triangle, found by trying them all.
double bruteSqrDistance(const PlanarTriangulation& grid, Point2 p)
{
    double best = std::numeric_limits<double>::infinity();
    for (std::int32_t t = 0; t < static_cast<std::int32_t>(grid.triangles.size()); ++t) {
        const Point2 a = corner(grid, t, 0), b = corner(grid, t, 1), c = corner(grid, t, 2);
        const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        const double s = ((p.x - a.x) * (c.y - a.y) - (p.y - a.y) * (c.x - a.x)) / area;
        const double r = ((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)) / area;
        if (s >= 0.0 && r >= 0.0 && s + r <= 1.0)
            return 0.0;
        for (auto [u, v] : {std::pair{a, b}, std::pair{b, c}, std::pair{c, a}}) {
            const double ex = v.x - u.x, ey = v.y - u.y;
            const double along = std::clamp(((p.x - u.x) * ex + (p.y - u.y) * ey) / (ex * ex + ey * ey), 0.0, 1.0);
            best = std::min(best, sqrDistance(p, {u.x + along * ex, u.y + along * ey}));
        }
    }
    return best;
}

TEST(TriangleLocator, AgreesWithTryingEveryTriangleAndItsWeightsDescribeTheNearestPoint)
{
    PlanarTriangulation holed = jitteredSquare(40, 0.3);  // a hole many cells wide
    std::erase_if(holed.triangles, [&](const auto& corners) {
        const Point2 a = holed.points[static_cast<std::size_t>(corners[0])];
        return sqrDistance(a, {0.5, 0.4}) < 0.3 * 0.3;
    });
    // A band that covers a tenth of its box: cells smaller than the box suggests.
    PlanarTriangulation band = jitteredSquare(60, 0.3);
    std::erase_if(band.triangles, [&](const auto& corners) {
        const Point2 a = band.points[static_cast<std::size_t>(corners[0])];
        return std::abs(a.x - a.y) > 0.05;
    });
    PlanarTriangulation clockwise = jitteredSquare(15, 0.3);
    for (auto& corners : clockwise.triangles)
        std::swap(corners[1], corners[2]);
    const struct {
        const char* name;
        PlanarTriangulation grid;
        double from, to, maxDistance;
    } cases[] = {{"jittered", jitteredSquare(30, 0.35), 0.0, 1.0, 0.0},
                 {"with a hole", holed, -0.3, 1.3, 0.2},
                 {"diagonal band", band, -0.1, 1.1, 0.1},
                 {"turned", turnedBy(jitteredSquare(40, 0.1), 0.6), -0.6, 1.4, 0.0},
                 {"turned, near points too", turnedBy(jitteredSquare(40, 0.1), 0.6), -0.6, 1.4, 0.05},
                 {"turned by a quarter turn and a bit", turnedBy(jitteredSquare(30, 0.2), 1.7), -1.2, 1.2, 0.05},
                 {"clockwise", clockwise, -0.05, 1.05, 0.1},
                 {"fan", fan(3000), -1.1, 1.1, 0.1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TriangleLocator locator(c.grid);
        std::mt19937 random(3);
        std::uniform_real_distribution<double> coordinate(c.from, c.to);
        for (int n = 0; n < 2000; ++n) {
            const Point2 p{coordinate(random), coordinate(random)};
            const double expected = bruteSqrDistance(c.grid, p);
            const TriangleLocator::Hit hit = locator.locate(p, c.maxDistance);
            ASSERT_EQ(hit.found(), expected <= c.maxDistance * c.maxDistance) << p.x << ", " << p.y;
            if (!hit.found())
                continue;
            EXPECT_NEAR(hit.sqrDistance, expected, 1e-12);
            Point2 described;
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_GE(hit.weights[k], -1e-9);
                described = {described.x + hit.weights[k] * corner(c.grid, hit.triangle, k).x,
                             described.y + hit.weights[k] * corner(c.grid, hit.triangle, k).y};
            }
            EXPECT_NEAR(sqrDistance(described, p), hit.sqrDistance, 1e-12);
        }
    }
}

TEST(TriangleLocator, AnswersCornersHintsDegenerateTrianglesAndPointsThatAreNotNumbers)
{
    PlanarTriangulation grid = jitteredSquare(4, 0.0);
    const double nan = std::numeric_limits<double>::quiet_NaN(), infinity = std::numeric_limits<double>::infinity();
    grid.points.insert(grid.points.end(), {{nan, 0.5}, {0.5, 0.5}});
    grid.triangles.insert(grid.triangles.end(), {{0, 25, 4}, {0, 26, 26}, {0, 12, 24}});  // degenerate, never hit
    const TriangleLocator locator(grid);
    const struct {
        Point2 p;
        double maxDistance;
        std::int32_t hint;
        int found;  // -1: nothing, 0: a triangle, 1: a triangle and the corner the point lies on
    } cases[] = {{{0.25, 0.5}, 0.0, -1, 1},      {{0.25 + 1e-9, 0.5}, 0.0, 57, 1}, {{0.25 + 1e-4, 0.5}, 0.0, 100000, 0},
                 {{-1e-9, 0.5}, 0.1, -5, 1},     {{0.3, 0.3}, 0.0, 34, 0},         {{nan, 0.5}, 1.0, -1, -1},
                 {{0.5, infinity}, 1.0, -1, -1}, {{3.0, 0.5}, 0.5, -1, -1},        {{3.0, 0.5}, infinity, -1, 0}};
    for (const auto& c : cases) {
        const TriangleLocator::Hit hit = locator.locate(c.p, c.maxDistance, c.hint);
        EXPECT_EQ(hit.found(), c.found >= 0) << c.p.x << ", " << c.p.y;
        EXPECT_LT(hit.triangle, 32);
        EXPECT_EQ(hit.coincidentCorner >= 0, c.found == 1) << c.p.x << ", " << c.p.y;
    }
    EXPECT_FALSE(TriangleLocator(PlanarTriangulation{}).locate({0.0, 0.0}, 1.0).found());
    EXPECT_DOUBLE_EQ(TriangleLocator({{{0.0, 0.0}, {3.0, 0.0}, {0.0, 4.0}}, {{0, 1, 2}}}).meanEdgeLength(), 4.0);
}

TEST(TriangleLocator, FindsAPointOnANodeThatHangsOnAnotherTrianglesEdgeOnThatNode)
{
    // Node 3 hangs on the left edge of triangle 0. Four triangles over a box of 2 x 2 make a grid
    // of 2 x 2 cells of 1: the node lies on the border of the two columns, and its own triangles
    // end there, in the left column only.
    const PlanarTriangulation mesh{
        {{1, 0}, {1, 1}, {1.25, 0.5}, {1, 0.5}, {0.75, 0.25}, {0.75, 0.75}, {0, 0}, {2, 2}, {2, 1.999}},
        {{0, 2, 1}, {0, 3, 4}, {3, 1, 5}, {6, 8, 7}}};
    const TriangleLocator locator(mesh);
    for (const std::int32_t hint : {-1, 0, 1}) {
        SCOPED_TRACE(testing::Message() << "hint " << hint);
        const TriangleLocator::Hit hit = locator.locate({1.0, 0.5}, 0.0, hint);
        ASSERT_GE(hit.coincidentCorner, 0);
        const auto corner = static_cast<std::size_t>(hit.coincidentCorner);
        EXPECT_EQ(mesh.triangles[static_cast<std::size_t>(hit.triangle)][corner], 3);
        EXPECT_EQ(hit.weights[corner], 1.0);
        EXPECT_LT(locator.locate({1.0, 0.501}, 0.0, hint).coincidentCorner, 0);
    }
}

TEST(TriangleLocator, RejectsCornersOutsideThePointArray)
{
    for (const std::int32_t stray : {9, -1}) {
        PlanarTriangulation grid = jitteredSquare(2, 0.0);
        grid.triangles.push_back({0, stray, 2});
        EXPECT_THROW(TriangleLocator{grid}, std::invalid_argument) << stray;
    }
}

}  // namespace

#include "TriangleLocator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <stdexcept>

using Calvora::PlanarTriangulation;
using Calvora::Point2;
using Calvora::TriangleLocator;

namespace {

// The unit square as a grid of cells x cells, two triangles per cell; interior nodes moved at
// random by up to `jitter` of a cell, so that the triangles have all kinds of shapes.
PlanarTriangulation jitteredSquare(int cells, double jitter, unsigned seed = 7)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> offset(-jitter, jitter);
    PlanarTriangulation grid;
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i) {
            const bool interior = i > 0 && i < cells && j > 0 && j < cells;
            grid.points.push_back({(i + (interior ? offset(random) : 0.0)) / cells,
                                   (j + (interior ? offset(random) : 0.0)) / cells});
        }
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            const int a = j * (cells + 1) + i, b = a + 1, c = a + cells + 1, d = c + 1;
            grid.triangles.push_back({a, b, d});
            grid.triangles.push_back({a, d, c});
        }
    return grid;
}

Point2 cornerOf(const PlanarTriangulation& grid, std::int32_t triangle, std::size_t k)
{
    return grid.points[static_cast<std::size_t>(grid.triangles[static_cast<std::size_t>(triangle)][k])];
}

// The point that a hit's weights describe.
Point2 pointOf(const PlanarTriangulation& grid, const TriangleLocator::Hit& hit)
{
    Point2 p;
    for (std::size_t k = 0; k < 3; ++k) {
        p.x += hit.weights[k] * cornerOf(grid, hit.triangle, k).x;
        p.y += hit.weights[k] * cornerOf(grid, hit.triangle, k).y;
    }
    return p;
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
        const Point2 a = cornerOf(grid, t, 0), b = cornerOf(grid, t, 1), c = cornerOf(grid, t, 2);
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

void expectHolds(const PlanarTriangulation& grid, const TriangleLocator::Hit& hit, Point2 p)
{
    ASSERT_TRUE(hit.inside()) << "at (" << p.x << ", " << p.y << ")";
    for (double weight : hit.weights)
        EXPECT_GE(weight, -1e-9);
    EXPECT_NEAR(hit.weights[0] + hit.weights[1] + hit.weights[2], 1.0, 1e-12);
    const Point2 described = pointOf(grid, hit);
    EXPECT_NEAR(described.x, p.x, 1e-12);
    EXPECT_NEAR(described.y, p.y, 1e-12);
}

}  // namespace

TEST(TriangleLocator, FindsTheTriangleThatHoldsAPointAndItsWeights)
{
    const PlanarTriangulation grid = jitteredSquare(30, 0.35);
    const TriangleLocator locator(grid);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> coordinate(0.0, 1.0);
    for (int n = 0; n < 5000; ++n) {
        const Point2 p{coordinate(random), coordinate(random)};
        expectHolds(grid, locator.locate(p, 0.0), p);
    }
}

TEST(TriangleLocator, LocatesEveryPointOnAnEdgeOrACornerAsInside)
{
    const PlanarTriangulation grid = jitteredSquare(20, 0.35);
    const TriangleLocator locator(grid);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> along(0.0, 1.0);
    for (const auto& corners : grid.triangles)
        for (std::size_t k = 0; k < 3; ++k) {
            const Point2 u = grid.points[static_cast<std::size_t>(corners[k])];
            const Point2 v = grid.points[static_cast<std::size_t>(corners[(k + 1) % 3])];
            const double s = along(random);
            const Point2 onEdge{u.x + s * (v.x - u.x), u.y + s * (v.y - u.y)};
            expectHolds(grid, locator.locate(onEdge, 0.0), onEdge);

            const TriangleLocator::Hit atCorner = locator.locate(u, 0.0);
            expectHolds(grid, atCorner, u);
            ASSERT_GE(atCorner.coincidentCorner, 0);
            EXPECT_EQ(sqrDistance(cornerOf(grid, atCorner.triangle, static_cast<std::size_t>(atCorner.coincidentCorner)), u), 0.0);
        }
}

TEST(TriangleLocator, GivesTheNearestTriangleWithinTheDistanceOutsideAndAcrossAHole)
{
    // A hole many cells wide, so that the nearest triangle of a point in it lies far from its cell.
    PlanarTriangulation grid = jitteredSquare(40, 0.3);
    std::erase_if(grid.triangles, [&](const auto& corners) {
        const Point2 a = grid.points[static_cast<std::size_t>(corners[0])];
        return (a.x - 0.5) * (a.x - 0.5) + (a.y - 0.4) * (a.y - 0.4) < 0.3 * 0.3;
    });
    const TriangleLocator locator(grid);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> coordinate(-0.3, 1.3);
    int located = 0, missed = 0;
    for (int n = 0; n < 3000; ++n) {
        const Point2 p{coordinate(random), coordinate(random)};
        const double expected = bruteSqrDistance(grid, p);
        const TriangleLocator::Hit hit = locator.locate(p, 0.2);
        if (expected > 0.2 * 0.2) {
            EXPECT_FALSE(hit.found()) << "at (" << p.x << ", " << p.y << ")";
            ++missed;
            continue;
        }
        ASSERT_TRUE(hit.found()) << "at (" << p.x << ", " << p.y << ")";
        EXPECT_NEAR(hit.sqrDistance, expected, 1e-12);
        EXPECT_NEAR(sqrDistance(pointOf(grid, hit), p), hit.sqrDistance, 1e-12);
        located += expected > 0.0 ? 1 : 0;
    }
    EXPECT_GT(located, 100);
    EXPECT_GT(missed, 100);
}

TEST(TriangleLocator, TreatsBothWindingsAlike)
{
    const PlanarTriangulation counterClockwise = jitteredSquare(15, 0.3);
    PlanarTriangulation clockwise = counterClockwise;
    for (auto& corners : clockwise.triangles)
        std::swap(corners[1], corners[2]);
    const TriangleLocator forward(counterClockwise), backward(clockwise);
    std::mt19937 random(13);
    std::uniform_real_distribution<double> coordinate(-0.05, 1.05);
    for (int n = 0; n < 2000; ++n) {
        const Point2 p{coordinate(random), coordinate(random)};
        const TriangleLocator::Hit a = forward.locate(p, 0.1), b = backward.locate(p, 0.1);
        ASSERT_EQ(a.found(), b.found());
        if (!a.found())
            continue;
        EXPECT_NEAR(a.sqrDistance, b.sqrDistance, 1e-15);
        const Point2 pa = pointOf(counterClockwise, a), pb = pointOf(clockwise, b);
        EXPECT_NEAR(pa.x, pb.x, 1e-12);
        EXPECT_NEAR(pa.y, pb.y, 1e-12);
    }
}

TEST(TriangleLocator, ReturnsTheSameHitWhateverTheHint)
{
    const PlanarTriangulation grid = jitteredSquare(10, 0.3);
    const TriangleLocator locator(grid);
    const Point2 p{0.52, 0.47};
    const TriangleLocator::Hit plain = locator.locate(p, 0.0);
    ASSERT_TRUE(plain.inside());
    for (std::int32_t hint : {0, 57, plain.triangle, -5, 100000}) {
        const TriangleLocator::Hit hinted = locator.locate(p, 0.0, hint);
        expectHolds(grid, hinted, p);
        EXPECT_EQ(hinted.triangle, plain.triangle) << "hint " << hint;
    }
}

TEST(TriangleLocator, MarksACornerOnlyWhenThePointLiesOnIt)
{
    const TriangleLocator locator(jitteredSquare(4, 0.0));
    EXPECT_GE(locator.locate({0.25, 0.5}, 0.0).coincidentCorner, 0);
    EXPECT_GE(locator.locate({0.25 + 1e-9, 0.5}, 0.0).coincidentCorner, 0);
    EXPECT_EQ(locator.locate({0.25 + 1e-4, 0.5}, 0.0).coincidentCorner, -1);
    EXPECT_GE(locator.locate({-1e-9, 0.5}, 0.1).coincidentCorner, 0);
}

TEST(TriangleLocator, SkipsDegenerateTrianglesAndPointsThatAreNotNumbers)
{
    PlanarTriangulation grid = jitteredSquare(4, 0.0);
    const auto nan = std::numeric_limits<double>::quiet_NaN();
    grid.points.push_back({nan, 0.5});
    grid.points.push_back({0.5, 0.5});
    const auto last = static_cast<std::int32_t>(grid.points.size()) - 1;
    grid.triangles.push_back({0, last - 1, 4});  // a corner that is not a number
    grid.triangles.push_back({0, last, last});   // no area
    grid.triangles.push_back({0, 12, 24});       // no area: three corners on the diagonal
    const TriangleLocator locator(grid);

    const Point2 onDiagonal{0.3, 0.3};
    const TriangleLocator::Hit hit = locator.locate(onDiagonal, 0.0);
    expectHolds(grid, hit, onDiagonal);
    EXPECT_LT(hit.triangle, 32);
    EXPECT_FALSE(locator.locate({nan, 0.5}, 1.0).found());
    EXPECT_FALSE(locator.locate({0.5, std::numeric_limits<double>::infinity()}, 1.0).found());
}

TEST(TriangleLocator, LocatesPointsAmongLongSlivers)
{
    // A fan of thin triangles around one centre: every triangle's box covers the centre.
    PlanarTriangulation fan;
    fan.points.push_back({0.0, 0.0});
    const int spokes = 3000;
    for (int k = 0; k < spokes; ++k) {
        const double angle = 2.0 * std::numbers::pi * k / spokes;
        fan.points.push_back({std::cos(angle), std::sin(angle)});
        fan.triangles.push_back({0, 1 + k, 1 + (k + 1) % spokes});
    }
    const TriangleLocator locator(fan);
    std::mt19937 random(17);
    std::uniform_real_distribution<double> radius(0.0, 0.99), angle(0.0, 2.0 * std::numbers::pi);
    for (int n = 0; n < 500; ++n) {
        const double r = radius(random), a = angle(random);
        const Point2 p{r * std::cos(a), r * std::sin(a)};
        expectHolds(fan, locator.locate(p, 0.0), p);
    }
    const Point2 outside{1.05, 0.01};
    EXPECT_NEAR(locator.locate(outside, 0.1).sqrDistance, bruteSqrDistance(fan, outside), 1e-12);
}

TEST(TriangleLocator, FindsNothingFarAwayOrInAnEmptyTriangulation)
{
    const TriangleLocator locator(jitteredSquare(5, 0.2));
    EXPECT_FALSE(locator.locate({3.0, 0.5}, 0.5).found());
    EXPECT_FALSE(locator.locate({-0.2, -0.2}, 0.2).found());
    EXPECT_TRUE(locator.locate({3.0, 0.5}, std::numeric_limits<double>::infinity()).found());

    const TriangleLocator empty(PlanarTriangulation{});
    EXPECT_FALSE(empty.locate({0.0, 0.0}, 1.0).found());
    EXPECT_EQ(empty.meanEdgeLength(), 0.0);
    EXPECT_DOUBLE_EQ(TriangleLocator({{{0.0, 0.0}, {3.0, 0.0}, {0.0, 4.0}}, {{0, 1, 2}}}).meanEdgeLength(), 4.0);
}

TEST(TriangleLocator, RejectsCornersOutsideThePointArray)
{
    PlanarTriangulation grid = jitteredSquare(2, 0.0);
    grid.triangles.push_back({0, 1, 9});
    EXPECT_THROW(TriangleLocator{grid}, std::invalid_argument);
    grid.triangles.back() = {0, -1, 2};
    EXPECT_THROW(TriangleLocator{grid}, std::invalid_argument);
}

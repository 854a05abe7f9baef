#include "Business_BaseGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Calvora::Triangle;
using Calvora::Vertex;
using Vector = Calvora::Vector<double, 3>;

// The normal of a triangle over corners a, b, c in that order.
Vector normalOf(const Vector& a, const Vector& b, const Vector& c)
{
    Vertex vertices[3];
    Triangle triangle;
    for (int i = 0; const Vector& corner : {a, b, c}) {
        vertices[i].set(corner.x, corner.y, corner.z);
        triangle.corners[i] = &vertices[i];
        ++i;
    }
    return triangle.getNormal();
}

void expectNear(const Vector& actual, const Vector& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-12);
    EXPECT_NEAR(actual.y, expected.y, 1e-12);
    EXPECT_NEAR(actual.z, expected.z, 1e-12);
}

TEST(Triangle, NormalFollowsTheRightHandRuleWithUnitLength)
{
    expectNear(normalOf({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), {0, 0, 1});
    expectNear(normalOf({0, 0, 0}, {0, 1, 0}, {1, 0, 0}), {0, 0, -1});
    expectNear(normalOf({5, 5, 5}, {5, 6, 5}, {5, 5, 6}), {1, 0, 0});
    // Edges (10,0,0) and (3,7,2) span the direction (0,-20,70).
    const double length = std::sqrt(20.0 * 20.0 + 70.0 * 70.0);
    expectNear(normalOf({1, 1, 1}, {11, 1, 1}, {4, 8, 3}), {0, -20 / length, 70 / length});
    expectNear(normalOf({0, 0, 0}, {1e-5, 0, 0}, {0, 0, 1e-5}), {0, -1, 0});
}

TEST(Triangle, NormalIsZeroForADegenerateTriangle)
{
    expectNear(normalOf({0, 0, 0}, {1, 1, 1}, {2, 2, 2}), {0, 0, 0});
    expectNear(normalOf({3, 1, 2}, {3, 1, 2}, {3, 1, 2}), {0, 0, 0});
    EXPECT_EQ(Triangle().getNormal(), Vector(0, 0, 0));
}

}  // namespace

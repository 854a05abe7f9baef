#include "Business_BaseGeometry.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

using Calvora::Triangle;
using Calvora::Vertex;
using Vector = Calvora::Vector<double, 3>;

// Three vertices and a triangle over them, in the order given.
struct TriangleOver {
    std::array<Vertex, 3> vertices;
    Triangle triangle;

    TriangleOver(const Vector& a, const Vector& b, const Vector& c)
    {
        const std::array<Vector, 3> positions{a, b, c};
        for (int i = 0; i < 3; ++i) {
            vertices[i].set(positions[i].x, positions[i].y, positions[i].z);
            triangle.corners[i] = &vertices[i];
        }
    }
    TriangleOver(const TriangleOver&) = delete;
    TriangleOver& operator=(const TriangleOver&) = delete;
};

void expectNear(const Vector& actual, const Vector& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-12);
    EXPECT_NEAR(actual.y, expected.y, 1e-12);
    EXPECT_NEAR(actual.z, expected.z, 1e-12);
}

TEST(Triangle, NormalFollowsTheRightHandRule)
{
    expectNear(TriangleOver({0, 0, 0}, {1, 0, 0}, {0, 1, 0}).triangle.getNormal(), {0, 0, 1});
    expectNear(TriangleOver({0, 0, 0}, {0, 1, 0}, {1, 0, 0}).triangle.getNormal(), {0, 0, -1});
    expectNear(TriangleOver({5, 5, 5}, {5, 6, 5}, {5, 5, 6}).triangle.getNormal(), {1, 0, 0});
}

TEST(Triangle, NormalHasUnitLengthWhateverTheTriangleSize)
{
    // Edges (10,0,0) and (3,7,2) span the direction (0,-20,70).
    const double length = std::sqrt(20.0 * 20.0 + 70.0 * 70.0);
    expectNear(TriangleOver({1, 1, 1}, {11, 1, 1}, {4, 8, 3}).triangle.getNormal(), {0, -20 / length, 70 / length});
    expectNear(TriangleOver({0, 0, 0}, {1e-5, 0, 0}, {0, 0, 1e-5}).triangle.getNormal(), {0, -1, 0});
}

TEST(Triangle, NormalIsZeroForADegenerateTriangle)
{
    expectNear(TriangleOver({0, 0, 0}, {1, 1, 1}, {2, 2, 2}).triangle.getNormal(), {0, 0, 0});
    expectNear(TriangleOver({3, 1, 2}, {3, 1, 2}, {3, 1, 2}).triangle.getNormal(), {0, 0, 0});
    EXPECT_EQ(Triangle().getNormal(), Vector(0, 0, 0));
}

}  // namespace

#include "Business_BaseGeometry.h"

#include <gtest/gtest.h>

namespace {

using Calvora::Point3N;
using Vector = Calvora::Vector<double, 3>;
using Point = Calvora::Point<double, 3>;

TEST(Point, SqrDistanceIsTheSumOfSquaredCoordinateDifferences)
{
    const Point a(1.0, 2.0, 3.0), b(4.0, -2.0, 15.0);
    EXPECT_DOUBLE_EQ(a.sqrDistance(b), 9.0 + 16.0 + 144.0);
    EXPECT_DOUBLE_EQ(b.sqrDistance(a), a.sqrDistance(b));
}

TEST(Point3N, SetsPositionAndNormalApartOrTogether)
{
    Point3N point;
    EXPECT_EQ(point.getNormal(), (Vector{0.0, 0.0, 0.0}));
    point.setNormal(0.0, 0.6, 0.8);
    point.set(1.0, 2.0, 3.0);
    EXPECT_EQ(static_cast<const Point&>(point), Point(1.0, 2.0, 3.0));
    EXPECT_EQ(point.getNormal(), (Vector{0.0, 0.6, 0.8}));

    point.set(-1.5, 2.5, 4.0, 0.0, 1.0, 0.0);
    point.setNormal(0.0, 0.0, -1.0);
    EXPECT_EQ(static_cast<const Point&>(point), Point(-1.5, 2.5, 4.0));
    EXPECT_EQ(point.getNormal(), (Vector{0.0, 0.0, -1.0}));
}

}  // namespace

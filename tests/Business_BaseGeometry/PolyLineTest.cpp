#include "Business_BaseGeometry.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Calvora::Point3N;
using Calvora::PolyLine;
using Point = Calvora::Point<double, 3>;

TEST(PolyLine, HoldsAsManyPointsAsResizedWrittenThroughItsIterators)
{
    PolyLine<Point> line(0.1);
    EXPECT_TRUE(line.getPoints().empty());
    EXPECT_DOUBLE_EQ(line.getTolerance(), 0.1);
    line.resize(3);
    double x = 0.0;
    for (Point& point : line)
        point = Point(x++, 1.0, 2.0);
    ASSERT_EQ(line.size(), 3u);
    EXPECT_EQ(line.getPoints()[2], Point(2.0, 1.0, 2.0));

    line.resize(2);
    ASSERT_EQ(line.size(), 2u);
    EXPECT_EQ(line.getPoints()[1], Point(1.0, 1.0, 2.0));
}

TEST(PolyLine, OfPointsWithNormalsKeepsTheNormals)
{
    std::unique_ptr<Calvora::Curve<double, 3>> curve = std::make_unique<PolyLine<Point3N>>(0.5);
    auto& line = static_cast<PolyLine<Point3N>&>(*curve);
    line.resize(2);
    line.begin()->set(1.0, 2.0, 3.0, 0.0, 0.0, 1.0);

    EXPECT_EQ(line.getPoints()[0].getNormal(), (Calvora::Vector<double, 3>{0.0, 0.0, 1.0}));
    EXPECT_EQ(line.getPoints()[1].getNormal(), (Calvora::Vector<double, 3>{0.0, 0.0, 0.0}));
}

}  // namespace

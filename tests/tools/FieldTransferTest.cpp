#include "FieldTransfer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

using Calvora::MatchStatus;
using Calvora::VertexLocation;

namespace {

// Four before vertices of a unit square, two variables each: a linear field and its negative.
const std::vector<double> squareValues{1.0, -1.0,    // (0, 0): 1 + 2u + 3v
                                       3.0, -3.0,    // (1, 0)
                                       6.0, -6.0,    // (1, 1)
                                       4.0, -4.0};   // (0, 1)

double linearAt(double u, double v)
{
    return 1.0 + 2.0 * u + 3.0 * v;
}

}  // namespace

TEST(FieldTransfer, InterpolatesNodalValuesByHowEachVertexWasLocated)
{
    // Triangles (0, 1, 2) and (0, 2, 3) of the square.
    const struct {
        const char* what;
        VertexLocation location;
        double expected;  // of the first variable; the second is its negative
    } cases[] = {
        {"inside reproduces the linear field",
         {MatchStatus::Inside, 0, {0, 1, 2}, {0.3, 0.5, 0.2}},
         linearAt(0.7, 0.2)},
        {"inside the other triangle", {MatchStatus::Inside, 1, {0, 2, 3}, {0.1, 0.1, 0.8}}, linearAt(0.1, 0.9)},
        {"coincident takes the vertex", {MatchStatus::Coincident, 0, {0, 1, 2}, {0.0, 0.0, 1.0}}, 6.0},
        {"near takes the corner of the largest weight", {MatchStatus::Near, 1, {0, 2, 3}, {0.2, 0.35, 0.45}}, 4.0},
        {"outside takes the fill", {MatchStatus::Outside, -1, {-1, -1, -1}, {0, 0, 0}}, -99.0},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        const std::vector<VertexLocation> locations{row.location};
        const std::vector<double> after = CoreIoAlign::transferNodalValues(locations, squareValues, 2, -99.0);
        ASSERT_EQ(after.size(), 2u);
        EXPECT_NEAR(after[0], row.expected, 1e-12);
        EXPECT_NEAR(after[1], row.location.status == MatchStatus::Outside ? -99.0 : -row.expected, 1e-12);
    }
    const std::vector<VertexLocation> outside{{MatchStatus::Outside, -1, {-1, -1, -1}, {0, 0, 0}}};
    EXPECT_TRUE(std::isnan(CoreIoAlign::transferNodalValues(outside, squareValues, 2)[0]));
}

TEST(FieldTransfer, CarriesTheElementOfTheTriangleThatHoldsEachCentroid)
{
    // Before triangles 0 and 1 are the halves of quad element 1; triangle 2 is element 0.
    const std::vector<int> elementOfTriangle{1, 1, 0};
    const std::vector<double> elementValues{10.0, 20.0, 11.0, 21.0};
    const std::vector<VertexLocation> centroids{
        {MatchStatus::Inside, 0, {0, 1, 2}, {0.2, 0.3, 0.5}},
        {MatchStatus::Inside, 1, {0, 2, 3}, {0.4, 0.3, 0.3}},
        {MatchStatus::Near, 2, {1, 4, 2}, {0.9, 0.05, 0.05}},
        {MatchStatus::Outside, -1, {-1, -1, -1}, {0, 0, 0}},
    };
    EXPECT_EQ(CoreIoAlign::transferElementValues(centroids, elementOfTriangle, elementValues, 2, -1.0),
              (std::vector<double>{11.0, 21.0, 11.0, 21.0, 10.0, 20.0, -1.0, -1.0}));
}

TEST(FieldTransfer, RefusesLocationsAndTablesThatDoNotFit)
{
    const std::vector<VertexLocation> beyond{{MatchStatus::Inside, 0, {0, 4, 2}, {0.3, 0.3, 0.4}}};
    EXPECT_THROW(CoreIoAlign::transferNodalValues(beyond, squareValues, 2), std::invalid_argument);
    EXPECT_THROW(CoreIoAlign::transferNodalValues({}, squareValues, 3), std::invalid_argument);
    const std::vector<VertexLocation> unknownTriangle{{MatchStatus::Inside, 3, {0, 1, 2}, {0.3, 0.3, 0.4}}};
    EXPECT_THROW(CoreIoAlign::transferElementValues(unknownTriangle, std::vector<int>{0, 0, 0}, squareValues, 2),
                 std::invalid_argument);
    EXPECT_THROW(CoreIoAlign::transferElementValues(beyond, std::vector<int>{7}, squareValues, 2),
                 std::invalid_argument);
}

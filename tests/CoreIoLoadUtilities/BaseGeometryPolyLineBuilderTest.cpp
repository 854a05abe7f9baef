#include "BaseGeometryPolyLineBuilder.h"
#include "Business_BaseGeometry.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <type_traits>
#include <vector>

using Calvora::BaseGeometryPolyLineBuilder;
using Calvora::Point3N;
using Calvora::PolyLine;
using PlainPoint = Calvora::Point<double, 3>;
using Normal = Calvora::Vector<double, 3>;

namespace {

// A curve of four points with a normal for each, in both layouts.
struct FourPointCurve {
    std::vector<float> x{0.1f, 1.0f, 2.0f, 3.0f}, y{0.0f, 0.3f, 0.0f, -0.3f}, z{0.7f, 0.0f, 0.5f, 0.0f};
    std::vector<float> nx{0.0f, 0.6f, 0.0f, 0.1f}, ny{0.0f, 0.0f, 1.0f, 0.0f}, nz{1.0f, 0.8f, 0.0f, 0.9f};
    std::vector<float> coordinates{0.1f, 0.0f, 0.7f, 1.0f, 0.3f, 0.0f, 2.0f, 0.0f, 0.5f, 3.0f, -0.3f, 0.0f};
    std::vector<float> normals{0.0f, 0.0f, 1.0f, 0.6f, 0.0f, 0.8f, 0.0f, 1.0f, 0.0f, 0.1f, 0.0f, 0.9f};

    CoreIo::CurveBuilderParamColMajor columnMajor(std::size_t numNormals = 4) const
    {
        return {4, x.data(), y.data(), z.data(), nx.data(), ny.data(), nz.data(), numNormals};
    }
    CoreIo::CurveBuilderParamRowMajor rowMajor(std::size_t numNormals = 4) const
    {
        return {4, coordinates.data(), normals.data(), numNormals};
    }
    Normal normal(std::size_t i) const { return {nx[i], ny[i], nz[i]}; }
};

// Builds as a loader does, through the interface.
template <typename PolyLineT, typename Record>
std::shared_ptr<PolyLineT> build(const Record& record)
{
    BaseGeometryPolyLineBuilder<PolyLineT> builder;
    static_cast<CoreIo::CurveBuilderInterface&>(builder).build(record);
    return builder.getPolyLine();
}

// Point i is point i of the curve, widened exactly; normals are checked by the tests that need them.
template <typename PolyLineT>
void expectPositionsOf(const PolyLineT& polyLine, const FourPointCurve& curve)
{
    ASSERT_EQ(polyLine.size(), 4u);
    EXPECT_EQ(polyLine.getTolerance(), 0.1);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(static_cast<const PlainPoint&>(polyLine.getPoints()[i]), (PlainPoint{curve.x[i], curve.y[i], curve.z[i]}));
    EXPECT_EQ(polyLine.getPoints()[0].x, 0.100000001490116119384765625);
}

template <typename PolyLineT>
class BaseGeometryPolyLineBuilderOf : public testing::Test {};

using BothPolyLines = testing::Types<PolyLine<PlainPoint>, PolyLine<Point3N>>;
TYPED_TEST_SUITE(BaseGeometryPolyLineBuilderOf, BothPolyLines);

}  // namespace

TYPED_TEST(BaseGeometryPolyLineBuilderOf, StartsEmptyAndBuildsThePointsFromEitherLayout)
{
    EXPECT_EQ(BaseGeometryPolyLineBuilder<TypeParam>().getPolyLine(), nullptr);
    const FourPointCurve curve;
    expectPositionsOf(*build<TypeParam>(curve.columnMajor()), curve);
    expectPositionsOf(*build<TypeParam>(curve.rowMajor()), curve);
}

TYPED_TEST(BaseGeometryPolyLineBuilderOf, ReplacesButNeverChangesAPolyLineHandedOut)
{
    const FourPointCurve curve;
    FourPointCurve moved = curve;
    moved.x = {5.0f, 6.0f, 7.0f, 8.0f};
    BaseGeometryPolyLineBuilder<TypeParam> builder;
    builder.build(curve.columnMajor());
    const auto first = builder.getPolyLine();
    EXPECT_EQ(builder.getPolyLine(), first);

    builder.build(moved.columnMajor());
    const auto second = builder.getPolyLine();
    ASSERT_NE(second, first);
    EXPECT_EQ(second->getPoints()[0].x, 5.0);

    builder.build(CoreIo::CurveBuilderParamColMajor{});
    ASSERT_NE(builder.getPolyLine(), second);
    EXPECT_EQ(builder.getPolyLine()->size(), 0u);
    EXPECT_EQ(builder.getPolyLine()->getTolerance(), 0.1);
    expectPositionsOf(*first, curve);
    EXPECT_EQ(second->size(), 4u);
}

TEST(BaseGeometryPolyLineBuilder, OnlyTheFirstNumNormalsPointsGetANormal)
{
    for (const std::size_t numNormals : {std::size_t{4}, std::size_t{2}, std::size_t{0}}) {
        SCOPED_TRACE(numNormals);
        FourPointCurve curve;
        for (std::vector<float>* normals : {&curve.nx, &curve.ny, &curve.nz})
            normals->resize(numNormals);
        curve.normals.resize(3 * numNormals);
        CoreIo::CurveBuilderParamColMajor columns = curve.columnMajor(numNormals);
        CoreIo::CurveBuilderParamRowMajor rows = curve.rowMajor(numNormals);
        if (numNormals == 0) {
            columns.nx = columns.ny = columns.nz = rows.normals = nullptr;
        }

        for (const auto& polyLine : {build<PolyLine<Point3N>>(columns), build<PolyLine<Point3N>>(rows)}) {
            expectPositionsOf(*polyLine, curve);
            for (std::size_t i = 0; i < 4; ++i)
                EXPECT_EQ(polyLine->getPoints()[i].getNormal(), i < numNormals ? curve.normal(i) : Normal{}) << i;
        }
    }
}

TEST(BaseGeometryPolyLineBuilder, PointsWithNormalsReadNoMoreNormalsThanPoints)
{
    FourPointCurve curve;
    for (std::vector<float>* normals : {&curve.nx, &curve.ny, &curve.nz})
        normals->resize(2);  // a sanitizer build catches reads past them
    CoreIo::CurveBuilderParamColMajor record = curve.columnMajor(9);
    record.numPoints = 2;

    const auto polyLine = build<PolyLine<Point3N>>(record);

    ASSERT_EQ(polyLine->size(), 2u);
    EXPECT_EQ(polyLine->getPoints()[1].getNormal(), curve.normal(1));
}

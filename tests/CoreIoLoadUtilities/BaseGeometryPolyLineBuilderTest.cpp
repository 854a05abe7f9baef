#include "BaseGeometryPolyLineBuilder.h"
#include "Business_BaseGeometry.h"
#include "MemoryLoader.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <type_traits>
#include <vector>

using Calvora::BaseGeometryPolyLineBuilder;
using Calvora::Point3N;
using Calvora::PolyLine;
using PlainPoint = Calvora::Point<double, 3>;

namespace {

// A curve of four points with a normal for each, in both layouts.
struct FourPointCurve {
    std::vector<float> x{0.1f, 1.0f, 2.0f, 3.0f};
    std::vector<float> y{0.0f, 0.3f, 0.0f, -0.3f};
    std::vector<float> z{0.7f, 0.0f, 0.5f, 0.0f};
    std::vector<float> nx{0.0f, 0.6f, 0.0f, 0.1f};
    std::vector<float> ny{0.0f, 0.0f, 1.0f, 0.0f};
    std::vector<float> nz{1.0f, 0.8f, 0.0f, 0.9f};
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
};

template <typename PolyLineT, typename Record>
std::shared_ptr<PolyLineT> build(const Record& record)
{
    BaseGeometryPolyLineBuilder<PolyLineT> builder;
    builder.build(record);
    return builder.getPolyLine();
}

template <typename Point>
void expectPosition(const Point& point, float x, float y, float z)
{
    EXPECT_EQ(point.x, static_cast<double>(x));
    EXPECT_EQ(point.y, static_cast<double>(y));
    EXPECT_EQ(point.z, static_cast<double>(z));
}

void expectNormal(const Point3N& point, double nx, double ny, double nz)
{
    EXPECT_EQ(point.getNormal(), (Calvora::Vector<double, 3>{nx, ny, nz}));
}

template <typename PolyLineT>
void expectSamePolyLine(const PolyLineT& actual, const PolyLineT& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    EXPECT_EQ(actual.getTolerance(), expected.getTolerance());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        const auto& a = actual.getPoints()[i];
        const auto& e = expected.getPoints()[i];
        expectPosition(a, static_cast<float>(e.x), static_cast<float>(e.y), static_cast<float>(e.z));
        if constexpr (std::is_same_v<PolyLineT, PolyLine<Point3N>>) {
            EXPECT_EQ(a.getNormal(), e.getNormal());
        }
    }
}

template <typename PolyLineT>
class BaseGeometryPolyLineBuilderOf : public testing::Test {};

using BothPolyLines = testing::Types<PolyLine<PlainPoint>, PolyLine<Point3N>>;
TYPED_TEST_SUITE(BaseGeometryPolyLineBuilderOf, BothPolyLines);

}  // namespace

TYPED_TEST(BaseGeometryPolyLineBuilderOf, StartsWithoutPolyLine)
{
    BaseGeometryPolyLineBuilder<TypeParam> builder;
    EXPECT_EQ(builder.getPolyLine(), nullptr);
}

TYPED_TEST(BaseGeometryPolyLineBuilderOf, WidensEachCoordinateExactlyInPointOrder)
{
    const FourPointCurve curve;
    const auto polyLine = build<TypeParam>(curve.columnMajor());

    ASSERT_EQ(polyLine->size(), 4u);
    EXPECT_EQ(polyLine->getTolerance(), 0.1);
    for (std::size_t i = 0; i < 4; ++i)
        expectPosition(polyLine->getPoints()[i], curve.x[i], curve.y[i], curve.z[i]);
    EXPECT_EQ(polyLine->getPoints()[0].x, 0.100000001490116119384765625);
}

TYPED_TEST(BaseGeometryPolyLineBuilderOf, BuildsTheSamePolyLineFromBothLayouts)
{
    const FourPointCurve curve;
    expectSamePolyLine(*build<TypeParam>(curve.rowMajor()), *build<TypeParam>(curve.columnMajor()));
}

TYPED_TEST(BaseGeometryPolyLineBuilderOf, ReplacesItsPolyLineWithAnEmptyOneForACurveWithoutPoints)
{
    BaseGeometryPolyLineBuilder<TypeParam> builder;
    builder.build(FourPointCurve{}.rowMajor());
    const auto previous = builder.getPolyLine();

    builder.build(CoreIo::CurveBuilderParamColMajor{});

    ASSERT_NE(builder.getPolyLine(), previous);
    EXPECT_EQ(builder.getPolyLine()->size(), 0u);
    EXPECT_EQ(builder.getPolyLine()->getTolerance(), 0.1);
    EXPECT_EQ(previous->size(), 4u);
}

TYPED_TEST(BaseGeometryPolyLineBuilderOf, LeavesAPolyLineHandedOutUnchangedWhenItBuildsAgain)
{
    const FourPointCurve curve;
    FourPointCurve moved = curve;
    moved.x = {5.0f, 6.0f, 7.0f, 8.0f};
    BaseGeometryPolyLineBuilder<TypeParam> builder;
    builder.build(curve.columnMajor());
    const auto first = builder.getPolyLine();
    EXPECT_EQ(builder.getPolyLine(), first);

    builder.build(moved.columnMajor());

    EXPECT_NE(builder.getPolyLine(), first);
    EXPECT_EQ(builder.getPolyLine()->getPoints()[0].x, 5.0);
    expectSamePolyLine(*first, *build<TypeParam>(curve.columnMajor()));
}

TYPED_TEST(BaseGeometryPolyLineBuilderOf, BuildsACurveThatALoaderDelivers)
{
    const FourPointCurve curve;
    CoreIo::CurveArrays arrays;
    arrays.layout = CoreIo::Layout::RowMajor;
    arrays.numPoints = arrays.numNormals = 4;
    arrays.coordinates = curve.coordinates;
    arrays.normals = curve.normals;
    CoreIo::MemoryLoader loader;
    const CoreIo::CurveLocation location = loader.addCurve("curve", arrays);
    BaseGeometryPolyLineBuilder<TypeParam> builder;

    loader.loadCurve(location, builder);

    ASSERT_NE(builder.getPolyLine(), nullptr);
    expectSamePolyLine(*builder.getPolyLine(), *build<TypeParam>(curve.rowMajor()));
}

TEST(BaseGeometryPolyLineBuilder, PlainPointsIgnoreTheNormalsOfTheRecord)
{
    const FourPointCurve curve;
    CoreIo::CurveBuilderParamColMajor unreadable = curve.columnMajor(7);
    unreadable.nx = unreadable.ny = unreadable.nz = nullptr;
    CoreIo::CurveBuilderParamRowMajor unreadableRows = curve.rowMajor(7);
    unreadableRows.normals = nullptr;

    const auto withNormals = build<PolyLine<PlainPoint>>(curve.columnMajor());
    expectSamePolyLine(*build<PolyLine<PlainPoint>>(unreadable), *withNormals);
    expectSamePolyLine(*build<PolyLine<PlainPoint>>(unreadableRows), *withNormals);
}

TEST(BaseGeometryPolyLineBuilder, PointsWithNormalsTakeTheRecordsNormalsInOrder)
{
    const FourPointCurve curve;
    for (const auto& polyLine : {build<PolyLine<Point3N>>(curve.columnMajor()), build<PolyLine<Point3N>>(curve.rowMajor())}) {
        ASSERT_EQ(polyLine->size(), 4u);
        for (std::size_t i = 0; i < 4; ++i)
            expectNormal(polyLine->getPoints()[i], static_cast<double>(curve.nx[i]), static_cast<double>(curve.ny[i]),
                         static_cast<double>(curve.nz[i]));
        EXPECT_EQ(polyLine->getPoints()[3].getNormal().x, static_cast<double>(0.1f));
    }
}

TEST(BaseGeometryPolyLineBuilder, OnlyTheFirstNumNormalsPointsGetANormal)
{
    FourPointCurve curve;
    curve.nx.resize(2), curve.ny.resize(2), curve.nz.resize(2), curve.normals.resize(6);

    for (const auto& polyLine : {build<PolyLine<Point3N>>(curve.columnMajor(2)), build<PolyLine<Point3N>>(curve.rowMajor(2))}) {
        expectNormal(polyLine->getPoints()[0], 0.0, 0.0, 1.0);
        expectNormal(polyLine->getPoints()[1], static_cast<double>(0.6f), 0.0, static_cast<double>(0.8f));
        expectNormal(polyLine->getPoints()[2], 0.0, 0.0, 0.0);
        expectNormal(polyLine->getPoints()[3], 0.0, 0.0, 0.0);
        expectPosition(polyLine->getPoints()[3], 3.0f, -0.3f, 0.0f);
    }
}

TEST(BaseGeometryPolyLineBuilder, PointsWithNormalsReadNoNormalWhenThereAreNone)
{
    const FourPointCurve curve;
    CoreIo::CurveBuilderParamColMajor columns = curve.columnMajor(0);
    columns.nx = columns.ny = columns.nz = nullptr;
    CoreIo::CurveBuilderParamRowMajor rows = curve.rowMajor(0);
    rows.normals = nullptr;

    for (const auto& polyLine : {build<PolyLine<Point3N>>(columns), build<PolyLine<Point3N>>(rows)}) {
        ASSERT_EQ(polyLine->size(), 4u);
        expectPosition(polyLine->getPoints()[1], 1.0f, 0.3f, 0.0f);
        expectNormal(polyLine->getPoints()[1], 0.0, 0.0, 0.0);
    }
}

TEST(BaseGeometryPolyLineBuilder, PointsWithNormalsReadNoMoreNormalsThanPoints)
{
    FourPointCurve curve;
    curve.nx.resize(2), curve.ny.resize(2), curve.nz.resize(2);  // a sanitizer build catches reads past them
    CoreIo::CurveBuilderParamColMajor record = curve.columnMajor(9);
    record.numPoints = 2;

    const auto polyLine = build<PolyLine<Point3N>>(record);

    ASSERT_EQ(polyLine->size(), 2u);
    expectNormal(polyLine->getPoints()[1], static_cast<double>(0.6f), 0.0, static_cast<double>(0.8f));
}

// The alignment of two bodies as front ends see it: every after vertex's status, the coverage,
// and the locations that carry fields across.
#include "FieldTransfer.h"
#include "MemoryLoader.h"
#include "PairAlignment.h"
#include "SampleBodies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

namespace {

using Calvora::MatchStatus;
using CoreIoAlign::alignPair;
using CoreIoAlign::TubeMode;

// A sheet as a record, its initial coordinates moved by shift along the first one.
CoreIo::MeshAndCoord sheetRecord(const CoreIoSamples::SampleBody& sheet, float shift = 0.0f)
{
    CoreIo::MemoryLoader loader;
    CoreIoSamples::registerBody(loader, "sheet", sheet);
    CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(loader, loader.bodies().front());
    for (float& u : *record.initCoord0)
        u += shift;
    return record;
}

const CoreIoSamples::SampleBody before = CoreIoSamples::makeSheet({}, {12, 12, 0.0, 1});
const CoreIoSamples::SampleBody remeshed = CoreIoSamples::makeSheet({1.0, 1.0, 0.05}, {9, 7, 0.15, 2});

}  // namespace

TEST(PairAlignment, CountsHowEveryAfterVertexWasFound)
{
    const std::size_t count = remeshed.numNodes();
    struct Row {
        const char* pair;
        float shift;
        double coverage;
        std::size_t outside;
    };
    for (const Row& row : {Row{"a remesh", 0.0f, 1.0, 0}, Row{"disjoint bodies", 5.0f, 0.0, count}}) {
        SCOPED_TRACE(row.pair);
        const auto alignment = alignPair(sheetRecord(before), sheetRecord(remeshed, row.shift), TubeMode::Auto, true);
        EXPECT_EQ(alignment.count(MatchStatus::Outside), row.outside);
        EXPECT_DOUBLE_EQ(alignment.coverage(), row.coverage);
        EXPECT_EQ(alignment.locations.size(), count);
        EXPECT_FALSE(alignment.tube);
    }
}

TEST(PairAlignment, CarriesALinearFieldExactly)
{
    const auto field = [](double u, double v) { return 2.0 * u - 3.0 * v + 1.0; };
    std::vector<double> values;
    for (std::size_t i = 0; i < before.numNodes(); ++i)
        values.push_back(field(before.initCoord0[i], before.initCoord1[i]));
    const auto alignment = alignPair(sheetRecord(before), sheetRecord(remeshed), TubeMode::No, false);
    const std::vector<double> carried = CoreIoAlign::transferNodalValues(alignment.locations, values, 1);
    for (std::size_t i = 0; i < remeshed.numNodes(); ++i)
        ASSERT_NEAR(carried[i], field(remeshed.initCoord0[i], remeshed.initCoord1[i]), 1e-5) << "vertex " << i;
}

// Each cell of the sheet is a quad split into triangles 2k and 2k + 1.
TEST(PairAlignment, CarriesASplitQuadsValueFromBothHalves)
{
    const auto alignment = alignPair(sheetRecord(before), sheetRecord(before), TubeMode::No, false);
    std::vector<std::size_t> firstCorner{0};
    std::vector<int> corners;
    std::vector<int> elementOfTriangle;
    std::vector<double> cellValues;
    for (std::size_t cell = 0; cell < before.numTriangles() / 2; ++cell) {
        const std::set<int> quad(before.triangles.begin() + 6 * cell, before.triangles.begin() + 6 * cell + 6);
        corners.insert(corners.end(), quad.begin(), quad.end());
        firstCorner.push_back(corners.size());
        elementOfTriangle.insert(elementOfTriangle.end(), 2, static_cast<int>(cell));
        cellValues.push_back(10.0 + static_cast<double>(cell));
    }
    const auto centroids = CoreIoAlign::locateAfterElements(alignment, firstCorner, corners);
    const std::vector<double> carried = CoreIoAlign::transferElementValues(centroids, elementOfTriangle, cellValues, 1);
    EXPECT_EQ(carried, cellValues);
}

TEST(PairAlignment, RefusesInitialCoordinatesWithoutPositions)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        const char* problem;
        float value;
        std::size_t vertices;  // that take the value
        const char* message;
    };
    for (const Row& row :
         {Row{"NaN", nan, 3, "3 vertices whose initial coordinates are not finite numbers, the first is vertex 0"},
          Row{"all zero", 0.0f, remeshed.numNodes(), "lie at one point"}}) {
        SCOPED_TRACE(row.problem);
        CoreIo::MeshAndCoord after = sheetRecord(remeshed);
        std::fill_n(after.initCoord1->begin(), row.vertices, row.value);
        std::fill_n(after.initCoord0->begin(), row.vertices, row.value);
        try {
            alignPair(sheetRecord(before), after, TubeMode::Auto, false);
            ADD_FAILURE() << "not refused";
        } catch (const CoreIoAlign::InputError& error) {
            EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
        }
    }
}

// The alignment of two bodies as the front ends see it: every after vertex's status, the coverage,
// the completion, the refusals of bodies without a material plane, and one frame for bodies made
// apart.
#include "AlignmentReport.h"
#include "AlignmentSamples.h"
#include "BodyAlignment.h"
#include "Errors.h"
#include "FieldTransfer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using Calvora::MatchStatus;
using CoreIoAlign::alignBodies;
using CoreIoAlign::TubeMode;
using CoreIoSamples::alignmentBody;

const CoreIoSamples::SampleBody before = CoreIoSamples::makeSheet({}, {12, 12, 0.0, 1});
const CoreIoSamples::SampleBody remeshed = CoreIoSamples::makeSheet({1.0, 1.0, 0.05}, {9, 7, 0.15, 2});

// The sample with its initial coordinates moved by (du, dv).
CoreIoSamples::SampleBody movedInMaterial(CoreIoSamples::SampleBody sample, float du, float dv = 0.0f)
{
    for (float& u : sample.initCoord0)
        u += du;
    for (float& v : sample.initCoord1)
        v += dv;
    return sample;
}

}  // namespace

TEST(BodyAlignment, CountsHowEveryAfterVertexWasFound)
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
        const auto alignment = alignBodies(alignmentBody(before), alignmentBody(movedInMaterial(remeshed, row.shift)),
                                           TubeMode::Auto, false);
        EXPECT_EQ(alignment.count(MatchStatus::Outside), row.outside);
        EXPECT_DOUBLE_EQ(alignment.coverage(), row.coverage);
        EXPECT_EQ(alignment.locations.size(), count);
        EXPECT_FALSE(alignment.tube);
    }
}

TEST(BodyAlignment, LocatesInABodyOfOneTriangle)
{
    const std::vector<double> points{0, 0, 0, 1, 0, 0, 0, 1, 0}, plane{0, 0, 1, 0, 0, 1};
    CoreIoAlign::BodyArrays arrays;
    arrays.points = points;
    arrays.initialCoordinates = plane;
    arrays.blocks = {{1, "", "one", "triangle", 3, {0, 1, 2}}};
    const CoreIoAlign::Body triangle = CoreIoAlign::makeBody(arrays);
    EXPECT_EQ(alignBodies(triangle, triangle, TubeMode::No, false).coverage(), 1.0);
}

TEST(BodyAlignment, CarriesALinearFieldExactly)
{
    const auto field = [](double u, double v) { return 2.0 * u - 3.0 * v + 1.0; };
    std::vector<double> values;
    for (std::size_t i = 0; i < before.numNodes(); ++i)
        values.push_back(field(before.initCoord0[i], before.initCoord1[i]));
    const auto alignment = alignBodies(alignmentBody(before), alignmentBody(remeshed), TubeMode::No, false);
    const std::vector<double> carried = CoreIoAlign::transferNodalValues(alignment.locations, values, 1);
    for (std::size_t i = 0; i < remeshed.numNodes(); ++i)
        ASSERT_NEAR(carried[i], field(remeshed.initCoord0[i], remeshed.initCoord1[i]), 1e-5) << "vertex " << i;
}

// Each body's record holds its initial coordinates relative to its own centre, in 32 bits; the
// alignment must put both in one frame, also when the centres differ along one coordinate only.
TEST(BodyAlignment, PutsBodiesMadeApartIntoOneMaterialFrame)
{
    std::vector<double> coordinates;
    for (std::size_t i = 0; i < before.numNodes(); ++i)
        coordinates.insert(coordinates.end(), {before.initCoord0[i], before.initCoord1[i]});
    for (const auto& [du, dv] : {std::pair{0.4f, 0.45f}, std::pair{0.25f, 0.45f}, std::pair{0.4f, 0.25f}}) {
        SCOPED_TRACE(testing::Message() << "moved by " << du << ", " << dv);
        const CoreIoSamples::SampleBody part = movedInMaterial(CoreIoSamples::makeSheet({0.5, 0.5, 0.05},
                                                                                        {7, 6, 0.1, 3}),
                                                               du, dv);
        const auto alignment = alignBodies(alignmentBody(before), alignmentBody(part), TubeMode::No, false);
        EXPECT_EQ(alignment.coverage(), 1.0);
        const std::vector<double> carried = CoreIoAlign::transferNodalValues(alignment.locations, coordinates, 2);
        for (std::size_t i = 0; i < part.numNodes(); ++i) {
            ASSERT_NEAR(carried[2 * i], part.initCoord0[i], 1e-6) << "vertex " << i;
            ASSERT_NEAR(carried[2 * i + 1], part.initCoord1[i], 1e-6) << "vertex " << i;
        }
    }
}

TEST(BodyAlignment, SaysWhatTheCompletionDid)
{
    struct Row {
        const char* pair;
        float shift;
        bool leftOutside;
    };
    for (const Row& row :
         {Row{"every vertex inside", 0.0f, false}, Row{"some near", 0.02f, false}, Row{"some outside", 0.3f, true}}) {
        SCOPED_TRACE(row.pair);
        const auto alignment = alignBodies(alignmentBody(before), alignmentBody(movedInMaterial(remeshed, row.shift)),
                                           TubeMode::No, true);
        const std::vector<int>& matching = *alignment.result.vertexMatching;
        std::size_t unmatched = 0;
        for (std::size_t i = 0; i < matching.size(); ++i)
            unmatched += matching[i] < 0;
        EXPECT_EQ(alignment.completionLeftOutside, row.leftOutside);
        if (row.leftOutside) {
            EXPECT_EQ(alignment.completed, 0u);
            EXPECT_GE(unmatched, alignment.count(MatchStatus::Outside));
        } else {
            EXPECT_EQ(alignment.completed, alignment.count(MatchStatus::Inside) + alignment.count(MatchStatus::Near));
            EXPECT_EQ(alignment.count(MatchStatus::Near) > 0, row.shift > 0.0f);
            EXPECT_EQ(unmatched, 0u);
        }
    }
}

TEST(BodyAlignment, RefusesBodiesWithoutAMaterialPlane)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto withCoordinates = [](auto change) {
        CoreIoAlign::Body body = alignmentBody(remeshed);
        change(body.initialCoordinates);
        return body;
    };
    struct Row {
        const char* problem;
        CoreIoAlign::Body after;
        const char* message;
    };
    const Row rows[] = {
        {"NaN", withCoordinates([&](std::vector<double>& ic) { std::fill_n(ic.begin() + 5, 5, nan); }),
         "3 nodes whose initial coordinates are not finite numbers, the first is node 3"},
        {"all at one point", withCoordinates([](std::vector<double>& ic) { std::ranges::fill(ic, 0.0); }),
         "has no area"},
        {"on a line", withCoordinates([](std::vector<double>& ic) {
             for (std::size_t k = 1; k < ic.size(); k += 2)
                 ic[k] = 0.5;
         }),
         "has no area"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.problem);
        try {
            alignBodies(alignmentBody(before), row.after, TubeMode::Auto, false);
            ADD_FAILURE() << "not refused";
        } catch (const CoreIoAlign::InputError& error) {
            EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
        }
    }
}

// A projection that lays two places of the body on one material point (a shell folded over, seen
// along the fold) would align every vertex somewhere: it must be refused, saying what to do.
TEST(BodyAlignment, RefusesAMaterialPlaneThatFoldsOverItself)
{
    CoreIoSamples::SampleBody folded = remeshed;
    for (float& u : folded.initCoord0)
        u = std::abs(u - 0.5f);
    CoreIoSamples::SampleBody oneTurned = remeshed;
    std::swap(oneTurned.triangles[1], oneTurned.triangles[2]);
    struct Row {
        const CoreIoSamples::SampleBody& after;
        TubeMode tube;
        const char* message;
    };
    for (const Row& row :
         {Row{folded, TubeMode::No,
              "the material plane of the before body folds over itself: 62 of its 126 triangles wind against the "
              "others, so"},
          Row{folded, TubeMode::Auto, "folds over itself: 62 of its 126 triangles wind against the others, so"},
          Row{oneTurned, TubeMode::No, "the material plane of the after body folds over itself: 1 of its 126"}}) {
        try {
            const bool beforeFolds = &row.after == &folded;
            alignBodies(alignmentBody(beforeFolds ? folded : remeshed), alignmentBody(row.after), row.tube, false);
            ADD_FAILURE() << "not refused";
        } catch (const CoreIoAlign::InputError& error) {
            EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
        }
    }
}

// 32-bit material coordinates limit what a strongly stretched material plane can resolve: the
// bound says how much, and grows with the stretch.
TEST(BodyAlignment, BoundsThePositionErrorOfThirtyTwoBitMaterialCoordinates)
{
    const auto squeezed = [](CoreIoSamples::SampleBody sample, float factor) {
        for (float& u : sample.initCoord0)
            u *= factor;
        return sample;
    };
    const auto plain = alignBodies(alignmentBody(before), alignmentBody(remeshed), TubeMode::No, false);
    const auto stretched = alignBodies(alignmentBody(squeezed(before, 1e-4f)), alignmentBody(squeezed(remeshed, 1e-4f)),
                                       TubeMode::No, false);
    EXPECT_GT(plain.roundingBound, 0.0);
    EXPECT_LT(plain.roundingBound, 1e-5 * plain.meanEdgeLength);
    EXPECT_GT(stretched.roundingBound, 1e3 * plain.roundingBound);
    EXPECT_GT(stretched.roundingBound, CoreIoAlign::roundingWarningShare * stretched.meanEdgeLength);
}

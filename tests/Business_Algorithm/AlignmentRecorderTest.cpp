#include "Business_Algorithm.h"

#include "AlignerBodies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <thread>
#include <utility>

namespace {

using namespace CoreIoSamples;
using Calvora::AlignmentRecord;
using Calvora::AlignmentRecorder;
using Calvora::MatchStatus;
using Calvora::MaterialFixedMeshAligner;
using Calvora::Mesh;

std::shared_ptr<Mesh> align(const AlignerBody& before, const AlignerBody& after)
{
    MaterialFixedMeshAligner aligner;
    connect(aligner, before, after);
    double biggestSquareError = 0.0;
    return aligner.computeMeshBeforeWithTopologyOfMeshAfter(biggestSquareError, nullptr);
}

// The number of after vertices of the recorded call, which tells the calls apart; 0: none.
std::size_t recorded(AlignmentRecorder& recorder)
{
    const std::optional<AlignmentRecord> record = recorder.take();
    return record ? record->locations.size() : 0;
}

TEST(AlignmentRecorder, KeepsTheLatestCallOfItsThreadWhileItIsTheInnermost)
{
    const AlignerBody sheet = bodyOver(gridNodes(4), gridTriangles(4), bump);
    const AlignerBody one = probes({{0.5, 0.5}}), two = probes({{0.5, 0.5}, {0.2, 0.2}});
    AlignerBody broken = probes({{0.5, 0.5}});
    broken.initCoords = nullptr;
    const auto fails = [&] { EXPECT_THROW(align(sheet, broken), std::invalid_argument); };

    align(sheet, one);
    AlignmentRecorder outer;
    EXPECT_EQ(recorded(outer), 0u) << "a call before the recorder";
    align(sheet, one);
    align(sheet, two);
    EXPECT_EQ(recorded(outer), 2u) << "the latest call";
    EXPECT_EQ(recorded(outer), 0u) << "taken already";
    std::thread([&] { align(sheet, one); }).join();
    EXPECT_EQ(recorded(outer), 0u) << "a call on another thread";
    align(sheet, one);
    fails();
    EXPECT_EQ(recorded(outer), 0u) << "the latest call threw";
    {
        AlignmentRecorder inner;
        align(sheet, two);
        EXPECT_EQ(recorded(outer), 0u) << "the inner recorder records";
        EXPECT_EQ(recorded(inner), 2u);
    }
    align(sheet, one);
    EXPECT_EQ(recorded(outer), 1u) << "the outer recorder again";
}

TEST(AlignmentRecord, HoldsWhatTheCallFoundAndALocatorThatOutlivesTheBodies)
{
    const auto after = makeSheet({.width = 1.1}, {.cellsU = 17, .jitter = 0.15});
    std::vector<Calvora::Point<double, 3>> points;
    for (std::size_t i = 0; i < after.numNodes(); ++i)
        points.emplace_back(after.initCoord0[i], after.initCoord1[i], 7.0);
    AlignmentRecorder recorder;
    const auto aligned = align(alignerBody(makeSheet({}, {.cellsU = 12, .jitter = 0.1})), alignerBody(after));
    const std::optional<AlignmentRecord> record = recorder.take();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->alignedMesh, aligned);
    EXPECT_GT(record->biggestSquareError, 0.0);
    EXPECT_FALSE(record->seamBefore || record->seamAfter);

    points.emplace_back(std::numeric_limits<double>::quiet_NaN(), 0.5, 0.0);
    std::vector<Calvora::VertexLocation> again = record->before->locate(points);
    EXPECT_EQ(again.back().status, MatchStatus::Outside);
    again.pop_back();
    EXPECT_TRUE(again == record->locations);
}

TEST(AlignmentRecord, CountsTheTrianglesOfEachMaterialPlaneThatWindAgainstTheRest)
{
    const auto flipped = [](std::vector<int> triangles, std::initializer_list<std::size_t> which) {
        for (const std::size_t t : which)
            std::swap(triangles[3 * t + 1], triangles[3 * t + 2]);
        return triangles;
    };
    std::vector<Planar> withDegenerate = gridNodes(4);
    withDegenerate.push_back({0.5, 0.0});  // on the line from vertex 0 to vertex 4
    // Clockwise: a degenerate triangle counted with either winding would make one fold.
    std::vector<int> degenerate = gridTriangles(4, true);
    degenerate.insert(degenerate.end(), {0, 25, 4});
    const auto tube = CoreIoSamples::makeTube({}, {.around = 12, .along = 5, .phase = 0.3});
    const struct {
        const char* name;
        AlignerBody before, after;
        std::size_t foldedBefore, foldedAfter;
        bool cut;
    } cases[] = {
        {"folded", bodyOver(gridNodes(4), flipped(gridTriangles(4), {3, 8, 20}), bump),
         bodyOver(gridNodes(3), flipped(gridTriangles(3, true), {0, 17}), bump), 3, 2, false},
        {"folded the other way", bodyOver(gridNodes(4), flipped(gridTriangles(4, true), {3, 8, 20}), bump),
         bodyOver(gridNodes(3), flipped(gridTriangles(3), {0, 17}), bump), 3, 2, false},
        {"degenerate", bodyOver(withDegenerate, degenerate, bump), bodyOver(withDegenerate, degenerate, bump), 0, 0,
         false},
        {"rolled tube", alignerBody(tube), alignerBody(tube), 10, 10, false},
        {"unrolled tube", unrolled(alignerBody(tube)), unrolled(alignerBody(tube)), 0, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AlignmentRecorder recorder;
        align(c.before, c.after);
        const std::optional<AlignmentRecord> record = recorder.take();
        ASSERT_TRUE(record);
        EXPECT_EQ(record->foldedBefore, c.foldedBefore);
        EXPECT_EQ(record->foldedAfter, c.foldedAfter);
        EXPECT_EQ(record->seamBefore != nullptr, c.cut);
        EXPECT_EQ(record->seamBefore, Calvora::TubeInitialCoordinatesConverter::seamOf(c.before.map));
        EXPECT_EQ(record->seamAfter, Calvora::TubeInitialCoordinatesConverter::seamOf(c.after.map));
    }
}

}  // namespace

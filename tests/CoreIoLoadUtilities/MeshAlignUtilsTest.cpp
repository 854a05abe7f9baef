// The alignment unit against scripted stand-ins for the aligner and the tube converter: what it
// hands them, in which order, what it makes of their answers, and what it logs.
#include "MeshAlignUtils.h"

#include "FakeAlgorithms.h"
#include "ModuleLogCapture.h"
#include "Persistence_SkinBaseName.h"
#include "RecordingLoader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using AlignmentTestSupport::ModuleLogCapture;
using AlignmentTestSupport::RecordingLoader;
using FakeAlgorithms::Call;
using MatchingEl = Calvora::MaterialFixedMeshAligner::MatchingEl;
using LogEntry = std::pair<spdlog::level::level_enum, std::string>;
using Triangles = std::vector<std::array<int, 3>>;
using InitCoords = std::vector<std::array<float, 2>>;

const std::string callingMessage = "Calling getMeshAlignResult";
const std::string missingRecordMessage = "Missing data in meshAndICs";
const std::string missingDataMessage = "VYQ-related Missing data in getMeshAlignResult";
const std::string noMatchingMessage = "VYQ-related MaterialFixedMeshAligner delivered no indexing matching information.";
const std::string incompleteMessage = "Incomplete matching from getMeshAlignResult";
const std::string inaccurateMessage = "Inaccurate matching from getMeshAlignResult";

LogEntry trace(std::string message) { return {spdlog::level::trace, std::move(message)}; }
LogEntry warn(std::string message) { return {spdlog::level::warn, std::move(message)}; }
LogEntry error(std::string message) { return {spdlog::level::err, std::move(message)}; }

LogEntry tubeDecision(int tube) { return trace("Determined if geometry is a tube: " + std::to_string(tube)); }
LogEntry errorReport(const std::string& value)
{
    return trace("Called computeMeshBeforeWithTopologyOfMeshAfter with biggestSquareError " + value);
}
LogEntry dataFound(std::size_t size) { return trace("Data found in getMeshAlignResult with size: " + std::to_string(size)); }

// The line that names the four meshes the aligner was given.
LogEntry meshAddresses(const FakeAlgorithms::AlignerMeshes& meshes)
{
    std::ostringstream text;
    text << "Calling computeMeshBeforeWithTopologyOfMeshAfter with mesh data " << meshes.meshBefore << ' '
         << meshes.initCoordMeshBefore << ' ' << meshes.meshAfter << ' ' << meshes.initCoordMeshAfter;
    return trace(text.str());
}

class MeshFiller : public Calvora::MeshModifier {
public:
    explicit MeshFiller(Calvora::Mesh& mesh) : MeshModifier(mesh) {}
    using MeshModifier::triangles;
    using MeshModifier::vertices;
};

// A body whose vertex i lies at (i, 10 + i, -1) with index firstIndex + i and initial
// coordinates initCoords[i].
CoreIo::MeshAndCoord makeBody(const InitCoords& initCoords, const Triangles& triangles, int firstIndex = 0)
{
    auto mesh = std::make_shared<Calvora::Mesh>();
    auto initCoord0 = std::make_shared<std::vector<float>>();
    auto initCoord1 = std::make_shared<std::vector<float>>();
    {
        MeshFiller filler(*mesh);
        Calvora::Mesh::VertexContainer& vertices = filler.vertices();
        vertices.resize(initCoords.size());
        for (std::size_t i = 0; i < initCoords.size(); ++i) {
            vertices[i].set(static_cast<double>(i), 10.0 + static_cast<double>(i), -1.0);
            vertices[i].index = firstIndex + static_cast<int>(i);
            initCoord0->push_back(initCoords[i][0]);
            initCoord1->push_back(initCoords[i][1]);
        }
        Calvora::Mesh::TriangleContainer& meshTriangles = filler.triangles();
        meshTriangles.resize(triangles.size());
        for (std::size_t t = 0; t < triangles.size(); ++t) {
            for (std::size_t corner = 0; corner < 3; ++corner)
                meshTriangles[t].corners[corner] = &vertices[static_cast<std::size_t>(triangles[t][corner])];
            meshTriangles[t].index = static_cast<int>(t);
        }
    }
    return {initCoord0, initCoord1, mesh};
}

// A unit square of two triangles; laid out flat in initial coordinates both face +z.
const Triangles squareTriangles{{0, 1, 3}, {0, 3, 2}};
const InitCoords flatSquare{{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}};
// The last vertex moved across so that the second triangle faces -z: a rolled-up tube.
const InitCoords foldedSquare{{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}, {-1.0f, 1.0f}};

std::array<double, 3> position(const Calvora::Point<double, 3>& point) { return {point.x, point.y, point.z}; }

std::vector<std::array<double, 3>> positions(const Calvora::Mesh& mesh)
{
    std::vector<std::array<double, 3>> all;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex)
        all.push_back(position(*vertex));
    return all;
}

std::vector<std::array<double, 3>> flatPositions(const std::vector<float>& u, const std::vector<float>& v,
                                                 std::size_t count)
{
    std::vector<std::array<double, 3>> all;
    for (std::size_t i = 0; i < count; ++i)
        all.push_back({static_cast<double>(u[i]), static_cast<double>(v[i]), 0.0});
    return all;
}

const FakeAlgorithms::Event& eventOf(Call call)
{
    for (const FakeAlgorithms::Event& event : FakeAlgorithms::events())
        if (event.call == call)
            return event;
    throw std::logic_error("the fakes recorded no such call");
}

const std::vector<Call> flatCalls{Call::alignerCreated, Call::alignmentComputed, Call::alignerDestroyed};
const std::vector<Call> tubeCalls{Call::alignerCreated,     Call::converterCreated,   Call::tubeUnrolled,
                                  Call::vertexMapBeforeSet, Call::converterDestroyed, Call::converterCreated,
                                  Call::tubeUnrolled,       Call::vertexMapAfterSet,  Call::converterDestroyed,
                                  Call::alignmentComputed,  Call::alignerDestroyed};

class MeshAlignUtils : public ::testing::Test {
protected:
    MeshAlignUtils() { FakeAlgorithms::reset(); }
    ~MeshAlignUtils() override { FakeAlgorithms::reset(); }

    // The log of a call that ran the aligner and delivered `size` entries, without completion.
    std::vector<LogEntry> successfulLog(const std::string& error, std::size_t size) const
    {
        return {trace(callingMessage), meshAddresses(eventOf(Call::alignmentComputed).aligner), errorReport(error),
                dataFound(size)};
    }

    ModuleLogCapture log{COREIO_MESH_ALIGN_UTILS_SOURCE};
};

TEST_F(MeshAlignUtils, DrivesTheAlignerWithBothBodiesAndReturnsItsAnswer)
{
    const CoreIo::MeshAndCoord before = makeBody(flatSquare, squareTriangles);
    const CoreIo::MeshAndCoord after = makeBody(foldedSquare, squareTriangles);
    const auto alignedMesh = std::make_shared<Calvora::Mesh>();
    FakeAlgorithms::script().matching = {{2, -1}, {0, 5}, {3, -1}, {1, -1}};
    FakeAlgorithms::script().alignedMesh = alignedMesh;
    FakeAlgorithms::script().biggestSquareError = 0.25;

    const CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(before, after, 0, true);

    // isTube 0 forbids the converter even for a folded second body.
    EXPECT_EQ(FakeAlgorithms::calls(), flatCalls);
    const FakeAlgorithms::Event& computed = eventOf(Call::alignmentComputed);
    EXPECT_EQ(computed.aligner.meshBefore, before.mesh.get());
    EXPECT_EQ(computed.aligner.meshAfter, after.mesh.get());
    ASSERT_NE(computed.aligner.initCoordMeshBefore, nullptr);
    ASSERT_NE(computed.aligner.initCoordMeshAfter, nullptr);
    EXPECT_NE(computed.aligner.initCoordMeshBefore, before.mesh.get());
    EXPECT_NE(computed.aligner.initCoordMeshAfter, after.mesh.get());
    EXPECT_EQ(computed.errorOnEntry, 0.0);
    EXPECT_EQ(computed.matchingSizeOnEntry, 0u);

    ASSERT_NE(result.vertexMatching, nullptr);
    EXPECT_EQ(*result.vertexMatching, (std::vector<int>{2, 0, 3, 1}));
    EXPECT_EQ(result.alignedMesh, alignedMesh);
    EXPECT_EQ(log.levelsAndMessages(), successfulLog("0.25", 4));
}

TEST_F(MeshAlignUtils, PlacesInitialCoordinateMeshesInThePlaneAndLeavesTheBodiesAlone)
{
    const InitCoords exotic{{0.1f, -3.5f}, {1e-8f, 2.0f / 3.0f}, {-0.0f, 1e30f}, {7.25f, 0.3f}};
    const CoreIo::MeshAndCoord before = makeBody(exotic, squareTriangles, 100);
    CoreIo::MeshAndCoord after = makeBody(flatSquare, squareTriangles);
    after.initCoord0->push_back(99.0f);  // values beyond the vertex count are ignored
    after.initCoord1->insert(after.initCoord1->end(), {98.0f, 97.0f});
    const auto bodyPositions = positions(*before.mesh);
    FakeAlgorithms::script().matching = {{0, -1}};

    CoreIo::getMeshAlignResult(before, after, 0, false);

    const FakeAlgorithms::Event& computed = eventOf(Call::alignmentComputed);
    const Calvora::Mesh& icBefore = *computed.initCoordBeforeCopy;
    EXPECT_EQ(positions(icBefore), flatPositions(*before.initCoord0, *before.initCoord1, 4));
    EXPECT_EQ(positions(*computed.initCoordAfterCopy), flatPositions(*after.initCoord0, *after.initCoord1, 4));
    ASSERT_EQ(icBefore.numberOfTriangles(), 2u);
    for (unsigned int i = 0; i < 4; ++i)
        EXPECT_EQ(icBefore.getVertex(i).index, 100 + static_cast<int>(i));
    EXPECT_EQ(positions(*before.mesh), bodyPositions);
}

TEST_F(MeshAlignUtils, ShortCoordinateArraysThrowOutOfRangeBeforeAnythingHappens)
{
    for (int shortened = 0; shortened < 4; ++shortened) {
        SCOPED_TRACE(shortened);
        CoreIo::MeshAndCoord before = makeBody(flatSquare, squareTriangles);
        CoreIo::MeshAndCoord after = makeBody(flatSquare, squareTriangles);
        CoreIo::MeshAndCoord& body = shortened < 2 ? before : after;
        (shortened % 2 == 0 ? body.initCoord0 : body.initCoord1)->pop_back();

        EXPECT_THROW(CoreIo::getMeshAlignResult(before, after, -1, true), std::out_of_range);
        EXPECT_TRUE(log.levelsAndMessages().empty());
        EXPECT_TRUE(FakeAlgorithms::events().empty());
    }
}

TEST_F(MeshAlignUtils, PositiveIsTubeUnrollsBothMeshesWithAFreshConverterEachWithoutDetecting)
{
    const CoreIo::MeshAndCoord before = makeBody(flatSquare, squareTriangles);
    const CoreIo::MeshAndCoord after = makeBody(flatSquare, squareTriangles);
    const auto mapBefore = std::make_shared<const std::vector<int>>(std::vector<int>{3, 2, 1, 0});
    const auto mapAfter = std::make_shared<const std::vector<int>>(std::vector<int>{0, 1, 2, 3, 0});
    FakeAlgorithms::script().vertexMaps = {mapBefore, mapAfter};
    FakeAlgorithms::script().matching = {{1, -1}};

    CoreIo::getMeshAlignResult(before, after, 5, true);

    ASSERT_EQ(FakeAlgorithms::calls(), tubeCalls);
    const auto& events = FakeAlgorithms::events();
    const FakeAlgorithms::AlignerMeshes& aligned = eventOf(Call::alignmentComputed).aligner;
    EXPECT_EQ(events[2].unrolledMesh, aligned.initCoordMeshBefore);
    EXPECT_EQ(events[6].unrolledMesh, aligned.initCoordMeshAfter);
    for (const FakeAlgorithms::Event* unrolled : {&events[2], &events[6]}) {
        EXPECT_TRUE(unrolled->mapArrivedEmpty);
        EXPECT_GE(unrolled->unrolledMeshShares, 2);  // a share of its own, besides the caller's
    }
    EXPECT_EQ(events[3].map, mapBefore);
    EXPECT_EQ(events[3].aligner.meshBefore, before.mesh.get());
    EXPECT_EQ(events[3].aligner.initCoordMeshBefore, aligned.initCoordMeshBefore);
    EXPECT_EQ(events[3].aligner.meshAfter, nullptr);
    EXPECT_EQ(events[3].aligner.initCoordMeshAfter, nullptr);
    EXPECT_EQ(events[7].map, mapAfter);
    EXPECT_EQ(events[7].aligner.meshAfter, after.mesh.get());
    EXPECT_EQ(events[7].aligner.initCoordMeshAfter, aligned.initCoordMeshAfter);
    EXPECT_EQ(log.levelsAndMessages(), successfulLog("0", 1));
}

TEST_F(MeshAlignUtils, NegativeIsTubeDecidesFromTheSecondBodyAlone)
{
    struct Case {
        const InitCoords& before;
        const InitCoords& after;
        int tube;
    };
    for (const Case& c : {Case{flatSquare, foldedSquare, 1}, Case{foldedSquare, flatSquare, 0}}) {
        SCOPED_TRACE(c.tube);
        FakeAlgorithms::reset();
        log.clear();
        FakeAlgorithms::script().matching = {{0, -1}};

        CoreIo::getMeshAlignResult(makeBody(c.before, squareTriangles), makeBody(c.after, squareTriangles), -1, true);

        EXPECT_EQ(FakeAlgorithms::calls(), c.tube == 1 ? tubeCalls : flatCalls);
        const std::vector<LogEntry> logged = log.levelsAndMessages();
        ASSERT_EQ(logged.size(), 5u);
        EXPECT_EQ(logged[0], trace(callingMessage));
        EXPECT_EQ(logged[1], tubeDecision(c.tube));
    }
}

TEST_F(MeshAlignUtils, DetectionCountsOnlyTrianglesThatFaceUpOrDown)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Triangles twoApart{{0, 1, 2}, {3, 4, 5}};
    const InitCoords up{{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}};
    const InitCoords down{{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 0.0f}};
    const InitCoords collapsed{{2.0f, 2.0f}, {2.0f, 2.0f}, {2.0f, 2.0f}};
    const InitCoords undefined{{nan, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}};
    auto pair = [](const InitCoords& first, const InitCoords& second) {
        InitCoords both = first;
        both.insert(both.end(), second.begin(), second.end());
        return both;
    };
    struct Case {
        const char* name;
        CoreIo::MeshAndCoord after;
        int tube;
    };
    const Case cases[] = {
        {"no triangles", makeBody(up, {}), 0},
        {"up only", makeBody(pair(up, up), twoApart), 0},
        {"degenerate and down", makeBody(pair(collapsed, down), twoApart), 0},
        {"not a number and up", makeBody(pair(undefined, up), twoApart), 0},
        {"not a number and down", makeBody(pair(undefined, down), twoApart), 0},
        {"down then up", makeBody(pair(down, up), twoApart), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        FakeAlgorithms::script().matching = {{0, -1}};

        CoreIo::getMeshAlignResult(makeBody(flatSquare, squareTriangles), c.after, -1, false);

        const std::vector<LogEntry> logged = log.levelsAndMessages();
        ASSERT_GE(logged.size(), 2u);
        EXPECT_EQ(logged[1], tubeDecision(c.tube));
    }
}

// The three ways of lacking data, each in one copy of a valid body.
std::vector<CoreIo::MeshAndCoord> invalidBodies()
{
    std::vector<CoreIo::MeshAndCoord> bodies(3, makeBody(foldedSquare, squareTriangles));
    bodies[0].mesh = nullptr;
    bodies[1].initCoord0 = nullptr;
    bodies[2].initCoord1 = nullptr;
    return bodies;
}

TEST_F(MeshAlignUtils, AnInvalidSecondRecordSkipsDetectionAndGivesAnEmptyResult)
{
    for (const CoreIo::MeshAndCoord& after : invalidBodies()) {
        log.clear();

        const CoreIo::MeshAlignResult result =
            CoreIo::getMeshAlignResult(makeBody(flatSquare, squareTriangles), after, -1, true);

        EXPECT_EQ(result.vertexMatching, nullptr);
        EXPECT_EQ(result.alignedMesh, nullptr);
        EXPECT_TRUE(FakeAlgorithms::events().empty());
        EXPECT_EQ(log.levelsAndMessages(),
                  (std::vector<LogEntry>{warn(missingRecordMessage), trace(callingMessage), trace(missingDataMessage)}));
    }
}

TEST_F(MeshAlignUtils, AnInvalidFirstRecordStillLetsTheSecondBeExamined)
{
    for (const CoreIo::MeshAndCoord& before : invalidBodies()) {
        log.clear();

        const CoreIo::MeshAlignResult result =
            CoreIo::getMeshAlignResult(before, makeBody(foldedSquare, squareTriangles), -1, true);

        EXPECT_EQ(result.vertexMatching, nullptr);
        EXPECT_EQ(result.alignedMesh, nullptr);
        EXPECT_TRUE(FakeAlgorithms::events().empty());
        EXPECT_EQ(log.levelsAndMessages(), (std::vector<LogEntry>{warn(missingRecordMessage), trace(callingMessage),
                                                                  tubeDecision(1), trace(missingDataMessage)}));
    }
}

TEST_F(MeshAlignUtils, TwoInvalidRecordsWarnTwiceBeforeTheCall)
{
    const CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(CoreIo::MeshAndCoord(), CoreIo::MeshAndCoord(), 1, true);

    EXPECT_EQ(result.vertexMatching, nullptr);
    EXPECT_TRUE(FakeAlgorithms::events().empty());
    EXPECT_EQ(log.levelsAndMessages(), (std::vector<LogEntry>{warn(missingRecordMessage), warn(missingRecordMessage),
                                                              trace(callingMessage), trace(missingDataMessage)}));
}

TEST_F(MeshAlignUtils, AnEmptyMatchingGivesAnEmptyResultAndDropsTheAlignedMesh)
{
    auto alignedMesh = std::make_shared<Calvora::Mesh>();
    const std::weak_ptr<Calvora::Mesh> watched = alignedMesh;
    FakeAlgorithms::script().alignedMesh = std::move(alignedMesh);

    const CoreIo::MeshAlignResult result =
        CoreIo::getMeshAlignResult(makeBody(flatSquare, squareTriangles), makeBody(flatSquare, squareTriangles), 0, true);

    EXPECT_EQ(result.vertexMatching, nullptr);
    EXPECT_EQ(result.alignedMesh, nullptr);
    EXPECT_TRUE(watched.expired());
    EXPECT_EQ(FakeAlgorithms::calls(), flatCalls);
    EXPECT_EQ(log.levelsAndMessages(),
              (std::vector<LogEntry>{trace(callingMessage), meshAddresses(eventOf(Call::alignmentComputed).aligner),
                                     errorReport("0"), trace(noMatchingMessage)}));
}

TEST_F(MeshAlignUtils, WithoutCompletionNegativeIndicesArePassedOnSilently)
{
    FakeAlgorithms::script().matching = {{-1, 0}, {2, -1}, {-7, -3}, {0, 1}};

    const CoreIo::MeshAlignResult result =
        CoreIo::getMeshAlignResult(makeBody(flatSquare, squareTriangles), makeBody(flatSquare, squareTriangles), 0, false);

    EXPECT_EQ(*result.vertexMatching, (std::vector<int>{-1, 2, -7, 0}));
    EXPECT_EQ(log.levelsAndMessages(), successfulLog("0", 4));
}

// The before square with vertex indices 100..103: triangle 0 is (0,0) (1,0) (1,1), triangle 1 is
// (0,0) (1,1) (0,1) in initial coordinates.
CoreIo::MeshAndCoord indexedSquare() { return makeBody(flatSquare, squareTriangles, 100); }

TEST_F(MeshAlignUtils, CompletionTakesTheNearestCornerOfTheGivenTriangleAndWarnsOnce)
{
    const InitCoords afterPoints{{0.9f, 0.2f}, {0.5f, 0.5f}, {0.1f, 0.8f}, {0.6f, 0.55f}};
    FakeAlgorithms::script().matching = {{-1, 0}, {3, -1}, {-1, 1}, {-5, 1}};

    const CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(indexedSquare(), makeBody(afterPoints, {}), 0, true);

    EXPECT_EQ(*result.vertexMatching, (std::vector<int>{101, 3, 102, 103}));
    const std::vector<LogEntry> logged = log.levelsAndMessages();
    ASSERT_EQ(logged.size(), 5u);
    EXPECT_EQ(logged[3], warn(inaccurateMessage));
    EXPECT_EQ(logged[4], dataFound(4));
}

TEST_F(MeshAlignUtils, CompletionBreaksTiesTowardsTheCornerStoredFirst)
{
    // Corners (0,0) (1,0) (0,1), then the same in the order (0,0) (0,1) (1,0).
    const CoreIo::MeshAndCoord before =
        makeBody({{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}}, {{0, 1, 2}, {0, 2, 1}}, 100);
    // (0.6,0.6) lies as near to (1,0) as to (0,1); (0.5,0.5) as near to all three.
    const CoreIo::MeshAndCoord after = makeBody({{0.6f, 0.6f}, {0.6f, 0.6f}, {0.5f, 0.5f}}, {});
    FakeAlgorithms::script().matching = {{-1, 0}, {-1, 1}, {-1, 1}};

    const CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(before, after, 0, true);

    EXPECT_EQ(*result.vertexMatching, (std::vector<int>{101, 102, 100}));
}

TEST_F(MeshAlignUtils, AnElementWithoutVertexAndTriangleFailsTheCompletionWithoutWarning)
{
    auto alignedMesh = std::make_shared<Calvora::Mesh>();
    const std::weak_ptr<Calvora::Mesh> watched = alignedMesh;
    FakeAlgorithms::script().alignedMesh = std::move(alignedMesh);
    FakeAlgorithms::script().matching = {{-1, 0}, {-1, -1}, {2, -1}, {-1, 1}};

    try {
        CoreIo::getMeshAlignResult(indexedSquare(), makeBody(flatSquare, squareTriangles), 0, true);
        FAIL() << "an incomplete matching must throw";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), incompleteMessage.c_str());
    }

    EXPECT_TRUE(watched.expired());
    EXPECT_EQ(FakeAlgorithms::calls(), flatCalls);
    EXPECT_EQ(log.levelsAndMessages(),
              (std::vector<LogEntry>{trace(callingMessage), meshAddresses(eventOf(Call::alignmentComputed).aligner),
                                     errorReport("0"), error(incompleteMessage)}));
}

TEST_F(MeshAlignUtils, CompletionMeasuresOnTheMeshTheConverterUnrolled)
{
    const CoreIo::MeshAndCoord after = makeBody({{0.9f, 0.2f}, {0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}}, squareTriangles);
    const auto afterPositions = positions(*after.mesh);
    FakeAlgorithms::script().matching = {{-1, 0}};
    // The second converter moves vertex 0 of the after mesh next to corner (1,1).
    FakeAlgorithms::script().unroll = [](std::size_t call, Calvora::Mesh& mesh) {
        if (call == 1)
            mesh.getVertex(0).set(0.9, 0.95, 0.0);
    };

    const CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(indexedSquare(), after, 1, true);

    EXPECT_EQ(*result.vertexMatching, std::vector<int>{103});
    EXPECT_EQ(position(eventOf(Call::alignmentComputed).initCoordAfterCopy->getVertex(0)),
              (std::array<double, 3>{0.9, 0.95, 0.0}));
    EXPECT_EQ(positions(*after.mesh), afterPositions);
}

TEST_F(MeshAlignUtils, ReportsTheBiggestSquareErrorInTheStreamsDefaultFormat)
{
    const std::pair<double, const char*> cases[] = {{1.5e-7, "1.5e-07"}, {123456789.0, "1.23457e+08"}, {2.0, "2"}};
    for (const auto& [value, text] : cases) {
        log.clear();
        FakeAlgorithms::script().biggestSquareError = value;
        FakeAlgorithms::script().matching = {{0, -1}};

        CoreIo::getMeshAlignResult(makeBody(flatSquare, squareTriangles), makeBody(flatSquare, squareTriangles), 0, true);

        const std::vector<LogEntry> logged = log.levelsAndMessages();
        ASSERT_EQ(logged.size(), 4u);
        EXPECT_EQ(logged[2], errorReport(text));
    }
}

TEST_F(MeshAlignUtils, EveryMessageNamesThisUnitsFileItsEnclosingFunctionAndItsLine)
{
    FakeAlgorithms::script().matching = {{-1, 0}};
    CoreIo::MeshAndCoord invalid = indexedSquare();
    invalid.mesh = nullptr;

    CoreIo::getMeshAlignResult(invalid, makeBody(flatSquare, squareTriangles), 0, true);
    CoreIo::getMeshAlignResult(indexedSquare(), makeBody(flatSquare, squareTriangles), -1, true);

    const std::vector<AlignmentTestSupport::LogRecord> records = log.records();
    ASSERT_EQ(records.size(), 9u);
    std::vector<int> lines;
    for (const AlignmentTestSupport::LogRecord& record : records) {
        SCOPED_TRACE(record.message);
        EXPECT_EQ(record.file, COREIO_MESH_ALIGN_UTILS_SOURCE);
        const bool fromGetICMesh = record.message == missingRecordMessage;
        EXPECT_THAT(record.function,
                    ::testing::AllOf(::testing::HasSubstr(fromGetICMesh ? " CoreIo::{anonymous}::getICMesh("
                                                                        : " CoreIo::getMeshAlignResult("),
                                     ::testing::HasSubstr("MeshAndCoord&")));
        EXPECT_GT(record.line, 0);
        lines.push_back(record.line);
    }
    // The two "Calling getMeshAlignResult" come from one line; the other seven kinds from one each.
    EXPECT_EQ(lines[1], lines[3]);
    EXPECT_EQ(std::set<int>(lines.begin(), lines.end()).size(), 8u);
}

TEST_F(MeshAlignUtils, TheLoaderOverloadReadsTheFirstBodyFirstAndAgreesWithTheRecordOverload)
{
    RecordingLoader loader;
    auto registerSquare = [&loader](const std::string& name, const InitCoords& initCoords) {
        CoreIo::MeshArrays mesh;
        mesh.numNodes = initCoords.size();
        mesh.x = {0.0f, 1.0f, 0.0f, 1.0f};
        mesh.y = {0.0f, 0.0f, 1.0f, 1.0f};
        mesh.z = {0.0f, 0.0f, 0.0f, 0.5f};
        mesh.numNormals = 4;
        mesh.nx = mesh.ny = {0.0f, 0.0f, 0.0f, 0.0f};
        mesh.nz = {1.0f, 1.0f, 1.0f, 1.0f};
        mesh.numTriangles = 2;
        mesh.triangles = {0, 1, 3, 0, 3, 2};
        std::vector<float> u;
        std::vector<float> v;
        for (const auto& [first, second] : initCoords) {
            u.push_back(first);
            v.push_back(second);
        }
        loader.addBody(name, std::move(mesh));
        loader.addResult(name, Calvora::SkinBaseName::INITIALCOORD0, u);
        loader.addResult(name, Calvora::SkinBaseName::INITIALCOORD1, v);
    };
    registerSquare("after", {{0.9f, 0.2f}, {0.1f, 0.8f}, {0.0f, 0.0f}, {1.0f, 1.0f}});
    registerSquare("before", flatSquare);
    const CoreIo::SimBody& before = loader.body("before");
    const CoreIo::SimBody& after = loader.body("after");
    const std::vector<MatchingEl> matching{{-1, 0}, {-1, 1}, {0, -1}, {3, -1}};

    FakeAlgorithms::script().matching = matching;
    const CoreIo::MeshAlignResult viaLoader = CoreIo::getMeshAlignResult(loader, before, after, -1, true);
    const FakeAlgorithms::Event loaderRun = eventOf(Call::alignmentComputed);
    const std::vector<LogEntry> loaderLog = log.levelsAndMessages();

    using Operation = RecordingLoader::Operation;
    const std::vector<RecordingLoader::Call> expectedCalls{
        {Operation::loadMesh, before.meshLocation.id, std::nullopt},
        {Operation::loadResult, before.results[0].dataLocation.id, std::nullopt},
        {Operation::loadResult, before.results[1].dataLocation.id, std::nullopt},
        {Operation::loadMesh, after.meshLocation.id, std::nullopt},
        {Operation::loadResult, after.results[0].dataLocation.id, std::nullopt},
        {Operation::loadResult, after.results[1].dataLocation.id, std::nullopt}};
    EXPECT_EQ(loader.calls(), expectedCalls);

    FakeAlgorithms::reset();
    log.clear();
    FakeAlgorithms::script().matching = matching;
    const CoreIo::MeshAlignResult viaRecords = CoreIo::getMeshAlignResult(
        CoreIo::readMeshAndICs(loader, before), CoreIo::readMeshAndICs(loader, after), -1, true);
    const FakeAlgorithms::Event& recordRun = eventOf(Call::alignmentComputed);

    EXPECT_EQ(*viaLoader.vertexMatching, (std::vector<int>{1, 2, 0, 3}));
    EXPECT_EQ(*viaLoader.vertexMatching, *viaRecords.vertexMatching);
    EXPECT_EQ(positions(*loaderRun.initCoordBeforeCopy), positions(*recordRun.initCoordBeforeCopy));
    EXPECT_EQ(positions(*loaderRun.initCoordAfterCopy), positions(*recordRun.initCoordAfterCopy));
    std::vector<LogEntry> recordLog = log.levelsAndMessages();
    ASSERT_EQ(recordLog.size(), loaderLog.size());
    recordLog[2] = loaderLog[2];  // the mesh addresses differ from run to run
    EXPECT_EQ(recordLog, loaderLog);
}

TEST_F(MeshAlignUtils, TheLoaderOverloadPassesReadingFailuresThrough)
{
    RecordingLoader loader;
    CoreIo::SimBody unknown;
    unknown.meshLocation.id = 7;

    EXPECT_THROW(CoreIo::getMeshAlignResult(loader, unknown, unknown, 0, true), std::out_of_range);
    EXPECT_TRUE(FakeAlgorithms::events().empty());
    EXPECT_TRUE(log.levelsAndMessages().empty());
}

}  // namespace

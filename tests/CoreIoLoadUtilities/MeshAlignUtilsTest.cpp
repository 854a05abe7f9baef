// The alignment unit against scripted stand-ins for the aligner and the tube converter: what it
// hands them, in which order, what it makes of their answers, and what it logs.
#include "MeshAlignUtils.h"

#include "FakeAlgorithms.h"
#include "ModuleLogCapture.h"
#include "Persistence_SkinBaseName.h"
#include "RecordingLoader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using AlignmentTestSupport::ModuleLogCapture;
using AlignmentTestSupport::RecordingLoader;
using FakeAlgorithms::Call;
using LogEntry = std::pair<spdlog::level::level_enum, std::string>;
using Triangles = std::vector<std::array<int, 3>>;
using InitCoords = std::vector<std::array<float, 2>>;
using Positions = std::vector<std::array<double, 3>>;

const std::string callingMessage = "Calling getMeshAlignResult";
const std::string missingRecordMessage = "Missing data in meshAndICs";
const std::string missingDataMessage = "VYQ-related Missing data in getMeshAlignResult";
const std::string incompleteMessage = "Incomplete matching from getMeshAlignResult";

LogEntry trace(std::string message) { return {spdlog::level::trace, std::move(message)}; }
LogEntry warn(std::string message) { return {spdlog::level::warn, std::move(message)}; }
LogEntry tubeDecision(int tube) { return trace("Determined if geometry is a tube: " + std::to_string(tube)); }
LogEntry errorReport(const std::string& value)
{
    return trace("Called computeMeshBeforeWithTopologyOfMeshAfter with biggestSquareError " + value);
}

// A body whose vertex i lies at (i, 10 + i, -1) with index firstIndex + i and initial
// coordinates initCoords[i].
CoreIo::MeshAndCoord makeBody(const InitCoords& initCoords, const Triangles& triangles, int firstIndex = 0)
{
    struct Filler : Calvora::MeshModifier {
        explicit Filler(Calvora::Mesh& mesh) : MeshModifier(mesh) {}
        using MeshModifier::triangles;
        using MeshModifier::vertices;
    };
    auto mesh = std::make_shared<Calvora::Mesh>();
    auto initCoord0 = std::make_shared<std::vector<float>>();
    auto initCoord1 = std::make_shared<std::vector<float>>();
    Filler filler(*mesh);
    Calvora::Mesh::VertexContainer& vertices = filler.vertices();
    vertices.resize(initCoords.size());
    for (std::size_t i = 0; i < initCoords.size(); ++i) {
        vertices[i].set(static_cast<double>(i), 10.0 + static_cast<double>(i), -1.0);
        vertices[i].index = firstIndex + static_cast<int>(i);
        initCoord0->push_back(initCoords[i][0]);
        initCoord1->push_back(initCoords[i][1]);
    }
    filler.triangles().resize(triangles.size());
    for (std::size_t t = 0; t < triangles.size(); ++t) {
        for (std::size_t corner = 0; corner < 3; ++corner)
            filler.triangles()[t].corners[corner] = &vertices[static_cast<std::size_t>(triangles[t][corner])];
        filler.triangles()[t].index = static_cast<int>(t);
    }
    return {initCoord0, initCoord1, mesh};
}

// A unit square of two triangles; laid out flat in initial coordinates both face +z.
const Triangles squareTriangles{{0, 1, 3}, {0, 3, 2}};
const InitCoords flatSquare{{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}};
// The last vertex moved across so that the second triangle faces -z: a rolled-up tube.
const InitCoords foldedSquare{{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}, {-1.0f, 1.0f}};

CoreIo::MeshAndCoord square() { return makeBody(flatSquare, squareTriangles); }
// Triangle 0 is (0,0) (1,0) (1,1), triangle 1 is (0,0) (1,1) (0,1); vertex indices 100..103.
CoreIo::MeshAndCoord indexedSquare() { return makeBody(flatSquare, squareTriangles, 100); }

Positions positions(const Calvora::Mesh& mesh)
{
    Positions all;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex)
        all.push_back({vertex->x, vertex->y, vertex->z});
    return all;
}

// The first `count` initial coordinates of a body, in the plane z = 0.
Positions planePositions(const CoreIo::MeshAndCoord& body, std::size_t count)
{
    Positions all;
    for (std::size_t i = 0; i < count; ++i)
        all.push_back({(*body.initCoord0)[i], (*body.initCoord1)[i], 0.0});
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

    void restart()
    {
        FakeAlgorithms::reset();
        log.clear();
    }

    // The log up to and including the aligner's error report, which shows `error`.
    std::vector<LogEntry> alignerLog(const std::string& error) const
    {
        const FakeAlgorithms::AlignerMeshes& meshes = eventOf(Call::alignmentComputed).aligner;
        std::ostringstream addresses;
        addresses << "Calling computeMeshBeforeWithTopologyOfMeshAfter with mesh data " << meshes.meshBefore << ' '
                  << meshes.initCoordMeshBefore << ' ' << meshes.meshAfter << ' ' << meshes.initCoordMeshAfter;
        return {trace(callingMessage), trace(addresses.str()), errorReport(error)};
    }

    // The log of a call that delivered `size` entries, with `extra` between error report and size.
    std::vector<LogEntry> successfulLog(const std::string& error, std::size_t size, std::vector<LogEntry> extra = {}) const
    {
        std::vector<LogEntry> all = alignerLog(error);
        all.insert(all.end(), extra.begin(), extra.end());
        all.push_back(trace("Data found in getMeshAlignResult with size: " + std::to_string(size)));
        return all;
    }

    ModuleLogCapture log{COREIO_MESH_ALIGN_UTILS_SOURCE};
};

TEST_F(MeshAlignUtils, DrivesTheAlignerWithPlaneMeshesOfBothBodiesAndReturnsItsAnswer)
{
    const CoreIo::MeshAndCoord before = makeBody(
        {{0.1f, -3.5f}, {1e-8f, 2.0f / 3.0f}, {-0.0f, 1e30f}, {7.25f, 0.3f}}, squareTriangles, 100);
    CoreIo::MeshAndCoord after = makeBody(foldedSquare, squareTriangles);
    after.initCoord0->push_back(99.0f);  // values beyond the vertex count are ignored
    after.initCoord1->insert(after.initCoord1->end(), {98.0f, 97.0f});
    const Positions bodyPositions = positions(*before.mesh);
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
    EXPECT_EQ(computed.errorOnEntry, 0.0);
    EXPECT_EQ(computed.matchingSizeOnEntry, 0u);
    const Calvora::Mesh& icBefore = *computed.initCoordBeforeCopy;
    EXPECT_EQ(positions(icBefore), planePositions(before, 4));
    EXPECT_EQ(positions(*computed.initCoordAfterCopy), planePositions(after, 4));
    ASSERT_EQ(icBefore.numberOfTriangles(), 2u);
    for (unsigned int i = 0; i < 4; ++i)
        EXPECT_EQ(icBefore.getVertex(i).index, 100 + static_cast<int>(i));
    EXPECT_EQ(positions(*before.mesh), bodyPositions);

    ASSERT_NE(result.vertexMatching, nullptr);
    EXPECT_EQ(*result.vertexMatching, (std::vector<int>{2, 0, 3, 1}));
    EXPECT_EQ(result.alignedMesh, alignedMesh);
    EXPECT_EQ(log.levelsAndMessages(), successfulLog("0.25", 4));
}

TEST_F(MeshAlignUtils, ShortCoordinateArraysThrowOutOfRangeBeforeAnythingHappens)
{
    for (int shortened = 0; shortened < 4; ++shortened) {
        SCOPED_TRACE(shortened);
        CoreIo::MeshAndCoord before = square();
        CoreIo::MeshAndCoord after = square();
        CoreIo::MeshAndCoord& body = shortened < 2 ? before : after;
        (shortened % 2 == 0 ? body.initCoord0 : body.initCoord1)->pop_back();

        EXPECT_THROW(CoreIo::getMeshAlignResult(before, after, -1, true), std::out_of_range);
        EXPECT_TRUE(log.levelsAndMessages().empty());
        EXPECT_TRUE(FakeAlgorithms::events().empty());
    }
}

TEST_F(MeshAlignUtils, PositiveIsTubeUnrollsBothMeshesWithAFreshConverterEachWithoutDetecting)
{
    const CoreIo::MeshAndCoord before = square();
    const CoreIo::MeshAndCoord after = square();
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

TEST_F(MeshAlignUtils, NegativeIsTubeDecidesFromTheSecondBodyAloneCountingOnlyTrianglesFacingUpOrDown)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Triangles twoApart{{0, 1, 2}, {3, 4, 5}};
    const InitCoords up{{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}};
    const InitCoords down{{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 0.0f}};
    const InitCoords collapsed{{2.0f, 2.0f}, {2.0f, 2.0f}, {2.0f, 2.0f}};
    const InitCoords undefined{{nan, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}};
    auto pair = [&](InitCoords first, const InitCoords& second) {
        first.insert(first.end(), second.begin(), second.end());
        return makeBody(first, twoApart);
    };
    struct Case {
        const char* name;
        CoreIo::MeshAndCoord before, after;
        int tube;
    };
    const Case cases[] = {
        {"folded", square(), makeBody(foldedSquare, squareTriangles), 1},
        {"only the first folded", makeBody(foldedSquare, squareTriangles), square(), 0},
        {"no triangles", square(), makeBody(up, {}), 0},
        {"degenerate and down", square(), pair(collapsed, down), 0},
        {"not a number and up", square(), pair(undefined, up), 0},
        {"not a number and down", square(), pair(undefined, down), 0},
        {"down then up", square(), pair(down, up), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        FakeAlgorithms::script().matching = {{0, -1}};

        CoreIo::getMeshAlignResult(c.before, c.after, -1, false);

        EXPECT_EQ(FakeAlgorithms::calls(), c.tube == 1 ? tubeCalls : flatCalls);
        const std::vector<LogEntry> logged = log.levelsAndMessages();
        ASSERT_EQ(logged.size(), 5u);
        EXPECT_EQ(logged[1], tubeDecision(c.tube));
    }
}

TEST_F(MeshAlignUtils, AnInvalidRecordGivesAnEmptyResultAndStillLetsTheSecondBeExamined)
{
    struct Case {
        CoreIo::MeshAndCoord before, after;
        int isTube;
        std::vector<LogEntry> log;
    };
    std::vector<Case> cases;
    for (int lacking = 0; lacking < 3; ++lacking) {
        CoreIo::MeshAndCoord invalid = makeBody(foldedSquare, squareTriangles);
        if (lacking == 0)
            invalid.mesh = nullptr;
        else
            (lacking == 1 ? invalid.initCoord0 : invalid.initCoord1) = nullptr;
        cases.push_back({square(), invalid, -1, {warn(missingRecordMessage), trace(callingMessage), trace(missingDataMessage)}});
        cases.push_back({invalid, makeBody(foldedSquare, squareTriangles), -1,
                         {warn(missingRecordMessage), trace(callingMessage), tubeDecision(1), trace(missingDataMessage)}});
    }
    cases.push_back({{}, {}, 1, {warn(missingRecordMessage), warn(missingRecordMessage), trace(callingMessage),
                                 trace(missingDataMessage)}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.log.size());
        log.clear();

        const CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(c.before, c.after, c.isTube, true);

        EXPECT_EQ(result.vertexMatching, nullptr);
        EXPECT_EQ(result.alignedMesh, nullptr);
        EXPECT_TRUE(FakeAlgorithms::events().empty());
        EXPECT_EQ(log.levelsAndMessages(), c.log);
    }
}

TEST_F(MeshAlignUtils, AnEmptyMatchingGivesAnEmptyResultAndDropsTheAlignedMesh)
{
    auto alignedMesh = std::make_shared<Calvora::Mesh>();
    const std::weak_ptr<Calvora::Mesh> watched = alignedMesh;
    FakeAlgorithms::script().alignedMesh = std::move(alignedMesh);

    const CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(square(), square(), 0, true);

    EXPECT_EQ(result.vertexMatching, nullptr);
    EXPECT_EQ(result.alignedMesh, nullptr);
    EXPECT_TRUE(watched.expired());
    EXPECT_EQ(FakeAlgorithms::calls(), flatCalls);
    std::vector<LogEntry> expected = alignerLog("0");
    expected.push_back(trace("VYQ-related MaterialFixedMeshAligner delivered no indexing matching information."));
    EXPECT_EQ(log.levelsAndMessages(), expected);
}

TEST_F(MeshAlignUtils, CompletionTakesTheNearestCornerOfTheGivenTriangleFirstStoredOnTiesAndWarnsOnce)
{
    // Corners (0,0) (1,0) (0,1), then the same in the order (0,0) (0,1) (1,0); vertex indices 100..102.
    const CoreIo::MeshAndCoord twice =
        makeBody({{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}}, {{0, 1, 2}, {0, 2, 1}}, 100);
    struct Case {
        const char* name;
        CoreIo::MeshAndCoord before, after;
        std::vector<Calvora::MaterialFixedMeshAligner::MatchingEl> matching;
        bool complete;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"without completion, negative indices pass silently", square(), square(),
         {{-1, 0}, {2, -1}, {-7, -3}, {0, 1}}, false, {-1, 2, -7, 0}},
        {"nearest corner", indexedSquare(), makeBody({{0.9f, 0.2f}, {0.5f, 0.5f}, {0.1f, 0.8f}, {0.6f, 0.55f}}, {}),
         {{-1, 0}, {3, -1}, {-1, 1}, {-5, 1}}, true, {101, 3, 102, 103}},
        // (0.6,0.6) lies as near to (1,0) as to (0,1); (0.5,0.5) as near to all three.
        {"ties", twice, makeBody({{0.6f, 0.6f}, {0.6f, 0.6f}, {0.5f, 0.5f}}, {}), {{-1, 0}, {-1, 1}, {-1, 1}}, true,
         {101, 102, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        FakeAlgorithms::script().matching = c.matching;

        const CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(c.before, c.after, 0, c.complete);

        EXPECT_EQ(*result.vertexMatching, c.expected);
        const std::vector<LogEntry> warning{warn("Inaccurate matching from getMeshAlignResult")};
        const std::vector<LogEntry> none;
        EXPECT_EQ(log.levelsAndMessages(), successfulLog("0", c.expected.size(), c.complete ? warning : none));
    }
}

TEST_F(MeshAlignUtils, AnElementWithoutVertexAndTriangleFailsTheCompletionWithoutWarning)
{
    auto alignedMesh = std::make_shared<Calvora::Mesh>();
    const std::weak_ptr<Calvora::Mesh> watched = alignedMesh;
    FakeAlgorithms::script().alignedMesh = std::move(alignedMesh);
    FakeAlgorithms::script().matching = {{-1, 0}, {-1, -1}, {2, -1}, {-1, 1}};

    try {
        CoreIo::getMeshAlignResult(indexedSquare(), square(), 0, true);
        FAIL() << "an incomplete matching must throw";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), incompleteMessage.c_str());
    }

    EXPECT_TRUE(watched.expired());
    EXPECT_EQ(FakeAlgorithms::calls(), flatCalls);
    std::vector<LogEntry> expected = alignerLog("0");
    expected.emplace_back(spdlog::level::err, incompleteMessage);
    EXPECT_EQ(log.levelsAndMessages(), expected);
}

TEST_F(MeshAlignUtils, CompletionMeasuresOnTheMeshTheConverterUnrolled)
{
    const CoreIo::MeshAndCoord after = makeBody({{0.9f, 0.2f}, {0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}}, squareTriangles);
    const Positions afterPositions = positions(*after.mesh);
    FakeAlgorithms::script().matching = {{-1, 0}};
    // The second converter moves vertex 0 of the after mesh next to corner (1,1).
    FakeAlgorithms::script().unroll = [](std::size_t call, Calvora::Mesh& mesh) {
        if (call == 1)
            mesh.getVertex(0).set(0.9, 0.95, 0.0);
    };

    const CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(indexedSquare(), after, 1, true);

    EXPECT_EQ(*result.vertexMatching, std::vector<int>{103});
    EXPECT_EQ(positions(*eventOf(Call::alignmentComputed).initCoordAfterCopy)[0], (std::array<double, 3>{0.9, 0.95, 0.0}));
    EXPECT_EQ(positions(*after.mesh), afterPositions);
}

TEST_F(MeshAlignUtils, ReportsTheBiggestSquareErrorInTheStreamsDefaultFormat)
{
    const std::pair<double, const char*> cases[] = {{1.5e-7, "1.5e-07"}, {123456789.0, "1.23457e+08"}, {2.0, "2"}};
    for (const auto& [value, text] : cases) {
        restart();
        FakeAlgorithms::script().biggestSquareError = value;
        FakeAlgorithms::script().matching = {{0, -1}};

        CoreIo::getMeshAlignResult(square(), square(), 0, true);

        EXPECT_EQ(log.levelsAndMessages(), successfulLog(text, 1));
    }
}

TEST_F(MeshAlignUtils, TheLoaderOverloadReadsTheFirstBodyFirstAndAlignsWhatItRead)
{
    RecordingLoader loader;
    using Coordinates = std::vector<float>;
    const std::tuple<std::string, Coordinates, Coordinates> bodies[] = {
        {"after", {0.9f, 0.1f, 0.0f, 1.0f}, {0.2f, 0.8f, 0.0f, 1.0f}}, {"before", {0.0f, 1.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 1.0f, 1.0f}}};
    for (const auto& [name, u, v] : bodies) {
        CoreIo::MeshArrays mesh;
        mesh.numNodes = mesh.numNormals = 4;
        mesh.x = mesh.y = mesh.z = mesh.nx = mesh.ny = mesh.nz = {0.0f, 0.0f, 0.0f, 0.0f};
        mesh.numTriangles = 2;
        mesh.triangles = {0, 1, 3, 0, 3, 2};
        loader.addBody(name, std::move(mesh));
        loader.addResult(name, Calvora::SkinBaseName::INITIALCOORD0, u);
        loader.addResult(name, Calvora::SkinBaseName::INITIALCOORD1, v);
    }
    const CoreIo::SimBody& before = loader.body("before");
    const CoreIo::SimBody& after = loader.body("after");
    FakeAlgorithms::script().matching = {{-1, 0}, {-1, 1}, {0, -1}, {3, -1}};

    const CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(loader, before, after, 0, true);

    std::vector<RecordingLoader::Call> expectedCalls;
    for (const CoreIo::SimBody* body : {&before, &after}) {
        expectedCalls.push_back({RecordingLoader::Operation::loadMesh, body->meshLocation.id, std::nullopt});
        for (const CoreIo::ResultEntry& entry : body->results)
            expectedCalls.push_back({RecordingLoader::Operation::loadResult, entry.dataLocation.id, std::nullopt});
    }
    EXPECT_EQ(loader.calls(), expectedCalls);
    // Completion measured on the initial coordinates read: (0.9,0.2) nearest to (1,0), (0.1,0.8) to (0,1).
    EXPECT_EQ(*result.vertexMatching, (std::vector<int>{1, 2, 0, 3}));
    EXPECT_EQ(log.levelsAndMessages(), successfulLog("0", 4, {warn("Inaccurate matching from getMeshAlignResult")}));
}

}  // namespace

// The alignment unit against scripted stand-ins for the aligner, the tube converter and the logging
// service: what it hands them, what it makes of their answers, and what it logs from where.
#include "MeshAlignUtils.h"

#include "Business_Algorithm.h"
#include "Business_BaseGeometry.h"
#include "Business_EvaluationGeometry.h"
#include "Persistence_SkinBaseName.h"
#include "QRVService_Logging.h"
#include "SampleBodies.h"
#include "SampleMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using Positions = std::vector<std::array<double, 3>>;

Positions positions(const Calvora::Mesh& mesh)
{
    Positions all;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex)
        all.push_back({vertex->x, vertex->y, vertex->z});
    return all;
}

// Stand-ins for the platform libraries the unit drives: they replay what a test scripts and keep
// what they were handed.
namespace Fakes {

using MatchingEl = Calvora::MaterialFixedMeshAligner::MatchingEl;
using VertexMap = std::shared_ptr<const std::vector<int>>;

// What the aligner answers.
struct Script {
    std::vector<MatchingEl> matching;
    std::shared_ptr<Calvora::Mesh> alignedMesh;  // given away by the next alignment
    double biggestSquareError = 0.0;
};

// What the aligner had been handed when it computed.
struct AlignerInput {
    std::array<const Calvora::Mesh*, 4> meshes;  // meshBefore, initCoordMeshBefore, meshAfter, initCoordMeshAfter
    std::string initCoordBefore, initCoordAfter;  // their positions, printed
    VertexMap mapBefore, mapAfter;
};

struct LogCall {
    std::string level, message, file, function;
    int line;
};

struct Record {
    std::optional<AlignerInput> aligned;
    int alignersAlive = 0;
    int convertersAlive = 0;
    int convertersMade = 0;
    std::size_t converterCalls = 0;
    std::vector<LogCall> log;

    std::vector<std::string> logLines() const  // "<level> <message>"
    {
        std::vector<std::string> lines;
        for (const LogCall& call : log)
            lines.push_back(call.level + " " + call.message);
        return lines;
    }
};

Script script;
Record record;

// Loggers are made during static initialisation, before any test runs.
std::vector<std::string>& loggerNames()
{
    static std::vector<std::string> names;
    return names;
}

void reset()
{
    script = Script{};
    record = Record{};
}

}  // namespace Fakes

}  // namespace

namespace Calvora {

MaterialFixedMeshAligner::MaterialFixedMeshAligner()
{
    ++Fakes::record.alignersAlive;
}

MaterialFixedMeshAligner::~MaterialFixedMeshAligner()
{
    --Fakes::record.alignersAlive;
}

void MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexBefore(std::shared_ptr<const std::vector<int>> map)
{
    mapBefore_ = std::move(map);
}

void MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexAfter(std::shared_ptr<const std::vector<int>> map)
{
    mapAfter_ = std::move(map);
}

std::shared_ptr<Mesh>
MaterialFixedMeshAligner::computeMeshBeforeWithTopologyOfMeshAfter(double& biggestSquareError,
                                                                   std::vector<MatchingEl>* matching) const
{
    Fakes::record.aligned = Fakes::AlignerInput{{meshBefore, initCoordMeshBefore, meshAfter, initCoordMeshAfter},
                                                ::testing::PrintToString(positions(*initCoordMeshBefore)),
                                                ::testing::PrintToString(positions(*initCoordMeshAfter)),
                                                mapBefore_,
                                                mapAfter_};
    biggestSquareError = Fakes::script.biggestSquareError;
    *matching = Fakes::script.matching;
    return std::move(Fakes::script.alignedMesh);
}

TubeInitialCoordinatesConverter::TubeInitialCoordinatesConverter()
{
    ++Fakes::record.convertersAlive;
    ++Fakes::record.convertersMade;
}

TubeInitialCoordinatesConverter::~TubeInitialCoordinatesConverter()
{
    --Fakes::record.convertersAlive;
}

// Call k (from 0) "unrolls" by moving every vertex 100 (k + 1) along x, and maps to {k}.
void TubeInitialCoordinatesConverter::cut3dTubeAtSeamAndUnrollWithInitCoords(
    std::shared_ptr<Mesh> initCoordMesh, std::shared_ptr<const std::vector<int>>& initCoordVertexTo3dVertex) const
{
    const std::size_t call = Fakes::record.converterCalls++;
    if (initCoordVertexTo3dVertex != nullptr)
        throw std::logic_error("the converter was handed a map that is not empty");
    initCoordVertexTo3dVertex = std::make_shared<const std::vector<int>>(1, static_cast<int>(call));
    for (auto vertex = initCoordMesh->beginVertex(); vertex != initCoordMesh->endVertex(); ++vertex)
        vertex->x += 100.0 * static_cast<double>(call + 1);
}

Logging::Logging(const std::string& name) : name_(name)
{
    Fakes::loggerNames().push_back(name);
}

Logging::~Logging() = default;

void Logging::logERROR(const std::string& message, const char* file, const char* function, int line) const
{
    Fakes::record.log.push_back({"error", message, file, function, line});
}

void Logging::logWARN(const std::string& message, const char* file, const char* function, int line) const
{
    Fakes::record.log.push_back({"warning", message, file, function, line});
}

void Logging::logTRACE(const std::string& message, const char* file, const char* function, int line) const
{
    Fakes::record.log.push_back({"trace", message, file, function, line});
}

const std::string& Logging::name() const
{
    return name_;
}

}  // namespace Calvora

namespace {

using Calvora::SkinBaseName::INITIALCOORD0;
using Calvora::SkinBaseName::INITIALCOORD1;
using InitCoords = std::vector<std::array<float, 2>>;
using Lines = std::vector<std::string>;
using Floats = std::vector<float>;

// A body whose vertex i lies at (i, 10 + i, -1) with index firstIndex + i and initial coordinates initCoords[i].
CoreIo::MeshAndCoord makeBody(const InitCoords& initCoords, const std::vector<int>& corners, int firstIndex = 0)
{
    CoreIo::MeshAndCoord body{std::make_shared<std::vector<float>>(), std::make_shared<std::vector<float>>(), nullptr};
    std::vector<CoreIoSamples::Position> places;
    for (std::size_t i = 0; i < initCoords.size(); ++i) {
        places.emplace_back(static_cast<double>(i), 10.0 + static_cast<double>(i), -1.0);
        body.initCoord0->push_back(initCoords[i][0]);
        body.initCoord1->push_back(initCoords[i][1]);
    }
    body.mesh = std::make_shared<Calvora::Mesh>(CoreIoSamples::makeMesh(places, corners));
    for (unsigned int i = 0; i < body.mesh->numberOfVertices(); ++i)
        body.mesh->getVertex(i).index += firstIndex;
    return body;
}

// A unit square of two triangles, (0,0) (1,0) (1,1) and (0,0) (1,1) (0,1); folded, the second faces -z.
const std::vector<int> squareTriangles{0, 1, 3, 0, 3, 2};
const InitCoords flatSquare{{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}};
const InitCoords foldedSquare{{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}, {-1.0f, 1.0f}};
CoreIo::MeshAndCoord square(int firstIndex = 0)
{
    return makeBody(flatSquare, squareTriangles, firstIndex);
}
CoreIo::MeshAndCoord folded()
{
    return makeBody(foldedSquare, squareTriangles);
}
// Two separate triangles from the corners given, as initial coordinates of the second body.
CoreIo::MeshAndCoord twoApart(InitCoords first, const InitCoords& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return makeBody(first, {0, 1, 2, 3, 4, 5});
}
// A folded square without its mesh (part 0), its u (1) or its v (2); or with one value fewer (3: u, 4: v).
CoreIo::MeshAndCoord lacking(int part)
{
    CoreIo::MeshAndCoord body = folded();
    if (part == 0)
        body.mesh = nullptr;
    else if (part < 3)
        (part == 1 ? body.initCoord0 : body.initCoord1) = nullptr;
    else
        (part == 3 ? body.initCoord0 : body.initCoord1)->pop_back();
    return body;
}

// The body's vertices at their initial coordinates, moved along x by `shift`, as printed (a
// coordinate that is not a number prints as itself).
std::string initCoordPositions(const CoreIo::MeshAndCoord& body, double shift)
{
    Positions all;
    for (std::size_t i = 0; i < body.initCoord0->size(); ++i)
        all.push_back({(*body.initCoord0)[i] + shift, (*body.initCoord1)[i], 0.0});
    return ::testing::PrintToString(all);
}

// A body is left as it was given: vertex i at (i, 10 + i, -1), as makeBody places it.
bool untouched(const CoreIo::MeshAndCoord& body)
{
    const Positions all = body.mesh ? positions(*body.mesh) : Positions{};
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i] != std::array<double, 3>{static_cast<double>(i), 10.0 + static_cast<double>(i), -1.0})
            return false;
    return true;
}

const std::string calling = "trace Calling getMeshAlignResult";
const std::string missingRecord = "warning Missing data in meshAndICs";
const std::string missingData = "trace VYQ-related Missing data in getMeshAlignResult";
const std::string inaccurate = "warning Inaccurate matching from getMeshAlignResult";
const std::string incomplete = "Incomplete matching from getMeshAlignResult";
const std::string noMatching = "trace VYQ-related MaterialFixedMeshAligner delivered no indexing matching information.";
const std::string aligner = "<aligner>";  // stands for the two lines the aligner call logs
std::string tubeDecided(int tube)
{
    return "trace Determined if geometry is a tube: " + std::to_string(tube);
}
std::string found(int size)
{
    return "trace Data found in getMeshAlignResult with size: " + std::to_string(size);
}

// `expected` with the aligner's lines filled in: the meshes it was handed and the error it reported.
Lines withAlignerLines(const Lines& expected, const std::string& error)
{
    Lines all;
    for (const std::string& line : expected) {
        if (line != aligner) {
            all.push_back(line);
            continue;
        }
        const auto& meshes = Fakes::record.aligned.value().meshes;
        std::ostringstream addresses;
        addresses << "trace Calling computeMeshBeforeWithTopologyOfMeshAfter with mesh data " << meshes[0] << ' '
                  << meshes[1] << ' ' << meshes[2] << ' ' << meshes[3];
        all.push_back(addresses.str());
        all.push_back("trace Called computeMeshBeforeWithTopologyOfMeshAfter with biggestSquareError " + error);
    }
    return all;
}

// Line `number` (from 1) of the unit's source file.
std::string sourceLine(int number)
{
    static const std::vector<std::string> lines = [] {
        std::ifstream source(COREIO_MESH_ALIGN_UTILS_SOURCE);
        std::vector<std::string> all;
        for (std::string line; std::getline(source, line);)
            all.push_back(line);
        return all;
    }();
    return number >= 1 && static_cast<std::size_t>(number) <= lines.size() ? lines[static_cast<std::size_t>(number) - 1]
                                                                           : "";
}

// Each message came from the unit itself: its one module logger, named by its source file as the
// compiler was given it, with that file, the signature of the function that logs it (getICMesh or
// getMeshAlignResult) and the line of a call of the logger's operation of its level.
void expectLoggedByTheUnit()
{
    ASSERT_EQ(Fakes::loggerNames().size(), 1u);
    const std::string& name = Fakes::loggerNames()[0];
    std::string path = name;
    path.erase(0, std::min(path.find_first_not_of("./"), path.size()));
    EXPECT_TRUE(!path.empty() && std::string(COREIO_MESH_ALIGN_UTILS_SOURCE).ends_with(path)) << name;
    const std::map<std::string, std::string> operations{{"trace", "logTRACE"},
                                                        {"warning", "logWARN"},
                                                        {"error", "logERROR"}};
    for (const Fakes::LogCall& call : Fakes::record.log) {
        SCOPED_TRACE(call.message);
        EXPECT_EQ(call.file, name);
        const bool fromGetICMesh = call.message == "Missing data in meshAndICs";
        const std::string function = fromGetICMesh ? "getICMesh(const " : "getMeshAlignResult(const ";
        EXPECT_NE(call.function.find(function), std::string::npos) << call.function;
        EXPECT_NE(call.function.find("MeshAndCoord&"), std::string::npos) << call.function;
        EXPECT_NE(sourceLine(call.line).find(operations.at(call.level)), std::string::npos) << "line " << call.line;
    }
}

class MeshAlignUtils : public ::testing::Test {
protected:
    void SetUp() override { Fakes::reset(); }
};

TEST_F(MeshAlignUtils, HandsTheAlignerItsMeshesUnrolledOnlyForTubesAndLogsItsSequenceForEveryKindOfBodyAndAnswer)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const InitCoords up{{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}}, down{{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 0.0f}};
    const InitCoords collapsed{{2.0f, 2.0f}, {2.0f, 2.0f}, {2.0f, 2.0f}};
    const InitCoords undefined{{nan, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}};
    const float inf = std::numeric_limits<float>::infinity();
    const InitCoords infinite{{0.0f, 0.0f}, {inf, 0.0f}, {0.0f, 1.0f}};  // cross product (0, nan, inf): no normal
    // Corners (0,0) (1,0) (0,1), then the same as (0,0) (0,1) (1,0); vertex indices 100..102.
    const CoreIo::MeshAndCoord twice = makeBody({{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}}, {0, 1, 2, 0, 2, 1}, 100);
    using Matching = std::vector<Fakes::MatchingEl>;
    // none: no aligner consulted; flat: the initial-coordinate meshes as made; tube: the before one
    // unrolled by a first converter call, the after one by a second, with their maps.
    enum class Path { none, flat, tube };
    const Lines decidedFlat{calling, tubeDecided(0), aligner, found(1)};
    const Lines decidedTube{calling, tubeDecided(1), aligner, found(1)};
    const Lines missing{missingRecord, calling, missingData};
    struct Case {
        const char* name;
        CoreIo::MeshAndCoord before, after;
        int isTube;
        bool complete;
        Matching matching;
        Path path;
        Lines log;
        std::optional<std::vector<int>> result;  // none: an empty result
        double error = 0.0;
        const char* errorLogged = "0";
    };
    using enum Path;
    // Rows in parentheses so that each stays a row of the table when formatted.
    const Case cases[] = {
        Case("isTube 0 forbids unrolling a folded body", square(), folded(), 0, true, {{2, -1}, {0, 5}}, flat,
             {calling, aligner, found(2)}, std::vector{2, 0}, 0.25, "0.25"),
        Case("positive isTube unrolls without detecting", square(), square(), 5, true, {{1, -1}}, tube,
             {calling, aligner, found(1)}, std::vector{1}),
        Case("folded", square(), folded(), -1, false, {{0, -1}}, tube, decidedTube, std::vector{0}),
        Case("only the first folded", folded(), square(), -1, false, {{0, -1}}, flat, decidedFlat, std::vector{0}),
        Case("no triangles", square(), makeBody(up, {}), -1, false, {{0, -1}}, flat, decidedFlat, std::vector{0}),
        Case("degenerate, down", square(), twoApart(collapsed, down), -1, false, {{0, -1}}, flat, decidedFlat, {{0}}),
        Case("undefined, down", square(), twoApart(undefined, down), -1, false, {{0, -1}}, flat, decidedFlat, {{0}}),
        Case("infinite, down", square(), twoApart(infinite, down), -1, false, {{0, -1}}, flat, decidedFlat, {{0}}),
        Case("down then up", square(), twoApart(down, up), -1, false, {{0, -1}}, tube, decidedTube, std::vector{0}),
        // Unrolled, (0.1, 0.9) lies nearest to (1, 1) of before triangle 0; as given, to (0, 0).
        Case("completed on the unrolled meshes", square(100), makeBody({{0.1f, 0.9f}}, {}), 1, true, {{-1, 0}}, tube,
             {calling, aligner, inaccurate, found(1)}, std::vector{103}),
        Case("second lacks its mesh", square(), lacking(0), -1, true, {}, none, missing, {}),
        Case("second lacks u", square(), lacking(1), -1, true, {}, none, missing, {}),
        Case("first lacks v, second still examined", lacking(2), folded(), -1, true, {}, none,
             {missingRecord, calling, tubeDecided(1), missingData}, {}),
        Case("both empty", {}, {}, 1, true, {}, none, {missingRecord, missingRecord, calling, missingData}, {}),
        // Short coordinate arrays throw std::out_of_range before anything happens.
        Case("first short of u values", lacking(3), square(), -1, true, {}, none, {}, {}),
        Case("second short of v values", square(), lacking(4), 0, true, {}, none, {}, {}),
        Case("empty matching", square(), square(), 0, true, {}, flat, {calling, aligner, noMatching}, {}),
        Case("without completion negative indices pass", square(), square(), 0, false, {{-1, 0}, {2, -1}, {-7, -3}},
             flat, {calling, aligner, found(3)}, std::vector{-1, 2, -7}, 1.5e-7, "1.5e-07"),
        Case("nearest corner", square(100), makeBody({{0.9f, 0.2f}, {0.5f, 0.5f}, {0.1f, 0.8f}, {0.6f, 0.55f}}, {}), 0,
             true, {{-1, 0}, {3, -1}, {-1, 1}, {-5, 1}}, flat, {calling, aligner, inaccurate, found(4)},
             std::vector{101, 3, 102, 103}, 123456789.0, "1.23457e+08"),
        // (0.6,0.6) lies as near to (1,0) as to (0,1); (0.5,0.5) as near to all three: the first stored wins.
        Case("ties", twice, makeBody({{0.6f, 0.6f}, {0.6f, 0.6f}, {0.5f, 0.5f}}, {}), 0, true,
             {{-1, 0}, {-1, 1}, {-1, 1}}, flat, {calling, aligner, inaccurate, found(3)}, std::vector{101, 102, 100},
             2.0, "2"),
        Case("neither vertex nor triangle after a completed one", square(100), square(), 0, true, {{-1, 0}, {-1, -1}},
             flat, {calling, aligner, "error " + incomplete}, {}),
        Case("neither vertex nor triangle before a completable one", square(100), square(), 0, true,
             {{-1, -1}, {-1, 0}}, flat, {calling, aligner, "error " + incomplete}, {}),
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fakes::reset();
        auto alignedMesh = std::make_shared<Calvora::Mesh>();
        const std::weak_ptr<Calvora::Mesh> watched = alignedMesh;
        Fakes::script = {c.matching, std::move(alignedMesh), c.error};

        std::optional<CoreIo::MeshAlignResult> result;
        try {
            result = CoreIo::getMeshAlignResult(c.before, c.after, c.isTube, c.complete);
        } catch (const std::runtime_error& failure) {
            EXPECT_EQ(failure.what(), incomplete);
        } catch (const std::out_of_range&) {
            EXPECT_TRUE(c.log.empty());
        }

        const std::optional<Fakes::AlignerInput>& input = Fakes::record.aligned;
        ASSERT_EQ(input.has_value(), c.path != none);
        if (input) {
            const bool unrolled = c.path == tube;
            const std::vector<int> none;
            EXPECT_EQ(input->meshes[0], c.before.mesh.get());
            EXPECT_EQ(input->meshes[2], c.after.mesh.get());
            EXPECT_EQ(input->initCoordBefore, initCoordPositions(c.before, unrolled ? 100.0 : 0.0));
            EXPECT_EQ(input->initCoordAfter, initCoordPositions(c.after, unrolled ? 200.0 : 0.0));
            EXPECT_EQ(input->mapBefore ? *input->mapBefore : none, unrolled ? std::vector{0} : none);
            EXPECT_EQ(input->mapAfter ? *input->mapAfter : none, unrolled ? std::vector{1} : none);
        }
        EXPECT_TRUE(untouched(c.before) && untouched(c.after));
        EXPECT_EQ(Fakes::record.convertersMade, c.path == tube ? 2 : 0);
        EXPECT_EQ(Fakes::record.converterCalls, c.path == tube ? 2u : 0u);
        EXPECT_EQ(Fakes::record.convertersAlive, 0);
        EXPECT_EQ(Fakes::record.alignersAlive, 0);
        EXPECT_EQ(Fakes::record.logLines(), withAlignerLines(c.log, c.errorLogged));
        expectLoggedByTheUnit();
        Fakes::script = {};
        ASSERT_EQ(result && result->vertexMatching != nullptr, c.result.has_value());
        if (c.result) {
            EXPECT_EQ(*result->vertexMatching, *c.result);
            EXPECT_EQ(result->alignedMesh, watched.lock());
        } else {
            EXPECT_TRUE(watched.expired());
        }
    }
}

// A memory loader that can be told to deliver no meshes at all.
class MeshlessLoader : public CoreIo::MemoryLoader {
public:
    bool deliversMeshes = true;

    void loadMesh(const CoreIo::MeshLocation& where, CoreIo::MeshBuilderInterface& builder) const override
    {
        if (deliversMeshes)
            MemoryLoader::loadMesh(where, builder);
    }
};

TEST(ReadMeshAndICs, ReadsTheMeshAndBothInitialCoordinatesByExactNameAsFloatsElseGivesAnInvalidRecord)
{
    const Floats first{0.5f, 1.5f, 2.5f}, second{-1.0f, -2.0f, -3.0f};
    const std::vector<double> doubles{0.1, 1e-40, -2.0 / 3.0}, firstAsDoubles{0.5, 1.5, 2.5};
    const Floats narrowed{0.1f, static_cast<float>(1e-40), static_cast<float>(-2.0 / 3.0)};
    struct Case {
        std::vector<std::pair<std::string, CoreIo::ResultValues>> results;
        bool meshDelivered;
        bool valid;
    };
    const Case cases[] = {
        // INITIALCOORD1 listed first, both as doubles: the order follows the names, and a narrowing shows.
        Case({{"THICKNESS", second}, {INITIALCOORD1, doubles}, {INITIALCOORD0, firstAsDoubles}, {"SECOND", second}},
             true, true),
        Case({{INITIALCOORD0, first}}, true, false),
        Case({{INITIALCOORD1, first}}, true, false),
        Case({{INITIALCOORD0, first}, {INITIALCOORD1, second}}, false, false),
        Case({{"InitialCoord0", first}, {INITIALCOORD1, second}}, true, false),
        Case({{INITIALCOORD0 + " ", first}, {INITIALCOORD1, second}}, true, false),
        Case({{INITIALCOORD0.substr(0, INITIALCOORD0.size() - 1), first}, {INITIALCOORD1, second}}, true, false),
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.results[0].first + (c.meshDelivered ? "" : " without mesh"));
        MeshlessLoader loader;
        CoreIo::MeshArrays plate;  // one triangle over (0,0,1) (1,0,1) (0,1,1)
        plate.numNodes = plate.numNormals = 3;
        plate.x = {0, 1, 0};
        plate.y = {0, 0, 1};
        plate.z = plate.nz = {1, 1, 1};
        plate.nx = plate.ny = {0, 0, 0};
        plate.numTriangles = 1;
        plate.triangles = {0, 1, 2};
        loader.addBody("plate", plate);
        for (const auto& [name, values] : c.results)
            loader.addResult("plate", name, values);
        if (!c.meshDelivered)
            loader.deliversMeshes = false;
        CoreIo::SimBody body = loader.body("plate");
        for (CoreIo::ResultEntry& result : body.results)  // a loader may list a name twice
            result.name = result.name == "SECOND" ? INITIALCOORD0 : result.name;

        const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(loader, body);

        EXPECT_EQ(record.isValid(), c.valid);
        EXPECT_EQ(record.mesh != nullptr, c.meshDelivered);
        if (!c.valid)
            continue;
        EXPECT_EQ(*record.initCoord0, first);
        EXPECT_EQ(*record.initCoord1, narrowed);
        EXPECT_EQ(record.mesh->getVertex(1), (Calvora::Point<double, 3>{1.0, 0.0, 1.0}));
        EXPECT_EQ(record.mesh.use_count(), 1);  // nobody else holds what it returns
    }
}

// 41 by 31 vertices: more than one storage block of a mesh.
TEST(InitialCoordinateMesh, MovesEveryVertexToItsInitialCoordinatesAndKeepsNormalsIndicesAndTriangles)
{
    const CoreIoSamples::SampleBody sheet = CoreIoSamples::makeSheet({}, {.cellsU = 40, .cellsV = 30, .jitter = 0.2});
    auto mesh = std::make_shared<Calvora::Mesh>(CoreIoSamples::shapeMesh(sheet));
    mesh->computeNormals(false, true);
    const CoreIo::MeshAndCoord record{std::make_shared<Floats>(sheet.initCoord0),
                                      std::make_shared<Floats>(sheet.initCoord1), mesh};

    const std::shared_ptr<Calvora::Mesh> icMesh = CoreIo::initialCoordinateMesh(record);

    ASSERT_NE(icMesh, nullptr);
    EXPECT_TRUE(icMesh->hasNormals());
    ASSERT_EQ(icMesh->numberOfVertices(), mesh->numberOfVertices());
    for (unsigned int i = 0; i < mesh->numberOfVertices(); ++i) {
        const Calvora::Vertex& moved = icMesh->getVertex(i);
        const Calvora::Vertex& original = mesh->getVertex(i);
        EXPECT_EQ(moved, (Calvora::Point<double, 3>{sheet.initCoord0[i], sheet.initCoord1[i], 0.0})) << i;
        EXPECT_EQ(moved.getNormal(), original.getNormal()) << i;
        EXPECT_EQ(moved.index, original.index) << i;
    }
    ASSERT_EQ(icMesh->numberOfTriangles(), mesh->numberOfTriangles());
    for (unsigned int t = 0; t < mesh->numberOfTriangles(); ++t)
        for (std::size_t k = 0; k < 3; ++k)
            EXPECT_EQ(icMesh->getTriangle(t).corners[k],
                      &icMesh->getVertex(static_cast<unsigned int>(mesh->getTriangle(t).corners[k]->index)));
}

TEST(InitialCoordinateMesh, GivesNothingForAnInvalidRecordAndThrowsForAShortArray)
{
    struct Case {
        const char* name;
        CoreIo::MeshAndCoord record;
        bool throws;
    };
    const Case cases[] = {
        {"no mesh", lacking(0), false},
        {"no v", lacking(2), false},
        {"one u fewer", lacking(3), true},
        {"one v fewer", lacking(4), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.throws)
            EXPECT_THROW(CoreIo::initialCoordinateMesh(c.record), std::out_of_range);
        else
            EXPECT_EQ(CoreIo::initialCoordinateMesh(c.record), nullptr);
    }
}
}  // namespace

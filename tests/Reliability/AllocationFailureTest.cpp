// Every allocation of a build, a body load and an alignment made to fail in turn: std::bad_alloc
// must come out, nothing may leak, and what the builders held before must stay as documented.
#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
#include "FailingAllocator.h"
#include "FixedUntransformedMeshProvider.h"
#include "MemoryLoader.h"
#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"
#include "Persistence_SkinBaseName.h"
#include "ProductContent.h"
#include "ScalarResultsBuilder.h"

#include <gtest/gtest.h>

#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <numeric>
#include <string>
#include <typeinfo>
#include <utility>

namespace {

using Calvora::Mesh;
using CoreIo::Layout;
using CoreIoSamples::SampleBody;
using namespace Reliability;
using Reliability::contentOf;

// Which allocation of a run failed, out of how many a successful run makes.
struct FailurePoint {
    std::size_t failed;
    std::size_t ofRun;
};

// Runs with its k-th allocation failing; true if std::bad_alloc came out, false if it returned.
template <typename Run>
bool throwsBadAlloc(const Run& run, std::size_t k)
{
    std::exception_ptr escaped;
    {
        const AllocationFailure failure(k);
        try {
            run();
        } catch (...) {
            escaped = std::current_exception();  // refers to the exception, allocates nothing
        }
        EXPECT_TRUE(failure.hasFailed()) << "the run made fewer than " << k << " allocations this time";
    }
    if (!escaped)
        return false;
    try {
        std::rethrow_exception(escaped);
    } catch (const std::bad_alloc&) {
        return true;
    } catch (const std::exception& other) {
        ADD_FAILURE() << "allocation " << k << " failed and " << typeid(other).name() << " came out: " << other.what();
    } catch (...) {
        ADD_FAILURE() << "allocation " << k << " failed and a non-standard exception came out";
    }
    return true;
}

// A trial whose run logs. The logging backend takes an allocation failure for a failure to write
// and goes on without the message, so there a run may return normally, with its full result.
template <typename Trial>
constexpr bool runLogs = requires { requires Trial::logs; };

// Makes each allocation of a trial's run fail in turn, with a fresh trial from `makeTrial` each
// time: checks that std::bad_alloc came out, the trial's state afterwards, and that every block
// the trial made is given back once it is gone. A trial offers run(), expectSucceeded() and
// expectAfterFailure(FailurePoint). Returns the number of allocations of a successful run.
template <typename MakeTrial>
std::size_t failEachAllocationInTurn(const MakeTrial& makeTrial)
{
    using Trial = decltype(makeTrial());
    makeTrial().run();  // first uses of the libraries may set up state that lives on
    const std::size_t baseline = liveAllocations();
    std::size_t allocations = 0;
    {
        auto trial = makeTrial();
        {
            const AllocationFailure counter(AllocationFailure::never);
            trial.run();
            allocations = counter.allocationsSoFar();
        }
        trial.expectSucceeded();
    }
    EXPECT_EQ(liveAllocations(), baseline) << "a successful run left blocks behind";
    EXPECT_GE(allocations, 2u) << "the allocation functions in use are not the counting ones";

    for (std::size_t k = 1; k <= allocations && !::testing::Test::HasFailure(); ++k) {
        {
            auto trial = makeTrial();
            if (throwsBadAlloc([&trial] { trial.run(); }, k))
                trial.expectAfterFailure({k, allocations});
            else if (runLogs<Trial>)
                trial.expectSucceeded();
            else
                ADD_FAILURE() << "allocation " << k << " of " << allocations << " failed, but the run returned normally";
        }
        // gtest keeps the text of a failure, so blocks are counted only while there is none.
        if (!::testing::Test::HasFailure()) {
            EXPECT_EQ(liveAllocations(), baseline) << "blocks left after allocation " << k << " of " << allocations;
        }
    }
    return allocations;
}

// Write access to a mesh. Opening one throws std::logic_error if a failed build left one open.
class TestModifier : public Calvora::MeshModifier {
public:
    explicit TestModifier(Mesh& mesh) : MeshModifier(mesh) {}
    using MeshModifier::vertices;
};

// The allocations a mesh builder makes before it takes its new mesh: the mesh and its vertices.
std::size_t allocationsOfMeshWithVertices(std::size_t numVertices)
{
    const AllocationFailure counter(AllocationFailure::never);
    TestModifier(*std::make_shared<Mesh>()).vertices().resize(numVertices);
    return counter.allocationsSoFar();
}

// A small formed sheet, the product a builder held before, and a finer one to build next.
const BodyRecords& earlierSheet()
{
    static const BodyRecords records(CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {3, 2, 0.0, 1}));
    return records;
}

const BodyRecords& nextSheet()
{
    static const BodyRecords records(CoreIoSamples::makeSheet({2.0, 1.0, 0.2}, {9, 7, 0.12, 2}));
    return records;
}

// The next sheet's mesh, served as the untransformed tool mesh; its values are floats already,
// so that they pass through the tool mesh builder unchanged.
std::shared_ptr<Mesh> toolMesh()
{
    static const std::shared_ptr<Mesh> mesh = [] {
        Calvora::BaseGeometryMeshBuilder builder;
        nextSheet().buildMesh(builder, Layout::ColumnMajor);
        return builder.getMesh();
    }();
    return mesh;
}

std::vector<int> identityMapping()
{
    std::vector<int> nodes(nextSheet().body.numNodes());
    std::iota(nodes.begin(), nodes.end(), 0);
    return nodes;
}

// One mesh build: a body's records and the solver index mapping that goes with them.
struct MeshBuild {
    const BodyRecords& records;
    std::vector<int> mapping;
};

template <typename Builder>
Builder makeBuilder()
{
    if constexpr (std::is_same_v<Builder, Calvora::BaseGeometryToolMeshBuilder>)
        return Builder(std::make_shared<Calvora::FixedUntransformedMeshProvider>(toolMesh()));
    else
        return Builder();
}

// Mesh builders: a failure while the new mesh gets its vertices keeps the earlier mesh; from then
// on the builder holds the new mesh with all its vertex positions, the triangle container
// untouched or complete, no normals from the record, and open for changes again.
template <typename Builder>
class MeshBuildTrial {
public:
    MeshBuildTrial(Layout layout, std::size_t vertexPhase, const MeshBuild& earlier, const MeshBuild& next)
        : layout(layout), vertexPhase(vertexPhase), next(next)
    {
        earlier.records.buildMesh(builder, layout, earlier.mapping);
        earlierMesh = builder.getMesh();
        earlierContent = contentOf(*earlierMesh);
    }

    void run() { next.records.buildMesh(builder, layout, next.mapping); }

    void expectSucceeded() const
    {
        ASSERT_NE(builder.getMesh(), earlierMesh);
        EXPECT_TRUE(contentOf(*builder.getMesh()) == expected());
        EXPECT_TRUE(contentOf(*earlierMesh) == earlierContent);
    }

    void expectAfterFailure(FailurePoint point) const
    {
        const std::size_t k = point.failed;
        EXPECT_TRUE(contentOf(*earlierMesh) == earlierContent) << "allocation " << k;
        if (k <= vertexPhase) {
            EXPECT_EQ(builder.getMesh(), earlierMesh) << "allocation " << k;
            return;
        }
        ASSERT_NE(builder.getMesh(), nullptr);
        ASSERT_NE(builder.getMesh(), earlierMesh) << "allocation " << k;
        MeshContent complete = expected();
        for (auto& vertex : complete.vertices)
            std::fill(vertex.positionAndNormal.begin() + 3, vertex.positionAndNormal.end(), 0.0);
        complete.hasNormals = false;
        MeshContent content = contentOf(*builder.getMesh());
        EXPECT_TRUE(content.triangles.empty() || content.triangles == complete.triangles) << "allocation " << k;
        content.triangles = complete.triangles;
        EXPECT_TRUE(content == complete) << "allocation " << k;
        EXPECT_NO_THROW(TestModifier{*builder.getMesh()}) << "allocation " << k;
    }

private:
    MeshContent expected() const { return expectedMesh(next.records.body, next.mapping); }

    Layout layout;
    std::size_t vertexPhase;
    const MeshBuild& next;
    Builder builder = makeBuilder<Builder>();
    std::shared_ptr<Mesh> earlierMesh;
    MeshContent earlierContent;
};

TEST(AllocationFailure, MeshBuildersKeepTheirMeshUntilTheNewOneHasItsVerticesInBothLayouts)
{
    const std::size_t meshWithVertices = allocationsOfMeshWithVertices(nextSheet().body.numNodes());
    const MeshBuild earlier{earlierSheet(), {}};
    const MeshBuild next{nextSheet(), {}};
    const MeshBuild identity{nextSheet(), identityMapping()};
    const MeshBuild reversed{nextSheet(), {identity.mapping.rbegin(), identity.mapping.rend()}};
    for (const Layout layout : {Layout::ColumnMajor, Layout::RowMajor}) {
        using MeshTrial = MeshBuildTrial<Calvora::BaseGeometryMeshBuilder>;
        EXPECT_GT(failEachAllocationInTurn([&] { return MeshTrial(layout, meshWithVertices, earlier, next); }),
                  meshWithVertices) << "the triangle phase allocates too";
        // Before its vertex phase the tool mesh builder copies the tool's positions and normals.
        using ToolTrial = MeshBuildTrial<Calvora::BaseGeometryToolMeshBuilder>;
        EXPECT_GT(failEachAllocationInTurn([&] { return ToolTrial(layout, 2 + meshWithVertices, identity, reversed); }),
                  2 + meshWithVertices);
    }
}

// Polyline builders: a failed build leaves the builder's polyline as it was.
template <typename PolyLineT>
class PolyLineBuildTrial {
public:
    explicit PolyLineBuildTrial(Layout layout) : layout(layout)
    {
        earlierSheet().buildCurve(builder, layout);
        earlierPolyLine = builder.getPolyLine();
        earlierPoints = pointsOf(*earlierPolyLine);
    }

    void run() { nextSheet().buildCurve(builder, layout); }

    void expectSucceeded() const
    {
        ASSERT_NE(builder.getPolyLine(), earlierPolyLine);
        EXPECT_EQ(pointsOf(*builder.getPolyLine()), expectedPoints<PolyLineT>(nextSheet().body));
        EXPECT_EQ(pointsOf(*earlierPolyLine), earlierPoints);
    }

    void expectAfterFailure(FailurePoint point) const
    {
        EXPECT_EQ(builder.getPolyLine(), earlierPolyLine) << "allocation " << point.failed;
        EXPECT_EQ(pointsOf(*earlierPolyLine), earlierPoints) << "allocation " << point.failed;
    }

private:
    Layout layout;
    Calvora::BaseGeometryPolyLineBuilder<PolyLineT> builder;
    std::shared_ptr<PolyLineT> earlierPolyLine;
    std::vector<PointContent> earlierPoints;
};

TEST(AllocationFailure, PolyLineBuildersKeepTheirPolyLineInBothLayouts)
{
    for (const Layout layout : {Layout::ColumnMajor, Layout::RowMajor}) {
        failEachAllocationInTurn([&] { return PolyLineBuildTrial<Calvora::PolyLine<Calvora::Point<double, 3>>>(layout); });
        failEachAllocationInTurn([&] { return PolyLineBuildTrial<Calvora::PolyLine<Calvora::Point3N>>(layout); });
    }
}

// Scalar results builder: arrays delivered before stay readable and unchanged; only a failure
// while the new array is filled (the last allocation of a delivery) leaves it behind, empty.
// int arrays cannot be read back; for them only leaks and the exception are checked.
template <typename T>
class ResultBuildTrial {
public:
    ResultBuildTrial()
    {
        std::iota(earlierValues.begin(), earlierValues.end(), T(1));
        std::iota(nextValues.begin(), nextValues.end(), T(-7));
        builder.build(earlierValues.size(), earlierValues.data());
        if constexpr (std::is_same_v<T, float>)
            earlierArray = builder.getFloatVector(0);
    }

    void run() { builder.build(nextValues.size(), nextValues.data()); }

    void expectSucceeded() { expectArrays(0, std::vector<float>(nextValues.begin(), nextValues.end())); }

    void expectAfterFailure(FailurePoint point)
    {
        expectArrays(point.failed, point.failed == point.ofRun ? std::optional<std::vector<float>>(std::vector<float>())
                                                               : std::nullopt);
    }

private:
    // The earlier array intact, and the new one as given (none if nullopt).
    void expectArrays(std::size_t failed, const std::optional<std::vector<float>>& next)
    {
        if constexpr (std::is_same_v<T, float>) {
            EXPECT_EQ(builder.getFloatVector(0), earlierArray) << "allocation " << failed;
        }
        if constexpr (!std::is_same_v<T, int>) {
            EXPECT_EQ(*builder.getFloatVector(0), std::vector<float>(earlierValues.begin(), earlierValues.end()))
                << "allocation " << failed;
            const auto nextArray = builder.getFloatVector(1);
            ASSERT_EQ(nextArray != nullptr, next.has_value()) << "allocation " << failed;
            if (next) {
                EXPECT_EQ(*nextArray, *next) << "allocation " << failed;
            }
        }
    }

    std::vector<T> earlierValues = std::vector<T>(5);
    std::vector<T> nextValues = std::vector<T>(300);
    CoreIo::ScalarResultsBuilder builder;
    std::shared_ptr<std::vector<float>> earlierArray;
};

TEST(AllocationFailure, ScalarResultsBuilderKeepsEarlierArraysForEveryElementType)
{
    failEachAllocationInTurn([] { return ResultBuildTrial<int>(); });
    failEachAllocationInTurn([] { return ResultBuildTrial<float>(); });
    failEachAllocationInTurn([] { return ResultBuildTrial<double>(); });
}

// Body loading and alignment: a failure anywhere releases everything the call built and returns
// nothing; the inputs stay as they were.

// A loader with a sheet (column-major, float coordinates) and a tube (row-major, double
// coordinates), each in a state before and after.
struct SampleLoader {
    SampleLoader()
    {
        CoreIoSamples::registerBody(loader, "sheet before", sheetBefore);
        CoreIoSamples::registerBody(loader, "sheet after", sheetAfter);
        registerWithDoubleCoordinates("tube before", tubeBefore);
        registerWithDoubleCoordinates("tube after", tubeAfter);
    }

    void registerWithDoubleCoordinates(const std::string& name, const SampleBody& body)
    {
        CoreIo::MeshArrays mesh;
        mesh.layout = Layout::RowMajor;
        mesh.numNodes = mesh.numNormals = body.numNodes();
        mesh.numTriangles = body.numTriangles();
        mesh.triangles = body.triangles;
        for (std::size_t i = 0; i < body.numNodes(); ++i) {
            mesh.coordinates.insert(mesh.coordinates.end(), {body.x[i], body.y[i], body.z[i]});
            mesh.normals.insert(mesh.normals.end(), {body.nx[i], body.ny[i], body.nz[i]});
        }
        loader.addBody(name, std::move(mesh));
        loader.addResult(name, Calvora::SkinBaseName::INITIALCOORD0,
                         std::vector<double>(body.initCoord0.begin(), body.initCoord0.end()));
        loader.addResult(name, Calvora::SkinBaseName::INITIALCOORD1,
                         std::vector<double>(body.initCoord1.begin(), body.initCoord1.end()));
    }

    CoreIo::MemoryLoader loader;
    const SampleBody sheetBefore = CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {5, 4, 0.1, 3});
    const SampleBody sheetAfter = CoreIoSamples::makeSheet({1.0, 1.0, 0.3}, {6, 5, 0.15, 4});
    const SampleBody tubeBefore = CoreIoSamples::makeTube({1.0, 2.0, 1.0}, {8, 3, 0.1});
    const SampleBody tubeAfter = CoreIoSamples::makeTube({1.1, 2.2, 1.0}, {10, 4, 0.3});
};

const SampleLoader& samples()
{
    static const SampleLoader loader;
    return loader;
}

class ReadMeshAndICsTrial {
public:
    ReadMeshAndICsTrial(const std::string& bodyName, const SampleBody& expected)
        : body(samples().loader.body(bodyName)), expected(expected)
    {
    }

    void run() { record = CoreIo::readMeshAndICs(samples().loader, body); }

    void expectSucceeded() const
    {
        ASSERT_TRUE(record.isValid());
        EXPECT_TRUE(contentOf(*record.mesh) == expectedMesh(expected));
        EXPECT_EQ(*record.initCoord0, expected.initCoord0);
        EXPECT_EQ(*record.initCoord1, expected.initCoord1);
    }

    void expectAfterFailure(FailurePoint point) const
    {
        EXPECT_TRUE(record.mesh == nullptr && record.initCoord0 == nullptr && record.initCoord1 == nullptr)
            << "allocation " << point.failed;
    }

private:
    const CoreIo::SimBody& body;
    const SampleBody& expected;
    CoreIo::MeshAndCoord record;
};

TEST(AllocationFailure, ReadMeshAndICsReleasesEverythingItLoadedFromFloatAndDoubleResults)
{
    failEachAllocationInTurn([] { return ReadMeshAndICsTrial("sheet before", samples().sheetBefore); });
    failEachAllocationInTurn([] { return ReadMeshAndICsTrial("tube after", samples().tubeAfter); });
}

// What an alignment's inputs and results hold, in plain values.
struct BodyContent {
    MeshContent mesh;
    std::vector<float> initCoord0, initCoord1;
    bool operator==(const BodyContent&) const = default;
};

BodyContent contentOf(const CoreIo::MeshAndCoord& body)
{
    return {contentOf(*body.mesh), *body.initCoord0, *body.initCoord1};
}

struct AlignmentContent {
    std::vector<int> vertexMatching;
    MeshContent alignedMesh;
    bool operator==(const AlignmentContent&) const = default;
};

AlignmentContent contentOf(const CoreIo::MeshAlignResult& result)
{
    return {*result.vertexMatching, contentOf(*result.alignedMesh)};
}

// The inputs of an alignment read once, what they held then, and the result of a run that
// allocated freely.
struct AlignmentInputs {
    AlignmentInputs(const std::string& beforeName, const std::string& afterName)
        : before(samples().loader.body(beforeName)), after(samples().loader.body(afterName))
    {
    }

    bool intact() const { return contentOf(records.first) == contents.first && contentOf(records.second) == contents.second; }

    const CoreIo::SimBody& before;
    const CoreIo::SimBody& after;
    const std::pair<CoreIo::MeshAndCoord, CoreIo::MeshAndCoord> records{
        CoreIo::readMeshAndICs(samples().loader, before), CoreIo::readMeshAndICs(samples().loader, after)};
    const std::pair<BodyContent, BodyContent> contents{contentOf(records.first), contentOf(records.second)};
    const AlignmentContent reference = contentOf(CoreIo::getMeshAlignResult(records.first, records.second, -1, true));
};

// An alignment from the records, which must come through unchanged, or through the loader, which
// reads both bodies inside the call.
class AlignTrial {
public:
    static constexpr bool logs = true;

    AlignTrial(const AlignmentInputs& inputs, bool throughLoader) : inputs(inputs), throughLoader(throughLoader) {}

    void run()
    {
        result = throughLoader
                     ? CoreIo::getMeshAlignResult(samples().loader, inputs.before, inputs.after, -1, true)
                     : CoreIo::getMeshAlignResult(inputs.records.first, inputs.records.second, -1, true);
    }

    void expectSucceeded() const
    {
        ASSERT_TRUE(result.vertexMatching != nullptr && result.alignedMesh != nullptr);
        EXPECT_TRUE(contentOf(result) == inputs.reference);
        EXPECT_TRUE(inputs.intact());
    }

    void expectAfterFailure(FailurePoint point) const
    {
        EXPECT_TRUE(result.vertexMatching == nullptr && result.alignedMesh == nullptr) << "allocation " << point.failed;
        EXPECT_TRUE(inputs.intact()) << "allocation " << point.failed;
    }

private:
    const AlignmentInputs& inputs;
    bool throughLoader;
    CoreIo::MeshAlignResult result;
};

TEST(AllocationFailure, AlignmentsOfSheetsAndTubesReleaseEverythingAndLeaveTheirInputsAlone)
{
    for (const std::string body : {"sheet", "tube"}) {
        const AlignmentInputs inputs(body + " before", body + " after");
        ASSERT_EQ(inputs.reference.vertexMatching.size(), inputs.records.second.mesh->numberOfVertices());
        for (const bool throughLoader : {false, true}) {
            SCOPED_TRACE(body + (throughLoader ? " through the loader" : " from records"));
            failEachAllocationInTurn([&] { return AlignTrial(inputs, throughLoader); });
        }
    }
}

}  // namespace

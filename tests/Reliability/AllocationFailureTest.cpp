// Every allocation of a build, a body load and an alignment made to fail in turn: std::bad_alloc
// must come out, nothing may leak, and what the builders held before must stay as documented.
#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryPolyLineBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
#include "Business_BaseGeometry.h"
#include "FailingAllocator.h"
#include "FixedUntransformedMeshProvider.h"
#include "MemoryLoader.h"
#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"
#include "Persistence_SkinBaseName.h"
#include "SampleBodies.h"
#include "ScalarResultsBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <numeric>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace {

using Calvora::Mesh;
using CoreIo::Layout;
using CoreIoSamples::SampleBody;
using Reliability::AllocationFailure;
using Reliability::liveAllocations;

// Which allocation of a run failed, out of how many a successful run makes.
struct FailurePoint {
    std::size_t failed;
    std::size_t ofRun;

    bool isLast() const { return failed == ofRun; }
};

// How a run ended whose k-th allocation failed.
enum class Outcome { threwBadAlloc, returnedNormally, threwSomethingElse };

template <typename Run>
Outcome runWithFailingAllocation(const Run& run, std::size_t k)
{
    std::exception_ptr escaped;
    bool injected = false;
    {
        const AllocationFailure failure(k);
        try {
            run();
        } catch (...) {
            escaped = std::current_exception();  // refers to the exception, allocates nothing
        }
        injected = failure.hasFailed();
    }
    EXPECT_TRUE(injected) << "the run made fewer than " << k << " allocations this time";
    if (!escaped)
        return Outcome::returnedNormally;
    try {
        std::rethrow_exception(escaped);
    } catch (const std::bad_alloc&) {
        return Outcome::threwBadAlloc;
    } catch (const std::exception& other) {
        ADD_FAILURE() << "allocation " << k << " failed and " << typeid(other).name() << " came out: " << other.what();
    } catch (...) {
        ADD_FAILURE() << "allocation " << k << " failed and a non-standard exception came out";
    }
    return Outcome::threwSomethingElse;
}

// A trial whose run logs. The logging backend takes an allocation failure for a failure to write
// and goes on without the message, so there a run may return normally; it must then have
// delivered its full result all the same.
template <typename Trial>
constexpr bool runLogs = requires { requires Trial::logs; };

// Allocation failures tried over the whole program, for the summary at its end.
struct SweepTally {
    std::size_t tried = 0;
    std::size_t absorbedByLogging = 0;
};

SweepTally& tally()
{
    static SweepTally total;
    return total;
}

class SweepSummary : public ::testing::Environment {
public:
    void TearDown() override
    {
        std::printf("[ SUMMARY  ] %zu allocation failures tried, %zu of them absorbed while logging\n",
                    tally().tried, tally().absorbedByLogging);
    }
};

[[maybe_unused]] ::testing::Environment* const sweepSummary = ::testing::AddGlobalTestEnvironment(new SweepSummary);

// Makes each allocation of a trial's run fail in turn, with a fresh trial from `makeTrial` each
// time: checks that std::bad_alloc came out, the trial's state afterwards, and that every block
// the trial made is given back once it is gone. A trial offers run(), expectSucceeded() and
// expectAfterFailure(FailurePoint). Returns the number of allocation failures tried.
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
    // A build makes at least its product and the product's storage.
    EXPECT_GE(allocations, 2u) << "the allocation functions in use are not the counting ones";

    for (std::size_t k = 1; k <= allocations && !::testing::Test::HasFailure(); ++k) {
        {
            auto trial = makeTrial();
            const Outcome outcome = runWithFailingAllocation([&trial] { trial.run(); }, k);
            if (outcome == Outcome::returnedNormally && runLogs<Trial>) {
                trial.expectSucceeded();
                ++tally().absorbedByLogging;
            } else {
                EXPECT_TRUE(outcome != Outcome::returnedNormally)
                    << "allocation " << k << " of " << allocations << " failed, but the run returned normally";
                trial.expectAfterFailure({k, allocations});
            }
        }
        // gtest keeps the text of a failure, so blocks are counted only while there is none.
        if (!::testing::Test::HasFailure()) {
            EXPECT_EQ(liveAllocations(), baseline)
                << "blocks left after allocation " << k << " of " << allocations << " failed";
        }
    }
    tally().tried += allocations;
    return allocations;
}

// What a caller can see of a mesh, as plain values.
struct MeshContent {
    struct VertexContent {
        std::array<double, 6> positionAndNormal;
        std::int32_t index;
        bool operator==(const VertexContent&) const = default;
    };
    struct TriangleContent {
        std::array<std::int64_t, 3> corners;  // positions in the mesh's vertex container; -1: not a vertex of it
        std::int32_t index;
        bool operator==(const TriangleContent&) const = default;
    };

    std::vector<VertexContent> vertices;
    std::vector<TriangleContent> triangles;
    bool hasNormals = false;

    bool operator==(const MeshContent&) const = default;
};

std::int64_t positionOf(const Mesh& mesh, const Calvora::Vertex* corner)
{
    if (corner == nullptr || corner->index < 0 || static_cast<std::size_t>(corner->index) >= mesh.numberOfVertices())
        return -1;
    return &mesh.getVertex(static_cast<unsigned int>(corner->index)) == corner ? corner->index : -1;
}

MeshContent contentOf(const Mesh& mesh)
{
    MeshContent content;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex) {
        const auto& normal = vertex->getNormal();
        content.vertices.push_back({{vertex->x, vertex->y, vertex->z, normal.x, normal.y, normal.z}, vertex->index});
    }
    for (auto triangle = mesh.beginTriangle(); triangle != mesh.endTriangle(); ++triangle) {
        content.triangles.push_back({{positionOf(mesh, triangle->corners[0]), positionOf(mesh, triangle->corners[1]),
                                      positionOf(mesh, triangle->corners[2])},
                                     triangle->index});
    }
    content.hasNormals = mesh.hasNormals();
    return content;
}

// The mesh a builder makes from `body`, vertex i standing for node mapping[i] (identity if empty).
MeshContent expectedMesh(const SampleBody& body, const std::vector<int>& mapping = {})
{
    MeshContent content;
    for (std::size_t i = 0; i < body.numNodes(); ++i) {
        const std::size_t node = mapping.empty() ? i : static_cast<std::size_t>(mapping[i]);
        content.vertices.push_back({{body.x[node], body.y[node], body.z[node], body.nx[node], body.ny[node], body.nz[node]},
                                    static_cast<std::int32_t>(i)});
    }
    for (std::size_t t = 0; t < body.numTriangles(); ++t) {
        content.triangles.push_back({{body.triangles[3 * t], body.triangles[3 * t + 1], body.triangles[3 * t + 2]},
                                     static_cast<std::int32_t>(t)});
    }
    content.hasNormals = true;
    return content;
}

// Write access to a mesh from the tests. Opening one throws std::logic_error if a failed build
// left a modifier open on the mesh.
class TestModifier : public Calvora::MeshModifier {
public:
    explicit TestModifier(Mesh& mesh) : MeshModifier(mesh) {}
    using MeshModifier::vertices;
};

// How many allocations `run` makes.
template <typename Run>
std::size_t allocationsOf(const Run& run)
{
    const AllocationFailure counter(AllocationFailure::never);
    run();
    return counter.allocationsSoFar();
}

// The allocations that a mesh builder makes before it takes its new mesh: creating the mesh and
// sizing its vertex container.
std::size_t allocationsOfMeshWithVertices(std::size_t numVertices)
{
    return allocationsOf([numVertices] {
        const auto mesh = std::make_shared<Mesh>();
        TestModifier(*mesh).vertices().resize(numVertices);
    });
}

// A mesh whose build failed after it became the builder's: every vertex in place, the triangle
// container untouched or complete, no normals from the record, and open for changes again.
void expectPartlyBuilt(Mesh& mesh, const MeshContent& complete, FailurePoint point)
{
    const MeshContent content = contentOf(mesh);
    ASSERT_EQ(content.vertices.size(), complete.vertices.size()) << "allocation " << point.failed;
    for (std::size_t i = 0; i < content.vertices.size(); ++i) {
        const auto& expected = complete.vertices[i].positionAndNormal;
        const std::array<double, 6> positionOnly{expected[0], expected[1], expected[2], 0.0, 0.0, 0.0};
        EXPECT_EQ(content.vertices[i].positionAndNormal, positionOnly) << "vertex " << i << ", allocation " << point.failed;
        EXPECT_EQ(content.vertices[i].index, complete.vertices[i].index);
    }
    if (!content.triangles.empty()) {
        EXPECT_TRUE(content.triangles == complete.triangles) << "allocation " << point.failed;
    }
    EXPECT_FALSE(content.hasNormals) << "allocation " << point.failed;
    EXPECT_NO_THROW(TestModifier{mesh}) << "allocation " << point.failed;
}

// A sample body's records in both layouts, pointing into the body and into row-major copies.
class BodyRecords {
public:
    explicit BodyRecords(SampleBody sampleBody) : body(std::move(sampleBody))
    {
        for (std::size_t i = 0; i < body.numNodes(); ++i) {
            coordinates.insert(coordinates.end(), {body.x[i], body.y[i], body.z[i]});
            normals.insert(normals.end(), {body.nx[i], body.ny[i], body.nz[i]});
        }
    }

    template <typename Builder>
    void buildMesh(Builder& builder, Layout layout, const std::vector<int>& solverIndexMapping = {}) const
    {
        if (layout == Layout::ColumnMajor) {
            CoreIo::MeshBuilderParamColMajor record;
            record.numNodes = record.numNormals = body.numNodes();
            record.x = body.x.data(), record.y = body.y.data(), record.z = body.z.data();
            record.nx = body.nx.data(), record.ny = body.ny.data(), record.nz = body.nz.data();
            record.numTriangles = body.numTriangles();
            record.triangles = body.triangles.data();
            record.solverIndexMapping = solverIndexMapping.data();
            builder.build(record);
        } else {
            CoreIo::MeshBuilderParamRowMajor record;
            record.numNodes = record.numNormals = body.numNodes();
            record.coordinates = coordinates.data();
            record.normals = normals.data();
            record.numTriangles = body.numTriangles();
            record.triangles = body.triangles.data();
            record.solverIndexMapping = solverIndexMapping.data();
            builder.build(record);
        }
    }

    // The body's nodes as the points of a curve, each with its normal.
    template <typename Builder>
    void buildCurve(Builder& builder, Layout layout) const
    {
        if (layout == Layout::ColumnMajor) {
            CoreIo::CurveBuilderParamColMajor record;
            record.numPoints = record.numNormals = body.numNodes();
            record.x = body.x.data(), record.y = body.y.data(), record.z = body.z.data();
            record.nx = body.nx.data(), record.ny = body.ny.data(), record.nz = body.nz.data();
            builder.build(record);
        } else {
            CoreIo::CurveBuilderParamRowMajor record;
            record.numPoints = record.numNormals = body.numNodes();
            record.coordinates = coordinates.data();
            record.normals = normals.data();
            builder.build(record);
        }
    }

    SampleBody body;

private:
    std::vector<float> coordinates;
    std::vector<float> normals;
};

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

// ---------------------------------------------------------------------------------------------
// Mesh builder: a failure while the new mesh gets its vertices keeps the earlier mesh; from then
// on the builder holds the new mesh, with all its vertices.

class MeshBuildTrial {
public:
    MeshBuildTrial(Layout layout, std::size_t vertexPhaseAllocations)
        : layout(layout), vertexPhaseAllocations(vertexPhaseAllocations)
    {
        earlierSheet().buildMesh(builder, layout);
        earlierMesh = builder.getMesh();
        earlierContent = contentOf(*earlierMesh);
    }

    void run() { nextSheet().buildMesh(builder, layout); }

    void expectSucceeded() const
    {
        ASSERT_NE(builder.getMesh(), earlierMesh);
        EXPECT_TRUE(contentOf(*builder.getMesh()) == expectedMesh(nextSheet().body));
        EXPECT_TRUE(contentOf(*earlierMesh) == earlierContent);
    }

    void expectAfterFailure(FailurePoint point) const
    {
        EXPECT_TRUE(contentOf(*earlierMesh) == earlierContent) << "allocation " << point.failed;
        if (point.failed <= vertexPhaseAllocations) {
            EXPECT_EQ(builder.getMesh(), earlierMesh) << "allocation " << point.failed;
        } else {
            ASSERT_NE(builder.getMesh(), nullptr);
            ASSERT_NE(builder.getMesh(), earlierMesh) << "allocation " << point.failed;
            expectPartlyBuilt(*builder.getMesh(), expectedMesh(nextSheet().body), point);
        }
    }

private:
    Layout layout;
    std::size_t vertexPhaseAllocations;
    Calvora::BaseGeometryMeshBuilder builder;
    std::shared_ptr<Mesh> earlierMesh;
    MeshContent earlierContent;
};

TEST(AllocationFailure, MeshBuilderKeepsItsMeshUntilTheNewOneHasItsVerticesInBothLayouts)
{
    for (const Layout layout : {Layout::ColumnMajor, Layout::RowMajor}) {
        const std::size_t vertexPhase = allocationsOfMeshWithVertices(nextSheet().body.numNodes());
        const std::size_t tried = failEachAllocationInTurn([&] { return MeshBuildTrial(layout, vertexPhase); });
        EXPECT_GT(tried, vertexPhase) << "the triangle phase allocates too";
    }
}

// ---------------------------------------------------------------------------------------------
// Tool mesh builder: the same rule, the new mesh becoming the builder's after its vertex phase.

class ToolMeshBuildTrial {
public:
    ToolMeshBuildTrial(Layout layout, std::size_t vertexPhaseAllocations)
        : layout(layout), vertexPhaseAllocations(vertexPhaseAllocations),
          builder(std::make_shared<Calvora::FixedUntransformedMeshProvider>(toolMesh()))
    {
        nextSheet().buildMesh(builder, layout, identityMapping());
        earlierMesh = builder.getMesh();
        earlierContent = contentOf(*earlierMesh);
    }

    void run() { nextSheet().buildMesh(builder, layout, reversedMapping()); }

    void expectSucceeded() const
    {
        ASSERT_NE(builder.getMesh(), earlierMesh);
        EXPECT_TRUE(contentOf(*builder.getMesh()) == expectedMesh(nextSheet().body, reversedMapping()));
        EXPECT_TRUE(contentOf(*earlierMesh) == earlierContent);
    }

    void expectAfterFailure(FailurePoint point) const
    {
        EXPECT_TRUE(contentOf(*earlierMesh) == earlierContent) << "allocation " << point.failed;
        if (point.failed <= vertexPhaseAllocations) {
            EXPECT_EQ(builder.getMesh(), earlierMesh) << "allocation " << point.failed;
        } else {
            ASSERT_NE(builder.getMesh(), nullptr);
            ASSERT_NE(builder.getMesh(), earlierMesh) << "allocation " << point.failed;
            expectPartlyBuilt(*builder.getMesh(), expectedMesh(nextSheet().body, reversedMapping()), point);
        }
    }

    // The sheet's mesh, which the provider serves as the untransformed tool mesh; its values are
    // floats already, so that they pass through the builder unchanged.
    static std::shared_ptr<Mesh> toolMesh()
    {
        static const std::shared_ptr<Mesh> mesh = [] {
            Calvora::BaseGeometryMeshBuilder builder;
            nextSheet().buildMesh(builder, Layout::ColumnMajor);
            return builder.getMesh();
        }();
        return mesh;
    }

    static const std::vector<int>& identityMapping()
    {
        static const std::vector<int> mapping = [] {
            std::vector<int> nodes(nextSheet().body.numNodes());
            std::iota(nodes.begin(), nodes.end(), 0);
            return nodes;
        }();
        return mapping;
    }

    static const std::vector<int>& reversedMapping()
    {
        static const std::vector<int> mapping(identityMapping().rbegin(), identityMapping().rend());
        return mapping;
    }

private:
    Layout layout;
    std::size_t vertexPhaseAllocations;
    Calvora::BaseGeometryToolMeshBuilder builder;
    std::shared_ptr<Mesh> earlierMesh;
    MeshContent earlierContent;
};

TEST(AllocationFailure, ToolMeshBuilderKeepsItsMeshUntilTheNewOneHasItsVerticesInBothLayouts)
{
    for (const Layout layout : {Layout::ColumnMajor, Layout::RowMajor}) {
        // Before its vertex phase the builder copies the tool mesh's positions and normals into two arrays.
        const std::size_t vertexPhase = 2 + allocationsOfMeshWithVertices(nextSheet().body.numNodes());
        const std::size_t tried = failEachAllocationInTurn([&] { return ToolMeshBuildTrial(layout, vertexPhase); });
        EXPECT_GT(tried, vertexPhase) << "the triangle phase allocates too";
    }
}

// ---------------------------------------------------------------------------------------------
// Polyline builders: a failed build leaves the builder's polyline as it was.

template <typename PolyLineT>
constexpr bool pointsHaveNormals = std::is_same_v<PolyLineT, Calvora::PolyLine<Calvora::Point3N>>;

// Position and normal of each point; points without a normal show a zero one.
template <typename PolyLineT>
std::vector<std::array<double, 6>> pointsOf(const PolyLineT& polyLine)
{
    std::vector<std::array<double, 6>> points;
    for (const auto& point : polyLine.getPoints()) {
        if constexpr (pointsHaveNormals<PolyLineT>) {
            const auto& normal = point.getNormal();
            points.push_back({point.x, point.y, point.z, normal.x, normal.y, normal.z});
        } else {
            points.push_back({point.x, point.y, point.z, 0.0, 0.0, 0.0});
        }
    }
    return points;
}

// The points a builder makes from the nodes of `body`.
template <typename PolyLineT>
std::vector<std::array<double, 6>> expectedPoints(const SampleBody& body)
{
    std::vector<std::array<double, 6>> points;
    for (std::size_t i = 0; i < body.numNodes(); ++i) {
        if constexpr (pointsHaveNormals<PolyLineT>)
            points.push_back({body.x[i], body.y[i], body.z[i], body.nx[i], body.ny[i], body.nz[i]});
        else
            points.push_back({body.x[i], body.y[i], body.z[i], 0.0, 0.0, 0.0});
    }
    return points;
}

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
    std::vector<std::array<double, 6>> earlierPoints;
};

TEST(AllocationFailure, PolyLineBuildersKeepTheirPolyLineInBothLayouts)
{
    using PlainPolyLine = Calvora::PolyLine<Calvora::Point<double, 3>>;
    using PolyLineWithNormals = Calvora::PolyLine<Calvora::Point3N>;
    for (const Layout layout : {Layout::ColumnMajor, Layout::RowMajor}) {
        failEachAllocationInTurn([&] { return PolyLineBuildTrial<PlainPolyLine>(layout); });
        failEachAllocationInTurn([&] { return PolyLineBuildTrial<PolyLineWithNormals>(layout); });
    }
}

// ---------------------------------------------------------------------------------------------
// Scalar results builder: arrays delivered before stay readable and unchanged; only a failure
// while the new array is filled (the last allocation of a delivery) leaves it behind, empty.

template <typename T>
std::vector<T> valuesCounting(std::size_t count, T first)
{
    std::vector<T> values(count);
    std::iota(values.begin(), values.end(), first);
    return values;
}

template <typename T>
class ResultBuildTrial {
public:
    ResultBuildTrial()
    {
        builder.build(earlierValues.size(), earlierValues.data());
        if constexpr (std::is_same_v<T, float>)
            earlierArray = builder.getFloatVector(0);
    }

    void run() { builder.build(nextValues.size(), nextValues.data()); }

    void expectSucceeded()
    {
        expectEarlierArrayIntact(0);
        if constexpr (readable) {
            EXPECT_EQ(*builder.getFloatVector(1), std::vector<float>(nextValues.begin(), nextValues.end()));
        }
    }

    // int arrays cannot be read back; for them only leaks and the exception are checked.
    void expectAfterFailure(FailurePoint point)
    {
        expectEarlierArrayIntact(point.failed);
        if constexpr (readable) {
            const std::shared_ptr<std::vector<float>> failedArray = builder.getFloatVector(1);
            if (point.isLast()) {
                ASSERT_NE(failedArray, nullptr) << "allocation " << point.failed;
                EXPECT_TRUE(failedArray->empty()) << "allocation " << point.failed;
            } else {
                EXPECT_EQ(failedArray, nullptr) << "allocation " << point.failed;
            }
        }
    }

private:
    static constexpr bool readable = !std::is_same_v<T, int>;

    void expectEarlierArrayIntact(std::size_t failed)
    {
        if constexpr (std::is_same_v<T, float>) {
            EXPECT_EQ(builder.getFloatVector(0), earlierArray) << "allocation " << failed;
        }
        if constexpr (readable) {
            EXPECT_EQ(*builder.getFloatVector(0), std::vector<float>(earlierValues.begin(), earlierValues.end()))
                << "allocation " << failed;
        }
    }

    const std::vector<T> earlierValues = valuesCounting<T>(5, T(1));
    const std::vector<T> nextValues = valuesCounting<T>(300, T(-7));
    CoreIo::ScalarResultsBuilder builder;
    std::shared_ptr<std::vector<float>> earlierArray;
};

TEST(AllocationFailure, ScalarResultsBuilderKeepsEarlierArraysForEveryElementType)
{
    failEachAllocationInTurn([] { return ResultBuildTrial<int>(); });
    failEachAllocationInTurn([] { return ResultBuildTrial<float>(); });
    failEachAllocationInTurn([] { return ResultBuildTrial<double>(); });
}

// ---------------------------------------------------------------------------------------------
// Body loading and alignment: a failure anywhere releases everything the call built and returns
// nothing; the inputs stay as they were.

struct ArraysContent {
    std::vector<float> initCoord0;
    std::vector<float> initCoord1;
    bool operator==(const ArraysContent&) const = default;
};

// A loader with a sheet (column-major, float coordinates) and a tube (row-major, double
// coordinates), each in a state before and after.
class SampleLoader {
public:
    SampleLoader()
    {
        CoreIoSamples::registerBody(loader, "sheet before", sheetBefore);
        CoreIoSamples::registerBody(loader, "sheet after", sheetAfter);
        registerWithDoubleCoordinates("tube before", tubeBefore);
        registerWithDoubleCoordinates("tube after", tubeAfter);
    }

    CoreIo::MemoryLoader loader;
    const SampleBody sheetBefore = CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {5, 4, 0.1, 3});
    const SampleBody sheetAfter = CoreIoSamples::makeSheet({1.0, 1.0, 0.3}, {6, 5, 0.15, 4});
    const SampleBody tubeBefore = CoreIoSamples::makeTube({1.0, 2.0, 1.0}, {8, 3, 0.1});
    const SampleBody tubeAfter = CoreIoSamples::makeTube({1.1, 2.2, 1.0}, {10, 4, 0.3});

private:
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
};

const SampleLoader& sampleLoader()
{
    static const SampleLoader samples;
    return samples;
}

class ReadMeshAndICsTrial {
public:
    ReadMeshAndICsTrial(const std::string& bodyName, const SampleBody& expected)
        : body(sampleLoader().loader.body(bodyName)), expected(expected)
    {
    }

    void run() { record = CoreIo::readMeshAndICs(sampleLoader().loader, body); }

    void expectSucceeded() const
    {
        ASSERT_TRUE(record.isValid());
        EXPECT_TRUE(contentOf(*record.mesh) == expectedMesh(expected));
        EXPECT_EQ(*record.initCoord0, expected.initCoord0);
        EXPECT_EQ(*record.initCoord1, expected.initCoord1);
    }

    void expectAfterFailure(FailurePoint point) const
    {
        EXPECT_EQ(record.mesh, nullptr) << "allocation " << point.failed;
        EXPECT_EQ(record.initCoord0, nullptr) << "allocation " << point.failed;
        EXPECT_EQ(record.initCoord1, nullptr) << "allocation " << point.failed;
    }

private:
    const CoreIo::SimBody& body;
    const SampleBody& expected;
    CoreIo::MeshAndCoord record;
};

TEST(AllocationFailure, ReadMeshAndICsReleasesEverythingItLoadedFromFloatAndDoubleResults)
{
    const SampleLoader& samples = sampleLoader();
    failEachAllocationInTurn([&] { return ReadMeshAndICsTrial("sheet before", samples.sheetBefore); });
    failEachAllocationInTurn([&] { return ReadMeshAndICsTrial("tube after", samples.tubeAfter); });
}

// The inputs of an alignment, read once, with what they held when read.
struct AlignmentInputs {
    CoreIo::MeshAndCoord before;
    CoreIo::MeshAndCoord after;
    MeshContent beforeMesh = contentOf(*before.mesh);
    MeshContent afterMesh = contentOf(*after.mesh);
    ArraysContent beforeArrays{*before.initCoord0, *before.initCoord1};
    ArraysContent afterArrays{*after.initCoord0, *after.initCoord1};

    bool intact() const
    {
        return contentOf(*before.mesh) == beforeMesh && contentOf(*after.mesh) == afterMesh &&
               ArraysContent{*before.initCoord0, *before.initCoord1} == beforeArrays &&
               ArraysContent{*after.initCoord0, *after.initCoord1} == afterArrays;
    }
};

AlignmentInputs readPair(const std::string& before, const std::string& after)
{
    const CoreIo::MemoryLoader& loader = sampleLoader().loader;
    return {CoreIo::readMeshAndICs(loader, loader.body(before)), CoreIo::readMeshAndICs(loader, loader.body(after))};
}

// Both results in plain values, for comparing a run with the reference run.
struct AlignmentContent {
    std::vector<int> vertexMatching;
    MeshContent alignedMesh;
    bool operator==(const AlignmentContent&) const = default;
};

AlignmentContent contentOf(const CoreIo::MeshAlignResult& result)
{
    return {*result.vertexMatching, contentOf(*result.alignedMesh)};
}

// With records: the inputs must come through unchanged.
class AlignRecordsTrial {
public:
    static constexpr bool logs = true;

    AlignRecordsTrial(const AlignmentInputs& inputs, const AlignmentContent& reference)
        : inputs(inputs), reference(reference)
    {
    }

    void run() { result = CoreIo::getMeshAlignResult(inputs.before, inputs.after, -1, true); }

    void expectSucceeded() const
    {
        ASSERT_NE(result.vertexMatching, nullptr);
        ASSERT_NE(result.alignedMesh, nullptr);
        EXPECT_TRUE(contentOf(result) == reference);
        EXPECT_TRUE(inputs.intact());
    }

    void expectAfterFailure(FailurePoint point) const
    {
        EXPECT_EQ(result.vertexMatching, nullptr) << "allocation " << point.failed;
        EXPECT_EQ(result.alignedMesh, nullptr) << "allocation " << point.failed;
        EXPECT_TRUE(inputs.intact()) << "allocation " << point.failed;
    }

private:
    const AlignmentInputs& inputs;
    const AlignmentContent& reference;
    CoreIo::MeshAlignResult result;
};

// Through the loader: both bodies are read inside the call.
class AlignThroughLoaderTrial {
public:
    static constexpr bool logs = true;

    AlignThroughLoaderTrial(const std::string& before, const std::string& after, const AlignmentContent& reference)
        : before(sampleLoader().loader.body(before)), after(sampleLoader().loader.body(after)), reference(reference)
    {
    }

    void run() { result = CoreIo::getMeshAlignResult(sampleLoader().loader, before, after, -1, true); }

    void expectSucceeded() const
    {
        ASSERT_NE(result.vertexMatching, nullptr);
        ASSERT_NE(result.alignedMesh, nullptr);
        EXPECT_TRUE(contentOf(result) == reference);
    }

    void expectAfterFailure(FailurePoint point) const
    {
        EXPECT_EQ(result.vertexMatching, nullptr) << "allocation " << point.failed;
        EXPECT_EQ(result.alignedMesh, nullptr) << "allocation " << point.failed;
    }

private:
    const CoreIo::SimBody& before;
    const CoreIo::SimBody& after;
    const AlignmentContent& reference;
    CoreIo::MeshAlignResult result;
};

TEST(AllocationFailure, AlignmentOfSheetsReleasesEverythingAndLeavesItsInputsAlone)
{
    const AlignmentInputs inputs = readPair("sheet before", "sheet after");
    const AlignmentContent reference = contentOf(CoreIo::getMeshAlignResult(inputs.before, inputs.after, -1, true));
    ASSERT_EQ(reference.vertexMatching.size(), sampleLoader().sheetAfter.numNodes());

    failEachAllocationInTurn([&] { return AlignRecordsTrial(inputs, reference); });
    failEachAllocationInTurn([&] { return AlignThroughLoaderTrial("sheet before", "sheet after", reference); });
}

TEST(AllocationFailure, AlignmentOfTubesReleasesEverythingAndLeavesItsInputsAlone)
{
    const AlignmentInputs inputs = readPair("tube before", "tube after");
    const AlignmentContent reference = contentOf(CoreIo::getMeshAlignResult(inputs.before, inputs.after, -1, true));
    ASSERT_EQ(reference.vertexMatching.size(), sampleLoader().tubeAfter.numNodes());

    failEachAllocationInTurn([&] { return AlignRecordsTrial(inputs, reference); });
    failEachAllocationInTurn([&] { return AlignThroughLoaderTrial("tube before", "tube after", reference); });
}

}  // namespace

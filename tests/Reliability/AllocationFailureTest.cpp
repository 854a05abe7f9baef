// Every allocation of each operation made to fail in turn: std::bad_alloc must come out, nothing
// may leak, and what a caller holds or relies on afterwards must be as documented.
#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryPolyLineBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
#include "FailingAllocator.h"
#include "FixedUntransformedMeshProvider.h"
#include "MemoryLoader.h"
#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"
#include "SampleBodies.h"
#include "ScalarResultsBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <numeric>
#include <string>
#include <vector>

namespace {

using Calvora::Mesh;
using CoreIoSamples::SampleBody;
using Reliability::AllocationFailure;

// One run of an operation on fresh state: the call to make fail, and what must hold once it failed
// (empty: nothing beyond std::bad_alloc and no leak).
struct Attempt {
    std::function<void()> call;
    std::function<bool()> promiseKept;
};

struct Operation {
    const char* name;
    std::function<Attempt()> prepare;  // runs outside the counted allocations
    bool logs = false;  // the logging backend drops a message it cannot allocate: the call may return
};

// Positions, normals and corners of a mesh, to tell whether a mesh a caller holds was changed.
std::vector<double> contentOf(const Mesh& mesh)
{
    std::vector<double> content;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex) {
        const auto& normal = vertex->getNormal();
        content.insert(content.end(), {vertex->x, vertex->y, vertex->z, normal.x, normal.y, normal.z});
    }
    for (auto triangle = mesh.beginTriangle(); triangle != mesh.endTriangle(); ++triangle) {
        for (const Calvora::Vertex* corner : triangle->corners)
            content.push_back(corner->index);
    }
    return content;
}

const SampleBody& smallSheet()
{
    static const SampleBody body = CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {3, 2, 0.0, 1});
    return body;
}

const SampleBody& sheet()
{
    static const SampleBody body = CoreIoSamples::makeSheet({2.0, 1.0, 0.2}, {9, 7, 0.12, 2});
    return body;
}

// Sheets in both layouts, and a sheet and a tube each before and after a process step.
const CoreIo::MemoryLoader& samples()
{
    static const CoreIo::MemoryLoader loader = [] {
        CoreIo::MemoryLoader bodies;
        CoreIoSamples::registerBody(bodies, "small", smallSheet());
        CoreIoSamples::registerBody(bodies, "columns", sheet());
        CoreIoSamples::registerBody(bodies, "rows", sheet(), CoreIo::Layout::RowMajor);
        CoreIoSamples::registerBody(bodies, "sheet before", CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {5, 4, 0.1, 3}));
        CoreIoSamples::registerBody(bodies, "sheet after", CoreIoSamples::makeSheet({1.0, 1.0, 0.3}, {6, 5, 0.15, 4}));
        CoreIoSamples::registerBody(bodies, "tube before", CoreIoSamples::makeTube({1.0, 2.0, 1.0}, {8, 3, 0.1}));
        CoreIoSamples::registerBody(bodies, "tube after", CoreIoSamples::makeTube({1.1, 2.2, 1.0}, {10, 4, 0.3}),
                                    CoreIo::Layout::RowMajor);
        return bodies;
    }();
    return loader;
}

CoreIo::MeshBuilderParamColMajor meshRecord(const SampleBody& body, const std::vector<int>& mapping)
{
    CoreIo::MeshBuilderParamColMajor record;
    record.numNodes = body.numNodes();
    record.numNormals = body.numNodes();
    record.x = body.x.data();
    record.y = body.y.data();
    record.z = body.z.data();
    record.nx = body.nx.data();
    record.ny = body.ny.data();
    record.nz = body.nz.data();
    record.numTriangles = body.numTriangles();
    record.triangles = body.triangles.data();
    record.solverIndexMapping = mapping.data();
    return record;
}

// A builder that held the small sheet's mesh loads `body`: the earlier mesh stays unchanged, and
// the builder holds it still, or the new mesh with all its vertices.
template <typename Builder>
Attempt meshLoad(std::shared_ptr<Builder> builder, const std::string& body)
{
    samples().loadMesh(samples().body("small").meshLocation, *builder);
    const std::shared_ptr<Mesh> earlier = builder->getMesh();
    return {[=] { samples().loadMesh(samples().body(body).meshLocation, *builder); },
            [=, content = contentOf(*earlier)] {
                const std::shared_ptr<Mesh> held = builder->getMesh();
                return contentOf(*earlier) == content &&
                       (held == earlier || held->numberOfVertices() == sheet().numNodes());
            }};
}

Attempt toolMeshBuild()
{
    const std::shared_ptr<Mesh> tool = [] {
        Calvora::BaseGeometryMeshBuilder toolBuilder;
        samples().loadMesh(samples().body("columns").meshLocation, toolBuilder);
        return toolBuilder.getMesh();
    }();
    auto builder = std::make_shared<Calvora::BaseGeometryToolMeshBuilder>(
        std::make_shared<Calvora::FixedUntransformedMeshProvider>(tool));
    auto reversed = std::make_shared<std::vector<int>>(sheet().numNodes());
    std::iota(reversed->rbegin(), reversed->rend(), 0);
    builder->build(meshRecord(sheet(), *reversed));
    const std::shared_ptr<Mesh> earlier = builder->getMesh();
    return {[=] { builder->build(meshRecord(sheet(), *reversed)); },
            [=, content = contentOf(*earlier)] { return contentOf(*earlier) == content && builder->getMesh(); }};
}

// A failed build leaves the builder's polyline as it was.
template <typename PolyLineT>
Attempt polyLineBuild()
{
    auto builder = std::make_shared<Calvora::BaseGeometryPolyLineBuilder<PolyLineT>>();
    CoreIo::CurveBuilderParamColMajor record;
    record.numPoints = sheet().numNodes();
    record.numNormals = sheet().numNodes();
    record.x = sheet().x.data();
    record.y = sheet().y.data();
    record.z = sheet().z.data();
    record.nx = sheet().nx.data();
    record.ny = sheet().ny.data();
    record.nz = sheet().nz.data();
    builder->build(record);
    const std::shared_ptr<PolyLineT> earlier = builder->getPolyLine();
    return {[=] { builder->build(record); }, [=] { return builder->getPolyLine() == earlier; }};
}

// Arrays delivered before stay as they were; a failure while the new array is filled leaves it
// behind, empty.
template <typename T>
Attempt resultsBuild()
{
    auto builder = std::make_shared<CoreIo::ScalarResultsBuilder>();
    const std::vector<float> earlier{1.0f, 2.0f, 3.0f};
    builder->build(earlier.size(), earlier.data());
    auto next = std::make_shared<std::vector<T>>(300, T(7));
    return {[=] { builder->build(next->size(), next->data()); },
            [=] {
                const auto added = builder->getFloatVector(1);
                return *builder->getFloatVector(0) == earlier && (added == nullptr || added->empty());
            }};
}

// A registration that fails leaves the loader as it was.
Attempt registration(bool result)
{
    auto loader = std::make_shared<CoreIo::MemoryLoader>();
    CoreIoSamples::registerBody(*loader, "sheet", smallSheet());
    const std::size_t results = loader->body("sheet").results.size();
    CoreIo::MeshArrays arrays;
    arrays.numNodes = smallSheet().numNodes();
    arrays.x = arrays.y = arrays.z = smallSheet().x;
    return {[=] {
                if (result)
                    loader->addResult("sheet", "THICKNESS", smallSheet().z);
                else
                    loader->addBody("plate", arrays);
            },
            [=] { return loader->bodies().size() == 1 && loader->body("sheet").results.size() == results; }};
}

// An alignment that fails leaves the bodies it was given unchanged.
Attempt alignment(const std::string& before, const std::string& after)
{
    const auto bodies = std::make_shared<std::vector<CoreIo::MeshAndCoord>>(std::vector<CoreIo::MeshAndCoord>{
        CoreIo::readMeshAndICs(samples(), samples().body(before)),
        CoreIo::readMeshAndICs(samples(), samples().body(after))});
    const auto contents = [bodies] {
        std::vector<std::vector<double>> all;
        for (const CoreIo::MeshAndCoord& body : *bodies) {
            all.push_back(contentOf(*body.mesh));
            all.emplace_back(body.initCoord0->begin(), body.initCoord0->end());
            all.emplace_back(body.initCoord1->begin(), body.initCoord1->end());
        }
        return all;
    };
    return {[=] { CoreIo::getMeshAlignResult((*bodies)[0], (*bodies)[1], -1, true); },
            [=, original = contents()] { return contents() == original; }};
}

Attempt bodyRead(const std::string& body)
{
    return {[=] { CoreIo::readMeshAndICs(samples(), samples().body(body)); }, {}};
}

const std::vector<Operation>& operations()
{
    using PointLine = Calvora::PolyLine<Calvora::Point<double, 3>>;
    using NormalLine = Calvora::PolyLine<Calvora::Point3N>;
    using MeshBuilder = Calvora::BaseGeometryMeshBuilder;
    static const std::vector<Operation> table{
        {"mesh load, column-major", [] { return meshLoad(std::make_shared<MeshBuilder>(), "columns"); }},
        {"mesh load, row-major", [] { return meshLoad(std::make_shared<MeshBuilder>(), "rows"); }},
        {"tool mesh build", toolMeshBuild},
        {"polyline build", polyLineBuild<PointLine>},
        {"polyline with normals build", polyLineBuild<NormalLine>},
        {"int results", resultsBuild<int>},
        {"float results", resultsBuild<float>},
        {"double results", resultsBuild<double>},
        {"body registration", [] { return registration(false); }},
        {"result registration", [] { return registration(true); }},
        {"body read, float coordinates", [] { return bodyRead("columns"); }},
        {"body read, tube", [] { return bodyRead("tube after"); }},
        {"sheet alignment", [] { return alignment("sheet before", "sheet after"); }, true},
        {"tube alignment", [] { return alignment("tube before", "tube after"); }, true},
    };
    return table;
}

std::size_t allocationsOf(const Operation& operation)
{
    const Attempt attempt = operation.prepare();
    const AllocationFailure counter(AllocationFailure::never);
    attempt.call();
    return counter.allocationsSoFar();
}

// Runs the attempt with its k-th allocation failing; true if std::bad_alloc came out.
bool failsWithBadAlloc(const Attempt& attempt, std::size_t k)
{
    const AllocationFailure failure(k);
    try {
        attempt.call();
    } catch (const std::bad_alloc&) {
        return true;
    }
    return false;
}

TEST(AllocationFailure, EveryOperationThrowsBadAllocLeaksNothingAndKeepsItsPromise)
{
    for (const Operation& operation : operations()) {
        SCOPED_TRACE(operation.name);
        operation.prepare().call();  // first uses of the libraries may set up state that lives on
        const std::size_t baseline = Reliability::liveAllocations();
        const std::size_t allocations = allocationsOf(operation);
        ASSERT_GT(allocations, 0u) << "the allocation functions in use are not the counting ones";
        EXPECT_EQ(Reliability::liveAllocations(), baseline) << "a successful run left blocks behind";
        for (std::size_t k = 1; k <= allocations && !::testing::Test::HasFailure(); ++k) {
            {
                const Attempt attempt = operation.prepare();
                const bool threw = failsWithBadAlloc(attempt, k);
                EXPECT_TRUE(threw || operation.logs) << "allocation " << k << " of " << allocations << " failed";
                EXPECT_TRUE(!attempt.promiseKept || attempt.promiseKept())
                    << "after allocation " << k << " of " << allocations;
            }
            // gtest keeps the text of a failure, so blocks are counted only while there is none.
            if (!::testing::Test::HasFailure()) {
                EXPECT_EQ(Reliability::liveAllocations(), baseline) << "blocks left after allocation " << k;
            }
        }
    }
}

}  // namespace

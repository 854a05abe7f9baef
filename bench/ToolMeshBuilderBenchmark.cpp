// Building a tool mesh through its solver index mapping, per node, beside the mesh builder on the
// same body: the mapping's scattered reads and the float snapshot must not dominate.

#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
#include "BenchmarkSizes.h"
#include "BuilderBenchmarkGrid.h"
#include "FixedUntransformedMeshProvider.h"
#include "MemoryLoader.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

namespace {

// A tool whose solver numbers its nodes in a shuffled order: node i stands for tool vertex
// mapping[i]. The body carries the tool's positions, normals and triangles in solver numbering.
struct ShuffledTool {
    std::shared_ptr<Calvora::Mesh> toolMesh;
    CoreIo::MeshArrays body;
};

std::shared_ptr<Calvora::Mesh> buildMesh(const CoreIo::MeshArrays& arrays)
{
    CoreIo::MemoryLoader loader;
    loader.addBody("mesh", arrays);
    Calvora::BaseGeometryMeshBuilder builder;
    loader.loadMesh(loader.body("mesh").meshLocation, builder);
    return builder.getMesh();
}

ShuffledTool shuffledTool(std::size_t minimumNodes)
{
    const CoreIo::MeshArrays tool = CoreIoBench::gridMesh(minimumNodes, CoreIo::Layout::ColumnMajor);
    std::vector<int> mapping(tool.numNodes);
    std::iota(mapping.begin(), mapping.end(), 0);
    std::shuffle(mapping.begin(), mapping.end(), std::mt19937(20240601));
    std::vector<int> nodeOfVertex(tool.numNodes);
    for (std::size_t node = 0; node < mapping.size(); ++node)
        nodeOfVertex[static_cast<std::size_t>(mapping[node])] = static_cast<int>(node);

    CoreIo::MeshArrays body = tool;
    for (std::size_t node = 0; node < mapping.size(); ++node) {
        const auto vertex = static_cast<std::size_t>(mapping[node]);
        body.x[node] = tool.x[vertex], body.y[node] = tool.y[vertex], body.z[node] = tool.z[vertex];
        body.nx[node] = tool.nx[vertex], body.ny[node] = tool.ny[vertex], body.nz[node] = tool.nz[vertex];
    }
    for (int& corner : body.triangles)
        corner = nodeOfVertex[static_cast<std::size_t>(corner)];
    body.solverIndexMapping = std::move(mapping);
    return {buildMesh(tool), std::move(body)};
}

void reportPerNode(benchmark::State& state, const CoreIo::MeshArrays& body)
{
    const auto nodes = static_cast<double>(body.numNodes);
    state.counters["nodes"] = nodes;
    state.counters["ns_per_node"] = benchmark::Counter(nodes * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                                         benchmark::Counter::kInvert);
}

void BM_ToolMeshBuilder(benchmark::State& state)
{
    const ShuffledTool tool = shuffledTool(static_cast<std::size_t>(state.range(0)));
    CoreIo::MemoryLoader loader;
    loader.addBody("tool", tool.body);
    const CoreIo::MeshLocation& location = loader.body("tool").meshLocation;
    const auto provider = std::make_shared<Calvora::FixedUntransformedMeshProvider>(tool.toolMesh);
    for (auto _ : state) {
        Calvora::BaseGeometryToolMeshBuilder builder(provider);
        loader.loadMesh(location, builder);
        benchmark::DoNotOptimize(builder.getMesh()->getTriangle(0).corners[0]);
    }
    reportPerNode(state, tool.body);
}

// The same body through the mesh builder, which reads positions and normals from the record.
void BM_MeshBuilderOnToolBody(benchmark::State& state)
{
    const ShuffledTool tool = shuffledTool(static_cast<std::size_t>(state.range(0)));
    CoreIo::MemoryLoader loader;
    loader.addBody("tool", tool.body);
    const CoreIo::MeshLocation& location = loader.body("tool").meshLocation;
    for (auto _ : state) {
        Calvora::BaseGeometryMeshBuilder builder;
        loader.loadMesh(location, builder);
        benchmark::DoNotOptimize(builder.getMesh()->getTriangle(0).corners[0]);
    }
    reportPerNode(state, tool.body);
}

void meshSizes(benchmark::internal::Benchmark* benchmark)
{
    for (long size : CoreIoBench::sizes({1000000}, 1000))
        benchmark->Arg(size);
    benchmark->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_ToolMeshBuilder)->Apply(meshSizes);
BENCHMARK(BM_MeshBuilderOnToolBody)->Apply(meshSizes);

BENCHMARK_MAIN();

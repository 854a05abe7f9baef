// Building a body's mesh through a loader, per node and per triangle, beside the same work done
// by a plain loop into vectors: the builder's containers and phases must stay within 1.5 times
// the plain loop's cost on million-node meshes. The host keeps its heap (HostHeap.h): both sides
// fill memory that is already resident, so the figures compare the work, not page faults.

#include "BaseGeometryMeshBuilder.h"
#include "BenchmarkSizes.h"
#include "BuilderBenchmarkGrid.h"
#include "Business_BaseGeometry.h"
#include "HostHeap.h"
#include "MemoryLoader.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using CoreIo::Layout;

void reportPerItem(benchmark::State& state, const CoreIo::MeshArrays& mesh)
{
    const auto nodes = static_cast<double>(mesh.numNodes);
    const auto triangles = static_cast<double>(mesh.numTriangles);
    const auto perItem = benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert;
    state.counters["nodes"] = nodes;
    state.counters["triangles"] = triangles;
    state.counters["ns_per_node"] = benchmark::Counter(nodes * 1e-9, perItem);
    state.counters["ns_per_triangle"] = benchmark::Counter(triangles * 1e-9, perItem);
}

void BM_MeshBuilder(benchmark::State& state, Layout layout)
{
    const CoreIo::MeshArrays mesh = CoreIoBench::gridMesh(static_cast<std::size_t>(state.range(0)), layout);
    CoreIo::MemoryLoader loader;
    loader.addBody("grid", mesh);
    const CoreIo::MeshLocation& location = loader.body("grid").meshLocation;
    for (auto _ : state) {
        Calvora::BaseGeometryMeshBuilder builder;
        loader.loadMesh(location, builder);
        benchmark::DoNotOptimize(builder.getMesh()->getTriangle(0).corners[0]);
    }
    reportPerItem(state, mesh);
}

struct Components {
    float x, y, z;
};

// Vertices and triangles in vectors sized once, filled in one pass each: the least a builder can do.
template <typename Read>
void fillPlain(const CoreIo::MeshArrays& mesh, Read position, Read normal)
{
    std::vector<Calvora::Vertex> vertices(mesh.numNodes);
    for (std::size_t i = 0; i < mesh.numNodes; ++i) {
        const Components p = position(i);
        const Components n = normal(i);
        Calvora::Vertex& vertex = vertices[i];
        vertex.set(static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.z));
        vertex.setNormal(static_cast<double>(n.x), static_cast<double>(n.y), static_cast<double>(n.z));
        vertex.index = static_cast<std::int32_t>(i);
    }
    std::vector<Calvora::Triangle> triangles(mesh.numTriangles);
    const int* nodes = mesh.triangles.data();
    for (std::size_t j = 0; j < mesh.numTriangles; ++j) {
        Calvora::Triangle& triangle = triangles[j];
        for (std::size_t corner = 0; corner < 3; ++corner)
            triangle.corners[corner] = &vertices[static_cast<std::size_t>(nodes[3 * j + corner])];
        triangle.index = static_cast<std::int32_t>(j);
    }
    benchmark::DoNotOptimize(triangles.data()->corners[0]);
}

void BM_PlainLoop(benchmark::State& state, Layout layout)
{
    const CoreIo::MeshArrays mesh = CoreIoBench::gridMesh(static_cast<std::size_t>(state.range(0)), layout);
    const auto columns = [](const std::vector<float>& x, const std::vector<float>& y, const std::vector<float>& z) {
        return [&x, &y, &z](std::size_t i) { return Components{x[i], y[i], z[i]}; };
    };
    const auto rows = [](const std::vector<float>& values) {
        return [&values](std::size_t i) { return Components{values[3 * i], values[3 * i + 1], values[3 * i + 2]}; };
    };
    for (auto _ : state) {
        if (layout == Layout::ColumnMajor)
            fillPlain(mesh, columns(mesh.x, mesh.y, mesh.z), columns(mesh.nx, mesh.ny, mesh.nz));
        else
            fillPlain(mesh, rows(mesh.coordinates), rows(mesh.normals));
    }
    reportPerItem(state, mesh);
}

void meshSizes(benchmark::internal::Benchmark* benchmark)
{
    for (long size : CoreIoBench::sizes({1000000}, 1000))
        benchmark->Arg(size);
    benchmark->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK_CAPTURE(BM_MeshBuilder, column_major, Layout::ColumnMajor)->Apply(meshSizes);
BENCHMARK_CAPTURE(BM_PlainLoop, column_major, Layout::ColumnMajor)->Apply(meshSizes);
BENCHMARK_CAPTURE(BM_MeshBuilder, row_major, Layout::RowMajor)->Apply(meshSizes);
BENCHMARK_CAPTURE(BM_PlainLoop, row_major, Layout::RowMajor)->Apply(meshSizes);

int main(int argc, char** argv)
{
    return CoreIoBench::runKeepingHeap(argc, argv);
}

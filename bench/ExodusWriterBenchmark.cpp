// Writing an aligned body as coreio-align writes it: a million-node SHELL4 sheet in single
// precision with node and element maps, ten nodal variables and an element variable at one step,
// a QA record and info records. The first write of a fresh process, with the bytes the process
// wrote and read through the kernel on the way (/proc/self/io), beside the size of the file:
// a writer that defines the whole file before its bulk data writes each byte about once and reads
// next to nothing back.

#include "BenchmarkSizes.h"
#include "ExodusWriter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

namespace {

// Bytes the process has read and written through system calls so far.
struct IoCounts {
    double read = 0;
    double written = 0;
};

IoCounts ioCounts()
{
    std::ifstream io("/proc/self/io");
    IoCounts counts;
    std::string key;
    double value = 0;
    while (io >> key >> value) {
        if (key == "rchar:")
            counts.read = value;
        else if (key == "wchar:")
            counts.written = value;
    }
    return counts;
}

CoreIo::ExodusMesh alignedSheet(int cells)
{
    CoreIo::ExodusMesh mesh;
    const int columns = cells + 1;
    const auto numNodes = static_cast<std::size_t>(columns) * static_cast<std::size_t>(columns);
    for (std::size_t node = 0; node < numNodes; ++node) {
        const double u = static_cast<double>(node % static_cast<std::size_t>(columns));
        const double v = static_cast<double>(node / static_cast<std::size_t>(columns));
        mesh.x.push_back(u);
        mesh.y.push_back(v);
        mesh.z.push_back(0.1 * std::sin(u / cells) * std::sin(v / cells));
    }
    CoreIo::ExodusMesh::Block& block = mesh.blocks.emplace_back(CoreIo::ExodusMesh::Block{42, "skin", "SHELL4", 4, {}});
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            const int a = j * columns + i;
            block.connectivity.insert(block.connectivity.end(), {a, a + 1, a + columns + 1, a + columns});
        }
    mesh.nodeIds.resize(numNodes);
    std::iota(mesh.nodeIds.begin(), mesh.nodeIds.end(), std::int64_t{1000001});
    mesh.elementIds.resize(block.numElements());
    std::iota(mesh.elementIds.begin(), mesh.elementIds.end(), std::int64_t{5000001});
    mesh.times = {1.0};
    for (const char* name : {"DISPL_X", "DISPL_Y", "DISPL_Z", "DISPL_MAG", "INITIALCOORD0", "INITIALCOORD1",
                             "MATCH_STATUS", "MATCHED_NODE_ID", "BEFORE_THICKNESS", "BEFORE_STRAIN"})
        mesh.nodalVariables.push_back({name, {mesh.z}});
    mesh.elementVariables.push_back({"BEFORE_STRESS", {{std::vector<double>(block.numElements(), 1.5)}}});
    mesh.qa = CoreIo::ExodusMesh::QaRecord{"coreio-align", "0.1.0", "2025-01-01", "12:00:00"};
    mesh.info = {"coreio-align before.exo after.exo -o out.exo", "before: before.exo, blocks skin, step 1"};
    return mesh;
}

void BM_WriteAlignedSheet(benchmark::State& state)
{
    const CoreIo::ExodusMesh mesh = alignedSheet(static_cast<int>(state.range(0)));
    const std::string path = (std::filesystem::temp_directory_path() / "coreio-bench-written.exo").string();
    for (auto _ : state) {
        const IoCounts before = ioCounts();
        CoreIo::writeExodusMesh(path, mesh, CoreIo::ExodusPrecision::Float);
        const IoCounts after = ioCounts();
        state.counters["MB_written"] = (after.written - before.written) / 1e6;
        state.counters["MB_read"] = (after.read - before.read) / 1e6;
    }
    state.counters["MB_file"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    state.counters["nodes"] = static_cast<double>(mesh.x.size());
    std::filesystem::remove(path);
}

}  // namespace

// 1000 x 1000 cells: a million nodes and quadrilaterals; one write, the first of the process.
BENCHMARK(BM_WriteAlignedSheet)
    ->ArgsProduct({CoreIoBench::sizes({1000}, 20)})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();

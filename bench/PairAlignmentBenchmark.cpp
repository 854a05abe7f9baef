// The tool's alignment of two sheets of up to a million vertices each, alignPair with and without
// ten nodal variables of the before state carried onto every after vertex: the mapping's share of
// the whole is the ratio of the two times of one run.

#include "BenchmarkSizes.h"
#include "FieldTransfer.h"
#include "MemoryLoader.h"
#include "PairAlignment.h"
#include "SampleBodies.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t mappedVariables = 10;

struct SheetPair {
    CoreIo::MeshAndCoord before, after;
    std::vector<double> beforeValues;  // n_before x mappedVariables
};

CoreIo::MeshAndCoord record(const CoreIoSamples::SampleBody& sheet)
{
    CoreIo::MemoryLoader loader;
    CoreIoSamples::registerBody(loader, "sheet", sheet);
    return CoreIo::readMeshAndICs(loader, loader.bodies().front());
}

// A square before sheet of about `vertices` nodes and an after sheet of about as many on another grid.
SheetPair makePair(long vertices)
{
    const int cells = std::max(2, static_cast<int>(std::lround(std::sqrt(static_cast<double>(vertices)))) - 1);
    const CoreIoSamples::SheetShape shape;
    SheetPair pair{record(CoreIoSamples::makeSheet(shape, {.cellsU = cells, .cellsV = cells})),
                   record(CoreIoSamples::makeSheet(
                       shape,
                       {.cellsU = cells * 5 / 4, .cellsV = std::max(2, cells * 4 / 5), .jitter = 0.15, .seed = 5})),
                   {}};
    pair.beforeValues.resize(pair.before.mesh->numberOfVertices() * mappedVariables);
    for (std::size_t i = 0; i < pair.beforeValues.size(); ++i)
        pair.beforeValues[i] = static_cast<double>(i % 97);
    return pair;
}

void alignSheets(benchmark::State& state, bool mapping)
{
    const SheetPair pair = makePair(state.range(0));
    for (auto _ : state) {
        const CoreIoAlign::PairAlignment alignment = alignPair(pair.before, pair.after, CoreIoAlign::TubeMode::No,
                                                               true);
        if (mapping)
            benchmark::DoNotOptimize(
                CoreIoAlign::transferNodalValues(alignment.locations, pair.beforeValues, mappedVariables));
        benchmark::DoNotOptimize(alignment.coverage());
    }
    state.counters["after_vertices"] = static_cast<double>(pair.after.mesh->numberOfVertices());
}

void BM_AlignPair(benchmark::State& state)
{
    alignSheets(state, false);
}

void BM_AlignPairMappingTenNodalVariables(benchmark::State& state)
{
    alignSheets(state, true);
}

void pairSizes(benchmark::internal::Benchmark* benchmark)
{
    for (const long vertices : CoreIoBench::sizes({100'000, 1'000'000}, 10'000))
        benchmark->Arg(vertices);
    benchmark->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(CoreIoBench::smokeRun() ? 1 : 3);
}

BENCHMARK(BM_AlignPair)->Apply(pairSizes);
BENCHMARK(BM_AlignPairMappingTenNodalVariables)->Apply(pairSizes);

}  // namespace

BENCHMARK_MAIN();

// The front ends' alignment of two sheets of up to a million vertices each beside the one library
// call it makes: alignBodies aligns a pair once, so its time over getMeshAlignResult's on the same
// records, in one run, is what the front ends add. BM_AlignedFields adds the output's fields with
// ten nodal variables of the before state carried onto every after vertex.

#include "AlignedFields.h"
#include "AlignmentSamples.h"
#include "BenchmarkSizes.h"
#include "BodyAlignment.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t mappedVariables = 10;

struct SheetPair {
    CoreIoAlign::Body before, after;
};

// A square before sheet of about `vertices` nodes and an after sheet of about as many on another grid.
SheetPair makePair(long vertices, bool withFields)
{
    const int cells = std::max(2, static_cast<int>(std::lround(std::sqrt(static_cast<double>(vertices)))) - 1);
    const CoreIoSamples::SheetShape shape;
    const CoreIoSamples::SampleBody before = CoreIoSamples::makeSheet(shape, {.cellsU = cells, .cellsV = cells});
    std::vector<CoreIoAlign::BodyField> fields;
    for (std::size_t k = 0; withFields && k < mappedVariables; ++k) {
        CoreIoAlign::BodyField field{"FIELD" + std::to_string(k), 1, std::vector<double>(before.numNodes())};
        for (std::size_t i = 0; i < field.values.size(); ++i)
            field.values[i] = static_cast<double>((i + k) % 97);
        fields.push_back(std::move(field));
    }
    const CoreIoSamples::SampleBody after = CoreIoSamples::makeSheet(
        shape, {.cellsU = cells * 5 / 4, .cellsV = std::max(2, cells * 4 / 5), .jitter = 0.15, .seed = 5});
    return {CoreIoSamples::alignmentBody(before, std::move(fields)), CoreIoSamples::alignmentBody(after)};
}

void BM_AlignBodies(benchmark::State& state)
{
    const SheetPair pair = makePair(state.range(0), false);
    for (auto _ : state)
        benchmark::DoNotOptimize(alignBodies(pair.before, pair.after, CoreIoAlign::TubeMode::No, true).coverage());
    state.counters["after_vertices"] = static_cast<double>(pair.after.numVertices());
}

void BM_LibraryCall(benchmark::State& state)
{
    const SheetPair pair = makePair(state.range(0), false);
    for (auto _ : state)
        benchmark::DoNotOptimize(CoreIo::getMeshAlignResult(pair.before.record, pair.after.record, 0, true));
    state.counters["after_vertices"] = static_cast<double>(pair.after.numVertices());
}

void BM_AlignedFields(benchmark::State& state)
{
    const SheetPair pair = makePair(state.range(0), true);
    const CoreIoAlign::Alignment alignment = alignBodies(pair.before, pair.after, CoreIoAlign::TubeMode::No, true);
    for (auto _ : state)
        benchmark::DoNotOptimize(alignedFields(pair.before, pair.after, alignment).nodal.size());
}

void pairSizes(benchmark::internal::Benchmark* benchmark)
{
    for (const long vertices : CoreIoBench::sizes({100'000, 1'000'000}, 10'000))
        benchmark->Arg(vertices);
    benchmark->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(CoreIoBench::smokeRun() ? 1 : 3);
}

BENCHMARK(BM_LibraryCall)->Apply(pairSizes);
BENCHMARK(BM_AlignBodies)->Apply(pairSizes);
BENCHMARK(BM_AlignedFields)->Apply(pairSizes);

}  // namespace

BENCHMARK_MAIN();

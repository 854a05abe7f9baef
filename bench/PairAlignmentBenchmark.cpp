// The front ends' alignment of the jittered sheet pair (JitteredSheets.h) beside the one library
// call it makes, each case in a fresh process, the first call beside the median of three:
// alignBodies aligns a pair once, so its time over getMeshAlignResult's on the same records, in
// one run, is what the front ends add. BM_AlignedFields adds the output's fields with ten nodal
// variables of the before state carried onto every after vertex.

#include "AlignedFields.h"
#include "AlignmentSamples.h"
#include "BenchmarkSizes.h"
#include "BodyAlignment.h"
#include "CallCost.h"
#include "FreshProcess.h"
#include "JitteredSheets.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr std::size_t mappedVariables = 10;

struct BodyPair {
    CoreIoAlign::Body before, after;
};

BodyPair makePair(long vertices, bool withFields)
{
    const CoreIoBench::SheetPair sheets = CoreIoBench::jitteredSheets(vertices);
    std::vector<CoreIoAlign::BodyField> fields;
    for (std::size_t k = 0; withFields && k < mappedVariables; ++k) {
        CoreIoAlign::BodyField field{"FIELD" + std::to_string(k), 1, std::vector<double>(sheets.before.numNodes())};
        for (std::size_t i = 0; i < field.values.size(); ++i)
            field.values[i] = static_cast<double>((i + k) % 97);
        fields.push_back(std::move(field));
    }
    return {CoreIoSamples::alignmentBody(sheets.before, std::move(fields)), CoreIoSamples::alignmentBody(sheets.after)};
}

template <typename Call>
void timeCalls(benchmark::State& state, const BodyPair& pair, Call call)
{
    std::vector<CoreIoBench::CallCost> calls;
    for (auto _ : state)
        calls.push_back(CoreIoBench::timeCall(state, call));
    state.counters["after_vertices"] = static_cast<double>(pair.after.numVertices());
    CoreIoBench::reportCalls(state, calls, static_cast<double>(pair.after.numVertices()));
}

void BM_LibraryCall(benchmark::State& state)
{
    const BodyPair pair = makePair(state.range(0), false);
    timeCalls(state, pair, [&] {
        benchmark::DoNotOptimize(CoreIo::getMeshAlignResult(pair.before.record, pair.after.record, 0, true));
    });
}

void BM_AlignBodies(benchmark::State& state)
{
    const BodyPair pair = makePair(state.range(0), false);
    timeCalls(state, pair, [&] {
        benchmark::DoNotOptimize(alignBodies(pair.before, pair.after, CoreIoAlign::TubeMode::No, true).coverage());
    });
}

void BM_AlignedFields(benchmark::State& state)
{
    const BodyPair pair = makePair(state.range(0), true);
    const CoreIoAlign::Alignment alignment = alignBodies(pair.before, pair.after, CoreIoAlign::TubeMode::No, true);
    timeCalls(state, pair,
              [&] { benchmark::DoNotOptimize(alignedFields(pair.before, pair.after, alignment).nodal.size()); });
}

void pairSizes(benchmark::internal::Benchmark* benchmark)
{
    for (const long vertices : CoreIoBench::sizes({100'000, 1'000'000}, 10'000))
        benchmark->Arg(vertices);
    benchmark->ArgName("vertices")->Unit(benchmark::kMillisecond)->UseManualTime();
    benchmark->Iterations(CoreIoBench::callsPerCase());
}

BENCHMARK(BM_LibraryCall)->Apply(pairSizes);
BENCHMARK(BM_AlignBodies)->Apply(pairSizes);
BENCHMARK(BM_AlignedFields)->Apply(pairSizes);

}  // namespace

int main(int argc, char** argv)
{
    return CoreIoBench::runEachCaseInFreshProcess(argc, argv);
}

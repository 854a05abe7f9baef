// The whole alignment of two bodies, getMeshAlignResult, as users run it: each case in a fresh
// process, the first call reported beside the median of three. The headline case aligns the
// jittered sheet pair (JitteredSheets.h) through records, completion off; the other parts are an
// expanded tube and sheets whose nodes a solver numbered at random. Reports the time per after
// vertex (flat as the bodies grow), the kernel's share of the first call, its page faults, and the
// resident memory it adds at its peak against the resident bytes of the two records.
// BM_AlignPhases times the phases of a call one by one. COREIO_BENCH_LARGE=1 adds 16M vertices.

#include "BenchmarkSizes.h"
#include "Business_Algorithm.h"
#include "Business_EvaluationGeometry.h"
#include "CallCost.h"
#include "FreshProcess.h"
#include "JitteredSheets.h"
#include "MemoryLoader.h"
#include "MeshAlignUtils.h"
#include "SampleBodies.h"
#include "Stopwatch.h"

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

using Calvora::MaterialFixedMeshAligner;
using Calvora::Mesh;
using CoreIoInternal::Stopwatch;

// The second argument of each benchmark: which part is aligned. A renumbered sheet is the sheet
// whose after body has its nodes numbered at random, as some solvers leave them after remeshing;
// in the last part it is the before body's nodes.
enum Part : long { sheet = 0, tube = 1, renumberedSheet = 2, renumberedBeforeSheet = 3 };

const std::string beforeName = "before";
const std::string afterName = "after";

void registerSheets(CoreIo::MemoryLoader& loader, long vertices, Part part)
{
    const CoreIoBench::SheetPair pair = CoreIoBench::jitteredSheets(vertices);
    CoreIoSamples::registerBody(loader, beforeName,
                                part == renumberedBeforeSheet ? CoreIoSamples::renumbered(pair.before, 9)
                                                              : pair.before);
    CoreIoSamples::registerBody(loader, afterName,
                                part == renumberedSheet ? CoreIoSamples::renumbered(pair.after, 6) : pair.after);
}

// A tube of about `vertices` nodes as tubes come from real meshes: nodes jittered by a quarter of
// a cell, so that the seam is ragged, and the same tube expanded, meshed finer around and coarser
// along, its initial coordinates wrapping half a turn away from the before tube's.
void registerTubes(CoreIo::MemoryLoader& loader, long vertices)
{
    const int around = std::max(8, static_cast<int>(std::lround(std::sqrt(static_cast<double>(vertices)))));
    const int along = std::max(2, static_cast<int>(vertices / around) - 1);
    const int afterAround = around * 5 / 4;
    CoreIoSamples::registerBody(loader, beforeName,
                                CoreIoSamples::makeTube({.radius = 1.0},
                                                        {.around = around, .along = along, .jitter = 0.25, .seed = 3}));
    CoreIoSamples::registerBody(loader, afterName,
                                CoreIoSamples::makeTube({.radius = 1.3}, {.around = afterAround,
                                                                          .along = std::max(2, along * 4 / 5),
                                                                          .jitter = 0.25,
                                                                          .seed = 4,
                                                                          .angleStart = -std::numbers::pi}));
}

// Both states of a part, registered with a memory loader as a file loader would hand them out.
std::unique_ptr<CoreIo::MemoryLoader> loaderWith(Part part, long vertices)
{
    auto loader = std::make_unique<CoreIo::MemoryLoader>();
    if (part == tube)
        registerTubes(*loader, vertices);
    else
        registerSheets(*loader, vertices, part);
    return loader;
}

Part partOf(const benchmark::State& state)
{
    return static_cast<Part>(state.range(1));
}

bool completes(const benchmark::State& state)
{
    return state.range(2) != 0;
}

struct Records {
    CoreIo::MeshAndCoord before;
    CoreIo::MeshAndCoord after;
};

Records recordsOf(const CoreIo::MemoryLoader& loader)
{
    return {CoreIo::readMeshAndICs(loader, loader.body(beforeName)),
            CoreIo::readMeshAndICs(loader, loader.body(afterName))};
}

// Every after vertex of these parts lies in the before body: a call that left one without a
// before vertex or triangle, or returned early, would time a shortcut, not the alignment.
bool locatesEveryAfterVertex(const CoreIo::MeshAlignResult& result, std::size_t afterVertices, bool completed)
{
    return result.alignedMesh != nullptr && result.vertexMatching != nullptr &&
           result.vertexMatching->size() == afterVertices &&
           (!completed ||
            std::none_of(result.vertexMatching->begin(), result.vertexMatching->end(), [](int v) { return v < 0; }));
}

double megabytes(std::size_t bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Calls of getMeshAlignResult through records, each result released outside the timing. The
// first call's resident peak counts what it adds to the process.
template <typename Align>
void timeCalls(benchmark::State& state, std::size_t afterVertices, std::size_t recordBytes, Align align)
{
    std::vector<CoreIoBench::CallCost> calls;
    std::size_t firstPeak = 0;
    for (auto _ : state) {
        const std::size_t resident = CoreIoBench::residentBytes("VmRSS");
        CoreIoBench::restartResidentPeak();
        CoreIo::MeshAlignResult result;
        calls.push_back(CoreIoBench::timeCall(state, [&] { result = align(); }));
        if (calls.size() == 1)
            firstPeak = CoreIoBench::residentBytes("VmHWM") - resident;
        if (!locatesEveryAfterVertex(result, afterVertices, completes(state))) {
            state.SkipWithError("getMeshAlignResult left after vertices without a before vertex");
            break;
        }
    }
    state.counters["after_vertices"] = static_cast<double>(afterVertices);
    state.counters["records_MB"] = megabytes(recordBytes);
    state.counters["first_peak_MB"] = megabytes(firstPeak);
    state.counters["first_peak_per_records"] = static_cast<double>(firstPeak) / static_cast<double>(recordBytes);
    CoreIoBench::reportCalls(state, calls, static_cast<double>(afterVertices));
}

// The headline: one call through records, as a host that holds its bodies makes it.
void BM_AlignRecords(benchmark::State& state)
{
    const auto loader = loaderWith(partOf(state), state.range(0));
    const std::size_t withoutRecords = CoreIoBench::residentBytes("VmRSS");
    const Records records = recordsOf(*loader);
    const std::size_t recordBytes = CoreIoBench::residentBytes("VmRSS") - withoutRecords;
    timeCalls(state, records.after.mesh->numberOfVertices(), recordBytes,
              [&] { return CoreIo::getMeshAlignResult(records.before, records.after, -1, completes(state)); });
}

// The same through the loader: the call reads both bodies first.
void BM_AlignThroughLoader(benchmark::State& state)
{
    const auto loader = loaderWith(partOf(state), state.range(0));
    const std::size_t afterVertices = recordsOf(*loader).after.mesh->numberOfVertices();
    const CoreIo::SimBody& before = loader->body(beforeName);
    const CoreIo::SimBody& after = loader->body(afterName);
    timeCalls(state, afterVertices, 1,
              [&] { return CoreIo::getMeshAlignResult(*loader, before, after, -1, completes(state)); });
}

// Seconds of each phase of a call.
struct PhaseTimes {
    double icMeshes = 0.0;  // both bodies' meshes, copied into their initial coordinates
    double tubeDetection = 0.0;
    double tubeUnrolling = 0.0;
    Calvora::PhaseTimings aligner;
    double alignerRest = 0.0;  // the aligner's call beyond its three phases: checking its inputs
    double release = 0.0;      // dropping the initial-coordinate meshes and the matching list
};

void unroll(const std::shared_ptr<Mesh>& icMesh, MaterialFixedMeshAligner& aligner,
            void (MaterialFixedMeshAligner::*handOverMap)(std::shared_ptr<const std::vector<int>>))
{
    const auto converter = std::make_shared<Calvora::TubeInitialCoordinatesConverter>();
    std::shared_ptr<const std::vector<int>> map;
    converter->cut3dTubeAtSeamAndUnrollWithInitCoords(icMesh, map);
    (aligner.*handOverMap)(map);
}

// Does the work of one call phase by phase, up to the completion of the matching.
PhaseTimes timePhases(const Records& records)
{
    PhaseTimes times;
    Stopwatch watch;
    std::shared_ptr<Mesh> icBefore = CoreIo::initialCoordinateMesh(records.before);
    std::shared_ptr<Mesh> icAfter = CoreIo::initialCoordinateMesh(records.after);
    times.icMeshes = watch.lap();
    const bool rolled = CoreIo::detectTube(*icAfter) != 0;
    times.tubeDetection = watch.lap();

    MaterialFixedMeshAligner aligner;
    aligner.meshBefore = records.before.mesh.get();
    aligner.initCoordMeshBefore = icBefore.get();
    aligner.meshAfter = records.after.mesh.get();
    aligner.initCoordMeshAfter = icAfter.get();
    if (rolled) {
        unroll(icBefore, aligner, &MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexBefore);
        unroll(icAfter, aligner, &MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexAfter);
    }
    times.tubeUnrolling = watch.lap();

    double biggestSquareError = 0.0;
    std::vector<MaterialFixedMeshAligner::MatchingEl> matching;
    Calvora::AlignmentRecorder recorder;
    const std::shared_ptr<Mesh> aligned = aligner.computeMeshBeforeWithTopologyOfMeshAfter(biggestSquareError,
                                                                                           &matching);
    const double alignerCall = watch.lap();
    times.aligner = recorder.take().value().timings;
    times.alignerRest = alignerCall - times.aligner.indexBuild - times.aligner.location - times.aligner.alignedMesh;
    icBefore.reset();
    icAfter.reset();
    matching = {};
    times.release = watch.lap();
    benchmark::DoNotOptimize(aligned.get());
    return times;
}

// The phases of the first call in milliseconds; the later calls give the median of the whole.
void BM_AlignPhases(benchmark::State& state)
{
    const Records records = recordsOf(*loaderWith(partOf(state), state.range(0)));
    std::vector<CoreIoBench::CallCost> calls;
    PhaseTimes first;
    for (auto _ : state) {
        PhaseTimes times;
        calls.push_back(CoreIoBench::timeCall(state, [&] { times = timePhases(records); }));
        if (calls.size() == 1)
            first = times;
    }
    const auto milliseconds = [](double seconds) { return 1e3 * seconds; };
    state.counters["ic_meshes_ms"] = milliseconds(first.icMeshes);
    state.counters["detect_ms"] = milliseconds(first.tubeDetection);
    state.counters["unroll_ms"] = milliseconds(first.tubeUnrolling);
    state.counters["index_ms"] = milliseconds(first.aligner.indexBuild);
    state.counters["locate_ms"] = milliseconds(first.aligner.location);
    state.counters["aligned_mesh_ms"] = milliseconds(first.aligner.alignedMesh);
    state.counters["checks_ms"] = milliseconds(first.alignerRest);
    state.counters["release_ms"] = milliseconds(first.release);
    CoreIoBench::reportCalls(state, calls, static_cast<double>(records.after.mesh->numberOfVertices()));
}

void configure(benchmark::internal::Benchmark* benchmark)
{
    benchmark->ArgNames({"vertices", "part", "complete"});
    benchmark->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(CoreIoBench::callsPerCase());
}

void headlineSizes(benchmark::internal::Benchmark* benchmark)
{
    for (long size : CoreIoBench::sizes({100000, 1000000, 4000000}, 2000, {16000000}))
        benchmark->Args({size, sheet, 0});
    for (long size : CoreIoBench::sizes({1000000}, 2000)) {
        benchmark->Args({size, sheet, 1});
        benchmark->Args({size, tube, 1});
        benchmark->Args({size, renumberedSheet, 1});
        benchmark->Args({size, renumberedBeforeSheet, 1});
    }
    configure(benchmark);
}

void oneSize(benchmark::internal::Benchmark* benchmark)
{
    for (long size : CoreIoBench::sizes({1000000}, 2000))
        benchmark->Args({size, sheet, 0});
    configure(benchmark);
}

// The alignment's module logger warns on every call that completes a matching; those lines would
// bury the table. It is named by the path of its source file.
void silenceAlignmentLog()
{
    spdlog::apply_all([](const std::shared_ptr<spdlog::logger>& logger) {
        if (logger->name().ends_with("MeshAlignUtils.cpp"))
            logger->set_level(spdlog::level::off);
    });
}

}  // namespace

BENCHMARK(BM_AlignRecords)->Apply(headlineSizes);
BENCHMARK(BM_AlignThroughLoader)->Apply(oneSize);
BENCHMARK(BM_AlignPhases)->Apply(oneSize);

int main(int argc, char** argv)
{
    silenceAlignmentLog();
    return CoreIoBench::runEachCaseInFreshProcess(argc, argv);
}

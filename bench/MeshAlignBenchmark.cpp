// The whole alignment of two bodies, getMeshAlignResult, on formed sheets and an expanded tube of
// up to millions of vertices per body, through records and through a memory loader. Reports the
// time per after vertex (flat as the bodies grow), the time of each phase of one call, and the
// extra memory at the peak of a call against the bytes of the two input meshes. BM_AlignScaling
// measures one call at a time as the operating system sees it: processor time per vertex, the
// share of it spent in the kernel, and the growth of the resident set against the two records;
// COREIO_BENCH_LARGE=1 adds bodies of 16 and 20 million vertices.

#include "AllocationCounter.h"
#include "BenchmarkSizes.h"
#include "Business_Algorithm.h"
#include "Business_EvaluationGeometry.h"
#include "HostHeap.h"
#include "MemoryLoader.h"
#include "MeshAlignUtils.h"
#include "SampleBodies.h"
#include "Stopwatch.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <spdlog/spdlog.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <fstream>
#include <limits>
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

// Each part's after state is meshed apart from its before state, as by a remeshing solver: few
// after nodes meet a before node, so that the completion of the matching has work on most of them.

// A square before sheet of about `vertices` nodes, its interior nodes moved at random; the after
// sheet has about as many, on a grid of other spacing in each direction, also moved at random.
// Moves of a sixth of a cell or more can fold a triangle over, and a sheet with a folded triangle
// is taken for a tube. The part says which body, if any, has its nodes numbered at random.
void registerSheets(CoreIo::MemoryLoader& loader, long vertices, Part part)
{
    const int cells = std::max(2, static_cast<int>(std::lround(std::sqrt(static_cast<double>(vertices)))) - 1);
    const CoreIoSamples::SheetShape shape;
    const CoreIoSamples::SampleBody before =
        CoreIoSamples::makeSheet(shape, {.cellsU = cells, .cellsV = cells, .jitter = 0.15, .seed = 3});
    const CoreIoSamples::SampleBody after = CoreIoSamples::makeSheet(
        shape, {.cellsU = cells * 5 / 4, .cellsV = std::max(2, cells * 4 / 5), .jitter = 0.15, .seed = 5});
    CoreIoSamples::registerBody(loader, beforeName,
                                part == renumberedBeforeSheet ? CoreIoSamples::renumbered(before, 9) : before);
    CoreIoSamples::registerBody(loader, afterName,
                                part == renumberedSheet ? CoreIoSamples::renumbered(after, 6) : after);
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

struct Records {
    CoreIo::MeshAndCoord before;
    CoreIo::MeshAndCoord after;
};

Records recordsOf(const CoreIo::MemoryLoader& loader)
{
    return {CoreIo::readMeshAndICs(loader, loader.body(beforeName)),
            CoreIo::readMeshAndICs(loader, loader.body(afterName))};
}

// The heap bytes of a mesh, measured on a copy of it.
std::size_t heapBytes(const Mesh& mesh)
{
    const CoreIoBench::PeakMemory memory;
    const Mesh copy(mesh);
    return memory.extraHeld();
}

// What the measures per vertex divide by.
struct InputSize {
    std::size_t afterVertices;
    std::size_t meshBytes;  // both input meshes together
};

InputSize sizeOf(const Records& records)
{
    return {records.after.mesh->numberOfVertices(), heapBytes(*records.before.mesh) + heapBytes(*records.after.mesh)};
}

// With completion on, every after vertex must get a before vertex; a call that returned early
// would time a shortcut, not the alignment.
bool matchesEveryAfterVertex(const CoreIo::MeshAlignResult& result, const InputSize& input)
{
    return result.alignedMesh != nullptr && result.vertexMatching != nullptr &&
           result.vertexMatching->size() == input.afterVertices &&
           std::none_of(result.vertexMatching->begin(), result.vertexMatching->end(), [](int v) { return v < 0; });
}

// Releases a call's result outside the timing; false, with the benchmark marked as failed, when
// the call left an after vertex without a before vertex.
bool releaseMatched(benchmark::State& state, CoreIo::MeshAlignResult& result, const InputSize& input)
{
    state.PauseTiming();
    const bool matched = matchesEveryAfterVertex(result, input);
    result = {};
    state.ResumeTiming();
    if (!matched)
        state.SkipWithError("getMeshAlignResult left after vertices without a before vertex");
    return matched;
}

// Time per after vertex, and the extra bytes at the peak of a call per after vertex and against
// the bytes of the two input meshes.
void reportPerVertex(benchmark::State& state, const InputSize& input, std::size_t peakBytes)
{
    const auto vertices = static_cast<double>(input.afterVertices);
    state.counters["after_vertices"] = vertices;
    state.counters["time_per_vertex"] = benchmark::Counter(vertices, benchmark::Counter::kIsIterationInvariantRate |
                                                                         benchmark::Counter::kInvert);
    state.counters["peak_bytes_per_vertex"] = static_cast<double>(peakBytes) / vertices;
    state.counters["peak_per_input_meshes"] = static_cast<double>(peakBytes) / static_cast<double>(input.meshBytes);
}

// Times `align` per call and keeps the largest extra memory of a call; releasing each result is
// the caller's business and left out of the time.
template <typename Align>
void timeCalls(benchmark::State& state, const InputSize& input, Align align)
{
    std::size_t peakBytes = 0;
    for (auto _ : state) {
        const CoreIoBench::PeakMemory memory;
        CoreIo::MeshAlignResult result = align();
        peakBytes = std::max(peakBytes, memory.extraPeak());
        if (!releaseMatched(state, result, input))
            break;
    }
    reportPerVertex(state, input, peakBytes);
}

void BM_AlignRecords(benchmark::State& state)
{
    const Records records = recordsOf(*loaderWith(partOf(state), state.range(0)));
    timeCalls(state, sizeOf(records),
              [&] { return CoreIo::getMeshAlignResult(records.before, records.after, -1, true); });
}

void BM_AlignThroughLoader(benchmark::State& state)
{
    const auto loader = loaderWith(partOf(state), state.range(0));
    const InputSize input = sizeOf(recordsOf(*loader));
    const CoreIo::SimBody& before = loader->body(beforeName);
    const CoreIo::SimBody& after = loader->body(afterName);
    timeCalls(state, input, [&] { return CoreIo::getMeshAlignResult(*loader, before, after, -1, true); });
}

// Seconds of each phase of a call, summed over the calls.
struct PhaseTimes {
    double icMeshes = 0.0;        // both bodies' meshes, copied into their initial coordinates
    double tubeDetection = 0.0;
    double tubeUnrolling = 0.0;
    Calvora::PhaseTimings aligner;
    double alignerRest = 0.0;     // the aligner's call beyond its three phases: checking its inputs
    double release = 0.0;         // dropping the initial-coordinate meshes and the matching list
    double calls = 0.0;           // the whole of getMeshAlignResult
};

void unroll(const std::shared_ptr<Mesh>& icMesh, MaterialFixedMeshAligner& aligner,
            void (MaterialFixedMeshAligner::*handOverMap)(std::shared_ptr<const std::vector<int>>))
{
    const auto converter = std::make_shared<Calvora::TubeInitialCoordinatesConverter>();
    std::shared_ptr<const std::vector<int>> map;
    converter->cut3dTubeAtSeamAndUnrollWithInitCoords(icMesh, map);
    (aligner.*handOverMap)(map);
}

// Does the work of one call phase by phase, up to the completion of the matching, and adds the
// seconds of each phase to `times`.
void timePhases(const Records& records, PhaseTimes& times)
{
    Stopwatch watch;
    std::shared_ptr<Mesh> icBefore = CoreIo::initialCoordinateMesh(records.before);
    std::shared_ptr<Mesh> icAfter = CoreIo::initialCoordinateMesh(records.after);
    times.icMeshes += watch.lap();
    const bool rolled = CoreIo::detectTube(*icAfter) != 0;
    times.tubeDetection += watch.lap();

    MaterialFixedMeshAligner aligner;
    aligner.meshBefore = records.before.mesh.get();
    aligner.initCoordMeshBefore = icBefore.get();
    aligner.meshAfter = records.after.mesh.get();
    aligner.initCoordMeshAfter = icAfter.get();
    if (rolled) {
        unroll(icBefore, aligner, &MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexBefore);
        unroll(icAfter, aligner, &MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexAfter);
    }
    times.tubeUnrolling += watch.lap();

    double biggestSquareError = 0.0;
    std::vector<MaterialFixedMeshAligner::MatchingEl> matching;
    Calvora::AlignmentRecorder recorder;
    const std::shared_ptr<Mesh> aligned = aligner.computeMeshBeforeWithTopologyOfMeshAfter(biggestSquareError,
                                                                                           &matching);
    const double alignerCall = watch.lap();
    const Calvora::PhaseTimings phases = recorder.take().value().timings;
    times.aligner.indexBuild += phases.indexBuild;
    times.aligner.location += phases.location;
    times.aligner.alignedMesh += phases.alignedMesh;
    times.alignerRest += alignerCall - phases.indexBuild - phases.location - phases.alignedMesh;

    icBefore.reset();
    icAfter.reset();
    matching = {};
    times.release += watch.lap();
    benchmark::DoNotOptimize(aligned.get());
}

// Seconds per call of each phase. The completion is what the call took beyond the phases done
// one by one above: the completion of the matching itself and the module's log messages.
void reportPhases(benchmark::State& state, const PhaseTimes& times, const InputSize& input)
{
    const auto perCall = [](double seconds) { return benchmark::Counter(seconds, benchmark::Counter::kAvgIterations); };
    const Calvora::PhaseTimings& aligner = times.aligner;
    const double phases = times.icMeshes + times.tubeDetection + times.tubeUnrolling + aligner.indexBuild +
                          aligner.location + aligner.alignedMesh + times.alignerRest + times.release;
    state.counters["after_vertices"] = static_cast<double>(input.afterVertices);
    state.counters["ic_meshes"] = perCall(times.icMeshes);
    state.counters["detect"] = perCall(times.tubeDetection);
    state.counters["unroll"] = perCall(times.tubeUnrolling);
    state.counters["index"] = perCall(aligner.indexBuild);
    state.counters["locate"] = perCall(aligner.location);
    state.counters["aligned_mesh"] = perCall(aligner.alignedMesh);
    state.counters["checks"] = perCall(times.alignerRest);
    state.counters["release"] = perCall(times.release);
    state.counters["completion"] = perCall(times.calls - phases);
}

// The call is timed by hand, after a repetition of its work phase by phase.
void BM_AlignPhases(benchmark::State& state)
{
    const Records records = recordsOf(*loaderWith(partOf(state), state.range(0)));
    PhaseTimes times;
    for (auto _ : state) {
        timePhases(records, times);
        Stopwatch watch;
        const CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(records.before, records.after, -1, true);
        const double seconds = watch.lap();
        state.SetIterationTime(seconds);
        times.calls += seconds;
        benchmark::DoNotOptimize(result.alignedMesh.get());
    }
    reportPhases(state, times, sizeOf(records));
}

// The process's resident set from /proc/self/status: "VmRSS" now, "VmHWM" its peak since the
// last reset; in bytes.
std::size_t residentBytes(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    std::size_t kilobytes = 0;
    while (status >> key) {
        if (key == field + ":" && status >> kilobytes)
            return kilobytes * 1024;
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// Starts a new resident peak, and hands the heap's free pages back first, so that the pages a
// call touches anew show in the peak instead of reusing what an earlier call left.
std::size_t startResidentPeak()
{
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    return residentBytes("VmRSS");
}

// The process's processor seconds, user and system, and its page faults that read no file.
struct ProcessorSeconds {
    double user = 0.0;
    double system = 0.0;
    double minorFaults = 0.0;
};

ProcessorSeconds processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
    };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime), static_cast<double>(usage.ru_minflt)};
}

// Processor seconds and page faults of calls.
struct CallTimes {
    ProcessorSeconds seconds;
    double calls = 0.0;

    void add(const ProcessorSeconds& from, const ProcessorSeconds& to)
    {
        seconds.user += to.user - from.user;
        seconds.system += to.system - from.system;
        seconds.minorFaults += to.minorFaults - from.minorFaults;
        calls += 1.0;
    }
    double total() const { return seconds.user + seconds.system; }
    double nanosecondsPer(double vertices) const { return 1e9 * total() / calls / vertices; }
    double systemShare() const { return seconds.system / std::max(total(), 1e-9); }
};

// System seconds that writing to each page of `bytes` of fresh memory takes, mapped apart from the
// heap: what the machine charges for the first touch of that much memory, whoever touches it. Not
// a number when the memory cannot be mapped.
double systemSecondsToTouch(std::size_t bytes)
{
    const auto pageBytes = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return std::numeric_limits<double>::quiet_NaN();
    const ProcessorSeconds from = processorSeconds();
    auto* pages = static_cast<volatile char*>(mapped);
    for (std::size_t offset = 0; offset < bytes; offset += pageBytes)
        pages[offset] = 1;
    const ProcessorSeconds to = processorSeconds();
    munmap(mapped, bytes);
    return to.system - from.system;
}

// One call per iteration through records, sheets only (their after body renumbered or not). The
// first call starts from a heap handed back to the system, as in a fresh process: its resident
// peak against the resident bytes of the two records (meshes and initial coordinates), and its
// processor time. The later calls reuse the heap, as in a host that aligns body after body: their
// processor time per after vertex and the system's share of it. Processor time, not wall time:
// other programs share the machine.
// Where the first call's system time comes from: its page faults per page of its resident peak
// (1 when it faults in each page of the peak once and no other), the system time per fault, and
// the share of its processor time that merely touching that many fresh pages takes on this
// machine, measured after it.
void BM_AlignScaling(benchmark::State& state)
{
    const auto loader = loaderWith(partOf(state), state.range(0));
    const std::size_t withoutRecords = startResidentPeak();
    const Records records = recordsOf(*loader);
    const std::size_t recordBytes = startResidentPeak() - withoutRecords;
    const InputSize input{records.after.mesh->numberOfVertices(), recordBytes};

    CallTimes first, later;
    std::size_t peakBytes = 0;
    for (auto _ : state) {
        const bool isFirst = first.calls == 0.0;
        const std::size_t start = isFirst ? startResidentPeak() : 0;
        const ProcessorSeconds from = processorSeconds();
        CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(records.before, records.after, -1, true);
        const ProcessorSeconds to = processorSeconds();
        if (isFirst) {
            peakBytes = residentBytes("VmHWM") - start;
            first.add(from, to);
        } else {
            later.add(from, to);
        }
        if (!releaseMatched(state, result, input))
            break;
    }
    const auto vertices = static_cast<double>(input.afterVertices);
    state.counters["after_vertices"] = vertices;
    state.counters["first_ns_per_vertex"] = first.nanosecondsPer(vertices);
    state.counters["first_system_share"] = first.systemShare();
    if (first.seconds.minorFaults > 0.0)
        state.counters["first_system_us_per_fault"] = 1e6 * first.seconds.system / first.seconds.minorFaults;
    if (peakBytes > 0) {
        const auto peakPages = static_cast<double>(peakBytes) / static_cast<double>(sysconf(_SC_PAGESIZE));
        state.counters["first_faults_per_peak_page"] = first.seconds.minorFaults / peakPages;
        state.counters["peak_touch_share"] = systemSecondsToTouch(peakBytes) / std::max(first.total(), 1e-9);
    }
    state.counters["peak_per_records"] = static_cast<double>(peakBytes) / static_cast<double>(recordBytes);
    state.counters["records_MB"] = static_cast<double>(recordBytes) / (1024.0 * 1024.0);
    if (later.calls > 0.0) {
        state.counters["ns_per_vertex"] = later.nanosecondsPer(vertices);
        state.counters["system_share"] = later.systemShare();
    }
}

void scalingSizes(benchmark::internal::Benchmark* benchmark)
{
    for (long size : CoreIoBench::sizes({1000000, 4000000}, 2000, {16000000, 20000000}))
        benchmark->Args({size, sheet});
    for (long size : CoreIoBench::sizes({1000000, 4000000}, 2000))
        benchmark->Args({size, renumberedSheet});
    benchmark->ArgNames({"vertices", "part"});
    benchmark->Unit(benchmark::kMillisecond);
    if (!CoreIoBench::smokeRun())
        benchmark->Iterations(3);
}

void sheetsAndTube(benchmark::internal::Benchmark* benchmark)
{
    for (long size : CoreIoBench::sizes({10000, 100000, 1000000, 2000000}, 2000))
        benchmark->Args({size, sheet});
    for (long size : CoreIoBench::sizes({1000000}, 2000)) {
        benchmark->Args({size, tube});
        benchmark->Args({size, renumberedSheet});
        benchmark->Args({size, renumberedBeforeSheet});
    }
    benchmark->ArgNames({"vertices", "part"});
    benchmark->Unit(benchmark::kMillisecond);
    if (!CoreIoBench::smokeRun())
        benchmark->MinTime(3.0);  // a few calls even at two million vertices
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

BENCHMARK(BM_AlignRecords)->Apply(sheetsAndTube);
BENCHMARK(BM_AlignThroughLoader)->Apply(sheetsAndTube);
BENCHMARK(BM_AlignPhases)->Apply(sheetsAndTube)->UseManualTime();
BENCHMARK(BM_AlignScaling)->Apply(scalingSizes);

int main(int argc, char** argv)
{
    silenceAlignmentLog();
    return CoreIoBench::runKeepingHeap(argc, argv);
}

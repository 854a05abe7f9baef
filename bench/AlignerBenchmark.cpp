// The aligner's call (index, location, aligned mesh) on the jittered sheet pair of up to millions
// of vertices per body, as users run it: each case in a fresh process, the first call reported
// beside the median of three. Reports the time per after vertex (flat as the sheets grow, so the
// location stays near O(1) per vertex), each phase of the first call, the kernel's share, the
// extra resident memory at the peak of the first call, and the after vertices not located.
// See bench/README.md for how the location is tuned and what each choice was worth.
//
// COREIO_BENCH_LARGE=1 adds sheets of 16 million vertices. With COREIO_ALIGNER_PEER_DIR set, each
// size also writes its planar input as raw arrays to <dir>/<size>_<turned>/ for the peer
// comparison in bench/peer/probe_peer.py.

#include "BenchmarkSizes.h"
#include "Business_Algorithm.h"
#include "CallCost.h"
#include "FreshProcess.h"
#include "JitteredSheets.h"
#include "SampleMeshes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using Calvora::MaterialFixedMeshAligner;
using Calvora::Mesh;

struct Body {
    Mesh mesh;
    Mesh initCoords;
};

Body bodyOf(const CoreIoSamples::SampleBody& sample)
{
    return {CoreIoSamples::shapeMesh(sample), CoreIoSamples::initCoordMesh(sample)};
}

// Turns a body's initial coordinates about the origin, rounding them to floats as a result file
// stores them: the grid of the location then turns with the mesh, and after vertices on the before
// sheet's border miss its edges by that rounding.
void turnInitialCoordinates(CoreIoSamples::SampleBody& body, double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    for (std::size_t i = 0; i < body.numNodes(); ++i) {
        const double u = body.initCoord0[i], v = body.initCoord1[i];
        body.initCoord0[i] = static_cast<float>(c * u - s * v);
        body.initCoord1[i] = static_cast<float>(s * u + c * v);
    }
}

struct Sheets {
    Body before;
    Body after;
};

Sheets sheetsOf(long vertices, bool turned)
{
    CoreIoBench::SheetPair pair = CoreIoBench::jitteredSheets(vertices);
    if (turned) {
        turnInitialCoordinates(pair.before, 0.3);
        turnInitialCoordinates(pair.after, 0.3);
    }
    return {bodyOf(pair.before), bodyOf(pair.after)};
}

template <typename T>
void writeRaw(const std::filesystem::path& file, const std::vector<T>& values)
{
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(values.data()), static_cast<std::streamsize>(values.size() * sizeof(T)));
}

std::vector<double> positions(const Mesh& mesh)
{
    std::vector<double> xyz;
    xyz.reserve(3 * mesh.numberOfVertices());
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex)
        xyz.insert(xyz.end(), {vertex->x, vertex->y, vertex->z});
    return xyz;
}

std::vector<double> planarPoints(const Mesh& initCoords)
{
    std::vector<double> points;
    points.reserve(2 * initCoords.numberOfVertices());
    for (auto vertex = initCoords.beginVertex(); vertex != initCoords.endVertex(); ++vertex)
        points.insert(points.end(), {vertex->x, vertex->y});
    return points;
}

// The peer reads what the aligner reads: the before plane with its triangles and 3D shape, and
// the after plane; the aligned positions let it compare the results.
void writeForPeer(const Sheets& sheets, const Mesh& aligned, const std::string& name)
{
    const char* root = std::getenv("COREIO_ALIGNER_PEER_DIR");
    if (root == nullptr || *root == '\0')
        return;
    const std::filesystem::path dir = std::filesystem::path(root) / name;
    std::filesystem::create_directories(dir);
    std::vector<std::int32_t> triangles;
    triangles.reserve(3 * sheets.before.initCoords.numberOfTriangles());
    for (auto t = sheets.before.initCoords.beginTriangle(); t != sheets.before.initCoords.endTriangle(); ++t)
        for (const Calvora::Vertex* corner : t->corners)
            triangles.push_back(corner->index);
    writeRaw(dir / "before_points.f64", planarPoints(sheets.before.initCoords));
    writeRaw(dir / "before_triangles.i32", triangles);
    writeRaw(dir / "before_shape.f64", positions(sheets.before.mesh));
    writeRaw(dir / "after_points.f64", planarPoints(sheets.after.initCoords));
    writeRaw(dir / "aligned.f64", positions(aligned));
}

double megabytes(std::size_t bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Third argument 1: the calls run under an AlignmentRecorder, which gives the phase timings and
// keeps the locations and the before state in its record. Against the same size without it, the
// difference is what recording costs.
void BM_AlignSheets(benchmark::State& state)
{
    const Sheets sheets = sheetsOf(state.range(0), state.range(1) != 0);
    const bool recorded = state.range(2) != 0;
    MaterialFixedMeshAligner aligner;
    aligner.meshBefore = &sheets.before.mesh;
    aligner.initCoordMeshBefore = &sheets.before.initCoords;
    aligner.meshAfter = &sheets.after.mesh;
    aligner.initCoordMeshAfter = &sheets.after.initCoords;

    std::vector<CoreIoBench::CallCost> calls;
    std::optional<Calvora::PhaseTimings> firstPhases;
    std::size_t firstPeak = 0, lost = 0;
    for (auto _ : state) {
        std::optional<Calvora::AlignmentRecorder> recorder;
        if (recorded)
            recorder.emplace();
        double biggestSquareError = 0.0;
        std::vector<MaterialFixedMeshAligner::MatchingEl> matching;
        std::shared_ptr<Mesh> aligned;
        const std::size_t resident = CoreIoBench::residentBytes("VmRSS");
        CoreIoBench::restartResidentPeak();
        calls.push_back(CoreIoBench::timeCall(state, [&] {
            aligned = aligner.computeMeshBeforeWithTopologyOfMeshAfter(biggestSquareError, &matching);
        }));
        if (calls.size() > 1)
            continue;
        firstPeak = CoreIoBench::residentBytes("VmHWM") - resident;
        lost = static_cast<std::size_t>(
            std::count_if(matching.begin(), matching.end(), [](const auto& el) { return el.triangleIndex < 0; }));
        if (recorder)
            firstPhases = recorder->take().value().timings;
        writeForPeer(sheets, *aligned, std::to_string(state.range(0)) + "_" + std::to_string(state.range(1)));
    }

    const auto after = static_cast<double>(sheets.after.mesh.numberOfVertices());
    state.counters["before_vertices"] = static_cast<double>(sheets.before.mesh.numberOfVertices());
    state.counters["after_vertices"] = after;
    CoreIoBench::reportCalls(state, calls, after);
    if (firstPhases) {
        state.counters["first_index_ms"] = 1e3 * firstPhases->indexBuild;
        state.counters["first_location_ms"] = 1e3 * firstPhases->location;
        state.counters["first_mesh_ms"] = 1e3 * firstPhases->alignedMesh;
    }
    state.counters["first_peak_MB"] = megabytes(firstPeak);
    state.counters["lost"] = static_cast<double>(lost);
    if (lost != 0)
        state.SkipWithError("after vertices inside the before sheet were not located");
}

void sheetSizes(benchmark::internal::Benchmark* benchmark)
{
    for (long size : CoreIoBench::sizes({100000, 1000000, 4000000}, 2000, {16000000}))
        for (long turned : {0, 1})
            for (long recorded : {0, 1})
                benchmark->Args({size, turned, recorded});
    benchmark->ArgNames({"vertices", "turned", "recorded"});
    benchmark->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(CoreIoBench::callsPerCase());
}

}  // namespace

BENCHMARK(BM_AlignSheets)->Apply(sheetSizes);

int main(int argc, char** argv)
{
    return CoreIoBench::runEachCaseInFreshProcess(argc, argv);
}

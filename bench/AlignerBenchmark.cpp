// Aligning two formed sheets of up to millions of vertices per body through their initial
// coordinates. Reports each phase, the cost per vertex (flat as the sheets grow, so the location
// stays near O(1) per vertex), the extra memory at the peak, and the after vertices not located.
//
// How the point location is tuned, and what each choice was worth when it was made (1M-vertex
// sheets, this benchmark and bench_mesh_align):
// - About five triangles per grid cell: fewer cells build faster and take less memory (the index
//   is a twentieth of the input at the peak of an alignment) than the extra candidates cost.
// - The passes over the triangles ask for their corners ahead only on meshes numbered at random:
//   on a mesh numbered in order that costs 3 of the 80 ms of the index, and saves nothing.
// - The grid turns with quads turned against the plane's axes: otherwise the grid takes twice as
//   long to build. The cells a triangle's box overlaps are worked out inline: a call each cost a
//   tenth of the build.
// - A located point's result is filled in place: copies of it along the way cost a sixth of the
//   time of a located point. A cell's candidates are only asked whether they hold the point, and
//   the weights are worked out again for the one that does: keeping every candidate's weights at
//   hand takes a quarter longer.
// - Points are located tile by tile of the grid (a Z-order curve), whatever order they come in,
//   and their reads and writes are asked for 16 points ahead: without the writes, an after body
//   numbered at random took a tenth longer. The order is made before the aligned vertices are
//   allocated, so that its scratch (6 bytes per after vertex) never adds to the peak.
// - The location of one point (strip, shifts by a period) is inline in the loop over the points:
//   a point handed across a call is stored in halves and read back whole, a stall that cost 6 % of
//   the aligner's call. Whether a point inside a triangle lies on an edge, where a node may hang,
//   is read from the areas that the test of the triangle computed: testing the weights afterwards
//   cost 5 %.
//
// COREIO_BENCH_LARGE=1 adds sheets of 16 million vertices. With COREIO_ALIGNER_PEER_DIR set, each
// size also writes its planar input as raw arrays to <dir>/<size>/ for the peer comparison in
// bench/peer/probe_peer.py.

#include "AllocationCounter.h"
#include "BenchmarkSizes.h"
#include "Business_Algorithm.h"
#include "HostHeap.h"
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
// stores them: after vertices on the before sheet's border then miss its edges by that rounding.
void turnInitialCoordinates(CoreIoSamples::SampleBody& body, double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    for (std::size_t i = 0; i < body.numNodes(); ++i) {
        const double u = body.initCoord0[i], v = body.initCoord1[i];
        body.initCoord0[i] = static_cast<float>(c * u - s * v);
        body.initCoord1[i] = static_cast<float>(s * u + c * v);
    }
}

// The before sheet: a square grid of about `vertices` nodes. The after sheet: about as many
// nodes on a grid of other spacing in each direction, with its interior nodes moved at random.
// Turned: both sheets' initial coordinates turned by the same angle.
struct SheetPair {
    Body before;
    Body after;
};

SheetPair sheetsOf(long vertices, bool turned)
{
    const int cells = std::max(2, static_cast<int>(std::lround(std::sqrt(static_cast<double>(vertices)))) - 1);
    const CoreIoSamples::SheetShape shape;
    auto before = CoreIoSamples::makeSheet(shape, {.cellsU = cells, .cellsV = cells, .jitter = 0.15, .seed = 3});
    auto after = CoreIoSamples::makeSheet(
        shape, {.cellsU = cells * 5 / 4, .cellsV = std::max(2, cells * 4 / 5), .jitter = 0.3, .seed = 5});
    if (turned) {
        turnInitialCoordinates(before, 0.3);
        turnInitialCoordinates(after, 0.3);
    }
    return {bodyOf(before), bodyOf(after)};
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
// the after plane; the aligned positions let it compare the results. Written once per size.
void writeForPeer(const SheetPair& sheets, const Mesh& aligned, const std::string& name)
{
    const char* root = std::getenv("COREIO_ALIGNER_PEER_DIR");
    if (root == nullptr || *root == '\0')
        return;
    const std::filesystem::path dir = std::filesystem::path(root) / name;
    if (std::filesystem::exists(dir / "aligned.f64"))
        return;
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
// keeps the locations and the before state in its record (counted in result_MB). Against the same
// size without it, the difference is what recording costs.
void BM_AlignSheets(benchmark::State& state)
{
    const SheetPair sheets = sheetsOf(state.range(0), state.range(1) != 0);
    const bool recorded = state.range(2) != 0;
    MaterialFixedMeshAligner aligner;
    aligner.meshBefore = &sheets.before.mesh;
    aligner.initCoordMeshBefore = &sheets.before.initCoords;
    aligner.meshAfter = &sheets.after.mesh;
    aligner.initCoordMeshAfter = &sheets.after.initCoords;

    Calvora::PhaseTimings total;
    std::size_t workspace = 0, result = 0, lost = 0;
    std::shared_ptr<Mesh> aligned;
    for (auto _ : state) {
        aligned.reset();
        double biggestSquareError = 0.0;
        std::vector<MaterialFixedMeshAligner::MatchingEl> matching;
        std::optional<Calvora::AlignmentRecorder> recorder;
        if (recorded)
            recorder.emplace();
        const CoreIoBench::PeakMemory memory;
        aligned = aligner.computeMeshBeforeWithTopologyOfMeshAfter(biggestSquareError, &matching);
        result = memory.extraHeld();
        workspace = memory.extraPeak() - result;
        lost = static_cast<std::size_t>(
            std::count_if(matching.begin(), matching.end(), [](const auto& el) { return el.triangleIndex < 0; }));
        if (recorder) {
            const Calvora::PhaseTimings phases = recorder->take().value().timings;
            total.indexBuild += phases.indexBuild;
            total.location += phases.location;
            total.alignedMesh += phases.alignedMesh;
        }
        benchmark::DoNotOptimize(aligned.get());
    }
    writeForPeer(sheets, *aligned, std::to_string(state.range(0)) + "_" + std::to_string(state.range(1)));

    const auto runs = static_cast<double>(state.iterations());
    const auto before = static_cast<double>(sheets.before.mesh.numberOfVertices());
    const auto after = static_cast<double>(sheets.after.mesh.numberOfVertices());
    state.counters["before_vertices"] = before;
    state.counters["after_vertices"] = after;
    if (recorded) {
        state.counters["index_ms"] = 1e3 * total.indexBuild / runs;
        state.counters["location_ms"] = 1e3 * total.location / runs;
        state.counters["mesh_ms"] = 1e3 * total.alignedMesh / runs;
        state.counters["index_ns_per_vertex"] = 1e9 * total.indexBuild / runs / before;
        state.counters["location_ns_per_vertex"] = 1e9 * total.location / runs / after;
    }
    state.counters["time_per_vertex"] = benchmark::Counter(after, benchmark::Counter::kIsIterationInvariantRate |
                                                                      benchmark::Counter::kInvert);
    state.counters["workspace_MB"] = megabytes(workspace);
    state.counters["result_MB"] = megabytes(result);
    state.counters["lost"] = static_cast<double>(lost);
    if (lost != 0)
        state.SkipWithError("after vertices inside the before sheet were not located");
}

void sheetSizes(benchmark::internal::Benchmark* benchmark)
{
    for (long size : CoreIoBench::sizes({10000, 100000, 1000000, 4000000}, 2000, {16000000}))
        for (long turned : {0, 1})
            for (long recorded : {0, 1})
                benchmark->Args({size, turned, recorded});
    benchmark->ArgNames({"vertices", "turned", "recorded"});
    benchmark->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_AlignSheets)->Apply(sheetSizes);

int main(int argc, char** argv)
{
    return CoreIoBench::runKeepingHeap(argc, argv);
}

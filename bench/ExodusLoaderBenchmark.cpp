// Loading a quad-shell body with a displacement triple beside loading the same nodes, already
// displaced, as a file of triangles: cutting quadrilaterals and applying the displacement must
// stay within 1.3 times the triangle file's cost on a million quadrilaterals.

#include "BenchmarkSizes.h"
#include "ExodusLoader.h"

#include <benchmark/benchmark.h>
#include <exodusII.h>

#include <array>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Counts what a mesh load hands over, so that the figures are the loader's own.
class CountingMeshBuilder : public CoreIo::MeshBuilderInterface {
public:
    void build(const CoreIo::MeshBuilderParamColMajor& param) override { triangles = param.numTriangles; }
    void build(const CoreIo::MeshBuilderParamRowMajor& param) override { triangles = param.numTriangles; }
    bool needNormals() const override { return false; }
    bool loadTopologyOnly() const override { return false; }
    std::size_t triangles = 0;
};

void require(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error("cannot write the benchmark file: " + what);
}

// A cells x cells sheet: SHELL4 elements with a displacement triple at one step, or TRI3
// elements (two per cell) at the displaced positions.
void writeSheet(const std::string& path, int cells, bool quads)
{
    int computeWordSize = 8;
    int storedWordSize = 8;
    const int file = ex_create(path.c_str(), EX_CLOBBER, &computeWordSize, &storedWordSize);
    require(file >= 0, path);
    const int columns = cells + 1;
    const int numNodes = columns * columns;
    const int numElements = cells * cells * (quads ? 1 : 2);
    require(ex_put_init(file, "sheet", 3, numNodes, numElements, 1, 0, 0) == 0, "init");
    std::array<std::vector<double>, 3> reference, displacement;
    for (int j = 0; j < columns; ++j)
        for (int i = 0; i < columns; ++i) {
            reference[0].push_back(i);
            reference[1].push_back(j);
            reference[2].push_back(0.0);
            for (std::size_t c = 0; c < 3; ++c)
                displacement[c].push_back(c == 2 ? 1e-3 * i : 0.0);
        }
    std::array<std::vector<double>, 3> coordinates = reference;
    for (std::size_t k = 0; k < coordinates[2].size() && !quads; ++k)
        coordinates[2][k] += displacement[2][k];
    require(ex_put_coord(file, coordinates[0].data(), coordinates[1].data(), coordinates[2].data()) == 0, "coord");
    std::vector<int> connectivity;
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            const int a = j * columns + i + 1;
            if (quads)
                connectivity.insert(connectivity.end(), {a, a + 1, a + columns + 1, a + columns});
            else
                connectivity.insert(connectivity.end(), {a, a + 1, a + columns + 1, a, a + columns + 1, a + columns});
        }
    require(ex_put_block(file, EX_ELEM_BLOCK, 1, quads ? "SHELL4" : "TRI3", numElements, quads ? 4 : 3, 0, 0, 0) == 0,
            "block");
    require(ex_put_conn(file, EX_ELEM_BLOCK, 1, connectivity.data(), nullptr, nullptr) == 0, "connectivity");
    const double time = 1.0;
    require(ex_put_time(file, 1, &time) == 0, "time");
    if (quads) {
        std::array<std::string, 3> names{"DISPL_X", "DISPL_Y", "DISPL_Z"};
        std::array<char*, 3> pointers{names[0].data(), names[1].data(), names[2].data()};
        require(ex_put_variable_param(file, EX_NODAL, 3) == 0, "variables");
        require(ex_put_variable_names(file, EX_NODAL, 3, pointers.data()) == 0, "variable names");
        for (int c = 0; c < 3; ++c)
            require(ex_put_var(file, 1, EX_NODAL, c + 1, 1, numNodes,
                               displacement[static_cast<std::size_t>(c)].data()) == 0,
                    "displacement");
    }
    require(ex_close(file) == 0, "close");
}

// One file per shape and size for the whole run, in the temporary directory.
const std::string& sheetFile(int cells, bool quads)
{
    static std::map<std::pair<int, bool>, std::string> files;
    auto& path = files[{cells, quads}];
    if (path.empty()) {
        path = (std::filesystem::temp_directory_path() /
                ("coreio-bench-sheet-" + std::to_string(cells) + (quads ? "-quads.exo" : "-triangles.exo")))
                   .string();
        writeSheet(path, cells, quads);
    }
    return path;
}

void BM_LoadSheet(benchmark::State& state, bool quads)
{
    const int cells = static_cast<int>(state.range(0));
    const std::string& path = sheetFile(cells, quads);
    CoreIo::ExodusBodyOptions options;
    options.displacement = quads ? "DISPL" : "none";
    for (auto _ : state) {
        const CoreIo::ExodusLoader loader(path, options);
        CountingMeshBuilder builder;
        loader.loadMesh(loader.bodies().front().meshLocation, builder);
        benchmark::DoNotOptimize(builder.triangles);
    }
    state.counters["triangles"] = 2.0 * cells * cells;
}

const std::vector<long> cellCounts = CoreIoBench::sizes({1000}, 20);  // 1000 x 1000: a million quadrilaterals

}  // namespace

BENCHMARK_CAPTURE(BM_LoadSheet, triangles, false)->ArgsProduct({cellCounts})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadSheet, quads_with_displacement, true)
    ->ArgsProduct({cellCounts})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

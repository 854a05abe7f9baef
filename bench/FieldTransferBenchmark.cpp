// Carrying nodal fields of the before state to the after vertices: ten variables onto up to a
// million vertices, located on a before grid of about as many as an aligner leaves them (after
// vertex order, neighbours in neighbouring cells). Reports the time per after vertex.

#include "BenchmarkSizes.h"
#include "FieldTransfer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <vector>

namespace {

using Calvora::MatchStatus;
using Calvora::VertexLocation;

constexpr std::size_t numVariables = 10;

// The after vertices on a grid of other spacing over the unit square, each in the triangle of the
// before grid (beforeSide x beforeSide vertices, each cell split along its diagonal) that holds it.
std::vector<VertexLocation> locateGrid(long numAfter, int beforeSide)
{
    const auto afterSide = static_cast<int>(std::lround(std::sqrt(static_cast<double>(numAfter))));
    const double cells = beforeSide - 1;
    std::vector<VertexLocation> locations;
    locations.reserve(static_cast<std::size_t>(afterSide) * static_cast<std::size_t>(afterSide));
    for (int row = 0; row < afterSide; ++row) {
        for (int column = 0; column < afterSide; ++column) {
            const double u = (column + 0.37) / afterSide * cells;
            const double v = (row + 0.61) / afterSide * cells;
            const int i = static_cast<int>(u);
            const int j = static_cast<int>(v);
            const double s = u - i;
            const double t = v - j;
            const int corner = j * beforeSide + i;
            const int triangle = 2 * (j * (beforeSide - 1) + i);
            if (s >= t) {  // lower right half: corner, corner + 1, corner + side + 1
                locations.push_back(
                    {MatchStatus::Inside, triangle, {corner, corner + 1, corner + beforeSide + 1}, {1 - s, s - t, t}});
            } else {
                locations.push_back({MatchStatus::Inside,
                                     triangle + 1,
                                     {corner, corner + beforeSide + 1, corner + beforeSide},
                                     {1 - t, s, t - s}});
            }
        }
    }
    return locations;
}

void BM_TransferTenNodalVariables(benchmark::State& state)
{
    const long numAfter = state.range(0);
    const auto beforeSide = static_cast<int>(std::lround(std::sqrt(static_cast<double>(numAfter) * 0.9)));
    const std::vector<VertexLocation> locations = locateGrid(numAfter, beforeSide);
    std::vector<double> before(static_cast<std::size_t>(beforeSide) * beforeSide * numVariables);
    for (std::size_t k = 0; k < before.size(); ++k) {
        before[k] = static_cast<double>(k % 977) * 0.25;
    }
    for (auto _ : state) {
        std::vector<double> after = CoreIoAlign::transferNodalValues(locations, before, numVariables);
        benchmark::DoNotOptimize(after.data());
    }
    state.counters["per_vertex"] = benchmark::Counter(static_cast<double>(locations.size()),
                                                      benchmark::Counter::kIsIterationInvariantRate |
                                                          benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_TransferTenNodalVariables)
    ->ArgsProduct({CoreIoBench::sizes({10'000, 100'000, 1'000'000}, 1'000)})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

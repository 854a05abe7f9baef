// Delivering scalar results into one ScalarResultsBuilder and reading them back as floats, in
// bytes per second beside plain copies of the same bytes: the builder must add at most 30%.

#include "BenchmarkSizes.h"
#include "ScalarResultsBuilder.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int arraysPerLoad = 10;

template <typename T>
std::vector<T> resultValues(std::size_t count)
{
    std::vector<T> values(count);
    for (std::size_t i = 0; i < count; ++i)
        values[i] = static_cast<T>(0.001 * static_cast<double>(i));
    return values;
}

template <typename T>
void reportBytes(benchmark::State& state, std::size_t count)
{
    state.SetBytesProcessed(state.iterations() * arraysPerLoad * static_cast<std::int64_t>(count * sizeof(T)));
}

// One load of ten arrays, each read back once, as a caller of the builder does.
template <typename T>
void BM_ResultBuilder(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::vector<T> values = resultValues<T>(count);
    for (auto _ : state) {
        CoreIo::ScalarResultsBuilder builder;
        for (int array = 0; array < arraysPerLoad; ++array)
            builder.build(count, values.data());
        for (int array = 0; array < arraysPerLoad; ++array)
            benchmark::DoNotOptimize(builder.getFloatVector(array)->data());
    }
    reportBytes<T>(state, count);
}

// The same bytes copied into fresh storage with memcpy.
template <typename T>
void BM_Memcpy(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::vector<T> values = resultValues<T>(count);
    for (auto _ : state) {
        std::vector<std::unique_ptr<T[]>> copies;
        for (int array = 0; array < arraysPerLoad; ++array) {
            copies.push_back(std::make_unique_for_overwrite<T[]>(count));
            std::memcpy(copies.back().get(), values.data(), count * sizeof(T));
        }
        benchmark::DoNotOptimize(copies.back().get());
    }
    reportBytes<T>(state, count);
}

// memcpy plus the float conversion that reading a double result back needs.
void BM_MemcpyAndConvert(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    const std::vector<double> values = resultValues<double>(count);
    for (auto _ : state) {
        std::vector<std::unique_ptr<double[]>> copies;
        for (int array = 0; array < arraysPerLoad; ++array) {
            copies.push_back(std::make_unique_for_overwrite<double[]>(count));
            std::memcpy(copies.back().get(), values.data(), count * sizeof(double));
        }
        for (const auto& copy : copies) {
            const auto floats = std::make_unique_for_overwrite<float[]>(count);
            for (std::size_t i = 0; i < count; ++i)
                floats[i] = static_cast<float>(copy[i]);
            benchmark::DoNotOptimize(floats.get());
        }
    }
    reportBytes<double>(state, count);
}

void arraySizes(benchmark::internal::Benchmark* benchmark)
{
    for (long size : CoreIoBench::sizes({1000000}, 1000))
        benchmark->Arg(size);
    benchmark->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_ResultBuilder<float>)->Apply(arraySizes);
BENCHMARK(BM_Memcpy<float>)->Apply(arraySizes);
BENCHMARK(BM_ResultBuilder<double>)->Apply(arraySizes);
BENCHMARK(BM_Memcpy<double>)->Apply(arraySizes);
BENCHMARK(BM_MemcpyAndConvert)->Apply(arraySizes);

BENCHMARK_MAIN();

#pragma once
// Problem sizes for the benchmarks: the full sizes, or tiny ones when CI only keeps them alive.

#include <cstdlib>
#include <initializer_list>
#include <vector>

namespace CoreIoBench {

// True when COREIO_BENCH_SMOKE is set: run each benchmark once on a small size.
inline bool smokeRun()
{
    const char* value = std::getenv("COREIO_BENCH_SMOKE");
    return value != nullptr && *value != '\0' && *value != '0';
}

// The given sizes, or only the first of smokeSizes in a smoke run.
inline std::vector<long> sizes(std::initializer_list<long> full, long smoke)
{
    return smokeRun() ? std::vector<long>{smoke} : std::vector<long>(full);
}

}  // namespace CoreIoBench

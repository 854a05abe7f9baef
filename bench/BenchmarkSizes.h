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

// True when COREIO_BENCH_LARGE is set: also run the sizes that take minutes and most of the memory.
inline bool largeRun()
{
    const char* value = std::getenv("COREIO_BENCH_LARGE");
    return value != nullptr && *value != '\0' && *value != '0';
}

// The given sizes, or only the first of smokeSizes in a smoke run; large sizes only in a large run.
inline std::vector<long> sizes(std::initializer_list<long> full, long smoke, std::initializer_list<long> large = {})
{
    if (smokeRun())
        return {smoke};
    std::vector<long> all(full);
    if (largeRun())
        all.insert(all.end(), large);
    return all;
}

}  // namespace CoreIoBench

#pragma once
// The benchmark programs' choice of host heap. A host that aligns body after body keeps its heap:
// blocks of any size come from the heap instead of mappings of their own, and freed memory is
// not handed back between calls, so that a call reuses resident pages instead of faulting in
// fresh ones. The libraries leave the allocator's settings alone.

#include <benchmark/benchmark.h>
#include <malloc.h>

namespace CoreIoBench {

inline void keepHeapBetweenCalls()
{
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, -1);  // never: a threshold of 2 GiB still trims at 16M vertices
}

// The main of a benchmark program whose host keeps its heap: runs the benchmarks the command line
// names; 1 for arguments it does not know.
inline int runKeepingHeap(int argc, char** argv)
{
    keepHeapBetweenCalls();
    benchmark::AddCustomContext("heap", "kept between calls (mallopt): figures of a host that aligns body after "
                                        "body, not of a first call in a fresh process");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace CoreIoBench

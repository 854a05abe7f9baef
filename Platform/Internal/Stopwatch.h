#pragma once
// Wall-clock time of consecutive phases of one piece of work, for the phase timings that the
// aligner, coreio-align and the benchmarks report. Internal: neither installed nor exported.

#include <chrono>

namespace CoreIoInternal {

class Stopwatch {
public:
    // Seconds since the previous lap; the first lap counts from construction.
    double lap()
    {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - last_).count();
        last_ = now;
        return seconds;
    }

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

}  // namespace CoreIoInternal

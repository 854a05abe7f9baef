#pragma once
// What one call costs as the operating system sees it: wall and processor time, the kernel's share,
// and the page faults that hand the call fresh memory. A benchmark case makes a few calls in its
// own fresh process (FreshProcess.h) and reports the first, which is what a user's single call
// costs, beside the median of all of them.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <vector>

namespace CoreIoBench {

struct CallCost {
    double wallSeconds = 0.0;
    double userSeconds = 0.0;
    double systemSeconds = 0.0;
    double minorFaults = 0.0;  // pages the kernel handed out fresh during the call

    double processorSeconds() const { return userSeconds + systemSeconds; }
};

// Measures from construction to stop().
class CallTimer {
public:
    CallTimer();
    CallCost stop() const;

private:
    CallCost start_;
};

// Times `call` once; the benchmark's manual time gets its wall time.
template <typename Call>
CallCost timeCall(benchmark::State& state, Call call)
{
    const CallTimer timer;
    call();
    const CallCost cost = timer.stop();
    state.SetIterationTime(cost.wallSeconds);
    return cost;
}

// Counters of the calls of a case: first_ms and median_ms (wall), first_cpu_ms and median_cpu_ms
// (processor), first_system_share (kernel time against processor time), first_faults; with a
// positive perItem also first_ns_per_item (processor time of the first call per item).
void reportCalls(benchmark::State& state, const std::vector<CallCost>& calls, double perItem = 0.0);

// The process's resident bytes now ("VmRSS") or at their peak ("VmHWM") from /proc/self/status.
std::size_t residentBytes(const std::string& field);

// Starts a new resident peak: VmHWM counts from the resident bytes of now on.
void restartResidentPeak();

// How many calls a case makes: three, one in a smoke run.
int callsPerCase();

}  // namespace CoreIoBench

#include "CallCost.h"

#include "BenchmarkSizes.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <fstream>

namespace CoreIoBench {
namespace {

double seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
}

CallCost now()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto wall = std::chrono::steady_clock::now().time_since_epoch();
    return {std::chrono::duration<double>(wall).count(), seconds(usage.ru_utime), seconds(usage.ru_stime),
            static_cast<double>(usage.ru_minflt)};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : 0.5 * (values[middle - 1] + values[middle]);
}

template <typename Measure>
double medianOf(const std::vector<CallCost>& calls, Measure measure)
{
    std::vector<double> values;
    for (const CallCost& call : calls)
        values.push_back(measure(call));
    return median(std::move(values));
}

}  // namespace

CallTimer::CallTimer() : start_(now())
{
}

CallCost CallTimer::stop() const
{
    const CallCost end = now();
    return {end.wallSeconds - start_.wallSeconds, end.userSeconds - start_.userSeconds,
            end.systemSeconds - start_.systemSeconds, end.minorFaults - start_.minorFaults};
}

void reportCalls(benchmark::State& state, const std::vector<CallCost>& calls, double perItem)
{
    if (calls.empty())
        return;
    const CallCost& first = calls.front();
    state.counters["first_ms"] = 1e3 * first.wallSeconds;
    state.counters["median_ms"] = 1e3 * medianOf(calls, [](const CallCost& c) { return c.wallSeconds; });
    state.counters["first_cpu_ms"] = 1e3 * first.processorSeconds();
    state.counters["median_cpu_ms"] = 1e3 * medianOf(calls, [](const CallCost& c) { return c.processorSeconds(); });
    state.counters["first_system_share"] = first.systemSeconds / std::max(first.processorSeconds(), 1e-9);
    state.counters["first_faults"] = first.minorFaults;
    if (perItem > 0.0)
        state.counters["first_ns_per_item"] = 1e9 * first.processorSeconds() / perItem;
}

std::size_t residentBytes(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string key;
    std::size_t kilobytes = 0;
    while (status >> key) {
        if (key == field + ":" && status >> kilobytes)
            return kilobytes * 1024;
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

void restartResidentPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

int callsPerCase()
{
    return smokeRun() ? 1 : 3;
}

}  // namespace CoreIoBench

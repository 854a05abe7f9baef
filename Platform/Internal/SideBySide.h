#pragma once
// Two pieces of work side by side: the second on a thread of its own where the process may run on
// a second core and the work is large enough to pay for starting a thread (tens of microseconds),
// else one after the other. Which work goes into which piece never depends on whether a thread
// ran, so neither does a result. On this project's two-core machine a second thread also halves
// the wall time of the kernel's work on fresh pages, where a first call spends much of its time.
// Internal: neither installed nor exported.

#include <sched.h>

#include <array>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <type_traits>

namespace CoreIoInternal {

// Ranges shorter than this go on the calling thread alone.
inline constexpr std::size_t kShortestRangeForThread = std::size_t{1} << 15;

// Whether this process may run on more than one core (its affinity, not the machine's count).
inline bool secondCoreAvailable()
{
    static const bool available = [] {
        cpu_set_t cores;
        CPU_ZERO(&cores);
        return sched_getaffinity(0, sizeof(cores), &cores) == 0 ? CPU_COUNT(&cores) > 1
                                                                : std::thread::hardware_concurrency() > 1;
    }();
    return available;
}

// - first(), second(): must not write what the other reads or writes.
// - worthAThread: false runs both here, first() first.
// - returns once both have ended; throws what either threw, first()'s exception first. One after
//   the other, second() does not start once first() has thrown; on a thread it runs to its end.
template <typename First, typename Second>
void sideBySide(bool worthAThread, First&& first, Second&& second)
{
    if (!worthAThread || !secondCoreAvailable()) {
        first();
        second();
        return;
    }
    std::exception_ptr secondFailure;
    std::thread thread;
    try {
        thread = std::thread([&] {
            try {
                second();
            } catch (...) {
                secondFailure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        // No thread to be had (a limit on threads): one after the other, as without a second core.
        first();
        second();
        return;
    }
    std::exception_ptr firstFailure;
    try {
        first();
    } catch (...) {
        firstFailure = std::current_exception();
    }
    thread.join();
    if (firstFailure)
        std::rethrow_exception(firstFailure);
    if (secondFailure)
        std::rethrow_exception(secondFailure);
}

// - work(begin, end): called for [0, count / 2) and for [count / 2, count), side by side when
//   count reaches kShortestRangeForThread; the two calls must not write what the other touches.
// - returns the two calls' results, in order.
template <typename Work>
auto inBothHalves(std::size_t count, Work work) -> std::array<std::invoke_result_t<Work&, std::size_t, std::size_t>, 2>
{
    const std::size_t middle = count / 2;
    std::array<std::invoke_result_t<Work&, std::size_t, std::size_t>, 2> results{};
    sideBySide(
        count >= kShortestRangeForThread, [&] { results[0] = work(0, middle); },
        [&] { results[1] = work(middle, count); });
    return results;
}

}  // namespace CoreIoInternal

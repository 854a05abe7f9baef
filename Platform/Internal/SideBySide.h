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

// - first(), second(): noexcept; neither writes what the other reads or writes.
// - worthAThread: false runs both here, first() first; so does a process that may not start a
//   thread (a limit on threads).
// - returns once both have ended.
template <typename First, typename Second>
void sideBySide(bool worthAThread, First&& first, Second&& second)
{
    static_assert(std::is_nothrow_invocable_v<First&> && std::is_nothrow_invocable_v<Second&>,
                  "a piece that throws on the second thread would end the process");
    const auto oneAfterTheOther = [&] {
        first();
        second();
    };
    if (!worthAThread || !secondCoreAvailable()) {
        oneAfterTheOther();
        return;
    }
    std::thread thread;
    try {
        thread = std::thread(second);
    } catch (const std::system_error&) {
        oneAfterTheOther();
        return;
    }
    first();
    thread.join();
}

// - work(begin, end): noexcept, called for [0, count / 2) and for [count / 2, count), side by side
//   when count reaches kShortestRangeForThread; the two calls must not write what the other touches.
// - returns the two calls' results, in order.
template <typename Work>
auto inBothHalves(std::size_t count, Work work) -> std::array<std::invoke_result_t<Work&, std::size_t, std::size_t>, 2>
{
    static_assert(std::is_nothrow_invocable_v<Work&, std::size_t, std::size_t>);
    const std::size_t middle = count / 2;
    std::array<std::invoke_result_t<Work&, std::size_t, std::size_t>, 2> results{};
    sideBySide(
        count >= kShortestRangeForThread, [&]() noexcept { results[0] = work(0, middle); },
        [&]() noexcept { results[1] = work(middle, count); });
    return results;
}

}  // namespace CoreIoInternal

#pragma once
// A replacement of the global operator new and delete (single, array, nothrow), for a test program
// that proves code survives running out of memory: one chosen allocation can be made to fail.
// Linking FailingAllocator.cpp into a program replaces them for the whole process, shared
// libraries included. Over-aligned forms are left to the runtime and are not counted.

#include <cstddef>

namespace Reliability {

// Blocks handed out by operator new and not yet given back, over the whole program.
std::size_t liveAllocations();

// While it lives, counts the allocations of the program and makes the k-th of them fail with
// std::bad_alloc; the ones after it succeed again. Only one may live at a time
// (std::logic_error otherwise); single-threaded use only.
class AllocationFailure {
public:
    static constexpr std::size_t never = 0;  // count without failing

    explicit AllocationFailure(std::size_t failingAllocation);
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;

    std::size_t allocationsSoFar() const;  // the failed one included
};

}  // namespace Reliability

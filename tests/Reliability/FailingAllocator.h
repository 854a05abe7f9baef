#pragma once
// Linking FailingAllocator.cpp replaces the program's operator new and delete (single and array)
// with ones that count, and that make one chosen allocation fail with std::bad_alloc.

#include <atomic>
#include <cstddef>

namespace Reliability {

extern std::atomic<std::size_t> liveBlocks;          // handed out and not yet given back
extern std::atomic<std::size_t> allocationsCounted;  // while counting
extern std::atomic<std::size_t> failingAllocation;   // the one to fail while counting, from 1; 0: none
extern std::atomic<bool> counting;

}  // namespace Reliability

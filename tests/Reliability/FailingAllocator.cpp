#include "FailingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace Reliability {
namespace {

// Plain atomics: operator new runs before any static constructor and after every destructor, so
// this state must need no construction of its own.
std::atomic<std::size_t> liveBlocks{0};
std::atomic<bool> counting{false};
std::atomic<std::size_t> allocationsCounted{0};
std::atomic<std::size_t> failingAllocation{AllocationFailure::never};

bool chosenToFail()
{
    if (!counting.load(std::memory_order_relaxed))
        return false;
    return allocationsCounted.fetch_add(1, std::memory_order_relaxed) + 1 ==
           failingAllocation.load(std::memory_order_relaxed);
}

}  // namespace

std::size_t liveAllocations()
{
    return liveBlocks.load(std::memory_order_relaxed);
}

AllocationFailure::AllocationFailure(std::size_t failingAllocationNumber)
{
    if (counting.exchange(true))
        throw std::logic_error("AllocationFailure: another one is active; end it first");
    allocationsCounted = 0;
    failingAllocation = failingAllocationNumber;
}

AllocationFailure::~AllocationFailure()
{
    counting = false;
}

std::size_t AllocationFailure::allocationsSoFar() const
{
    return allocationsCounted;
}

}  // namespace Reliability

void* operator new(std::size_t size)
{
    void* block = Reliability::chosenToFail() ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    ++Reliability::liveBlocks;
    return block;
}

void operator delete(void* block) noexcept
{
    if (block == nullptr)
        return;
    --Reliability::liveBlocks;
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    operator delete(block);
}

// A sanitizer's runtime brings its own forms of these; the test's must count all the same.
void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void operator delete[](void* block) noexcept
{
    operator delete(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    operator delete(block);
}

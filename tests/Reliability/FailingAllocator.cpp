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
std::atomic<bool> failed{false};

// True when this allocation is the one chosen to fail.
bool chosenToFail()
{
    if (!counting.load(std::memory_order_relaxed))
        return false;
    const std::size_t number = allocationsCounted.fetch_add(1, std::memory_order_relaxed) + 1;
    if (number != failingAllocation.load(std::memory_order_relaxed))
        return false;
    failed.store(true, std::memory_order_relaxed);
    return true;
}

void* allocate(std::size_t size, std::size_t alignment)
{
    if (chosenToFail())
        return nullptr;
    const std::size_t bytes = size == 0 ? 1 : size;
    void* block = alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__
                      ? std::malloc(bytes)
                      : std::aligned_alloc(alignment, (bytes + alignment - 1) / alignment * alignment);
    if (block != nullptr)
        liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void* allocateOrThrow(std::size_t size, std::size_t alignment)
{
    void* block = allocate(size, alignment);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void release(void* block) noexcept
{
    if (block == nullptr)
        return;
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

constexpr std::size_t defaultAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

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
    failed = false;
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

bool AllocationFailure::hasFailed() const
{
    return failed;
}

}  // namespace Reliability

using Reliability::allocate;
using Reliability::allocateOrThrow;
using Reliability::defaultAlignment;
using Reliability::release;

void* operator new(std::size_t size) { return allocateOrThrow(size, defaultAlignment); }
void* operator new[](std::size_t size) { return allocateOrThrow(size, defaultAlignment); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, defaultAlignment); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, defaultAlignment); }
void* operator new(std::size_t size, std::align_val_t alignment)
{
    return allocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return allocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return allocate(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
void operator delete(void* block, std::align_val_t) noexcept { release(block); }
void operator delete[](void* block, std::align_val_t) noexcept { release(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { release(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { release(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { release(block); }

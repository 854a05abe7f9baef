#include "AllocationCounter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Counted by the usable size of each block, as the allocator hands it out.
std::atomic<std::size_t> heldBytes{0};
std::atomic<std::size_t> peakBytes{0};

void* countedAllocation(std::size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    const std::size_t usable = malloc_usable_size(block);
    const std::size_t held = heldBytes.fetch_add(usable) + usable;
    std::size_t peak = peakBytes.load();
    while (held > peak && !peakBytes.compare_exchange_weak(peak, held)) {
    }
    return block;
}

void countedRelease(void* block) noexcept
{
    if (block == nullptr)
        return;
    heldBytes.fetch_sub(malloc_usable_size(block));
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size)
{
    return countedAllocation(size);
}
void* operator new[](std::size_t size)
{
    return countedAllocation(size);
}
void operator delete(void* block) noexcept
{
    countedRelease(block);
}
void operator delete[](void* block) noexcept
{
    countedRelease(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    countedRelease(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    countedRelease(block);
}

namespace CoreIoBench {

PeakMemory::PeakMemory() : baseline_(heldBytes.load())
{
    peakBytes = baseline_;
}

std::size_t PeakMemory::extraPeak() const
{
    return peakBytes.load() - baseline_;
}

std::size_t PeakMemory::extraHeld() const
{
    const std::size_t held = heldBytes.load();
    return held > baseline_ ? held - baseline_ : 0;
}

}  // namespace CoreIoBench

// Counting replacements of the program's operator new and delete, in a unit of their own so that
// no caller sees them inlined. Plain atomics: operator new runs before any static constructor and
// after every destructor.
#include "FailingAllocator.h"

#include <cstdlib>
#include <new>

namespace Reliability {

std::atomic<std::size_t> liveBlocks{0};
std::atomic<std::size_t> allocationsCounted{0};
std::atomic<std::size_t> failingAllocation{0};  // 0: none fails
std::atomic<bool> counting{false};

}  // namespace Reliability

void* operator new(std::size_t size)
{
    const bool chosen = Reliability::counting && ++Reliability::allocationsCounted == Reliability::failingAllocation;
    void* block = chosen ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    ++Reliability::liveBlocks;
    return block;
}

void operator delete(void* block) noexcept
{
    if (block != nullptr)
        --Reliability::liveBlocks;
    std::free(block);
}

// A sanitizer's runtime brings its own forms of these; the test's must count all the same.
void operator delete(void* block, std::size_t) noexcept
{
    operator delete(block);
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete[](void* block) noexcept
{
    operator delete(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    operator delete(block);
}

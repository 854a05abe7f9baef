#include "StorageBlocks.h"

#include <sys/mman.h>
#include <unistd.h>

namespace Calvora::StorageBlocks {
namespace {

// Linux 5.14 and later; elsewhere the request fails and the pages come one fault at a time.
#ifdef MADV_POPULATE_WRITE
constexpr int populateWrite = MADV_POPULATE_WRITE;
#else
constexpr int populateWrite = 23;
#endif

std::uintptr_t pageSize()
{
    static const auto size = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    return size;
}

}  // namespace

void populate(std::uintptr_t from, std::uintptr_t to)
{
    const std::uintptr_t page = pageSize();
    const std::uintptr_t first = (from + page - 1) & ~(page - 1);
    const std::uintptr_t last = to & ~(page - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, populateWrite);
}

}  // namespace Calvora::StorageBlocks

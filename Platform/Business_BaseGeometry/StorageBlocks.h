#pragma once
// The mesh containers' storage as the kernel hands it out. A container that grows at its back
// always holds a storage block past its last element; its pages are requested from the kernel in
// one call before they are written, instead of one page fault each. Internal to the geometry
// library.

#include <cstdint>

namespace Calvora::StorageBlocks {

// Requests the pages wholly inside [from, to) from the kernel, ready to be written. Changes no
// contents; where the kernel cannot, the pages come on their first write as before.
void populate(std::uintptr_t from, std::uintptr_t to);

// The unwritten rest of the storage block that the container's next element goes into.
template <typename Container>
void populateNextBlock(const Container& container)
{
    const auto end = container.end();
    if (end.get_cur() == nullptr)
        return;
    populate(reinterpret_cast<std::uintptr_t>(end.get_cur()), reinterpret_cast<std::uintptr_t>(end.get_last()));
}

}  // namespace Calvora::StorageBlocks

#pragma once
// Strong exception safety for members that grow together. Internal: not installed.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace CoreIo {

// Reserves room for one more item, growing geometrically, so that the push_back that follows
// cannot throw and leave the other members of a registration changed. May throw std::bad_alloc
// or std::length_error; `items` is unchanged then.
template <typename T>
void makeRoomForOne(std::vector<T>& items)
{
    if (items.size() == items.capacity()) {
        items.reserve(std::max<std::size_t>(4, 2 * items.capacity()));
    }
}

}  // namespace CoreIo

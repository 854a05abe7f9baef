#pragma once
// Loops over the triangles of a mesh numbered at random meet their corners all over memory. They
// ask for the corners of the triangle this many places ahead, so that the cache misses of several
// triangles overlap instead of following one another. Called in the loop itself: a compiler drops
// a prefetch from a callable handed to a template as side-effect free. Internal: neither installed
// nor exported.

#include "Business_BaseGeometry.h"

#include <cstddef>

namespace CoreIoInternal {

inline constexpr std::size_t kFetchAhead = 16;

inline void fetchCorners(const Calvora::Triangle& triangle)
{
    for (const Calvora::Vertex* corner : triangle.corners)
        __builtin_prefetch(corner);
}

}  // namespace CoreIoInternal

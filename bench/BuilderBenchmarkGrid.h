#pragma once
// The mesh that the builder benchmarks feed through a loader: a square grid of nodes on a gently
// curved sheet, two triangles per cell, with one unit normal per node.

#include "MemoryLoader.h"

#include <cstddef>

namespace CoreIoBench {

// A grid of at least minimumNodes nodes, registered as a loader would hold it in `layout`.
CoreIo::MeshArrays gridMesh(std::size_t minimumNodes, CoreIo::Layout layout);

}  // namespace CoreIoBench

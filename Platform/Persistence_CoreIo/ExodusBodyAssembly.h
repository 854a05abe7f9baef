#pragma once
// A body out of the blocks chosen for it, as a pure step: the blocks' elements in the file's node
// numbers and the reference positions of those nodes in; the body's node numbering, its triangles
// with the element each was cut from, and its origin out. Internal to the Exodus loader.

#include "ExodusBody.h"
#include "ExodusElements.h"
#include "ExodusVariables.h"

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace CoreIo {

// One block chosen for a body.
struct BodyBlock {
    std::size_t block = 0;  // index into the file's listing, handed on to the triangles' sources
    SurfaceShape shape = SurfaceShape::Triangle3;
    std::vector<int> connectivity;  // nodeCount(shape) file nodes, from 0, per element
};

struct AssembledBody {
    std::vector<int> fileNodes;  // body node -> file node, in order of first use over the blocks
    Positions reference;         // per body node, as the file places it
    std::array<double, 3> origin{};
    std::vector<int> triangles;                 // three body nodes per triangle
    std::vector<ExodusTriangleSource> sources;  // per triangle: block and element; element ids 0
};

// Reads the reference positions of the given file nodes, in their order.
using ReferenceReader = std::function<Positions(const std::vector<int>& fileNodes)>;

// Numbers the nodes of the blocks, a node shared by blocks being one body node, and cuts every
// element into triangles over all its nodes (cutElement), quadrilaterals along the shorter
// diagonal of the reference shape relative to the origin. Triangles that repeat a node (collapsed
// elements) cover no area and are left out.
// - origin empty: the centre of the body's reference bounding box.
AssembledBody assembleBody(std::vector<BodyBlock> blocks, const ReferenceReader& readReference,
                           const std::optional<std::array<double, 3>>& origin);

}  // namespace CoreIo

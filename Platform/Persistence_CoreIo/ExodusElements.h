#pragma once
// Which element types make a surface body, and how each surface element is cut into triangles:
// the one rule for every reader of bodies (result files, arrays, meshes of other formats).

#include "Persistence_CoreIo_export.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

namespace CoreIo {

enum class SurfaceShape { Triangle3, Triangle6, Triangle7, Quad4, Quad8, Quad9 };

// The shape of a block's elements from its type, in any case, and its nodes per element; or, for
// a block that makes no surface (solids, beams, ...; a type whose node count disagrees with its
// name), the reason it is skipped.
PERSISTENCE_COREIO_EXPORT std::variant<SurfaceShape, std::string> classifyElement(const std::string& elementType,
                                                                                  std::int64_t nodesPerElement);

// Up to eight triangles, each three positions in the element's node list.
struct ElementTriangles {
    // Only the first `count` are written: a body cuts millions of elements, and clearing all eight
    // each time cost more than the cut.
    std::array<std::array<std::size_t, 3>, 8> corners;
    std::size_t count = 0;

    void add(std::size_t a, std::size_t b, std::size_t c) { corners[count++] = {a, b, c}; }
};

// The quadrilateral a, b, c, d (counter-clockwise) as two triangles split along its shorter
// diagonal; squaredDistance(i, j) measures between positions i and j.
template <typename SquaredDistance>
void splitQuad(const std::array<std::size_t, 4>& quad, const SquaredDistance& squaredDistance, ElementTriangles& out)
{
    const auto [a, b, c, d] = quad;
    if (squaredDistance(a, c) <= squaredDistance(b, d)) {
        out.add(a, b, c);
        out.add(a, c, d);
    } else {
        out.add(a, b, d);
        out.add(b, c, d);
    }
}

// An element of `corners` corner nodes, as many mid-side nodes after them and a centre node last,
// as a fan of triangles around the centre.
inline void fanAroundCentre(std::size_t corners, ElementTriangles& out)
{
    const std::size_t centre = 2 * corners;
    for (std::size_t k = 0; k < corners; ++k) {
        out.add(k, corners + k, centre);
        out.add(corners + k, (k + 1) % corners, centre);
    }
}

// The triangles of one element over all its nodes, so that values at mid-side and centre nodes
// take part; they keep the element's orientation.
template <typename SquaredDistance>
ElementTriangles cutElement(SurfaceShape shape, const SquaredDistance& squaredDistance)
{
    ElementTriangles triangles;
    switch (shape) {
    case SurfaceShape::Triangle3: triangles.add(0, 1, 2); break;
    case SurfaceShape::Triangle6:
        triangles.add(0, 3, 5);
        triangles.add(3, 1, 4);
        triangles.add(5, 4, 2);
        triangles.add(3, 4, 5);
        break;
    case SurfaceShape::Triangle7: fanAroundCentre(3, triangles); break;
    case SurfaceShape::Quad4: splitQuad({0, 1, 2, 3}, squaredDistance, triangles); break;
    case SurfaceShape::Quad8:  // a triangle at each corner around the quadrilateral of mid-side nodes
        triangles.add(0, 4, 7);
        triangles.add(4, 1, 5);
        triangles.add(5, 2, 6);
        triangles.add(6, 3, 7);
        splitQuad({4, 5, 6, 7}, squaredDistance, triangles);
        break;
    case SurfaceShape::Quad9: fanAroundCentre(4, triangles); break;
    }
    return triangles;
}

// The number of nodes of an element of the shape.
std::size_t nodeCount(SurfaceShape shape);

}  // namespace CoreIo

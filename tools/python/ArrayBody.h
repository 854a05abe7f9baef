#pragma once
// A body handed over as plain arrays, as a script holds it, checked row by row and turned into the
// library's record. A refusal names the array and its first bad row, so that the caller can find it.

#include "MeshAndCoord.h"

#include <cstdint>
#include <span>
#include <vector>

namespace CoreIoPython {

// Row-major views of a caller's arrays, for n points and m triangles.
struct BodyArrays {
    std::span<const double> points;              // n x 3
    std::span<const std::int64_t> triangles;     // m x 3, vertex numbers 0 .. n-1
    std::span<const double> initialCoordinates;  // n x 2
    std::span<const double> normals;             // n x 3; empty: computed from the triangles, area-weighted
    std::span<const std::int64_t> elements;      // m: the element of each triangle, 0 .. numElements-1
};

// The record of the body: vertex i at points row i, triangle j over triangles row j.
// Throws std::invalid_argument naming the array and its first bad row when a value is not finite,
// a triangle names a vertex outside 0 .. n-1, an element lies outside 0 .. numElements-1, or an
// array's row count differs from that of points (triangles for elements).
CoreIo::MeshAndCoord makeBody(const BodyArrays& arrays, std::int64_t numElements);

}  // namespace CoreIoPython

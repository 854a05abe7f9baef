#pragma once
// Carries fields of the earlier (before) state to the later (after) state once the later state's
// points are located in the earlier one: nodal values are interpolated at each after vertex,
// element values are taken from the before element that holds each after element's centroid.
// Tables hold numVariables values per point, point after point (row-major).

#include "Business_Algorithm.h"

#include <cstddef>
#include <limits>
#include <span>
#include <vector>

namespace CoreIoAlign {

// What a point outside the before state gets unless the caller chooses otherwise: no value.
constexpr double outsideValue = std::numeric_limits<double>::quiet_NaN();

// Nodal values at the after vertices.
// - locations: one per after vertex; vertices index the rows of beforeValues
// - beforeValues: n_before x numVariables
// Returns locations.size() x numVariables: the barycentric mix of the three corners for
// Coincident and Inside, the corner of the largest weight for Near, outsideFill for Outside.
// Throws std::invalid_argument when beforeValues is not whole rows, or a location that is not
// Outside names a vertex beyond n_before (the message names the after vertex).
std::vector<double> transferNodalValues(std::span<const Calvora::VertexLocation> locations,
                                        std::span<const double> beforeValues, std::size_t numVariables,
                                        double outsideFill = outsideValue);

// Element values at the after elements.
// - centroidLocations: one per after element, where its centroid lies in the before state
// - elementOfBeforeTriangle: per before triangle, the before element it belongs to (a row of
//   beforeValues); the triangles of a split quad share their element
// - beforeValues: n_before_elements x numVariables
// Returns centroidLocations.size() x numVariables: the row of the element that holds the centroid,
// outsideFill where the centroid is Outside or has no triangle.
// Throws std::invalid_argument when beforeValues is not whole rows, a triangle lies beyond
// elementOfBeforeTriangle, or an element beyond n_before_elements.
std::vector<double> transferElementValues(std::span<const Calvora::VertexLocation> centroidLocations,
                                          std::span<const int> elementOfBeforeTriangle,
                                          std::span<const double> beforeValues, std::size_t numVariables,
                                          double outsideFill = outsideValue);

}  // namespace CoreIoAlign

#pragma once
// Finds where the initial-coordinate mesh of a tube wraps around: the triangles that cross the
// seam, which of their corners lie on its low side, the circumferential axis and the period.

#include "Business_EvaluationGeometry.h"

#include <optional>

namespace Calvora {

using PlaneAxis = TubeInitialCoordinatesConverter::Axis;
using SeamCrossing = TubeInitialCoordinatesConverter::SeamCrossing;
using Seam = TubeInitialCoordinatesConverter::Seam;

// Two passes over the triangles, none over the vertices. The winding that most triangles share
// is the tube's; a mesh wraps around when some triangles wind against it, along the axis those
// triangles stretch along, and a triangle crosses the seam when it spans more than half the
// circumference, taken as the extent of the data plus the mean span of the other triangles.
// Without a circumference, the period is estimated from the crossing triangles (see the source).
// - returns the axis, the period and the crossings; no crossings when the mesh does not wrap.
// - throws std::invalid_argument when the mesh has no prevailing winding, a triangle lacks a
//   corner, no period turns every crossing triangle to the tube's winding, or the circumference
//   given is below the extent of the data or leaves a crossing triangle wound against the rest.
Seam findTubeSeam(const Mesh& initCoordMesh, std::optional<double> circumference);

// The triangles that wind against the prevailing winding (see
// TubeInitialCoordinatesConverter::foldedTriangles).
std::size_t countFoldedTriangles(const Mesh& initCoordMesh);

}  // namespace Calvora

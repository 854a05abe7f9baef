#pragma once
// Finds where the initial-coordinate mesh of a tube wraps around: the triangles that cross the
// seam, which of their corners lie on its low side, the circumferential axis and the period.

#include "Business_EvaluationGeometry.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace Calvora {

using PlaneAxis = TubeInitialCoordinatesConverter::Axis;

// A triangle that crosses the seam; its low corners move up by one period to close it.
struct SeamCrossing {
    std::size_t triangle = 0;  // position in the mesh
    unsigned lowCorners = 0;   // bit i set: corner i lies on the low side of the seam
};

struct TubeSeam {
    PlaneAxis axis = PlaneAxis::U;        // the circumferential axis
    double period = 0.0;                  // the circumference along that axis
    std::vector<SeamCrossing> crossings;  // empty: the mesh does not wrap around
};

// Two passes over the triangles, none over the vertices. The winding that most triangles share
// is the tube's; a mesh wraps around when some triangles wind against it, along the axis those
// triangles stretch along, and a triangle crosses the seam when it spans more than half the
// extent of the data along that axis. Without a circumference, the period is estimated from the
// crossing triangles (see the source). Throws std::invalid_argument when the mesh has no
// prevailing winding, a triangle lacks a corner, or no period turns every crossing triangle to
// the tube's winding.
TubeSeam findTubeSeam(const Mesh& initCoordMesh, std::optional<double> circumference);

}  // namespace Calvora

#pragma once
// Meshes made directly from plain arrays or from a generated sample body (its 3D mesh or its
// initial-coordinate mesh), numbered as the mesh builders number them: vertex i at position i
// with index i, triangle j at position j with index j. For tests and benchmarks of the algorithms.

#include "Business_BaseGeometry.h"
#include "SampleBodies.h"

#include <vector>

namespace CoreIoSamples {

using Position = Calvora::Point<double, 3>;

// corners: three vertex positions per triangle.
Calvora::Mesh makeMesh(const std::vector<Position>& positions, const std::vector<int>& corners);

Calvora::Mesh shapeMesh(const SampleBody& body);
Calvora::Mesh initCoordMesh(const SampleBody& body);  // vertex i at (initCoord0[i], initCoord1[i], 0)

}  // namespace CoreIoSamples

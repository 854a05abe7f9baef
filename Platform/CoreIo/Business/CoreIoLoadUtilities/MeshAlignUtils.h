#pragma once
// Relates a body before and after a process step through their initial coordinates: the vertex
// matching and a mesh with the first body's shape and the second body's topology.

#include "Business_BaseGeometry.h"
#include "Business_CoreIoLoadUtilities_export.h"
#include "MeshAndCoord.h"
#include "Persistence_CoreIo.h"

#include <memory>
#include <vector>

namespace CoreIo {

struct MeshAlignResult {
    // Entry i: the vertex of the first body matched to vertex i of the second; negative only
    // where none was found and completion was not requested.
    std::shared_ptr<std::vector<int>> vertexMatching;
    std::shared_ptr<Calvora::Mesh> alignedMesh;  // the first body's shape, the second's topology
};

// Whether an initial-coordinate mesh (corners in z = 0, as initialCoordinateMesh makes it) is a
// rolled-up tube: 1 when the z of getNormal() is positive for some of its triangles and negative
// for others, else 0. A degenerate triangle, or one with a corner that is not finite, faces
// neither way. Stops at the first triangle that completes the pair.
BUSINESS_COREIOLOADUTILITIES_EXPORT int detectTube(const Calvora::Mesh& icMesh);

// isTube: negative: decide from the data; 0: not a tube; positive: a tube. completeMatching:
// replace a missing vertex by the nearest corner of the before triangle that holds it.
// Both members are empty when data is missing or the aligner found no matching; an element
// without vertex and triangle under completion throws std::runtime_error.
BUSINESS_COREIOLOADUTILITIES_EXPORT MeshAlignResult getMeshAlignResult(const MeshAndCoord& before,
                                                                       const MeshAndCoord& after, int isTube,
                                                                       const bool completeMatching);

// The same, reading both bodies through the loader, the first body first.
BUSINESS_COREIOLOADUTILITIES_EXPORT MeshAlignResult getMeshAlignResult(const LoaderInterface& loader,
                                                                       const SimBody& bodyBefore,
                                                                       const SimBody& bodyAfter, int isTube,
                                                                       bool completeMatching);

}  // namespace CoreIo

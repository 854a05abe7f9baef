#pragma once
// A body's mesh with its two per-vertex initial (material) coordinates, the function that loads
// all three through a loader in one call, and the mesh that lays the body out in its initial
// coordinates.

#include "Business_BaseGeometry.h"
#include "Business_CoreIoLoadUtilities_export.h"
#include "Persistence_CoreIo.h"

#include <memory>
#include <vector>

namespace CoreIo {

struct BUSINESS_COREIOLOADUTILITIES_EXPORT MeshAndCoord {
    std::shared_ptr<std::vector<float>> initCoord0;  // value i belongs to vertex i of mesh
    std::shared_ptr<std::vector<float>> initCoord1;
    std::shared_ptr<Calvora::Mesh> mesh;

    MeshAndCoord();
    MeshAndCoord(std::shared_ptr<std::vector<float>> initCoord0, std::shared_ptr<std::vector<float>> initCoord1,
                 std::shared_ptr<Calvora::Mesh> mesh);
    MeshAndCoord(const MeshAndCoord& other);
    MeshAndCoord(MeshAndCoord&& other) noexcept;
    MeshAndCoord& operator=(const MeshAndCoord& other);
    MeshAndCoord& operator=(MeshAndCoord&& other) noexcept;
    ~MeshAndCoord();

    // All three present; lengths are not compared.
    bool isValid() const;
};

// The body's mesh and its results INITIALCOORD0 and INITIALCOORD1; the arrays stay empty when
// either result is missing.
BUSINESS_COREIOLOADUTILITIES_EXPORT MeshAndCoord readMeshAndICs(const LoaderInterface& loader, const SimBody& body);

// A copy of the record's mesh (its copy constructor) whose vertex i is then set to
// (initCoord0[i], initCoord1[i], 0), with the mesh's normals, vertex indices and triangles
// (pointing at the copy's own vertices).
// - returns null when the record is not valid;
// - throws std::out_of_range (std::vector::at) when an array has fewer values than the mesh has
//   vertices; values beyond the vertex count are ignored.
BUSINESS_COREIOLOADUTILITIES_EXPORT std::shared_ptr<Calvora::Mesh> initialCoordinateMesh(const MeshAndCoord& record);

}  // namespace CoreIo

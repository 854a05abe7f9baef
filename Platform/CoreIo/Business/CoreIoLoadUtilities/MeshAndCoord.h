#pragma once
// A body's mesh with its two per-vertex initial (material) coordinates, and the function that
// loads all three through a loader in one call.

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

}  // namespace CoreIo

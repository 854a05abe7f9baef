#pragma once
// A provider that serves one fixed tool mesh, whatever mapping it is asked for: for programs and
// tests that already hold the tool's mesh.

#include "Business_BaseGeometry.h"
#include "Business_BaseGeometry_export.h"

#include <cstddef>
#include <memory>

namespace Calvora {

class BUSINESS_BASEGEOMETRY_EXPORT FixedUntransformedMeshProvider : public UntransformedMeshProvider {
public:
    // toolMesh may be empty: the provider then reports that no tool mesh is available.
    explicit FixedUntransformedMeshProvider(std::shared_ptr<Mesh> toolMesh);
    ~FixedUntransformedMeshProvider() override;

    std::shared_ptr<Mesh> getUntransformedMesh(const int* solverIndexMapping, std::size_t numTriangles) override;

    std::size_t numberOfRequests() const;  // how often getUntransformedMesh was called

private:
    std::shared_ptr<Mesh> toolMesh_;
    std::size_t requests_ = 0;
};

}  // namespace Calvora

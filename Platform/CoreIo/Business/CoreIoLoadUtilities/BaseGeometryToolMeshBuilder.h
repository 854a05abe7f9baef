#pragma once
// Builds a tool mesh: topology from the loader in the solver's numbering, positions and normals
// from the untransformed tool mesh that a provider supplies, through the solver index mapping.

#include "Business_BaseGeometry.h"
#include "Business_CoreIoLoadUtilities_export.h"
#include "Persistence_CoreIo.h"

#include <cstddef>
#include <memory>

namespace Calvora {

class BUSINESS_COREIOLOADUTILITIES_EXPORT BaseGeometryToolMeshBuilder : public CoreIo::MeshBuilderInterface {
public:
    // provider must not be empty when a build runs.
    explicit BaseGeometryToolMeshBuilder(std::shared_ptr<UntransformedMeshProvider> provider);
    ~BaseGeometryToolMeshBuilder() override;

    void build(const CoreIo::MeshBuilderParamColMajor& param) override;
    void build(const CoreIo::MeshBuilderParamRowMajor& param) override;
    bool needNormals() const override;
    bool loadTopologyOnly() const override;  // true: the record carries no coordinates

    // The mesh of the latest build that got past the checks; empty before.
    std::shared_ptr<Mesh> getMesh() const;

private:
    void build(std::size_t numNodes, const int* solverIndexMapping, std::size_t numTriangles, const int* triangles,
               std::size_t numNormals);

    std::shared_ptr<Mesh> mesh;
    std::shared_ptr<UntransformedMeshProvider> provider;
};

}  // namespace Calvora

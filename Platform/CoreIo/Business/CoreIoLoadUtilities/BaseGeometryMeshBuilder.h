#pragma once
// Builds the triangle mesh of a body from a loader's mesh record: one vertex per node, one
// triangle per index triple, normals from the record (or computed, for row-major records).

#include "Business_BaseGeometry.h"
#include "Business_CoreIoLoadUtilities_export.h"
#include "Persistence_CoreIo.h"

#include <memory>

namespace Calvora {

class BUSINESS_COREIOLOADUTILITIES_EXPORT BaseGeometryMeshBuilder : public CoreIo::MeshBuilderInterface {
public:
    BaseGeometryMeshBuilder();
    ~BaseGeometryMeshBuilder() override;

    // Throws CvException "Number of normals differs from number of nodes" when numNormals differs
    // from numNodes; the builder then holds the new mesh without normals.
    void build(const CoreIo::MeshBuilderParamColMajor& param) override;
    // Without one normal per node, the normals are computed from the triangles.
    void build(const CoreIo::MeshBuilderParamRowMajor& param) override;
    bool needNormals() const override;
    bool loadTopologyOnly() const override;

    // The mesh of the latest build; empty before the first one.
    std::shared_ptr<Mesh> getMesh() const;

private:
    std::shared_ptr<Mesh> mesh;
};

}  // namespace Calvora

#include "BaseGeometryMeshBuilder.h"

#include "MeshBuildPhases.h"
#include "QRVService_ExceptionHandling.h"

#include <string>

namespace Calvora {
namespace {

// Write access to a new mesh for one phase of a build.
class MeshBuildHelper : public MeshModifier {
public:
    explicit MeshBuildHelper(Mesh& mesh) : MeshModifier(mesh) {}

    using MeshModifier::setHasNormals;
    using MeshModifier::triangles;
    using MeshModifier::vertices;
};

}  // namespace

BaseGeometryMeshBuilder::BaseGeometryMeshBuilder() = default;

BaseGeometryMeshBuilder::~BaseGeometryMeshBuilder() = default;

void BaseGeometryMeshBuilder::build(const CoreIo::MeshBuilderParamColMajor& param)
{
    mesh = makeMeshWithVertices<MeshBuildHelper>(param.numNodes, ColumnMajorItems{param.x, param.y, param.z});
    fillTriangles<MeshBuildHelper>(mesh, param.triangles, param.numTriangles);
    if (param.numNormals != param.numNodes)
        throw CvException(std::string(normalCountMismatchMessage));
    setNormals<MeshBuildHelper>(*mesh, ColumnMajorItems{param.nx, param.ny, param.nz});
}

void BaseGeometryMeshBuilder::build(const CoreIo::MeshBuilderParamRowMajor& param)
{
    mesh = makeMeshWithVertices<MeshBuildHelper>(param.numNodes, RowMajorItems{param.coordinates});
    fillTriangles<MeshBuildHelper>(mesh, param.triangles, param.numTriangles);
    if (param.numNormals == param.numNodes)
        setNormals<MeshBuildHelper>(*mesh, RowMajorItems{param.normals});
    else
        mesh->computeNormals(false, true);
}

bool BaseGeometryMeshBuilder::needNormals() const
{
    return false;
}

bool BaseGeometryMeshBuilder::loadTopologyOnly() const
{
    return false;
}

std::shared_ptr<Mesh> BaseGeometryMeshBuilder::getMesh() const
{
    return mesh;
}

}  // namespace Calvora

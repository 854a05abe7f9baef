#include "BaseGeometryMeshBuilder.h"

#include "MeshBuildPhases.h"
#include "QRVService_ExceptionHandling.h"

#include <string>

namespace Calvora {

BaseGeometryMeshBuilder::BaseGeometryMeshBuilder() = default;

BaseGeometryMeshBuilder::~BaseGeometryMeshBuilder() = default;

void BaseGeometryMeshBuilder::build(const CoreIo::MeshBuilderParamColMajor& param)
{
    mesh = makeMeshWithVertices(param.numNodes, ColumnMajorItems{param.x, param.y, param.z});
    fillTriangles(mesh, param.triangles, param.numTriangles);
    if (param.numNormals != param.numNodes)
        throw CvException(std::string(normalCountMismatchMessage));
    setNormals(*mesh, ColumnMajorItems{param.nx, param.ny, param.nz});
}

void BaseGeometryMeshBuilder::build(const CoreIo::MeshBuilderParamRowMajor& param)
{
    mesh = makeMeshWithVertices(param.numNodes, RowMajorItems{param.coordinates});
    fillTriangles(mesh, param.triangles, param.numTriangles);
    if (param.numNormals == param.numNodes)
        setNormals(*mesh, RowMajorItems{param.normals});
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

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

void fillTriangles(std::shared_ptr<Mesh> mesh, const int* triangles, std::size_t numTriangles)
{
    MeshBuildHelper helper(*mesh);
    Mesh::VertexContainer& vertices = helper.vertices();
    Mesh::TriangleContainer& meshTriangles = helper.triangles();
    meshTriangles.resize(numTriangles);
    std::size_t k = 0;
    for (Triangle& triangle : meshTriangles) {
        for (std::size_t corner = 0; corner < 3; ++corner)
            triangle.corners[corner] = &vertices[static_cast<std::size_t>(triangles[k + corner])];
        triangle.index = static_cast<std::int32_t>(k / 3);
        k += 3;
    }
}

BaseGeometryMeshBuilder::BaseGeometryMeshBuilder() = default;

BaseGeometryMeshBuilder::~BaseGeometryMeshBuilder() = default;

void BaseGeometryMeshBuilder::build(const CoreIo::MeshBuilderParamColMajor& param)
{
    mesh = makeMeshWithVertices<MeshBuildHelper>(param.numNodes, ColumnMajorItems{param.x, param.y, param.z});
    fillTriangles(mesh, param.triangles, param.numTriangles);
    if (param.numNormals != param.numNodes)
        throw CvException(std::string(normalCountMismatchMessage));
    setNormals<MeshBuildHelper>(*mesh, ColumnMajorItems{param.nx, param.ny, param.nz});
}

void BaseGeometryMeshBuilder::build(const CoreIo::MeshBuilderParamRowMajor& param)
{
    mesh = makeMeshWithVertices<MeshBuildHelper>(param.numNodes, RowMajorItems{param.coordinates});
    fillTriangles(mesh, param.triangles, param.numTriangles);
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

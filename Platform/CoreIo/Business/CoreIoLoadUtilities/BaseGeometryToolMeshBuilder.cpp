#include "BaseGeometryToolMeshBuilder.h"

#include "MeshBuildPhases.h"
#include "QRVService_ExceptionHandling.h"

#include <string>
#include <utility>
#include <vector>

namespace Calvora {
namespace {

// The tool mesh's positions and normals rounded to float, three values per vertex in vertex
// order, so that the new mesh carries only values that a float can hold. Read through the mesh's
// writable walk, the one the geometry library is relied on for.
struct ToolMeshSnapshot {
    std::vector<float> positions;
    std::vector<float> normals;

    explicit ToolMeshSnapshot(Mesh& toolMesh)
        : positions(3 * toolMesh.numberOfVertices()), normals(3 * toolMesh.numberOfVertices())
    {
        float* position = positions.data();
        float* normal = normals.data();
        for (auto vertex = toolMesh.beginVertex(), end = toolMesh.endVertex(); vertex != end; ++vertex) {
            const Vector<double, 3>& vertexNormal = vertex->getNormal();
            *position++ = static_cast<float>(vertex->x);
            *position++ = static_cast<float>(vertex->y);
            *position++ = static_cast<float>(vertex->z);
            *normal++ = static_cast<float>(vertexNormal.x);
            *normal++ = static_cast<float>(vertexNormal.y);
            *normal++ = static_cast<float>(vertexNormal.z);
        }
    }
};

// Item i of the new mesh: the snapshot item of the tool vertex that the mapping names for node i.
struct MappedItems {
    const std::vector<float>& values;
    const int* solverIndexMapping;

    FloatTriple operator()(std::size_t i) const
    {
        return RowMajorItems{values.data()}(static_cast<std::size_t>(solverIndexMapping[i]));
    }
};

}  // namespace

BaseGeometryToolMeshBuilder::BaseGeometryToolMeshBuilder(std::shared_ptr<UntransformedMeshProvider> provider)
    : provider(std::move(provider))
{
}

// Members go in reverse order: the provider first, then the built mesh.
BaseGeometryToolMeshBuilder::~BaseGeometryToolMeshBuilder() = default;

void BaseGeometryToolMeshBuilder::build(const CoreIo::MeshBuilderParamColMajor& param)
{
    build(param.numNodes, param.solverIndexMapping, param.numTriangles, param.triangles, param.numNormals);
}

void BaseGeometryToolMeshBuilder::build(const CoreIo::MeshBuilderParamRowMajor& param)
{
    build(param.numNodes, param.solverIndexMapping, param.numTriangles, param.triangles, param.numNormals);
}

bool BaseGeometryToolMeshBuilder::needNormals() const
{
    return false;
}

bool BaseGeometryToolMeshBuilder::loadTopologyOnly() const
{
    return true;
}

std::shared_ptr<Mesh> BaseGeometryToolMeshBuilder::getMesh() const
{
    return mesh;
}

void BaseGeometryToolMeshBuilder::build(std::size_t numNodes, const int* solverIndexMapping, std::size_t numTriangles,
                                        const int* triangles, std::size_t numNormals)
{
    if (solverIndexMapping == nullptr)
        throw CvException("Solver index mapping is missing");
    const std::shared_ptr<Mesh> toolMesh = provider->getUntransformedMesh(solverIndexMapping, numTriangles);
    if (!toolMesh)
        throw CvException("Tool mesh is unavailable");
    if (!toolMesh->hasNormals())
        throw CvException("Tool mesh has no normals");
    // A tool mesh whose vertex count differs from the record's normal count is ignored without an
    // error; the previous mesh stays.
    if (toolMesh->numberOfVertices() != numNormals)
        return;

    const ToolMeshSnapshot snapshot(*toolMesh);
    mesh = makeMeshWithVertices(numNodes, MappedItems{snapshot.positions, solverIndexMapping});
    fillTriangles(mesh, triangles, numTriangles);
    if (numNormals != numNodes)
        throw CvException(std::string(normalCountMismatchMessage));
    setNormals(*mesh, MappedItems{snapshot.normals, solverIndexMapping});
}

}  // namespace Calvora

#include "ProductContent.h"

namespace Reliability {

namespace {

std::int64_t positionOf(const Calvora::Mesh& mesh, const Calvora::Vertex* corner)
{
    if (corner == nullptr || corner->index < 0 || static_cast<std::size_t>(corner->index) >= mesh.numberOfVertices())
        return -1;
    return &mesh.getVertex(static_cast<unsigned int>(corner->index)) == corner ? corner->index : -1;
}

}  // namespace

MeshContent contentOf(const Calvora::Mesh& mesh)
{
    MeshContent content;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex) {
        const auto& normal = vertex->getNormal();
        content.vertices.push_back({{vertex->x, vertex->y, vertex->z, normal.x, normal.y, normal.z}, vertex->index});
    }
    for (auto triangle = mesh.beginTriangle(); triangle != mesh.endTriangle(); ++triangle) {
        const auto& corners = triangle->corners;
        content.triangles.push_back(
            {{positionOf(mesh, corners[0]), positionOf(mesh, corners[1]), positionOf(mesh, corners[2])}, triangle->index});
    }
    content.hasNormals = mesh.hasNormals();
    return content;
}

MeshContent expectedMesh(const CoreIoSamples::SampleBody& body, const std::vector<int>& mapping)
{
    MeshContent content;
    for (std::size_t i = 0; i < body.numNodes(); ++i) {
        const std::size_t n = mapping.empty() ? i : static_cast<std::size_t>(mapping[i]);
        content.vertices.push_back(
            {{body.x[n], body.y[n], body.z[n], body.nx[n], body.ny[n], body.nz[n]}, static_cast<std::int32_t>(i)});
    }
    for (std::size_t t = 0; t < body.numTriangles(); ++t) {
        const int* corners = &body.triangles[3 * t];
        content.triangles.push_back({{corners[0], corners[1], corners[2]}, static_cast<std::int32_t>(t)});
    }
    content.hasNormals = true;
    return content;
}

BodyRecords::BodyRecords(CoreIoSamples::SampleBody sampleBody) : body(std::move(sampleBody))
{
    for (std::size_t i = 0; i < body.numNodes(); ++i) {
        coordinates.insert(coordinates.end(), {body.x[i], body.y[i], body.z[i]});
        normals.insert(normals.end(), {body.nx[i], body.ny[i], body.nz[i]});
    }
}

}  // namespace Reliability

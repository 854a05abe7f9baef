#include "ServingToolMeshProvider.h"

#include "BaseGeometryMeshBuilder.h"
#include "FuzzChecks.h"

#include <algorithm>
#include <array>

namespace CoreIoFuzz {

namespace {

// Tool vertex v lies at (v, v / 2 + 1/4, -v) with normal (1, v, -v / 2): every vertex differs.
std::shared_ptr<Calvora::Mesh> makeToolMesh(std::size_t numVertices)
{
    std::array<std::vector<float>, 6> columns;  // x, y, z, nx, ny, nz
    for (auto& column : columns)
        column.resize(numVertices);
    for (std::size_t v = 0; v < numVertices; ++v) {
        const auto value = static_cast<float>(v);
        const std::array<float, 6> vertex{value, value / 2 + 0.25f, -value, 1.0f, value, -value / 2};
        for (std::size_t c = 0; c < columns.size(); ++c)
            columns[c][v] = vertex[c];
    }
    CoreIo::MeshBuilderParamColMajor record;
    record.numNodes = record.numNormals = numVertices;
    record.x = columns[0].data();
    record.y = columns[1].data();
    record.z = columns[2].data();
    record.nx = columns[3].data();
    record.ny = columns[4].data();
    record.nz = columns[5].data();
    Calvora::BaseGeometryMeshBuilder builder;
    builder.build(record);
    return builder.getMesh();
}

std::array<float, 3> asFloats(double x, double y, double z)
{
    return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

}  // namespace

ServingToolMeshProvider::ServingToolMeshProvider(Serving serving, std::size_t numNodes,
                                                 std::size_t minimumVertices)
    : serving_(serving), numNodes_(numNodes), minimumVertices_(minimumVertices)
{
}

ServingToolMeshProvider::~ServingToolMeshProvider() = default;

std::shared_ptr<Calvora::Mesh> ServingToolMeshProvider::getUntransformedMesh(const int* solverIndexMapping,
                                                                             std::size_t)
{
    mapping_.assign(solverIndexMapping, solverIndexMapping + numNodes_);
    served_.reset();
    if (serving_ == Serving::WithoutNormals) {
        served_ = std::make_shared<Calvora::Mesh>();
        return served_;
    }
    const auto [smallest, largest] = std::minmax_element(mapping_.begin(), mapping_.end());
    const std::size_t mapped = mapping_.empty() ? 0 : static_cast<std::size_t>(std::max(*largest, 0)) + 1;
    std::size_t numVertices = std::max(minimumVertices_, mapped);
    if (serving_ == Serving::OneVertexMore)
        ++numVertices;
    const bool coverable = mapping_.empty() || *smallest >= 0;
    if (serving_ != Serving::Nothing && coverable && numVertices <= maxVertices)
        served_ = makeToolMesh(numVertices);
    return served_;
}

void ServingToolMeshProvider::checkBuild(const Calvora::Mesh& built) const
{
    expect(served_ != nullptr && built.numberOfVertices() == mapping_.size(),
           "a tool mesh is built only from a served mesh, one vertex per node");
    for (std::size_t i = 0; i < mapping_.size(); ++i) {
        const Calvora::Vertex& tool = served_->getVertex(static_cast<unsigned>(mapping_[i]));
        const Calvora::Vertex& vertex = built.getVertex(static_cast<unsigned>(i));
        const auto position = asFloats(tool.x, tool.y, tool.z);
        expect(isWidened(vertex, position.data()), "a tool mesh vertex lies at its mapped tool vertex", i);
        if (built.hasNormals()) {
            const auto normal = asFloats(tool.getNormal().x, tool.getNormal().y, tool.getNormal().z);
            expect(isWidened(vertex.getNormal(), normal.data()),
                   "a tool mesh vertex has the normal of its mapped tool vertex", i);
        }
    }
}

}  // namespace CoreIoFuzz

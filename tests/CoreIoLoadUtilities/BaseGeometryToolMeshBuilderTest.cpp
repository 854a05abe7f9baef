#include "BaseGeometryToolMeshBuilder.h"
#include "Business_BaseGeometry.h"
#include "FixedUntransformedMeshProvider.h"
#include "QRVService_ExceptionHandling.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using Calvora::BaseGeometryToolMeshBuilder;
using Calvora::FixedUntransformedMeshProvider;
using Calvora::Mesh;

namespace {

struct ToolVertex {
    double x, y, z, nx, ny, nz;
};

// A tool mesh as a provider holds it: doubles that a float need not hold exactly.
std::shared_ptr<Mesh> toolMesh(const std::vector<ToolVertex>& toolVertices, bool withNormals = true)
{
    struct Filler : Calvora::MeshModifier {
        Filler(Mesh& mesh, const std::vector<ToolVertex>& source, bool normals) : MeshModifier(mesh)
        {
            vertices().resize(source.size());
            for (std::size_t i = 0; i < source.size(); ++i) {
                const ToolVertex& v = source[i];
                vertices()[i].set(v.x, v.y, v.z, v.nx, v.ny, v.nz);
                vertices()[i].index = static_cast<int>(i);
            }
            setHasNormals(normals);
        }
    };
    auto mesh = std::make_shared<Mesh>();
    Filler{*mesh, toolVertices, withNormals};
    return mesh;
}

const std::vector<ToolVertex> threeToolVertices{
    {0.1, 0.2, 0.3, 0.0, 0.6, 0.8},
    {1.0, 0.0, 0.0, 0.0, 0.0, 1.0},
    {0.0, 1.0, 0.25, 0.1, 0.0, -1.0},
};
const std::vector<ToolVertex> fourToolVertices{threeToolVertices[0], threeToolVertices[1], threeToolVertices[2],
                                               {2.0, 2.0, 2.0, 1.0, 0.0, 0.0}};

// The loader's topology: node i stands for tool vertex mapping[i]; two triangles over three nodes.
struct Topology {
    std::vector<int> mapping{2, 0, 1};
    std::vector<int> triangles{2, 0, 1, 0, 1, 2};
    std::size_t numNodes = 3;
    std::size_t numNormals = 3;

    template <typename Record>
    Record record() const
    {
        Record record;
        record.numNodes = numNodes;
        record.numNormals = numNormals;
        record.numTriangles = triangles.size() / 3;
        record.triangles = triangles.data();
        record.solverIndexMapping = mapping.data();
        return record;
    }
    CoreIo::MeshBuilderParamColMajor columnMajor() const { return record<CoreIo::MeshBuilderParamColMajor>(); }
    CoreIo::MeshBuilderParamRowMajor rowMajor() const { return record<CoreIo::MeshBuilderParamRowMajor>(); }
};

std::shared_ptr<FixedUntransformedMeshProvider> providerOf(std::shared_ptr<Mesh> mesh)
{
    return std::make_shared<FixedUntransformedMeshProvider>(std::move(mesh));
}

// The message of the CvException that `build` throws; fails the test for any other outcome.
template <typename Build>
std::string cvExceptionMessage(Build build)
{
    try {
        build();
    } catch (const Calvora::CvException& error) {
        EXPECT_TRUE(std::string(error.location().file_name()).ends_with("CoreIoLoadUtilities/BaseGeometryToolMeshBuilder.cpp"));
        return error.what();
    }
    ADD_FAILURE() << "no CvException";
    return {};
}

// Vertex i has the position and normal of tool vertex mapping[i], rounded to float and widened back.
void expectMappedFromTool(const Mesh& mesh, const std::vector<int>& mapping)
{
    ASSERT_EQ(mesh.numberOfVertices(), mapping.size());
    for (unsigned int i = 0; i < mapping.size(); ++i) {
        const ToolVertex& tool = threeToolVertices[static_cast<std::size_t>(mapping[i])];
        const Calvora::Vertex& vertex = mesh.getVertex(i);
        EXPECT_EQ(vertex.index, static_cast<int>(i));
        const auto& normal = vertex.getNormal();
        const std::pair<double, double> components[] = {{vertex.x, tool.x},   {vertex.y, tool.y},   {vertex.z, tool.z},
                                                        {normal.x, tool.nx}, {normal.y, tool.ny}, {normal.z, tool.nz}};
        for (const auto& [actual, toolValue] : components)
            EXPECT_EQ(actual, static_cast<double>(static_cast<float>(toolValue)));
    }
}

// Records what the builder asks for.
struct RecordingProvider : Calvora::UntransformedMeshProvider {
    std::shared_ptr<Mesh> getUntransformedMesh(const int* solverIndexMapping, std::size_t numTriangles) override
    {
        requests.emplace_back(solverIndexMapping, numTriangles);
        return toolMesh(threeToolVertices);
    }
    std::vector<std::pair<const int*, std::size_t>> requests;
};

}  // namespace

TEST(BaseGeometryToolMeshBuilder, MapsToolVerticesThroughSinglePrecisionOverTheLoadersTriangles)
{
    const Topology topology;
    const auto provider = std::make_shared<RecordingProvider>();
    BaseGeometryToolMeshBuilder builder(provider);
    CoreIo::MeshBuilderInterface& asLoadersSeeIt = builder;
    asLoadersSeeIt.build(topology.columnMajor());
    const auto fromColumns = builder.getMesh();
    asLoadersSeeIt.build(topology.rowMajor());
    const auto fromRows = builder.getMesh();

    const std::pair<const int*, std::size_t> request{topology.mapping.data(), 2};
    EXPECT_EQ(provider->requests, (std::vector{request, request}));
    EXPECT_NE(fromRows, fromColumns);
    for (const auto& mesh : {fromColumns, fromRows}) {
        expectMappedFromTool(*mesh, topology.mapping);
        EXPECT_EQ(mesh->getVertex(1).x, 0.100000001490116119384765625);
        EXPECT_TRUE(mesh->hasNormals());
        ASSERT_EQ(mesh->numberOfTriangles(), 2u);
        for (unsigned int j = 0; j < 2; ++j) {
            EXPECT_EQ(mesh->getTriangle(j).index, static_cast<int>(j));
            for (unsigned int corner = 0; corner < 3; ++corner)
                EXPECT_EQ(mesh->getTriangle(j).corners[corner],
                          &mesh->getVertex(static_cast<unsigned int>(topology.triangles[3 * j + corner])));
        }
    }
}

TEST(BaseGeometryToolMeshBuilder, RefusesAMissingMappingThenAnUnavailableToolMeshThenOneWithoutNormals)
{
    const std::tuple<bool, std::shared_ptr<Mesh>, const char*, std::size_t> cases[] = {
        {false, toolMesh(threeToolVertices), "Solver index mapping is missing", 0},
        {true, nullptr, "Tool mesh is unavailable", 1},
        {true, toolMesh(threeToolVertices, false), "Tool mesh has no normals", 1}};
    for (const auto& [mapped, tool, message, requests] : cases) {
        const auto provider = providerOf(tool);
        BaseGeometryToolMeshBuilder builder(provider);
        CoreIo::MeshBuilderParamRowMajor record = Topology{}.rowMajor();
        if (!mapped)
            record.solverIndexMapping = nullptr;
        EXPECT_EQ(cvExceptionMessage([&] { builder.build(record); }), message);
        EXPECT_EQ(provider->numberOfRequests(), requests);
        EXPECT_EQ(builder.getMesh(), nullptr);
    }
}

TEST(BaseGeometryToolMeshBuilder, IgnoresAToolMeshWhoseSizeDiffersFromTheNormalCount)
{
    const auto provider = providerOf(toolMesh(fourToolVertices));
    BaseGeometryToolMeshBuilder builder(provider);

    EXPECT_NO_THROW(builder.build(Topology{}.columnMajor()));
    EXPECT_EQ(builder.getMesh(), nullptr);

    Topology fourNodes;
    fourNodes.mapping = {3, 2, 1, 0};
    fourNodes.numNodes = fourNodes.numNormals = 4;
    builder.build(fourNodes.columnMajor());
    const auto previous = builder.getMesh();
    ASSERT_NE(previous, nullptr);
    EXPECT_NO_THROW(builder.build(Topology{}.rowMajor()));
    EXPECT_EQ(builder.getMesh(), previous);
    EXPECT_EQ(previous->numberOfVertices(), 4u);
    EXPECT_EQ(provider->numberOfRequests(), 3u);
}

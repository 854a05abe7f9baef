#include "BaseGeometryToolMeshBuilder.h"
#include "Business_BaseGeometry.h"
#include "FixedUntransformedMeshProvider.h"
#include "MemoryLoader.h"
#include "QRVService_ExceptionHandling.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using Calvora::BaseGeometryToolMeshBuilder;
using Calvora::FixedUntransformedMeshProvider;
using Calvora::Mesh;
using Calvora::Vertex;

namespace {

struct ToolVertex {
    double x, y, z;
    double nx, ny, nz;
};

// Fills a tool mesh as a provider holds it: doubles that a float need not hold exactly.
class ToolMeshFiller : public Calvora::MeshModifier {
public:
    ToolMeshFiller(Mesh& mesh, const std::vector<ToolVertex>& toolVertices, bool withNormals) : MeshModifier(mesh)
    {
        vertices().resize(toolVertices.size());
        for (std::size_t i = 0; i < toolVertices.size(); ++i) {
            const ToolVertex& v = toolVertices[i];
            vertices()[i].set(v.x, v.y, v.z, v.nx, v.ny, v.nz);
            vertices()[i].index = static_cast<int>(i);
        }
        setHasNormals(withNormals);
    }
};

std::shared_ptr<Mesh> toolMesh(const std::vector<ToolVertex>& vertices, bool withNormals = true)
{
    auto mesh = std::make_shared<Mesh>();
    ToolMeshFiller{*mesh, vertices, withNormals};
    return mesh;
}

const std::vector<ToolVertex> threeToolVertices{
    {0.1, 0.2, 0.3, 0.0, 0.6, 0.8},
    {1.0, 0.0, 0.0, 0.0, 0.0, 1.0},
    {0.0, 1.0, 0.25, 0.1, 0.0, -1.0},
};

// The loader's topology: three nodes in the solver's numbering, node i standing for tool vertex
// mapping[i], and one triangle.
struct Topology {
    std::vector<int> mapping{2, 0, 1};
    std::vector<int> triangles{2, 0, 1};
    std::size_t numNodes = 3;
    std::size_t numNormals = 3;

    CoreIo::MeshBuilderParamColMajor columnMajor() const
    {
        CoreIo::MeshBuilderParamColMajor record;
        record.numNodes = numNodes;
        record.numNormals = numNormals;
        record.numTriangles = triangles.size() / 3;
        record.triangles = triangles.data();
        record.solverIndexMapping = mapping.data();
        return record;
    }

    CoreIo::MeshBuilderParamRowMajor rowMajor() const
    {
        CoreIo::MeshBuilderParamRowMajor record;
        record.numNodes = numNodes;
        record.numNormals = numNormals;
        record.numTriangles = triangles.size() / 3;
        record.triangles = triangles.data();
        record.solverIndexMapping = mapping.data();
        return record;
    }
};

std::shared_ptr<FixedUntransformedMeshProvider> providerOf(std::shared_ptr<Mesh> mesh)
{
    return std::make_shared<FixedUntransformedMeshProvider>(std::move(mesh));
}

std::shared_ptr<Mesh> buildTool(const CoreIo::MeshBuilderParamColMajor& record,
                                const std::vector<ToolVertex>& toolVertices = threeToolVertices)
{
    BaseGeometryToolMeshBuilder builder(providerOf(toolMesh(toolVertices)));
    builder.build(record);
    return builder.getMesh();
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

// Node i has the tool vertex's position and normal, rounded to float and widened back.
void expectFromToolVertex(const Vertex& vertex, const ToolVertex& tool)
{
    const auto throughFloat = [](double value) { return static_cast<double>(static_cast<float>(value)); };
    EXPECT_EQ(vertex.x, throughFloat(tool.x));
    EXPECT_EQ(vertex.y, throughFloat(tool.y));
    EXPECT_EQ(vertex.z, throughFloat(tool.z));
    EXPECT_EQ(vertex.getNormal().x, throughFloat(tool.nx));
    EXPECT_EQ(vertex.getNormal().y, throughFloat(tool.ny));
    EXPECT_EQ(vertex.getNormal().z, throughFloat(tool.nz));
}

// Records what the builder asks for.
class RecordingProvider : public Calvora::UntransformedMeshProvider {
public:
    std::shared_ptr<Mesh> getUntransformedMesh(const int* solverIndexMapping, std::size_t numTriangles) override
    {
        mappings.push_back(solverIndexMapping);
        triangleCounts.push_back(numTriangles);
        return toolMesh(threeToolVertices);
    }

    std::vector<const int*> mappings;
    std::vector<std::size_t> triangleCounts;
};

}  // namespace

TEST(BaseGeometryToolMeshBuilder, AsksLoadersForTopologyOnlyWithoutNormals)
{
    BaseGeometryToolMeshBuilder builder(providerOf(toolMesh(threeToolVertices)));
    EXPECT_EQ(builder.getMesh(), nullptr);
    EXPECT_TRUE(builder.loadTopologyOnly());
    EXPECT_FALSE(builder.needNormals());

    builder.build(Topology{}.columnMajor());
    EXPECT_TRUE(builder.loadTopologyOnly());
    EXPECT_FALSE(builder.needNormals());
}

TEST(BaseGeometryToolMeshBuilder, GivesEachNodeThePositionAndNormalOfItsMappedToolVertex)
{
    const auto mesh = buildTool(Topology{}.columnMajor());

    ASSERT_EQ(mesh->numberOfVertices(), 3u);
    expectFromToolVertex(mesh->getVertex(0), threeToolVertices[2]);
    expectFromToolVertex(mesh->getVertex(1), threeToolVertices[0]);
    expectFromToolVertex(mesh->getVertex(2), threeToolVertices[1]);
    for (unsigned int i = 0; i < 3; ++i)
        EXPECT_EQ(mesh->getVertex(i).index, static_cast<int>(i));
    EXPECT_TRUE(mesh->hasNormals());
}

TEST(BaseGeometryToolMeshBuilder, PassesPositionsAndNormalsThroughSinglePrecision)
{
    const auto mesh = buildTool(Topology{}.columnMajor());

    const Vertex& fromToolVertex0 = mesh->getVertex(1);
    EXPECT_EQ(fromToolVertex0.x, 0.100000001490116119384765625);
    EXPECT_NE(fromToolVertex0.x, 0.1);
    EXPECT_EQ(mesh->getVertex(0).getNormal().x, 0.100000001490116119384765625);
    EXPECT_EQ(mesh->getVertex(0).z, 0.25);  // a float holds 0.25 exactly
}

TEST(BaseGeometryToolMeshBuilder, TakesTrianglesFromTheLoaderOverTheNewVertices)
{
    Topology topology;
    topology.triangles = {2, 0, 1, 0, 1, 2};
    const auto mesh = buildTool(topology.columnMajor());

    ASSERT_EQ(mesh->numberOfTriangles(), 2u);
    const Calvora::Triangle& first = mesh->getTriangle(0);
    EXPECT_EQ(first.corners[0], &mesh->getVertex(2));
    EXPECT_EQ(first.corners[1], &mesh->getVertex(0));
    EXPECT_EQ(first.corners[2], &mesh->getVertex(1));
    EXPECT_EQ(first.index, 0);
    EXPECT_EQ(mesh->getTriangle(1).corners[0], first.corners[1]);
    EXPECT_EQ(mesh->getTriangle(1).index, 1);
}

TEST(BaseGeometryToolMeshBuilder, AcceptsAMappingThatNamesAToolVertexTwice)
{
    Topology topology;
    topology.mapping = {1, 1, 0};
    const auto mesh = buildTool(topology.columnMajor());

    expectFromToolVertex(mesh->getVertex(0), threeToolVertices[1]);
    expectFromToolVertex(mesh->getVertex(1), threeToolVertices[1]);
    expectFromToolVertex(mesh->getVertex(2), threeToolVertices[0]);
    EXPECT_NE(&mesh->getVertex(0), &mesh->getVertex(1));
}

TEST(BaseGeometryToolMeshBuilder, BuildsTheSameMeshFromBothLayoutsAndPassesTheRecordToTheProvider)
{
    const Topology topology;
    const auto provider = std::make_shared<RecordingProvider>();
    BaseGeometryToolMeshBuilder builder(provider);

    builder.build(topology.columnMajor());
    const auto fromColumns = builder.getMesh();
    builder.build(topology.rowMajor());
    const auto fromRows = builder.getMesh();

    EXPECT_EQ(provider->mappings, (std::vector<const int*>{topology.mapping.data(), topology.mapping.data()}));
    EXPECT_EQ(provider->triangleCounts, (std::vector<std::size_t>{1, 1}));
    ASSERT_EQ(fromRows->numberOfVertices(), 3u);
    for (unsigned int i = 0; i < 3; ++i)
        expectFromToolVertex(fromRows->getVertex(i), threeToolVertices[static_cast<std::size_t>(topology.mapping[i])]);
    EXPECT_EQ(fromRows->getTriangle(0).corners[0], &fromRows->getVertex(2));
    EXPECT_NE(fromRows, fromColumns);
}

TEST(BaseGeometryToolMeshBuilder, RefusesAMissingMappingWithoutAskingTheProvider)
{
    const auto provider = providerOf(toolMesh(threeToolVertices));
    BaseGeometryToolMeshBuilder builder(provider);
    const Topology topology;
    CoreIo::MeshBuilderParamRowMajor record = topology.rowMajor();
    record.solverIndexMapping = nullptr;

    EXPECT_EQ(cvExceptionMessage([&] { builder.build(record); }), "Solver index mapping is missing");
    EXPECT_EQ(provider->numberOfRequests(), 0u);
    EXPECT_EQ(builder.getMesh(), nullptr);
}

TEST(BaseGeometryToolMeshBuilder, RefusesAnUnavailableToolMeshAndKeepsItsMesh)
{
    const auto empty = providerOf(nullptr);
    BaseGeometryToolMeshBuilder builder(empty);
    EXPECT_EQ(cvExceptionMessage([&] { builder.build(Topology{}.columnMajor()); }), "Tool mesh is unavailable");
    EXPECT_EQ(empty->numberOfRequests(), 1u);
    EXPECT_EQ(builder.getMesh(), nullptr);
}

TEST(BaseGeometryToolMeshBuilder, RefusesAToolMeshWithoutNormalsAndKeepsItsMesh)
{
    const auto provider = providerOf(toolMesh(threeToolVertices, false));
    BaseGeometryToolMeshBuilder builder(provider);
    EXPECT_EQ(cvExceptionMessage([&] { builder.build(Topology{}.columnMajor()); }), "Tool mesh has no normals");
    EXPECT_EQ(provider->numberOfRequests(), 1u);
    EXPECT_EQ(builder.getMesh(), nullptr);
}

TEST(BaseGeometryToolMeshBuilder, IgnoresAToolMeshWhoseSizeDiffersFromTheNormalCount)
{
    std::vector<ToolVertex> fourVertices = threeToolVertices;
    fourVertices.push_back({2.0, 2.0, 2.0, 1.0, 0.0, 0.0});
    const auto fourVertexProvider = providerOf(toolMesh(fourVertices));
    BaseGeometryToolMeshBuilder fresh(fourVertexProvider);

    EXPECT_NO_THROW(fresh.build(Topology{}.columnMajor()));
    EXPECT_EQ(fresh.getMesh(), nullptr);
    EXPECT_EQ(fourVertexProvider->numberOfRequests(), 1u);

    BaseGeometryToolMeshBuilder built(fourVertexProvider);
    Topology fourNodes;
    fourNodes.mapping = {3, 2, 1, 0};
    fourNodes.numNodes = fourNodes.numNormals = 4;
    built.build(fourNodes.columnMajor());
    const auto previous = built.getMesh();
    EXPECT_NO_THROW(built.build(Topology{}.rowMajor()));
    EXPECT_EQ(built.getMesh(), previous);
    EXPECT_EQ(previous->numberOfVertices(), 4u);
}

TEST(BaseGeometryToolMeshBuilder, RefusesANormalCountOtherThanTheNodeCountAfterBuildingTopology)
{
    std::vector<ToolVertex> fourVertices = threeToolVertices;
    fourVertices.push_back({2.0, 2.0, 2.0, 1.0, 0.0, 0.0});
    BaseGeometryToolMeshBuilder builder(providerOf(toolMesh(fourVertices)));
    Topology topology;
    topology.numNormals = 4;

    EXPECT_EQ(cvExceptionMessage([&] { builder.build(topology.columnMajor()); }),
              "Number of normals differs from number of nodes");

    const auto mesh = builder.getMesh();
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->numberOfVertices(), 3u);
    EXPECT_EQ(mesh->numberOfTriangles(), 1u);
    EXPECT_EQ(mesh->getVertex(1).x, 0.100000001490116119384765625);
    EXPECT_EQ(mesh->getVertex(1).getNormal(), (Calvora::Vector<double, 3>{}));
    EXPECT_FALSE(mesh->hasNormals());
}

TEST(BaseGeometryToolMeshBuilder, BuildsVerticesWithNormalsWhenThereAreNoTriangles)
{
    Topology topology;
    topology.triangles.clear();
    const auto mesh = buildTool(topology.columnMajor());

    EXPECT_EQ(mesh->numberOfVertices(), 3u);
    EXPECT_EQ(mesh->numberOfTriangles(), 0u);
    expectFromToolVertex(mesh->getVertex(0), threeToolVertices[2]);
    EXPECT_TRUE(mesh->hasNormals());
}

TEST(BaseGeometryToolMeshBuilder, BuildsAnEmptyMeshWithNormalsFromAnEmptyToolMesh)
{
    const int noNodes = 0;
    CoreIo::MeshBuilderParamColMajor record;
    record.solverIndexMapping = &noNodes;  // required even without nodes

    const auto mesh = buildTool(record, {});

    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->numberOfVertices(), 0u);
    EXPECT_EQ(mesh->numberOfTriangles(), 0u);
    EXPECT_TRUE(mesh->hasNormals());
}

TEST(BaseGeometryToolMeshBuilder, LeavesAMeshHandedOutUnchangedWhenItBuildsAgain)
{
    BaseGeometryToolMeshBuilder builder(providerOf(toolMesh(threeToolVertices)));
    builder.build(Topology{}.columnMajor());
    const auto first = builder.getMesh();

    Topology reordered;
    reordered.mapping = {0, 1, 2};
    builder.build(reordered.columnMajor());

    EXPECT_NE(builder.getMesh(), first);
    expectFromToolVertex(first->getVertex(0), threeToolVertices[2]);
    expectFromToolVertex(builder.getMesh()->getVertex(0), threeToolVertices[0]);
}

TEST(BaseGeometryToolMeshBuilder, KeepsNoShareOfTheToolMeshAndReleasesTheProviderWithItself)
{
    const auto tool = toolMesh(threeToolVertices);
    auto provider = providerOf(tool);
    const std::weak_ptr<FixedUntransformedMeshProvider> watched = provider;
    std::shared_ptr<Mesh> built;
    {
        BaseGeometryToolMeshBuilder builder(std::move(provider));
        builder.build(Topology{}.columnMajor());
        EXPECT_EQ(tool.use_count(), 2);  // this test and the provider
        built = builder.getMesh();
    }
    EXPECT_TRUE(watched.expired());
    EXPECT_EQ(built.use_count(), 1);
}

TEST(BaseGeometryToolMeshBuilder, BuildsThroughALoaderAndRefusesABodyWithoutMapping)
{
    const Topology topology;
    CoreIo::MeshArrays tool;
    tool.layout = CoreIo::Layout::RowMajor;
    tool.numNodes = tool.numNormals = 3;
    tool.coordinates = std::vector<float>(9, 0.0f);
    tool.normals = std::vector<float>(9, 0.0f);
    tool.numTriangles = 1;
    tool.triangles = topology.triangles;
    CoreIo::MeshArrays unmapped = tool;
    tool.solverIndexMapping = topology.mapping;
    CoreIo::MemoryLoader loader;
    loader.addBody("tool", tool);
    loader.addBody("unmapped", unmapped);
    BaseGeometryToolMeshBuilder builder(providerOf(toolMesh(threeToolVertices)));

    loader.loadMesh(loader.body("tool").meshLocation, builder);
    const auto mesh = builder.getMesh();
    ASSERT_NE(mesh, nullptr);
    expectFromToolVertex(mesh->getVertex(0), threeToolVertices[2]);
    EXPECT_EQ(mesh->getTriangle(0).corners[0], &mesh->getVertex(2));

    EXPECT_EQ(cvExceptionMessage([&] { loader.loadMesh(loader.body("unmapped").meshLocation, builder); }),
              "Solver index mapping is missing");
    EXPECT_EQ(builder.getMesh(), mesh);
}

#include "ServingToolMeshProvider.h"

#include "BaseGeometryToolMeshBuilder.h"
#include "FuzzChecks.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using CoreIoFuzz::BrokenPromise;
using CoreIoFuzz::ServingToolMeshProvider;
using Serving = ServingToolMeshProvider::Serving;

namespace {

const std::vector<int> mapping{4, 0, 2};
const std::vector<int> oneTriangle{0, 1, 2};

// A tool mesh built over three nodes with the given mapping and normal count.
std::shared_ptr<Calvora::Mesh> buildWith(const std::shared_ptr<ServingToolMeshProvider>& provider,
                                         const std::vector<int>& solverIndexMapping, std::size_t numNormals)
{
    CoreIo::MeshBuilderParamColMajor record;
    record.numNodes = 3;
    record.solverIndexMapping = solverIndexMapping.data();
    record.numTriangles = 1;
    record.triangles = oneTriangle.data();
    record.numNormals = numNormals;
    Calvora::BaseGeometryToolMeshBuilder builder(provider);
    builder.build(record);
    return builder.getMesh();
}

}  // namespace

TEST(ServingToolMeshProvider, CoversEveryMappedVertexAndTheMinimum)
{
    ServingToolMeshProvider covering(Serving::Covering, 3, 0);
    const auto served = covering.getUntransformedMesh(mapping.data(), 1);
    ASSERT_NE(served, nullptr);
    EXPECT_EQ(served->numberOfVertices(), 5u);
    EXPECT_TRUE(served->hasNormals());
    EXPECT_EQ(ServingToolMeshProvider(Serving::Covering, 3, 7).getUntransformedMesh(mapping.data(), 1)->numberOfVertices(),
              7u);
    EXPECT_EQ(ServingToolMeshProvider(Serving::OneVertexMore, 3, 0).getUntransformedMesh(mapping.data(), 1)->numberOfVertices(),
              6u);
}

TEST(ServingToolMeshProvider, ServesTheAnswersABuilderMustRefuse)
{
    EXPECT_EQ(ServingToolMeshProvider(Serving::Nothing, 3, 0).getUntransformedMesh(mapping.data(), 1), nullptr);
    const auto withoutNormals = ServingToolMeshProvider(Serving::WithoutNormals, 3, 0).getUntransformedMesh(mapping.data(), 1);
    ASSERT_NE(withoutNormals, nullptr);
    EXPECT_FALSE(withoutNormals->hasNormals());
}

TEST(ServingToolMeshProvider, ServesNothingForAMappingNoToolMeshCanCover)
{
    const std::vector<int> negative{1, -1, 0};
    EXPECT_EQ(ServingToolMeshProvider(Serving::Covering, 3, 0).getUntransformedMesh(negative.data(), 1), nullptr);
    const std::vector<int> huge{0, static_cast<int>(ServingToolMeshProvider::maxVertices), 1};
    EXPECT_EQ(ServingToolMeshProvider(Serving::Covering, 3, 0).getUntransformedMesh(huge.data(), 1), nullptr);
}

TEST(ServingToolMeshProvider, AcceptsTheBuildOfItsOwnMappingOnly)
{
    // A build succeeds when nodes, normals and tool vertices agree in number.
    const auto provider = std::make_shared<ServingToolMeshProvider>(Serving::Covering, 3, 0);
    const auto built = buildWith(provider, {2, 0, 1}, 3);
    ASSERT_NE(built, nullptr);
    EXPECT_TRUE(built->hasNormals());
    EXPECT_NO_THROW(provider->checkBuild(*built));

    const auto otherProvider = std::make_shared<ServingToolMeshProvider>(Serving::Covering, 3, 0);
    const auto otherBuild = buildWith(otherProvider, {0, 2, 1}, 3);
    ASSERT_NE(otherBuild, nullptr);
    EXPECT_THROW(provider->checkBuild(*otherBuild), BrokenPromise);
}

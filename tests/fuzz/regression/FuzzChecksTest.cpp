#include "FuzzChecks.h"

#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
#include "ServingToolMeshProvider.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace CoreIoFuzz;
using Serving = ServingToolMeshProvider::Serving;

namespace {

// Nodes 0 (0,0,0), 1 (1,0,0), 2 (0,1,0), 3 (1,1,0); triangles (0,1,3) and (0,3,2).
const std::vector<float> squareCoordinates{0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
const std::vector<int> squareTriangles{0, 1, 3, 0, 3, 2};

std::shared_ptr<Calvora::Mesh> square()
{
    CoreIo::MeshBuilderParamRowMajor record;
    record.numNodes = 4;
    record.coordinates = squareCoordinates.data();
    record.numTriangles = 2;
    record.triangles = squareTriangles.data();
    Calvora::BaseGeometryMeshBuilder builder;
    builder.build(record);
    return builder.getMesh();
}

const std::vector<int> mapping{4, 0, 2};

std::size_t servedVertices(Serving serving, std::size_t minimumVertices, const std::vector<int>& served = mapping)
{
    const auto mesh = ServingToolMeshProvider(serving, 3, minimumVertices).getUntransformedMesh(served.data(), 1);
    return mesh == nullptr ? 0 : mesh->numberOfVertices();
}

// A tool mesh with normals built over three nodes and one triangle.
std::shared_ptr<Calvora::Mesh> buildToolMesh(const std::shared_ptr<ServingToolMeshProvider>& provider,
                                             const std::vector<int>& solverIndexMapping)
{
    const std::vector<int> oneTriangle{0, 1, 2};
    CoreIo::MeshBuilderParamColMajor record;
    record.numNodes = 3;
    record.solverIndexMapping = solverIndexMapping.data();
    record.numTriangles = 1;
    record.triangles = oneTriangle.data();
    record.numNormals = 3;
    Calvora::BaseGeometryToolMeshBuilder builder(provider);
    builder.build(record);
    return builder.getMesh();
}

}  // namespace

TEST(FuzzChecks, CompletesTellsExpectedFailuresApartAndLetsOthersThrough)
{
    EXPECT_TRUE(completes<std::out_of_range>([] {}));
    EXPECT_FALSE(completes<std::out_of_range>([] { throw std::out_of_range("expected"); }));
    EXPECT_FALSE((completes<std::invalid_argument, std::out_of_range>([] { throw std::out_of_range("second"); })));
    EXPECT_THROW(completes<std::out_of_range>([] { throw std::runtime_error("unexpected"); }), std::runtime_error);
}

TEST(FuzzChecks, WideningIsExactAndNanMatchesNan)
{
    EXPECT_TRUE(isWidened(static_cast<double>(0.1f), 0.1f));
    EXPECT_FALSE(isWidened(0.1, 0.1f));
    EXPECT_TRUE(isWidened(std::nan(""), std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(isWidened(0.0, std::numeric_limits<float>::quiet_NaN()));
}

TEST(FuzzChecks, ABuiltMeshPassesEveryCheckAndOtherTrianglesOrPositionsBreakThePromise)
{
    const auto mesh = square();
    EXPECT_NO_THROW(checkMeshStructure(*mesh));
    EXPECT_NO_THROW(checkTriangles(*mesh, squareTriangles, 2));
    EXPECT_NO_THROW(checkPositions(*mesh, squareCoordinates, 4));
    EXPECT_THROW(checkTriangles(*mesh, {0, 3, 1, 0, 3, 2}, 2), BrokenPromise);
    EXPECT_THROW(checkTriangles(*mesh, squareTriangles, 1), BrokenPromise);
    std::vector<float> moved = squareCoordinates;
    moved[7] = 0.5f;
    EXPECT_THROW(checkPositions(*mesh, moved, 4), BrokenPromise);
    EXPECT_THROW(checkPositions(*mesh, squareCoordinates, 3), BrokenPromise);
}

TEST(FuzzChecks, ACornerOutsideTheMeshOrAWrongIndexBreaksTheStructure)
{
    const auto mesh = square();
    const auto other = square();
    mesh->getTriangle(1).corners[2] = &other->getVertex(2);
    EXPECT_THROW(checkMeshStructure(*mesh), BrokenPromise);

    const auto renumbered = square();
    renumbered->getVertex(3).index = 2;
    EXPECT_THROW(checkMeshStructure(*renumbered), BrokenPromise);
}

TEST(ServingToolMeshProvider, ServesWhatWasAskedFor)
{
    EXPECT_EQ(servedVertices(Serving::Covering, 0), 5u);  // every mapped vertex
    EXPECT_EQ(servedVertices(Serving::Covering, 7), 7u);
    EXPECT_EQ(servedVertices(Serving::OneVertexMore, 0), 6u);
    EXPECT_EQ(servedVertices(Serving::Nothing, 0), 0u);
    EXPECT_EQ(servedVertices(Serving::Covering, 0, {1, -1, 0}), 0u);
    EXPECT_EQ(servedVertices(Serving::Covering, 0, {0, static_cast<int>(ServingToolMeshProvider::maxVertices), 1}), 0u);
    EXPECT_TRUE(ServingToolMeshProvider(Serving::Covering, 3, 0).getUntransformedMesh(mapping.data(), 1)->hasNormals());
    const auto withoutNormals =
        ServingToolMeshProvider(Serving::WithoutNormals, 3, 0).getUntransformedMesh(mapping.data(), 1);
    ASSERT_NE(withoutNormals, nullptr);
    EXPECT_FALSE(withoutNormals->hasNormals());
}

TEST(ServingToolMeshProvider, AcceptsTheBuildOfItsOwnMappingOnly)
{
    const auto provider = std::make_shared<ServingToolMeshProvider>(Serving::Covering, 3, 0);
    const auto built = buildToolMesh(provider, {2, 0, 1});
    ASSERT_NE(built, nullptr);
    EXPECT_TRUE(built->hasNormals());
    EXPECT_NO_THROW(provider->checkBuild(*built));

    const auto otherBuild = buildToolMesh(std::make_shared<ServingToolMeshProvider>(Serving::Covering, 3, 0), {0, 2, 1});
    ASSERT_NE(otherBuild, nullptr);
    EXPECT_THROW(provider->checkBuild(*otherBuild), BrokenPromise);
}

#include "FuzzChecks.h"

#include "BaseGeometryMeshBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace CoreIoFuzz;

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

TEST(FuzzChecks, ABuiltMeshPassesEveryCheck)
{
    const auto mesh = square();
    EXPECT_NO_THROW(checkMeshStructure(*mesh));
    EXPECT_NO_THROW(checkTriangles(*mesh, squareTriangles, 2));
    EXPECT_NO_THROW(checkPositions(*mesh, squareCoordinates, 4));
}

TEST(FuzzChecks, TrianglesOrPositionsOtherThanGivenBreakThePromise)
{
    const auto mesh = square();
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

#include "BaseGeometryToolMeshBuilder.h"
#include "Business_BaseGeometry.h"
#include "FixedUntransformedMeshProvider.h"
#include "QRVService_ExceptionHandling.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace {

using Calvora::BaseGeometryToolMeshBuilder;
using Calvora::Mesh;

// A tool mesh as a provider holds it: vertex i at (0.1 i, 0.2, 0.3 + i) with normal (0, 0.6, 0.8),
// doubles that a float need not hold exactly.
std::shared_ptr<Mesh> toolMesh(std::size_t size, bool withNormals = true)
{
    struct Filler : Calvora::MeshModifier {
        Filler(Mesh& mesh, std::size_t size, bool normals) : MeshModifier(mesh)
        {
            vertices().resize(size);
            for (std::size_t i = 0; i < size; ++i)
                vertices()[i].set(0.1 * static_cast<double>(i), 0.2, 0.3 + static_cast<double>(i), 0.0, 0.6, 0.8);
            setHasNormals(normals);
        }
    };
    auto mesh = std::make_shared<Mesh>();
    Filler{*mesh, size, withNormals};
    return mesh;
}

double asFloat(double value) { return static_cast<float>(value); }

// The loader's topology: node i stands for tool vertex mapping[i]; two triangles over three nodes.
const std::vector<int> mapping{2, 0, 1};
const std::vector<int> triangles{2, 0, 1, 0, 1, 2};

template <typename Record>
Record topology(std::size_t numNodes = 3, const int* solverIndexMapping = mapping.data())
{
    Record record;
    record.numNodes = record.numNormals = numNodes;
    record.numTriangles = 2;
    record.triangles = triangles.data();
    record.solverIndexMapping = solverIndexMapping;
    return record;
}

TEST(BaseGeometryToolMeshBuilder, MapsToolVerticesThroughSinglePrecisionOverTheLoadersTrianglesInEitherLayout)
{
    const auto provider = std::make_shared<Calvora::FixedUntransformedMeshProvider>(toolMesh(3));
    BaseGeometryToolMeshBuilder builder(provider);
    CoreIo::MeshBuilderInterface& asLoadersSeeIt = builder;
    asLoadersSeeIt.build(topology<CoreIo::MeshBuilderParamColMajor>());
    const auto fromColumns = builder.getMesh();
    asLoadersSeeIt.build(topology<CoreIo::MeshBuilderParamRowMajor>());

    for (const auto& mesh : {fromColumns, builder.getMesh()}) {
        ASSERT_EQ(mesh->numberOfVertices(), 3u);
        EXPECT_TRUE(mesh->hasNormals());
        for (unsigned int i = 0; i < 3; ++i) {
            const double tool = mapping[i];
            EXPECT_EQ(mesh->getVertex(i), (Calvora::Point<double, 3>{asFloat(0.1 * tool), asFloat(0.2), asFloat(0.3 + tool)}));
            EXPECT_EQ(mesh->getVertex(i).getNormal(), (Calvora::Vector<double, 3>{0.0, asFloat(0.6), asFloat(0.8)}));
        }
        for (unsigned int corner = 0; corner < 6; ++corner)
            EXPECT_EQ(mesh->getTriangle(corner / 3).corners[corner % 3],
                      &mesh->getVertex(static_cast<unsigned int>(triangles[corner])));
    }
    EXPECT_NE(fromColumns, builder.getMesh());
    EXPECT_EQ(provider->numberOfRequests(), 2u);
}

TEST(BaseGeometryToolMeshBuilder, RefusesAMissingMappingAnUnavailableToolMeshAndOneWithoutNormals)
{
    const struct {
        const int* mapping;
        std::shared_ptr<Mesh> tool;
        const char* message;
    } cases[] = {{nullptr, toolMesh(3), "Solver index mapping is missing"},
                 {mapping.data(), nullptr, "Tool mesh is unavailable"},
                 {mapping.data(), toolMesh(3, false), "Tool mesh has no normals"}};
    for (const auto& c : cases) {
        BaseGeometryToolMeshBuilder builder(std::make_shared<Calvora::FixedUntransformedMeshProvider>(c.tool));
        try {
            builder.build(topology<CoreIo::MeshBuilderParamRowMajor>(3, c.mapping));
            ADD_FAILURE() << "no exception: " << c.message;
        } catch (const Calvora::CvException& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
        EXPECT_EQ(builder.getMesh(), nullptr);
    }
}

TEST(BaseGeometryToolMeshBuilder, KeepsItsLastMeshWhenTheToolMeshSizeDiffersFromTheNormalCount)
{
    const std::vector<int> fourNodes{3, 2, 1, 0};
    BaseGeometryToolMeshBuilder builder(std::make_shared<Calvora::FixedUntransformedMeshProvider>(toolMesh(4)));
    builder.build(topology<CoreIo::MeshBuilderParamColMajor>());
    EXPECT_EQ(builder.getMesh(), nullptr);

    builder.build(topology<CoreIo::MeshBuilderParamColMajor>(4, fourNodes.data()));
    const auto previous = builder.getMesh();
    ASSERT_NE(previous, nullptr);
    builder.build(topology<CoreIo::MeshBuilderParamRowMajor>());
    EXPECT_EQ(builder.getMesh(), previous);
}

}  // namespace

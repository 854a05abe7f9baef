#include "BaseGeometryMeshBuilder.h"
#include "Business_BaseGeometry.h"
#include "QRVService_ExceptionHandling.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using Calvora::Mesh;

// Two triangles over four nodes sharing nodes 1 and 2, the first given as (2, 0, 1); coordinates
// such as 0.1f that a double holds only as a long decimal.
struct TwoTriangles {
    std::vector<float> x{0.0f, 0.1f, 0.0f, 0.1f}, y{0.0f, 0.0f, 0.3f, 0.3f}, z{0.0f, 0.0f, 0.0f, 0.7f};
    std::vector<float> nx{0.0f, 0.0f, 0.1f, 0.6f}, ny{0.0f, 0.0f, 0.0f, 0.0f}, nz{1.0f, 1.0f, 0.9f, 0.8f};
    std::vector<float> coordinates{0.0f, 0.0f, 0.0f, 0.1f, 0.0f, 0.0f, 0.0f, 0.3f, 0.0f, 0.1f, 0.3f, 0.7f};
    std::vector<float> normals{0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.1f, 0.0f, 0.9f, 0.6f, 0.0f, 0.8f};
    std::vector<int> triangles{2, 0, 1, 1, 3, 2};

    CoreIo::MeshBuilderParamColMajor columnMajor(std::size_t numNormals = 4) const
    {
        const bool given = numNormals == 4;
        return {.numNodes = 4, .x = x.data(), .y = y.data(), .z = z.data(), .nx = given ? nx.data() : nullptr,
                .ny = given ? ny.data() : nullptr, .nz = given ? nz.data() : nullptr, .numTriangles = 2,
                .triangles = triangles.data(), .numNormals = numNormals};
    }
    CoreIo::MeshBuilderParamRowMajor rowMajor(std::size_t numNormals = 4) const
    {
        return {.numNodes = 4, .coordinates = coordinates.data(), .normals = numNormals == 4 ? normals.data() : nullptr,
                .numTriangles = 2, .triangles = triangles.data(), .numNormals = numNormals};
    }
};

// Succeeds only when no MeshModifier is open on the mesh, i.e. every build phase closed its own.
bool isClosedForModification(Mesh& mesh)
{
    struct Probe : Calvora::MeshModifier {
        explicit Probe(Mesh& mesh) : MeshModifier(mesh) {}
    };
    try {
        Probe probe(mesh);
        return true;
    } catch (const std::logic_error&) {
        return false;
    }
}

template <typename Record>
std::shared_ptr<Mesh> build(const Record& record)
{
    Calvora::BaseGeometryMeshBuilder builder;
    static_cast<CoreIo::MeshBuilderInterface&>(builder).build(record);
    return builder.getMesh();
}

TEST(BaseGeometryMeshBuilder, BuildsTheSameMeshFromEitherLayoutWideningFloatsExactly)
{
    const TwoTriangles data;
    for (const auto& mesh : {build(data.columnMajor()), build(data.rowMajor())}) {
        ASSERT_EQ(mesh->numberOfVertices(), 4u);
        ASSERT_EQ(mesh->numberOfTriangles(), 2u);
        EXPECT_TRUE(mesh->hasNormals());
        EXPECT_TRUE(isClosedForModification(*mesh));
        for (unsigned int i = 0; i < 4; ++i) {
            EXPECT_EQ(mesh->getVertex(i).index, static_cast<int>(i));
            EXPECT_EQ(mesh->getVertex(i), (Calvora::Point<double, 3>{data.x[i], data.y[i], data.z[i]}));
            EXPECT_EQ(mesh->getVertex(i).getNormal(), (Calvora::Vector<double, 3>{data.nx[i], data.ny[i], data.nz[i]}));
        }
        for (unsigned int corner = 0; corner < 6; ++corner)
            EXPECT_EQ(mesh->getTriangle(corner / 3).corners[corner % 3],
                      &mesh->getVertex(static_cast<unsigned int>(data.triangles[corner])));
        EXPECT_EQ(mesh->getTriangle(1).index, 1);
        EXPECT_EQ(mesh->getVertex(1).x, 0.100000001490116119384765625);
    }
}

TEST(BaseGeometryMeshBuilder, WithoutOneNormalPerNodeRefusesColumnsAfterTheTopologyAndComputesNormalsForRows)
{
    const TwoTriangles data;
    for (const std::size_t numNormals : {0, 3, 5}) {
        Calvora::BaseGeometryMeshBuilder builder;
        EXPECT_THROW(builder.build(data.columnMajor(numNormals)), Calvora::CvException) << numNormals;
        ASSERT_NE(builder.getMesh(), nullptr);
        EXPECT_EQ(builder.getMesh()->numberOfTriangles(), 2u);
        EXPECT_FALSE(builder.getMesh()->hasNormals());
        EXPECT_TRUE(isClosedForModification(*builder.getMesh()));

        const auto computed = build(data.rowMajor(numNormals));
        // Node 0 lies only in the flat, counter-clockwise first triangle.
        EXPECT_EQ(computed->getVertex(0).getNormal(), (Calvora::Vector<double, 3>{0.0, 0.0, 1.0}));
        EXPECT_TRUE(isClosedForModification(*computed));
    }
}

}  // namespace

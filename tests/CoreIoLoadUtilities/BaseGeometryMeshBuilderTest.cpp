#include "BaseGeometryMeshBuilder.h"
#include "Business_BaseGeometry.h"
#include "QRVService_ExceptionHandling.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using Calvora::BaseGeometryMeshBuilder;
using Calvora::Mesh;

namespace {

// Two triangles over four nodes sharing nodes 1 and 2, the first given as (2, 0, 1); coordinates
// such as 0.1f that a double holds only as a long decimal.
struct TwoTriangles {
    std::vector<float> x{0.0f, 0.1f, 0.0f, 0.1f}, y{0.0f, 0.0f, 0.3f, 0.3f}, z{0.0f, 0.0f, 0.0f, 0.7f};
    std::vector<float> nx{0.0f, 0.0f, 0.1f, 0.6f}, ny{0.0f, 0.0f, 0.0f, 0.0f}, nz{1.0f, 1.0f, 0.9f, 0.8f};
    std::vector<int> triangles{2, 0, 1, 1, 3, 2};
    std::vector<float> coordinates = interleave(x, y, z), normals = interleave(nx, ny, nz);

    static std::vector<float> interleave(const std::vector<float>& a, const std::vector<float>& b,
                                         const std::vector<float>& c)
    {
        std::vector<float> values;
        for (std::size_t i = 0; i < a.size(); ++i)
            values.insert(values.end(), {a[i], b[i], c[i]});
        return values;
    }

    CoreIo::MeshBuilderParamColMajor columnMajor() const
    {
        CoreIo::MeshBuilderParamColMajor record;
        record.numNodes = record.numNormals = 4;
        record.x = x.data();
        record.y = y.data();
        record.z = z.data();
        record.nx = nx.data();
        record.ny = ny.data();
        record.nz = nz.data();
        record.numTriangles = 2;
        record.triangles = triangles.data();
        return record;
    }

    CoreIo::MeshBuilderParamRowMajor rowMajor() const
    {
        CoreIo::MeshBuilderParamRowMajor record;
        record.numNodes = record.numNormals = 4;
        record.coordinates = coordinates.data();
        record.normals = normals.data();
        record.numTriangles = 2;
        record.triangles = triangles.data();
        return record;
    }
};

// Succeeds only when no MeshModifier is open on the mesh, i.e. every build phase closed its own.
bool isClosedForModification(Mesh& mesh)
{
    struct Probe : Calvora::MeshModifier {
        explicit Probe(Mesh& m) : MeshModifier(m) {}
    };
    try {
        Probe probe(mesh);
        return true;
    } catch (const std::logic_error&) {
        return false;
    }
}

// Builds as a loader does, through the interface.
template <typename Record>
std::shared_ptr<Mesh> build(const Record& record)
{
    BaseGeometryMeshBuilder builder;
    static_cast<CoreIo::MeshBuilderInterface&>(builder).build(record);
    return builder.getMesh();
}

// Vertex i is node i widened exactly, numbered i, with its normal; triangle j is numbered j and
// points at the vertices of its node numbers in the given order.
void expectBuiltFrom(Mesh& mesh, const TwoTriangles& data)
{
    ASSERT_EQ(mesh.numberOfVertices(), 4u);
    ASSERT_EQ(mesh.numberOfTriangles(), 2u);
    EXPECT_TRUE(mesh.hasNormals());
    EXPECT_TRUE(isClosedForModification(mesh));
    for (unsigned int i = 0; i < 4; ++i) {
        const Calvora::Vertex& vertex = mesh.getVertex(i);
        EXPECT_EQ(vertex.index, static_cast<int>(i));
        EXPECT_EQ(vertex, (Calvora::Point<double, 3>{data.x[i], data.y[i], data.z[i]}));
        EXPECT_EQ(vertex.getNormal(), (Calvora::Vector<double, 3>{data.nx[i], data.ny[i], data.nz[i]}));
    }
    for (unsigned int j = 0; j < 2; ++j) {
        EXPECT_EQ(mesh.getTriangle(j).index, static_cast<int>(j));
        for (unsigned int corner = 0; corner < 3; ++corner)
            EXPECT_EQ(mesh.getTriangle(j).corners[corner],
                      &mesh.getVertex(static_cast<unsigned int>(data.triangles[3 * j + corner])));
    }
    EXPECT_EQ(mesh.getVertex(1).x, 0.100000001490116119384765625);
}

}  // namespace

TEST(BaseGeometryMeshBuilder, BuildsTheSameMeshFromEitherLayout)
{
    const TwoTriangles data;
    for (const auto& mesh : {build(data.columnMajor()), build(data.rowMajor())})
        expectBuiltFrom(*mesh, data);
}

TEST(BaseGeometryMeshBuilder, RefusesAColumnMajorRecordWithoutOneNormalPerNodeAfterBuildingItsTopology)
{
    const TwoTriangles data;
    for (std::size_t numNormals : {std::size_t{0}, std::size_t{3}, std::size_t{5}}) {
        CoreIo::MeshBuilderParamColMajor record = data.columnMajor();
        record.numNormals = numNormals;
        record.nx = record.ny = record.nz = nullptr;  // must not be read
        BaseGeometryMeshBuilder builder;

        try {
            builder.build(record);
            ADD_FAILURE() << "no exception for numNormals " << numNormals;
        } catch (const Calvora::CvException& error) {
            EXPECT_STREQ(error.what(), "Number of normals differs from number of nodes");
            EXPECT_TRUE(std::string(error.location().file_name()).ends_with("CoreIoLoadUtilities/BaseGeometryMeshBuilder.cpp"));
        }

        const auto mesh = builder.getMesh();
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->numberOfVertices(), 4u);
        ASSERT_EQ(mesh->numberOfTriangles(), 2u);
        EXPECT_EQ(mesh->getTriangle(0).corners[0], &mesh->getVertex(2));
        EXPECT_FALSE(mesh->hasNormals());
        EXPECT_EQ(mesh->getVertex(3).getNormal(), (Calvora::Vector<double, 3>{}));
        EXPECT_TRUE(isClosedForModification(*mesh));
    }
}

TEST(BaseGeometryMeshBuilder, ComputesNormalsForARowMajorRecordWithoutOneNormalPerNode)
{
    const TwoTriangles data;
    for (std::size_t numNormals : {std::size_t{0}, std::size_t{2}}) {
        CoreIo::MeshBuilderParamRowMajor record = data.rowMajor();
        record.numNormals = numNormals;
        record.normals = nullptr;  // must not be read

        const auto mesh = build(record);

        ASSERT_EQ(mesh->numberOfVertices(), 4u);
        // Node 0 lies only in the flat, counter-clockwise first triangle.
        const auto& normal = mesh->getVertex(0).getNormal();
        EXPECT_NEAR(normal.x, 0.0, 1e-12);
        EXPECT_NEAR(normal.y, 0.0, 1e-12);
        EXPECT_NEAR(normal.z, 1.0, 1e-12);
        EXPECT_TRUE(mesh->hasNormals());
        EXPECT_TRUE(isClosedForModification(*mesh));
    }
}

TEST(BaseGeometryMeshBuilder, ReplacesButNeverChangesAMeshHandedOutEvenWhenTheNextBuildFails)
{
    const TwoTriangles data;
    BaseGeometryMeshBuilder builder;
    builder.build(data.columnMajor());
    const auto first = builder.getMesh();
    EXPECT_EQ(builder.getMesh(), first);

    CoreIo::MeshBuilderParamColMajor withoutNormals = data.columnMajor();
    withoutNormals.numNormals = 0;
    withoutNormals.x = data.y.data();
    EXPECT_THROW(builder.build(withoutNormals), Calvora::CvException);

    ASSERT_NE(builder.getMesh(), first);
    EXPECT_EQ(builder.getMesh()->getVertex(2).x, static_cast<double>(data.y[2]));
    expectBuiltFrom(*first, data);
}

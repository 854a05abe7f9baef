#include "BaseGeometryMeshBuilder.h"
#include "Business_BaseGeometry.h"
#include "MemoryLoader.h"
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
using Calvora::Vertex;

namespace {

// Two triangles over four nodes, sharing nodes 1 and 2; the first is given as (2, 0, 1).
// Coordinates use floats that a double cannot hold as a short decimal (0.1f, 0.3f, 0.7f).
struct TwoTriangles {
    std::vector<float> x{0.0f, 0.1f, 0.0f, 0.1f};
    std::vector<float> y{0.0f, 0.0f, 0.3f, 0.3f};
    std::vector<float> z{0.0f, 0.0f, 0.0f, 0.7f};
    std::vector<float> nx{0.0f, 0.0f, 0.1f, 0.6f};
    std::vector<float> ny{0.0f, 0.0f, 0.0f, 0.0f};
    std::vector<float> nz{1.0f, 1.0f, 0.9f, 0.8f};
    std::vector<int> triangles{2, 0, 1, 1, 3, 2};
    std::vector<float> coordinates = interleave(x, y, z);
    std::vector<float> normals = interleave(nx, ny, nz);

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
        record.numNodes = 4;
        record.x = x.data(), record.y = y.data(), record.z = z.data();
        record.nx = nx.data(), record.ny = ny.data(), record.nz = nz.data();
        record.numNormals = 4;
        record.numTriangles = 2;
        record.triangles = triangles.data();
        return record;
    }

    CoreIo::MeshBuilderParamRowMajor rowMajor() const
    {
        CoreIo::MeshBuilderParamRowMajor record;
        record.numNodes = 4;
        record.coordinates = coordinates.data();
        record.normals = normals.data();
        record.numNormals = 4;
        record.numTriangles = 2;
        record.triangles = triangles.data();
        return record;
    }
};

// Succeeds only when no MeshModifier is open on the mesh, i.e. every build phase closed its own.
class ModificationProbe : public Calvora::MeshModifier {
public:
    explicit ModificationProbe(Mesh& mesh) : MeshModifier(mesh) {}
};

bool isClosedForModification(Mesh& mesh)
{
    try {
        ModificationProbe probe(mesh);
        return true;
    } catch (const std::logic_error&) {
        return false;
    }
}

std::shared_ptr<Mesh> build(const CoreIo::MeshBuilderParamColMajor& record)
{
    BaseGeometryMeshBuilder builder;
    builder.build(record);
    return builder.getMesh();
}

std::shared_ptr<Mesh> build(const CoreIo::MeshBuilderParamRowMajor& record)
{
    BaseGeometryMeshBuilder builder;
    builder.build(record);
    return builder.getMesh();
}

void expectNormal(const Vertex& vertex, double nx, double ny, double nz)
{
    EXPECT_EQ(vertex.getNormal().x, nx);
    EXPECT_EQ(vertex.getNormal().y, ny);
    EXPECT_EQ(vertex.getNormal().z, nz);
}

// Same vertices (position, normal, index) in the same order, and triangles over the same vertex numbers.
void expectSameMesh(const Mesh& actual, const Mesh& expected)
{
    ASSERT_EQ(actual.numberOfVertices(), expected.numberOfVertices());
    ASSERT_EQ(actual.numberOfTriangles(), expected.numberOfTriangles());
    EXPECT_EQ(actual.hasNormals(), expected.hasNormals());
    for (unsigned int i = 0; i < actual.numberOfVertices(); ++i) {
        const Vertex& a = actual.getVertex(i);
        const Vertex& e = expected.getVertex(i);
        EXPECT_EQ(a.x, e.x);
        EXPECT_EQ(a.y, e.y);
        EXPECT_EQ(a.z, e.z);
        EXPECT_EQ(a.getNormal(), e.getNormal());
        EXPECT_EQ(a.index, e.index);
    }
    for (unsigned int j = 0; j < actual.numberOfTriangles(); ++j)
        for (int corner = 0; corner < 3; ++corner)
            EXPECT_EQ(actual.getTriangle(j).corners[corner]->index, expected.getTriangle(j).corners[corner]->index);
}

}  // namespace

TEST(BaseGeometryMeshBuilder, StartsWithoutMeshAndAsksForFullRecordsWithoutNormals)
{
    BaseGeometryMeshBuilder builder;
    EXPECT_EQ(builder.getMesh(), nullptr);
    EXPECT_FALSE(builder.needNormals());
    EXPECT_FALSE(builder.loadTopologyOnly());

    builder.build(TwoTriangles{}.columnMajor());
    EXPECT_FALSE(builder.needNormals());
    EXPECT_FALSE(builder.loadTopologyOnly());
}

TEST(BaseGeometryMeshBuilder, NumbersVerticesAndWidensTheirFloatsExactly)
{
    const TwoTriangles data;
    const auto mesh = build(data.columnMajor());

    ASSERT_EQ(mesh->numberOfVertices(), 4u);
    for (unsigned int i = 0; i < 4; ++i) {
        const Vertex& vertex = mesh->getVertex(i);
        EXPECT_EQ(vertex.index, static_cast<int>(i));
        EXPECT_EQ(vertex.x, static_cast<double>(data.x[i]));
        EXPECT_EQ(vertex.y, static_cast<double>(data.y[i]));
        EXPECT_EQ(vertex.z, static_cast<double>(data.z[i]));
    }
    EXPECT_EQ(mesh->getVertex(1).x, 0.100000001490116119384765625);
    EXPECT_NE(mesh->getVertex(1).x, 0.1);
    EXPECT_EQ(static_cast<float>(mesh->getVertex(3).z), 0.7f);
}

TEST(BaseGeometryMeshBuilder, KeepsTheCornerOrderOfEachTriangleAndNumbersTriangles)
{
    const auto mesh = build(TwoTriangles{}.columnMajor());

    ASSERT_EQ(mesh->numberOfTriangles(), 2u);
    const Calvora::Triangle& first = mesh->getTriangle(0);
    EXPECT_EQ(first.corners[0], &mesh->getVertex(2));
    EXPECT_EQ(first.corners[1], &mesh->getVertex(0));
    EXPECT_EQ(first.corners[2], &mesh->getVertex(1));
    EXPECT_EQ(first.index, 0);
    EXPECT_EQ(mesh->getTriangle(1).index, 1);
}

TEST(BaseGeometryMeshBuilder, TrianglesSharingANodePointAtTheSameVertexObject)
{
    const auto mesh = build(TwoTriangles{}.columnMajor());

    const Calvora::Triangle& first = mesh->getTriangle(0);
    const Calvora::Triangle& second = mesh->getTriangle(1);
    EXPECT_EQ(first.corners[2], second.corners[0]);  // node 1
    EXPECT_EQ(first.corners[0], second.corners[2]);  // node 2
}

TEST(BaseGeometryMeshBuilder, TakesOneNormalPerNodeFromEitherLayout)
{
    const TwoTriangles data;
    for (const auto& mesh : {build(data.columnMajor()), build(data.rowMajor())}) {
        EXPECT_TRUE(mesh->hasNormals());
        for (unsigned int i = 0; i < 4; ++i)
            expectNormal(mesh->getVertex(i), static_cast<double>(data.nx[i]), static_cast<double>(data.ny[i]),
                         static_cast<double>(data.nz[i]));
        EXPECT_TRUE(isClosedForModification(*mesh));
    }
}

TEST(BaseGeometryMeshBuilder, BuildsTheSameMeshFromBothLayouts)
{
    const TwoTriangles data;
    expectSameMesh(*build(data.rowMajor()), *build(data.columnMajor()));
}

TEST(BaseGeometryMeshBuilder, BuildsAnEmptyMeshWithNormalsFromAnEmptyRecordWithoutArrays)
{
    const auto fromColumns = build(CoreIo::MeshBuilderParamColMajor{});
    const auto fromRows = build(CoreIo::MeshBuilderParamRowMajor{});

    for (const auto& mesh : {fromColumns, fromRows}) {
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->numberOfVertices(), 0u);
        EXPECT_EQ(mesh->numberOfTriangles(), 0u);
        EXPECT_TRUE(mesh->hasNormals());
    }
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
            FAIL() << "no exception for numNormals " << numNormals;
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), "Number of normals differs from number of nodes");
            const auto* thrown = dynamic_cast<const Calvora::CvException*>(&error);
            ASSERT_NE(thrown, nullptr);
            EXPECT_TRUE(std::string(thrown->location().file_name()).ends_with("CoreIoLoadUtilities/BaseGeometryMeshBuilder.cpp"));
        }

        const auto mesh = builder.getMesh();
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->numberOfVertices(), 4u);
        EXPECT_EQ(mesh->numberOfTriangles(), 2u);
        EXPECT_EQ(mesh->getTriangle(0).corners[0], &mesh->getVertex(2));
        EXPECT_FALSE(mesh->hasNormals());
        expectNormal(mesh->getVertex(3), 0.0, 0.0, 0.0);
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

TEST(BaseGeometryMeshBuilder, LeavesAMeshHandedOutUnchangedWhenItBuildsAgain)
{
    const TwoTriangles data;
    BaseGeometryMeshBuilder builder;
    builder.build(data.columnMajor());
    const auto first = builder.getMesh();
    EXPECT_EQ(builder.getMesh(), first);

    CoreIo::MeshBuilderParamRowMajor smaller = data.rowMajor();
    smaller.numNodes = smaller.numNormals = 3;
    smaller.numTriangles = 1;
    builder.build(smaller);

    const auto second = builder.getMesh();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->numberOfVertices(), 3u);
    expectSameMesh(*first, *build(data.columnMajor()));
}

TEST(BaseGeometryMeshBuilder, HoldsTheNewMeshAfterABuildThatFailedOnNormals)
{
    const TwoTriangles data;
    BaseGeometryMeshBuilder builder;
    builder.build(data.columnMajor());
    const auto first = builder.getMesh();

    CoreIo::MeshBuilderParamColMajor withoutNormals = data.columnMajor();
    withoutNormals.numNormals = 0;
    EXPECT_THROW(builder.build(withoutNormals), Calvora::CvException);

    EXPECT_NE(builder.getMesh(), first);
    EXPECT_FALSE(builder.getMesh()->hasNormals());
    EXPECT_TRUE(first->hasNormals());
}

TEST(BaseGeometryMeshBuilder, BuildsTheSameMeshThroughALoaderFromEitherLayout)
{
    const TwoTriangles data;
    CoreIo::MeshArrays columns;
    columns.layout = CoreIo::Layout::ColumnMajor;
    columns.numNodes = columns.numNormals = 4;
    columns.x = data.x, columns.y = data.y, columns.z = data.z;
    columns.nx = data.nx, columns.ny = data.ny, columns.nz = data.nz;
    columns.numTriangles = 2;
    columns.triangles = data.triangles;
    CoreIo::MeshArrays rows = columns;
    rows.layout = CoreIo::Layout::RowMajor;
    rows.x = rows.y = rows.z = rows.nx = rows.ny = rows.nz = {};
    rows.coordinates = data.coordinates;
    rows.normals = data.normals;
    CoreIo::MemoryLoader loader;
    loader.addBody("columns", columns);
    loader.addBody("rows", rows);

    BaseGeometryMeshBuilder fromColumns;
    BaseGeometryMeshBuilder fromRows;
    loader.loadMesh(loader.body("columns").meshLocation, fromColumns);
    loader.loadMesh(loader.body("rows").meshLocation, fromRows);

    expectSameMesh(*fromColumns.getMesh(), *build(data.columnMajor()));
    expectSameMesh(*fromRows.getMesh(), *build(data.columnMajor()));
}

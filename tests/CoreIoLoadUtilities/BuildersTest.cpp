// The builders a loader feeds: meshes, tool meshes, polylines and scalar results.
#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryPolyLineBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
#include "Business_BaseGeometry.h"
#include "FixedUntransformedMeshProvider.h"
#include "QRVService_ExceptionHandling.h"
#include "SampleBodies.h"
#include "ScalarResultsBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using Calvora::Mesh;
using Floats = std::vector<float>;
using Normal = Calvora::Vector<double, 3>;
using Point = Calvora::Point<double, 3>;

// Four nodes or points with a normal each, in both layouts; values such as 0.1f that a double holds
// only as a long decimal. Two triangles share nodes 1 and 2, the first given as (2, 0, 1).
const Floats x{0.1f, 1.0f, 2.0f, 3.0f}, y{0.0f, 0.3f, 0.0f, -0.3f}, z{0.7f, 0.0f, 0.5f, 0.0f};
const Floats nx{0.0f, 0.6f, 0.0f, 0.1f}, ny{0.0f, 0.0f, 1.0f, 0.0f}, nz{1.0f, 0.8f, 0.0f, 0.9f};
const Floats coordinates{0.1f, 0.0f, 0.7f, 1.0f, 0.3f, 0.0f, 2.0f, 0.0f, 0.5f, 3.0f, -0.3f, 0.0f};
const Floats normals{0.0f, 0.0f, 1.0f, 0.6f, 0.0f, 0.8f, 0.0f, 1.0f, 0.0f, 0.1f, 0.0f, 0.9f};
const std::vector<int> triangles{2, 0, 1, 1, 3, 2};

// The four nodes by columns; normals only when there is one per node; the tool mapping if given.
CoreIo::MeshBuilderParamColMajor columns(std::size_t numNormals = 4, const int* mapping = nullptr)
{
    CoreIo::MeshBuilderParamColMajor record{.numNodes = 4, .x = x.data(), .y = y.data(), .z = z.data()};
    record.nx = numNormals == 4 ? nx.data() : nullptr;
    record.ny = numNormals == 4 ? ny.data() : nullptr;
    record.nz = numNormals == 4 ? nz.data() : nullptr;
    record.numTriangles = 2;
    record.triangles = triangles.data();
    record.numNormals = numNormals;
    record.solverIndexMapping = mapping;
    return record;
}

CoreIo::MeshBuilderParamRowMajor rows(std::size_t numNormals = 4, const int* mapping = nullptr)
{
    CoreIo::MeshBuilderParamRowMajor record{.numNodes = 4, .coordinates = coordinates.data()};
    record.normals = numNormals == 4 ? normals.data() : nullptr;
    record.numTriangles = 2;
    record.triangles = triangles.data();
    record.numNormals = numNormals;
    record.solverIndexMapping = mapping;
    return record;
}

// True when no MeshModifier is open on the mesh, i.e. every build phase closed its own.
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

// Vertex i is numbered i and triangle j, numbered j, points at the vertices of its node numbers, in order.
void expectTopology(Mesh& mesh, const std::vector<int>& nodes = triangles)
{
    ASSERT_EQ(mesh.numberOfTriangles(), nodes.size() / 3);
    for (unsigned int i = 0; i < mesh.numberOfVertices(); ++i)
        EXPECT_EQ(mesh.getVertex(i).index, static_cast<int>(i));
    for (unsigned int corner = 0; corner < nodes.size(); ++corner) {
        EXPECT_EQ(mesh.getTriangle(corner / 3).index, static_cast<int>(corner / 3));
        EXPECT_EQ(mesh.getTriangle(corner / 3).corners[corner % 3],
                  &mesh.getVertex(static_cast<unsigned int>(nodes[corner])));
    }
    EXPECT_TRUE(isClosedForModification(mesh));
}

// At each node the sum of the right-hand normals of its triangles, weighted by their areas, of unit length.
std::vector<Normal> areaWeightedNormals()
{
    std::vector<Normal> sums(x.size());
    for (std::size_t first = 0; first < triangles.size(); first += 3) {
        const auto corner = [&](std::size_t k) {
            const auto node = static_cast<std::size_t>(triangles[first + k]);
            return Point{x[node], y[node], z[node]};
        };
        const Normal twiceTheArea = (corner(1) - corner(0)).cross(corner(2) - corner(0));
        for (std::size_t k = 0; k < 3; ++k)
            sums[static_cast<std::size_t>(triangles[first + k])] += twiceTheArea;
    }
    for (Normal& sum : sums)
        sum = sum * (1.0 / sum.length());
    return sums;
}

TEST(BaseGeometryMeshBuilder, BuildsTheSameMeshFromEitherLayoutWideningFloatsExactly)
{
    Calvora::BaseGeometryMeshBuilder fromColumns, fromRows;
    static_cast<CoreIo::MeshBuilderInterface&>(fromColumns).build(columns());
    static_cast<CoreIo::MeshBuilderInterface&>(fromRows).build(rows());
    for (Mesh& mesh : {std::ref(*fromColumns.getMesh()), std::ref(*fromRows.getMesh())}) {
        ASSERT_EQ(mesh.numberOfVertices(), 4u);
        expectTopology(mesh);
        EXPECT_TRUE(mesh.hasNormals());
        for (unsigned int i = 0; i < 4; ++i) {
            EXPECT_EQ(mesh.getVertex(i), (Point{x[i], y[i], z[i]}));
            EXPECT_EQ(mesh.getVertex(i).getNormal(), (Normal{nx[i], ny[i], nz[i]}));
        }
        EXPECT_EQ(mesh.getVertex(0).x, 0.100000001490116119384765625);
    }
}

TEST(BaseGeometryMeshBuilder, WithoutOneNormalPerNodeRefusesColumnsAfterTheTopologyAndComputesNormalsForRows)
{
    for (const std::size_t numNormals : {0, 3, 5}) {
        Calvora::BaseGeometryMeshBuilder builder;
        EXPECT_THROW(builder.build(columns(numNormals)), Calvora::CvException) << numNormals;
        expectTopology(*builder.getMesh());
        EXPECT_FALSE(builder.getMesh()->hasNormals());

        builder.build(rows(numNormals));
        expectTopology(*builder.getMesh());
        EXPECT_TRUE(builder.getMesh()->hasNormals());
        const std::vector<Normal> expected = areaWeightedNormals();
        for (unsigned int i = 0; i < 4; ++i) {
            const Normal normal = builder.getMesh()->getVertex(i).getNormal();
            EXPECT_NEAR((normal - expected[i]).length(), 0.0, 1e-12) << "node " << i;
        }
    }
}

// 41 by 31 nodes: more than one storage block of vertices.
TEST(BaseGeometryMeshBuilder, PointsEveryTriangleAtItsNodesAcrossStorageBlocks)
{
    const CoreIoSamples::SampleBody sheet = CoreIoSamples::makeSheet({}, {.cellsU = 40, .cellsV = 30, .jitter = 0.2});
    const CoreIo::MeshBuilderParamColMajor record{.numNodes = sheet.numNodes(),
                                                  .x = sheet.x.data(),
                                                  .y = sheet.y.data(),
                                                  .z = sheet.z.data(),
                                                  .nx = sheet.nx.data(),
                                                  .ny = sheet.ny.data(),
                                                  .nz = sheet.nz.data(),
                                                  .numTriangles = sheet.numTriangles(),
                                                  .triangles = sheet.triangles.data(),
                                                  .numNormals = sheet.numNodes()};
    Calvora::BaseGeometryMeshBuilder builder;
    builder.build(record);
    expectTopology(*builder.getMesh(), sheet.triangles);
}

// A tool mesh as a provider holds it: vertex i at (0.1 i, 0.2, 0.3 + i) with normal (0, 0.6, 0.8).
std::shared_ptr<Calvora::FixedUntransformedMeshProvider> toolProvider(std::size_t size, bool withNormals = true)
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
    return std::make_shared<Calvora::FixedUntransformedMeshProvider>(std::move(mesh));
}

const std::vector<int> mapping{2, 0, 3, 1};  // node i stands for tool vertex mapping[i]

TEST(BaseGeometryToolMeshBuilder, MapsToolVerticesThroughSinglePrecisionOverTheLoadersTrianglesInEitherLayout)
{
    const auto provider = toolProvider(4);
    Calvora::BaseGeometryToolMeshBuilder builder(provider);
    builder.build(columns(4, mapping.data()));
    const auto fromColumns = builder.getMesh();
    builder.build(rows(4, mapping.data()));

    for (const auto& mesh : {fromColumns, builder.getMesh()}) {
        ASSERT_EQ(mesh->numberOfVertices(), 4u);
        expectTopology(*mesh);
        for (unsigned int i = 0; i < 4; ++i) {
            const double tool = mapping[i];
            EXPECT_EQ(mesh->getVertex(i), (Point{float(0.1 * tool), float(0.2), float(0.3 + tool)}));
            EXPECT_EQ(mesh->getVertex(i).getNormal(), (Normal{0.0, float(0.6), float(0.8)}));
        }
    }
    EXPECT_NE(fromColumns, builder.getMesh());
    EXPECT_EQ(provider->numberOfRequests(), 2u);
}

TEST(BaseGeometryToolMeshBuilder, RefusesAMissingMappingAnUnavailableToolMeshAndOneWithoutNormals)
{
    const auto unavailable = std::make_shared<Calvora::FixedUntransformedMeshProvider>(nullptr);
    const struct {
        const int* mapping;
        std::shared_ptr<Calvora::FixedUntransformedMeshProvider> provider;
        const char* message;
    } cases[] = {{nullptr, toolProvider(4), "Solver index mapping is missing"},
                 {mapping.data(), unavailable, "Tool mesh is unavailable"},
                 {mapping.data(), toolProvider(4, false), "Tool mesh has no normals"}};
    for (const auto& c : cases) {
        Calvora::BaseGeometryToolMeshBuilder builder(c.provider);
        try {
            builder.build(rows(4, c.mapping));
            ADD_FAILURE() << "no exception: " << c.message;
        } catch (const Calvora::CvException& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
        EXPECT_EQ(builder.getMesh(), nullptr);
    }
}

template <typename PolyLineT, typename Record>
std::shared_ptr<PolyLineT> buildPolyLine(const Record& record)
{
    Calvora::BaseGeometryPolyLineBuilder<PolyLineT> builder;
    static_cast<CoreIo::CurveBuilderInterface&>(builder).build(record);
    return builder.getPolyLine();
}

TEST(BaseGeometryPolyLineBuilder, BuildsPointsFromEitherLayoutAndNormalsForTheFirstNumNormalsOnly)
{
    const struct {
        std::size_t numPoints, numNormals;
    } cases[] = {{4, 4}, {4, 2}, {4, 0}, {2, 9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.numNormals);
        // Only the normals to be read are there: a sanitizer build catches reads past them.
        const auto first = [read = std::min(c.numPoints, c.numNormals)](const Floats& values, std::size_t perPoint) {
            return Floats(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(perPoint * read));
        };
        const Floats cnx = first(nx, 1), cny = first(ny, 1), cnz = first(nz, 1), rowNormals = first(normals, 3);
        const CoreIo::CurveBuilderParamColMajor byColumns{c.numPoints, x.data(),   y.data(),   z.data(),
                                                          cnx.data(),  cny.data(), cnz.data(), c.numNormals};
        const CoreIo::CurveBuilderParamRowMajor byRows{c.numPoints, coordinates.data(), rowNormals.data(),
                                                       c.numNormals};

        using WithNormals = Calvora::PolyLine<Calvora::Point3N>;
        for (const auto& polyLine : {buildPolyLine<WithNormals>(byColumns), buildPolyLine<WithNormals>(byRows)}) {
            ASSERT_EQ(polyLine->size(), c.numPoints);
            EXPECT_EQ(polyLine->getTolerance(), 0.1);
            for (std::size_t i = 0; i < c.numPoints; ++i) {
                EXPECT_EQ(static_cast<const Point&>(polyLine->getPoints()[i]), (Point{x[i], y[i], z[i]}));
                const Normal expected = i < cnx.size() ? Normal{nx[i], ny[i], nz[i]} : Normal{};
                EXPECT_EQ(polyLine->getPoints()[i].getNormal(), expected);
            }
        }
        EXPECT_EQ(buildPolyLine<Calvora::PolyLine<Point>>(byColumns)->getPoints()[0].x, 0.100000001490116119384765625);
    }
}

using Delivery = std::function<void(CoreIo::ResultBuilderInterface&)>;

template <typename T>
Delivery deliver(std::vector<T> values)
{
    return [values](CoreIo::ResultBuilderInterface& builder) { builder.build(values.size(), values.data()); };
}

TEST(ScalarResultsBuilder, HandsOutFloatArraysElseDoubleArraysAsFloatsByDeliveryOrder)
{
    using Doubles = std::vector<double>;
    const Delivery interval = [](CoreIo::ResultBuilderInterface& builder) { builder.setInterval(-5, 5); };
    const struct {
        const char* what;
        std::vector<Delivery> deliveries;
        std::vector<Floats> expected;  // for indices 0, 1, ...; then none at -1 and past the end
    } cases[] = {
        {"nothing", {}, {}},
        {"ints never count", {deliver(std::vector<int>{1, 2})}, {}},
        {"floats", {deliver(Floats{1.5f, 0.1f}), deliver(Floats{})}, {Floats{1.5f, 0.1f}, Floats{}}},
        {"doubles narrowed", {deliver(Doubles{0.1, 1e-3}), deliver(Doubles{})}, {Floats{0.1f, 1e-3f}, Floats{}}},
        {"empty floats hide doubles", {deliver(Doubles{1.0}), deliver(Floats{}), deliver(Doubles{2.0})}, {Floats{}}},
        {"ints and intervals shift no index",
         {interval, deliver(std::vector{1}), deliver(Doubles{2.0}), interval, deliver(Doubles{4.0}), interval},
         {Floats{2.0f}, Floats{4.0f}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CoreIo::ScalarResultsBuilder builder;
        for (const Delivery& delivery : c.deliveries)
            delivery(builder);
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(*builder.getFloatVector(static_cast<int>(i)), c.expected[i]);
        EXPECT_EQ(builder.getFloatVector(static_cast<int>(c.expected.size())), nullptr);
        EXPECT_EQ(builder.getFloatVector(-1), nullptr);
    }
}

TEST(ScalarResultsBuilder, RefusesRecordsAndImpossibleCountsKeepingWhatArrivedBefore)
{
    CoreIo::ScalarResultsBuilder builder;
    builder.build(x.size(), x.data());
    const CoreIo::ResultBuilderColMajorParam byColumns;
    const CoreIo::ResultBuilderRowMajorParam byRows;
    EXPECT_THROW(builder.build(byColumns, byColumns), std::runtime_error);
    EXPECT_THROW(builder.build(byRows, byRows), std::runtime_error);
    EXPECT_THROW(builder.build(byColumns), std::runtime_error);
    EXPECT_THROW(builder.build(byRows), std::runtime_error);
    EXPECT_THROW(builder.build(std::size_t(-1), x.data()), std::length_error);
    EXPECT_EQ(*builder.getFloatVector(0), x);
}

}  // namespace

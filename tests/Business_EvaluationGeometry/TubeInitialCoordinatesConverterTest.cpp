#include "Business_EvaluationGeometry.h"

#include "SampleBodies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>

namespace {

using Calvora::Mesh;
using Calvora::TubeInitialCoordinatesConverter;
using Calvora::Vertex;
using CoreIoSamples::SampleBody;
using Position = Calvora::Point<double, 3>;
// Pointer to the vertex coordinate along one in-plane axis: &Vertex::x for u, &Vertex::y for v.
using Coordinate = double Position::*;

// A sample body's initial-coordinate mesh: vertex i at (initCoord0[i], initCoord1[i], 0) with the
// body's normal and index firstIndex + i, triangles as the body lists them.
class IcMeshMaker : public Calvora::MeshModifier {
public:
    static std::shared_ptr<Mesh> make(const SampleBody& body, int firstIndex = 0)
    {
        auto mesh = std::make_shared<Mesh>();
        IcMeshMaker(*mesh, body, firstIndex);
        return mesh;
    }

private:
    IcMeshMaker(Mesh& mesh, const SampleBody& body, int firstIndex) : MeshModifier(mesh)
    {
        vertices().resize(body.numNodes());
        for (std::size_t i = 0; i < body.numNodes(); ++i) {
            vertices()[i].set(body.initCoord0[i], body.initCoord1[i], 0.0, body.nx[i], body.ny[i], body.nz[i]);
            vertices()[i].index = firstIndex + static_cast<int>(i);
        }
        triangles().resize(body.numTriangles());
        for (std::size_t t = 0; t < body.numTriangles(); ++t) {
            for (std::size_t c = 0; c < 3; ++c)
                triangles()[t].corners[c] = &vertices()[static_cast<std::size_t>(body.triangles[3 * t + c])];
            triangles()[t].index = static_cast<int>(t);
        }
        setHasNormals(true);
    }
};

constexpr CoreIoSamples::TubeShape kTube{1.0, 2.0, 1.5};
constexpr double kCircumference = 2.0 * std::numbers::pi * kTube.initialRadius;
constexpr int kAround = 24;
constexpr int kAlong = 10;
constexpr double kCell = kCircumference / kAround;
// Relative accuracy of a circumference estimated from an evenly meshed tube. The initial
// coordinates are floats, rounded to a relative 6e-8 of coordinates up to the circumference, and
// that rounding reaches the seam triangles' areas; 1e-6 leaves room for it, while an estimator
// that is off by a hundredth of a cell is already off by 4e-4.
constexpr double kEstimateTolerance = 1e-6;

SampleBody tube(double phase, bool axesSwapped = false)
{
    SampleBody body = CoreIoSamples::makeTube(kTube, {kAround, kAlong, phase});
    if (axesSwapped)
        std::swap(body.initCoord0, body.initCoord1);
    return body;
}

struct Windings {
    std::size_t counterClockwise = 0, clockwise = 0, degenerate = 0;
};

Windings windingsOf(const Mesh& mesh)
{
    Windings windings;
    for (auto triangle = mesh.beginTriangle(); triangle != mesh.endTriangle(); ++triangle) {
        const double z = triangle->getNormal().z;
        (z > 0.0 ? windings.counterClockwise : z < 0.0 ? windings.clockwise : windings.degenerate) += 1;
    }
    return windings;
}

double widestTriangleAlong(const Mesh& mesh, Coordinate coordinate)
{
    double widest = 0.0;
    for (auto triangle = mesh.beginTriangle(); triangle != mesh.endTriangle(); ++triangle) {
        double low = std::numeric_limits<double>::infinity(), high = -low;
        for (const Vertex* corner : triangle->corners) {
            low = std::min(low, corner->*coordinate);
            high = std::max(high, corner->*coordinate);
        }
        widest = std::max(widest, high - low);
    }
    return widest;
}

std::shared_ptr<const std::vector<int>> convert(const std::shared_ptr<Mesh>& mesh, double tubeSize = 0.0)
{
    TubeInitialCoordinatesConverter converter;
    if (tubeSize != 0.0)
        converter.setTubeSize(tubeSize);
    std::shared_ptr<const std::vector<int>> map;
    converter.cut3dTubeAtSeamAndUnrollWithInitCoords(mesh, map);
    return map;
}

std::vector<const Vertex*> cornersOf(const Mesh& mesh)
{
    std::vector<const Vertex*> corners;
    for (auto triangle = mesh.beginTriangle(); triangle != mesh.endTriangle(); ++triangle)
        corners.insert(corners.end(), std::begin(triangle->corners), std::end(triangle->corners));
    return corners;
}

// Checks what every cut must keep: the original vertices and triangle indices, the 3D vertices
// each triangle stands for, and a map that gives each vertex's index. Returns how far each copy
// lies from its original along `around`; across it copies must sit exactly on their original.
std::vector<double> checkCutAndMeasureCopies(const Mesh& before, const Mesh& after, const std::vector<int>& map,
                                             Coordinate around, Coordinate across)
{
    const std::size_t originals = before.numberOfVertices();
    EXPECT_GE(after.numberOfVertices(), originals);
    EXPECT_EQ(map.size(), after.numberOfVertices());
    for (unsigned k = 0; k < after.numberOfVertices() && k < map.size(); ++k)
        EXPECT_EQ(map[k], after.getVertex(k).index) << "vertex " << k;
    for (unsigned k = 0; k < originals; ++k) {
        EXPECT_EQ(after.getVertex(k).index, before.getVertex(k).index) << "vertex " << k;
        EXPECT_EQ(static_cast<const Position&>(after.getVertex(k)), before.getVertex(k)) << "vertex " << k;
    }
    EXPECT_EQ(after.numberOfTriangles(), before.numberOfTriangles());
    for (unsigned t = 0; t < before.numberOfTriangles(); ++t) {
        EXPECT_EQ(after.getTriangle(t).index, before.getTriangle(t).index);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(after.getTriangle(t).corners[c]->index, before.getTriangle(t).corners[c]->index)
                << "triangle " << t << " corner " << c;
    }
    // The test meshes number their vertices consecutively, so an index tells the original's position.
    const int firstIndex = before.getVertex(0).index;
    std::vector<double> shifts;
    for (unsigned k = static_cast<unsigned>(originals); k < after.numberOfVertices(); ++k) {
        const Vertex& copy = after.getVertex(k);
        const Vertex& original = after.getVertex(static_cast<unsigned>(copy.index - firstIndex));
        EXPECT_EQ(copy.index, original.index);
        EXPECT_EQ(copy.getNormal(), original.getNormal());
        EXPECT_EQ(copy.*across, original.*across);
        EXPECT_EQ(copy.z, original.z);
        shifts.push_back(copy.*around - original.*around);
    }
    return shifts;
}

template <typename Call> void expectInvalidArgument(Call call, const std::string& expectedText)
{
    try {
        call();
        ADD_FAILURE() << "no exception, expected one saying \"" << expectedText << "\"";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find(expectedText), std::string::npos) << error.what();
    }
}

TEST(TubeInitialCoordinatesConverter, UnrollsATubeIntoOneStripWithOneCopyPerSeamVertexOnePeriodAway)
{
    for (const bool axesSwapped : {false, true})
        for (const bool sizeGiven : {false, true})
            for (const double phase : {0.0, 0.3, 5.0}) {
                SCOPED_TRACE(testing::Message() << "swapped " << axesSwapped << ", size given " << sizeGiven
                                                << ", phase " << phase);
                const Coordinate around = axesSwapped ? &Vertex::y : &Vertex::x;
                const auto mesh = IcMeshMaker::make(tube(phase, axesSwapped), 1000);
                const Mesh before = *mesh;
                ASSERT_TRUE(TubeInitialCoordinatesConverter::wrapsAround(before));

                const auto map = convert(mesh, sizeGiven ? kCircumference : 0.0);

                ASSERT_TRUE(map);
                const auto shifts = checkCutAndMeasureCopies(before, *mesh, *map, around, axesSwapped ? &Vertex::x : &Vertex::y);
                EXPECT_EQ(shifts.size(), std::size_t(kAlong + 1)) << "one node of each ring lies on the low side";
                for (double shift : shifts)
                    EXPECT_NEAR(shift, kCircumference, (sizeGiven ? 1e-15 : kEstimateTolerance) * kCircumference);
                const Windings windings = windingsOf(*mesh);
                EXPECT_EQ(axesSwapped ? windings.clockwise : windings.counterClockwise, mesh->numberOfTriangles());
                EXPECT_LE(widestTriangleAlong(*mesh, around), 1.5 * kCell);
                EXPECT_TRUE(mesh->hasNormals());
            }
}

TEST(TubeInitialCoordinatesConverter, MapsCopiesToTheIndexOfTheirOriginalInTheOrderTheyAreUsed)
{
    const auto mesh = IcMeshMaker::make(tube(0.3), 1000);
    const std::size_t originals = mesh->numberOfVertices();

    const auto map = convert(mesh, kCircumference);

    // With phase 0.3 the last node of each ring wraps to the start of the ring: it is the one copied.
    ASSERT_EQ(map->size(), originals + kAlong + 1);
    for (std::size_t k = 0; k <= kAlong; ++k)
        EXPECT_EQ((*map)[originals + k] - 1000, static_cast<int>(k) * kAround + kAround - 1);
}

TEST(TubeInitialCoordinatesConverter, LeavesMeshesThatDoNotWrapAroundAsTheyAre)
{
    SampleBody points = tube(0.0);
    points.triangles.clear();
    const auto unrolled = IcMeshMaker::make(tube(0.3));
    convert(unrolled);
    SampleBody folded = CoreIoSamples::makeSheet({}, {10, 10, 0.0, 1});
    std::swap(folded.triangles[31], folded.triangles[32]);
    // A folded triangle faces the other way, as a tube's seam does, without a seam to cut.
    const std::vector<std::tuple<const char*, std::shared_ptr<Mesh>, bool>> meshes = {
        {"sheet", IcMeshMaker::make(CoreIoSamples::makeSheet({}, {8, 6, 0.2, 3})), false},
        {"sheet with a folded triangle", IcMeshMaker::make(folded), true},
        {"points", IcMeshMaker::make(points, 40), false},
        {"unrolled tube", unrolled, false}};
    for (const auto& [name, mesh, facesBothWays] : meshes)
        for (const double size : {0.0, 1.0}) {
            SCOPED_TRACE(testing::Message() << name << ", tube size " << size);
            EXPECT_EQ(TubeInitialCoordinatesConverter::wrapsAround(*mesh), facesBothWays);
            const std::vector<const Vertex*> corners = cornersOf(*mesh);
            const std::size_t vertices = mesh->numberOfVertices();

            EXPECT_FALSE(TubeInitialCoordinatesConverter{}.findSeam(*mesh));
            const auto map = convert(mesh, size);

            ASSERT_EQ(mesh->numberOfVertices(), vertices);
            ASSERT_EQ(map->size(), vertices);
            for (unsigned k = 0; k < vertices; ++k)
                EXPECT_EQ((*map)[k], mesh->getVertex(k).index);
            EXPECT_EQ(cornersOf(*mesh), corners);
        }
}

TEST(TubeInitialCoordinatesConverter, RepointsDegenerateTriangleAcrossSeamAtTheSameCopy)
{
    SampleBody body = tube(0.3);
    // A sliver along the first ring over the last three nodes, the last of which lies past the seam.
    body.triangles.insert(body.triangles.end(), {kAround - 3, kAround - 2, kAround - 1});
    const auto mesh = IcMeshMaker::make(body);
    const Mesh before = *mesh;

    const auto map = convert(mesh, kCircumference);

    EXPECT_EQ(checkCutAndMeasureCopies(before, *mesh, *map, &Vertex::x, &Vertex::y).size(), std::size_t(kAlong + 1));
    EXPECT_EQ(windingsOf(*mesh).degenerate, 1u);
    EXPECT_LE(widestTriangleAlong(*mesh, &Vertex::x), 2.5 * kCell) << "the sliver covers two cells";
    const Calvora::Triangle& sliver = mesh->getTriangle(static_cast<unsigned>(body.numTriangles() - 1));
    const Calvora::Triangle& seamTriangle = mesh->getTriangle(2 * (kAround - 2));  // first triangle over the seam
    ASSERT_EQ(seamTriangle.corners[1]->index, kAround - 1);
    EXPECT_EQ(sliver.corners[2], seamTriangle.corners[1]);
}

TEST(TubeInitialCoordinatesConverter, RefusesMeshesItCannotUnrollAndLeavesThemAndTheMapAlone)
{
    SampleBody flat;
    flat.initCoord0 = {0.0f, 1.0f, 2.0f, 1.0f};
    flat.initCoord1 = {0.0f, 0.0f, 0.0f, 1.0f};
    flat.x = flat.y = flat.z = flat.nx = flat.ny = flat.nz = std::vector<float>(4, 0.0f);
    SampleBody collinear = flat, tie = flat;
    collinear.triangles = {0, 1, 2, 2, 1, 0};
    tie.triangles = {0, 1, 3, 1, 3, 2};
    // A sliver from past the seam to two nodes of the next ring, level with each other.
    SampleBody alongSeam = tube(0.3);
    alongSeam.triangles.insert(alongSeam.triangles.end(), {kAround - 1, kAround + kAround - 3, kAround + kAround - 2});
    const auto cornerless = IcMeshMaker::make(tube(0.0));
    struct CornerRemover : Calvora::MeshModifier {
        explicit CornerRemover(Mesh& mesh) : MeshModifier(mesh) { triangles()[5].corners[2] = nullptr; }
    };
    CornerRemover{*cornerless};

    const std::vector<std::tuple<std::shared_ptr<Mesh>, double, std::string>> cases = {
        {nullptr, 0.0, "no initial-coordinate mesh"},
        {IcMeshMaker::make(collinear), 0.0, "all 2 triangles of the initial-coordinate mesh are degenerate"},
        {IcMeshMaker::make(tie), 0.0, "as many triangles wound one way as the other (1 each)"},
        {IcMeshMaker::make(tube(0.3)), 0.5 * kCircumference, "the given circumference 4.71239 does not close the seam along u"},
        {IcMeshMaker::make(alongSeam), 0.0, "triangle 480 crosses the seam along u but lies along it"},
        {cornerless, 0.0, "triangle 5 of the initial-coordinate mesh has a missing corner"}};
    for (const auto& [mesh, size, message] : cases) {
        SCOPED_TRACE(message);
        const std::size_t vertices = mesh ? mesh->numberOfVertices() : 0;
        const std::vector<const Vertex*> corners = mesh ? cornersOf(*mesh) : std::vector<const Vertex*>{};
        std::shared_ptr<const std::vector<int>> map;
        expectInvalidArgument([&] {
            TubeInitialCoordinatesConverter converter;
            if (size != 0.0)
                converter.setTubeSize(size);
            converter.cut3dTubeAtSeamAndUnrollWithInitCoords(mesh, map);
        }, message);
        EXPECT_FALSE(map);
        if (mesh) {
            EXPECT_EQ(mesh->numberOfVertices(), vertices);
            EXPECT_EQ(cornersOf(*mesh), corners);
        }
    }
    for (double size : {0.0, -1.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        expectInvalidArgument([&] { TubeInitialCoordinatesConverter{}.setTubeSize(size); },
                              "setTubeSize: the circumference must be a positive finite number");
}

}  // namespace

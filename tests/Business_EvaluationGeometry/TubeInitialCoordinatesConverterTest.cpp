#include "Business_EvaluationGeometry.h"

#include "SampleBodies.h"
#include "SampleMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

using Calvora::Mesh;
using Calvora::TubeInitialCoordinatesConverter;
using Calvora::Vertex;
using CoreIoSamples::SampleBody;

constexpr CoreIoSamples::TubeShape kTube{1.0, 2.0, 1.5};
constexpr double kCircumference = 2.0 * std::numbers::pi * kTube.initialRadius;
constexpr int kAround = 24;
constexpr int kAlong = 10;

SampleBody tube(double phase, bool axesSwapped = false)
{
    SampleBody body = CoreIoSamples::makeTube(kTube, {kAround, kAlong, phase});
    if (axesSwapped)
        std::swap(body.initCoord0, body.initCoord1);
    return body;
}

std::shared_ptr<Mesh> icMesh(const SampleBody& body)
{
    return std::make_shared<Mesh>(CoreIoSamples::initCoordMesh(body));
}

std::vector<const Vertex*> cornersOf(const Mesh& mesh)
{
    std::vector<const Vertex*> corners;
    for (auto triangle = mesh.beginTriangle(); triangle != mesh.endTriangle(); ++triangle)
        corners.insert(corners.end(), std::begin(triangle->corners), std::end(triangle->corners));
    return corners;
}

// The converter's map, after cutting `mesh` with the tube size given (0: none).
std::shared_ptr<const std::vector<int>> convert(const std::shared_ptr<Mesh>& mesh, double tubeSize)
{
    TubeInitialCoordinatesConverter converter;
    if (tubeSize != 0.0)
        converter.setTubeSize(tubeSize);
    std::shared_ptr<const std::vector<int>> map;
    converter.cut3dTubeAtSeamAndUnrollWithInitCoords(mesh, map);
    return map;
}

TEST(TubeInitialCoordinatesConverter, UnrollsATubeIntoOneStripWithOneCopyPerSeamVertexOnePeriodAway)
{
    for (const bool axesSwapped : {false, true})
        for (const double size : {0.0, kCircumference})
            for (const double phase : {0.0, 0.3, 5.0}) {
                SCOPED_TRACE(testing::Message() << "swapped " << axesSwapped << " size " << size << " phase " << phase);
                const double Vertex::*around = axesSwapped ? &Vertex::y : &Vertex::x;
                const double Vertex::*across = axesSwapped ? &Vertex::x : &Vertex::y;
                const auto mesh = icMesh(tube(phase, axesSwapped));
                const Mesh before = *mesh;

                const auto map = convert(mesh, size);

                // Originals and triangle indices stay; one node of each ring lies on the low side and is copied.
                const unsigned originals = before.numberOfVertices();
                ASSERT_EQ(mesh->numberOfVertices(), originals + kAlong + 1);
                ASSERT_EQ(map->size(), mesh->numberOfVertices());
                for (unsigned k = 0; k < mesh->numberOfVertices(); ++k)
                    EXPECT_EQ((*map)[k], mesh->getVertex(k).index) << "vertex " << k;
                for (unsigned k = 0; k < originals; ++k)
                    EXPECT_EQ(mesh->getVertex(k), before.getVertex(k)) << "vertex " << k;
                for (unsigned t = 0; t < before.numberOfTriangles(); ++t)
                    for (int c = 0; c < 3; ++c)
                        EXPECT_EQ(mesh->getTriangle(t).corners[c]->index, before.getTriangle(t).corners[c]->index);
                // The seam travels with the map: the axis, the period by which the copies moved, and the cut.
                const auto seam = TubeInitialCoordinatesConverter::seamOf(map);
                ASSERT_TRUE(seam);
                EXPECT_EQ(map.get(), &seam->vertexMap);
                const std::vector<int> other;
                EXPECT_FALSE(TubeInitialCoordinatesConverter::seamOf({map, &other})) << "another vector, same owner";
                EXPECT_EQ(seam->axis, axesSwapped ? TubeInitialCoordinatesConverter::Axis::V
                                                  : TubeInitialCoordinatesConverter::Axis::U);
                EXPECT_EQ(seam->originalVertices, originals);
                EXPECT_EQ(seam->crossings.size(), 2u * kAlong);
                EXPECT_EQ(seam->copies.size(), kAlong + 1u);
                // Relative accuracy of an estimated circumference: float rounding of the initial
                // coordinates reaches 6e-8; an estimator off by a hundredth of a cell is off by 4e-4.
                const double tolerance = (size != 0.0 ? 1e-15 : 1e-6) * kCircumference;
                EXPECT_NEAR(seam->period, kCircumference, tolerance);
                for (unsigned k = originals; k < mesh->numberOfVertices(); ++k) {
                    const Vertex& copy = mesh->getVertex(k);
                    const int original = copy.index;
                    EXPECT_EQ(seam->copyOf(original), static_cast<int>(k));
                    EXPECT_EQ(copy.*across, mesh->getVertex(static_cast<unsigned>(original)).*across);
                    EXPECT_EQ(copy.*around - mesh->getVertex(static_cast<unsigned>(original)).*around, seam->period);
                }
                EXPECT_EQ(seam->copyOf(seam->copies.front().first + 1), -1);
                // With phase 0.3 the last node of each ring wraps to the start of the ring: it is the one copied.
                EXPECT_TRUE(phase != 0.3 || (*map)[originals + 1] == kAround + kAround - 1);
                // One strip: every triangle now winds the same way and spans about one cell.
                for (auto triangle = mesh->beginTriangle(); triangle != mesh->endTriangle(); ++triangle) {
                    EXPECT_GT(triangle->getNormal().z * (axesSwapped ? -1.0 : 1.0), 0.0);
                    for (int c = 0; c < 3; ++c)
                        EXPECT_LE(std::abs(triangle->corners[c]->*around - triangle->corners[(c + 1) % 3]->*around),
                                  1.5 * kCircumference / kAround);
                }
            }
}

TEST(TubeInitialCoordinatesConverter, NumbersTheCopiesInTheOrderTheCrossingTrianglesFirstUseTheirOriginals)
{
    // Rings listed last to first and nodes numbered at random: neither the order of the vertices
    // nor where they lie in memory follows the order of first use.
    SampleBody body = CoreIoSamples::renumbered(tube(0.3), 4);
    std::ranges::reverse(body.triangles);  // also each triangle's corners: the winding stays one way
    const auto mesh = icMesh(body);
    const Mesh uncut = *mesh;
    const auto seam = TubeInitialCoordinatesConverter::seamOf(convert(mesh, 0.0));
    ASSERT_TRUE(seam);
    std::vector<int> firstUses;
    for (const auto& crossing : seam->crossings)
        for (unsigned i = 0; i < 3; ++i) {
            const int original = uncut.getTriangle(static_cast<unsigned>(crossing.triangle)).corners[i]->index;
            if ((crossing.lowCorners >> i & 1u) && std::ranges::find(firstUses, original) == firstUses.end())
                firstUses.push_back(original);
        }
    ASSERT_EQ(firstUses.size(), kAlong + 1u);
    for (std::size_t r = 0; r < firstUses.size(); ++r)
        EXPECT_EQ(seam->copyOf(firstUses[r]), static_cast<int>(seam->originalVertices + r));
}

TEST(TubeInitialCoordinatesConverter, FindsAPeriodNeverBelowTheExtentOfTheDataOnRaggedSeams)
{
    for (const int around : {5, 8, 24})
        for (unsigned seed = 1; seed <= 30; ++seed) {
            SCOPED_TRACE(testing::Message() << around << " around, seed " << seed);
            const SampleBody body = CoreIoSamples::makeTube(
                kTube, {.around = around, .along = 4, .phase = 0.3, .jitter = 0.3, .seed = seed});
            const auto [low, high] = std::ranges::minmax(body.initCoord0);
            const auto seam = TubeInitialCoordinatesConverter::seamOf(convert(icMesh(body), 0.0));
            ASSERT_TRUE(seam);
            EXPECT_GE(seam->period, double(high) - double(low));
            EXPECT_NEAR(seam->period, kCircumference, 0.35 * kCircumference / around);
        }
}

TEST(TubeInitialCoordinatesConverter, LeavesMeshesThatDoNotWrapAroundAsTheyAreAndRefusesThoseItCannotUnroll)
{
    SampleBody points = tube(0.0), folded = CoreIoSamples::makeSheet({}, {10, 10, 0.0, 1});
    points.triangles.clear();
    std::swap(folded.triangles[31], folded.triangles[32]);  // faces the other way, without a seam to cut
    const auto unrolled = icMesh(tube(0.3));
    convert(unrolled, 0.0);
    SampleBody flat;
    flat.x = std::vector<float>(4);
    flat.initCoord0 = {0.0f, 1.0f, 2.0f, 1.0f};
    flat.initCoord1 = {0.0f, 0.0f, 0.0f, 1.0f};
    SampleBody collinear = flat, tie = flat;
    collinear.triangles = {0, 1, 2, 2, 1, 0};
    tie.triangles = {0, 1, 3, 1, 3, 2};
    // A sliver from past the seam to two nodes of the next ring, level with each other.
    SampleBody alongSeam = tube(0.3);
    alongSeam.triangles.insert(alongSeam.triangles.end(), {kAround - 1, kAround + kAround - 3, kAround + kAround - 2});
    const struct {
        std::shared_ptr<Mesh> mesh;
        double size;
        std::string refusal;  // empty: left as it is
    } cases[] = {
        {icMesh(CoreIoSamples::makeSheet({}, {8, 6, 0.2, 3})), 0.0, ""},
        {icMesh(folded), 1.0, ""},
        {icMesh(points), 0.0, ""},
        {unrolled, 0.0, ""},
        {nullptr, 0.0, "no initial-coordinate mesh"},
        {icMesh(collinear), 0.0, "all 2 triangles of the initial-coordinate mesh are degenerate"},
        {icMesh(tie), 0.0, "as many triangles wound one way as the other (1 each)"},
        {icMesh(tube(0.3)), 0.5 * kCircumference, "the given circumference 4.71239 is smaller than the extent"},
        {icMesh(alongSeam), 0.0, "triangle 480 crosses the seam along u but lies along it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusal);
        const std::size_t vertices = c.mesh ? c.mesh->numberOfVertices() : 0;
        const std::vector<const Vertex*> corners = c.mesh ? cornersOf(*c.mesh) : std::vector<const Vertex*>{};
        std::shared_ptr<const std::vector<int>> map;
        try {
            map = convert(c.mesh, c.size);
            EXPECT_EQ(c.refusal, "") << "no exception";
            ASSERT_EQ(map->size(), vertices);
            EXPECT_FALSE(TubeInitialCoordinatesConverter::seamOf(map));
            for (unsigned k = 0; k < vertices; ++k)
                EXPECT_EQ((*map)[k], c.mesh->getVertex(k).index);
        } catch (const std::invalid_argument& error) {
            EXPECT_NE(c.refusal, "");
            EXPECT_NE(std::string(error.what()).find(c.refusal), std::string::npos) << error.what();
            EXPECT_FALSE(map);
        }
        if (c.mesh) {
            EXPECT_EQ(c.mesh->numberOfVertices(), vertices);
            EXPECT_EQ(cornersOf(*c.mesh), corners);
        }
    }
    for (double size : {0.0, -1.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        EXPECT_THROW(TubeInitialCoordinatesConverter{}.setTubeSize(size), std::invalid_argument);
}

}  // namespace

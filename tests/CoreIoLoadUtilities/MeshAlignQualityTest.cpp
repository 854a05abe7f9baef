// The alignment end to end, with the real aligner and tube converter: generated bodies with known
// geometry, each state meshed on its own, read through a memory loader.
#include "MeshAlignUtils.h"

#include "ModuleLogCapture.h"
#include "SampleBodies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using AlignmentTestSupport::ModuleLogCapture;
using CoreIoSamples::SampleBody;

constexpr double twoPi = 2.0 * std::numbers::pi;

struct Bodies {
    CoreIo::MemoryLoader loader;
    SampleBody before;
    SampleBody after;

    Bodies(SampleBody first, SampleBody second) : before(std::move(first)), after(std::move(second))
    {
        CoreIoSamples::registerBody(loader, "before", before);
        CoreIoSamples::registerBody(loader, "after", after);
    }

    CoreIo::MeshAlignResult align(int isTube, bool completeMatching) const
    {
        return CoreIo::getMeshAlignResult(loader, loader.body("before"), loader.body("after"), isTube, completeMatching);
    }
};

bool logged(const ModuleLogCapture& log, spdlog::level::level_enum level, const std::string& message)
{
    const auto entries = log.levelsAndMessages();
    return std::find(entries.begin(), entries.end(), std::make_pair(level, message)) != entries.end();
}

// Every entry names a vertex of the before body whose initial coordinates lie within `reach` of
// those of the after vertex it stands for (`period` apart counts as the same place on a tube).
void expectNearbyMatches(const std::vector<int>& matching, const SampleBody& before, const SampleBody& after,
                         double reach, double period = 0.0)
{
    ASSERT_EQ(matching.size(), after.numNodes());
    for (std::size_t k = 0; k < matching.size(); ++k) {
        ASSERT_GE(matching[k], 0) << "after vertex " << k;
        ASSERT_LT(static_cast<std::size_t>(matching[k]), before.numNodes()) << "after vertex " << k;
        const auto m = static_cast<std::size_t>(matching[k]);
        double du = std::abs(before.initCoord0[m] - after.initCoord0[k]);
        if (period > 0.0)
            du = std::min(du, period - du);
        EXPECT_LE(std::hypot(du, before.initCoord1[m] - after.initCoord1[k]), reach) << "after vertex " << k;
    }
}

TEST(MeshAlignQuality, SheetsMeshedDifferentlyMatchCompletelyOntoTheBeforeSurface)
{
    const CoreIoSamples::SheetShape formed{1.0, 1.0, 0.1};
    const CoreIoSamples::SheetShape deeper{1.0, 1.0, 0.3};
    const Bodies bodies(CoreIoSamples::makeSheet(formed, {12, 9, 0.2, 1}), CoreIoSamples::makeSheet(deeper, {17, 13, 0.3, 2}));
    const ModuleLogCapture log(COREIO_MESH_ALIGN_UTILS_SOURCE);

    const CoreIo::MeshAlignResult result = bodies.align(-1, true);

    EXPECT_TRUE(logged(log, spdlog::level::trace, "Determined if geometry is a tube: 0"));
    ASSERT_NE(result.vertexMatching, nullptr);
    // A before cell is 1/12 by 1/9, its corners at most a jittered diagonal away.
    expectNearbyMatches(*result.vertexMatching, bodies.before, bodies.after, 0.2);

    ASSERT_NE(result.alignedMesh, nullptr);
    ASSERT_EQ(result.alignedMesh->numberOfVertices(), bodies.after.numNodes());
    // The before surface between its nodes is approximated by flat triangles: the chord error is
    // at most an eighth of depth * pi^2 times the squared cell diagonal, below 0.005 here.
    const double chordError = 0.005;
    for (unsigned int k = 0; k < bodies.after.numNodes(); ++k) {
        const Calvora::Vertex& aligned = result.alignedMesh->getVertex(k);
        const double u = bodies.after.initCoord0[k];
        const double v = bodies.after.initCoord1[k];
        EXPECT_NEAR(aligned.x, u, 1e-6) << "vertex " << k;
        EXPECT_NEAR(aligned.y, v, 1e-6) << "vertex " << k;
        const double surface = formed.depth * std::sin(std::numbers::pi * u) * std::sin(std::numbers::pi * v);
        EXPECT_NEAR(aligned.z, surface, chordError) << "vertex " << k;
    }
}

TEST(MeshAlignQuality, AnExpandedTubeIsRecognisedAndMatchedAcrossItsSeam)
{
    const CoreIoSamples::TubeShape original{1.0, 2.0, 1.0};
    const CoreIoSamples::TubeShape expanded{1.3, 2.0, 1.0};
    // The phase shifts the after rings against the before seam, so that after vertices fall into
    // the before triangles that close the tube.
    const Bodies bodies(CoreIoSamples::makeTube(original, {24, 10, 0.0}), CoreIoSamples::makeTube(expanded, {31, 13, 0.1}));
    const ModuleLogCapture log(COREIO_MESH_ALIGN_UTILS_SOURCE);

    CoreIo::MeshAlignResult result;
    ASSERT_NO_THROW(result = bodies.align(-1, true));

    EXPECT_TRUE(logged(log, spdlog::level::trace, "Determined if geometry is a tube: 1"));
    ASSERT_NE(result.vertexMatching, nullptr);
    // A before cell spans 2 pi / 24 around and 0.2 along.
    expectNearbyMatches(*result.vertexMatching, bodies.before, bodies.after, 0.35, twoPi * original.initialRadius);

    ASSERT_NE(result.alignedMesh, nullptr);
    ASSERT_EQ(result.alignedMesh->numberOfVertices(), bodies.after.numNodes());
    // Chords of the before rings cut inside the cylinder by at most the sagitta r (1 - cos(pi / 24)).
    const double sagitta = original.radius * (1.0 - std::cos(std::numbers::pi / 24));
    for (unsigned int k = 0; k < bodies.after.numNodes(); ++k) {
        SCOPED_TRACE("vertex " + std::to_string(k));
        const Calvora::Vertex& aligned = result.alignedMesh->getVertex(k);
        const double radius = std::hypot(aligned.x, aligned.y);
        EXPECT_LE(radius, original.radius + 1e-6);
        EXPECT_GE(radius, original.radius - sagitta - 1e-6);
        EXPECT_NEAR(aligned.z, bodies.after.initCoord1[k], 1e-5);
        const double angle = std::atan2(aligned.y, aligned.x);
        const double turn = std::remainder(angle - bodies.after.initCoord0[k] / original.initialRadius, twoPi);
        EXPECT_LE(std::abs(turn), 1e-3);
    }
}

TEST(MeshAlignQuality, PointsFarOutsideTheBeforeBodyLeaveTheMatchingIncomplete)
{
    // The after blank reaches two widths beyond the before blank.
    const Bodies bodies(CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {8, 8, 0.0, 1}),
                        CoreIoSamples::makeSheet({3.0, 1.0, 0.1}, {12, 4, 0.0, 1}));
    const ModuleLogCapture log(COREIO_MESH_ALIGN_UTILS_SOURCE);

    try {
        bodies.align(0, true);
        FAIL() << "points outside the before body cannot be completed";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), "Incomplete matching from getMeshAlignResult");
    }
    EXPECT_TRUE(logged(log, spdlog::level::err, "Incomplete matching from getMeshAlignResult"));

    const CoreIo::MeshAlignResult uncompleted = bodies.align(0, false);
    ASSERT_NE(uncompleted.vertexMatching, nullptr);
    for (std::size_t k = 0; k < bodies.after.numNodes(); ++k) {
        if (bodies.after.initCoord0[k] > 1.5f) {
            EXPECT_LT((*uncompleted.vertexMatching)[k], 0) << "after vertex " << k;
        }
    }
}

}  // namespace

// The alignment end to end, with the real aligner and tube converter: generated bodies with known
// geometry, each state meshed on its own, read through a memory loader.
#include "MeshAlignUtils.h"

#include "Business_EvaluationGeometry.h"
#include "SampleBodies.h"
#include "SampleMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <string>
#include <vector>

namespace {

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
    CoreIo::MeshAlignResult align(int isTube, bool complete) const
    {
        return CoreIo::getMeshAlignResult(loader, loader.body("before"), loader.body("after"), isTube, complete);
    }
};

TEST(MeshAlignQuality, SheetsMeshedDifferentlyMatchCompletelyOntoTheBeforeSurface)
{
    const CoreIoSamples::SheetShape formed{1.0, 1.0, 0.1};
    const CoreIoSamples::SheetShape deeper{1.0, 1.0, 0.3};
    const Bodies bodies(CoreIoSamples::makeSheet(formed, {12, 9, 0.2, 1}),
                        CoreIoSamples::makeSheet(deeper, {17, 13, 0.3, 2}));

    const CoreIo::MeshAlignResult result = bodies.align(-1, true);

    ASSERT_EQ(result.vertexMatching->size(), bodies.after.numNodes());
    ASSERT_EQ(result.alignedMesh->numberOfVertices(), bodies.after.numNodes());
    for (unsigned int k = 0; k < bodies.after.numNodes(); ++k) {
        // Each matches a before vertex at most a jittered cell diagonal (1/12 by 1/9) away.
        const auto m = static_cast<std::size_t>(result.vertexMatching->at(k));
        ASSERT_LT(m, bodies.before.numNodes()) << "after vertex " << k;
        const double u = bodies.after.initCoord0[k], v = bodies.after.initCoord1[k];
        EXPECT_LE(std::hypot(bodies.before.initCoord0[m] - u, bodies.before.initCoord1[m] - v), 0.2) << k;
        // Flat triangles between the before nodes are off the surface by at most an eighth of
        // depth * pi^2 times the squared cell diagonal, below 0.005 here.
        const Calvora::Vertex& aligned = result.alignedMesh->getVertex(k);
        const double surface = formed.depth * std::sin(std::numbers::pi * u) * std::sin(std::numbers::pi * v);
        EXPECT_NEAR(aligned.x, u, 1e-6) << "vertex " << k;
        EXPECT_NEAR(aligned.y, v, 1e-6) << "vertex " << k;
        EXPECT_NEAR(aligned.z, surface, 0.005) << "vertex " << k;
    }
}

struct TubeCase {
    const char* name;
    CoreIoSamples::TubeMeshing before;
    CoreIoSamples::TubeMeshing after;
    double afterRadius = 1.0;  // the before tube has radius 1, the after one is expanded or reduced
};

// Tubes as they come from real meshes: ragged seams, the wrap anywhere, meshed apart in each state.
const TubeCase tubeCases[] = {
    TubeCase("quarter-cell jitter, 48x30 against 61x23", {.around = 48, .along = 30, .jitter = 0.25, .seed = 1},
             {.around = 61, .along = 23, .jitter = 0.25, .seed = 2}, 1.3),
    TubeCase("quarter-cell jitter, 200x120 against 173x141", {.around = 200, .along = 120, .jitter = 0.25, .seed = 3},
             {.around = 173, .along = 141, .jitter = 0.25, .seed = 4}, 0.7),
    TubeCase("third-cell jitter, after wrapping half a turn away",
             {.around = 48, .along = 30, .phase = 0.5, .jitter = 0.33, .seed = 5},
             {.around = 40, .along = 25, .phase = 3.6, .jitter = 0.33, .seed = 6}, 1.1),
    TubeCase("a centred range against one shifted by more than three turns",
             {.around = 36, .along = 20, .phase = 0.05, .jitter = 0.2, .seed = 7, .angleStart = -std::numbers::pi},
             {.around = 45, .along = 18, .phase = 1.0, .jitter = 0.2, .seed = 8, .angleStart = 20.0}, 1.0),
    TubeCase("circumference along v",
             {.around = 40, .along = 24, .jitter = 0.25, .seed = 9, .circumferenceAlongV = true},
             {.around = 50, .along = 20, .phase = 2.0, .jitter = 0.25, .seed = 10, .circumferenceAlongV = true}, 1.2),
    TubeCase("ragged ends", {.around = 48, .along = 20, .jitter = 0.3, .seed = 11, .raggedEnds = true},
             {.around = 44, .along = 22, .phase = 0.3, .jitter = 0.3, .seed = 12, .raggedEnds = true}, 0.8),
    TubeCase("twelve nodes around", {.around = 12, .along = 30, .phase = 0.1, .jitter = 0.1, .seed = 13},
             {.around = 16, .along = 24, .phase = 4.0, .jitter = 0.1, .seed = 14}, 1.25),
};

TEST(MeshAlignQuality, TubesAsMeshesComeAreUnrolledAndMatchedOntoTheBeforeCylinder)
{
    const CoreIoSamples::TubeShape original{1.0, 2.0, 1.0};
    for (const TubeCase& tubeCase : tubeCases) {
        SCOPED_TRACE(tubeCase.name);
        const CoreIoSamples::TubeShape resized{tubeCase.afterRadius, 2.0, 1.0};
        const Bodies bodies(CoreIoSamples::makeTube(original, tubeCase.before),
                            CoreIoSamples::makeTube(resized, tubeCase.after));
        const bool alongV = tubeCase.before.circumferenceAlongV;

        const CoreIo::MeshAlignResult result = bodies.align(-1, true);

        ASSERT_NE(result.alignedMesh, nullptr);
        ASSERT_EQ(result.alignedMesh->numberOfVertices(), bodies.after.numNodes());
        // Chords between jittered nodes span up to 1 + 2 jitter cells of the before rings.
        const double chordAngle = std::numbers::pi * (1.0 + 2.0 * tubeCase.before.jitter) / tubeCase.before.around;
        const double sagitta = original.radius * (1.0 - std::cos(chordAngle));
        // Trimmed before ends leave after vertices outside; those take the nearest end.
        const double trimmed = tubeCase.before.raggedEnds ? tubeCase.before.jitter * 2.0 / tubeCase.before.along : 0.0;
        for (unsigned int k = 0; k < bodies.after.numNodes(); ++k) {
            const Calvora::Vertex& aligned = result.alignedMesh->getVertex(k);
            const double around = alongV ? bodies.after.initCoord1[k] : bodies.after.initCoord0[k];
            const double axial = alongV ? bodies.after.initCoord0[k] : bodies.after.initCoord1[k];
            const double radius = std::hypot(aligned.x, aligned.y);
            EXPECT_NEAR(radius, original.radius - sagitta / 2, sagitta / 2 + 1e-6) << "vertex " << k;
            EXPECT_NEAR(aligned.z, axial, 1e-5 + trimmed) << "vertex " << k;
            // A cell is 2 pi / 48 or coarser; a match across the seam off by a cell shows here.
            EXPECT_LE(std::abs(std::remainder(std::atan2(aligned.y, aligned.x) - around, twoPi)), 0.02) << k;
        }
    }
}

}  // namespace

#pragma once
// Relates two bodies, before and after a process step, through their material (initial)
// coordinates in one call of the library, and says for every after vertex how it was found: the
// library's matching, and what the platform's aligner and tube converter found for that call.

#include "Body.h"
#include "Business_Algorithm.h"
#include "Business_EvaluationGeometry.h"
#include "MeshAlignUtils.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CoreIoAlign {

enum class TubeMode { Auto, Yes, No };

// "auto", "yes" or "no"; throws UsageError for any other word.
TubeMode parseTubeMode(const std::string& word);

struct Alignment {
    // The library's matching. Its aligned mesh is released once the call returns: the front ends
    // place the aligned vertices from their locations, in the input's precision.
    CoreIo::MeshAlignResult result;
    std::vector<Calvora::VertexLocation> locations;  // one per after vertex
    bool tube = false;                               // the library's decision
    std::shared_ptr<const Calvora::TubeInitialCoordinatesConverter::Seam> seam;  // the after body's; null: no cut
    double biggestSquareError = 0.0;  // largest squared distance of a Near vertex to the before body
    std::array<std::size_t, 4> statusCounts{};  // by MatchStatus
    std::size_t completed = 0;  // after vertices matched to the nearest corner of their before triangle
    bool completionLeftOutside = false;  // completion asked for, but some vertex lies outside
    // The largest position error that rounding the material coordinates to 32 bits in the library
    // can cause, against the before body's mean edge length.
    double roundingBound = 0.0;
    double meanEdgeLength = 0.0;
    std::array<double, 2> materialFrame{};  // subtracted from material coordinates in the library
    std::shared_ptr<const Calvora::MaterialPointLocator> before;  // locates further material points

    // Share of after vertices that are not Outside; 1 when there is no vertex.
    double coverage() const;
    std::size_t count(Calvora::MatchStatus status) const;
};

// Aligns after with before.
// - tube: Auto takes a body whose initial coordinates come from a reference cylinder for a tube
//   and leaves other bodies to the library (it takes a body whose material plane wraps around for
//   a tube); Yes and No decide
// - complete: the library's completion of its matching; vertices outside the before body cannot
//   be completed: the matching then keeps -1 for them and completionLeftOutside says so
// Throws InputError for bodies that cannot be aligned: initial coordinates that are not finite,
// all at one point or on one line (no material plane), a before body without triangles, a tube
// the converter refuses (suggesting a sheet when the tube was only presumed), a material plane
// that folds over itself, no matching at all.
Alignment alignBodies(const Body& before, const Body& after, TubeMode tube, bool complete);

// Where each after element's centroid (the mean of its distinct nodes in material coordinates,
// taken on one side of a tube's seam) lies in the before state; one location per element.
std::vector<Calvora::VertexLocation> locateAfterElements(const Alignment& alignment, const Body& after);

// The after body's material plane as the alignment laid it out, unrolled for tubes: a point per
// vertex (u, v), then one per seam copy; the triangles over those points.
struct MaterialPlane {
    std::vector<std::array<double, 2>> points;
    std::vector<int> vertexOf;  // per point, the after vertex it stands for
    std::vector<int> triangles;  // three point numbers per triangle
};
MaterialPlane afterMaterialPlane(const Alignment& alignment, const Body& after);

}  // namespace CoreIoAlign

#pragma once
// Relates two bodies (before and after a process step) through their material coordinates and
// says, for every after vertex, how it was found: the library's matching and aligned mesh, and the
// platform aligner's own locations and error, which no log text has to be read for.

#include "Business_Algorithm.h"
#include "Business_EvaluationGeometry.h"
#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace CoreIoAlign {

enum class TubeMode { Auto, Yes, No };

// Input that cannot be aligned: missing or non-finite initial coordinates, a body without
// triangles, no matching.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The before state kept for locating further material points (element centroids).
struct BeforeState;

struct PairAlignment {
    CoreIo::MeshAlignResult result;                    // getMeshAlignResult's matching and aligned mesh
    std::vector<Calvora::VertexLocation> locations;    // one per after vertex
    bool tube = false;                                 // the decision taken (detectTube for auto)
    std::optional<Calvora::TubeInitialCoordinatesConverter::Seam> seam;  // the after body's, for tubes
    double biggestSquareError = 0.0;                   // largest squared distance of a Near point
    std::array<std::size_t, 4> statusCounts{};         // by MatchStatus
    std::shared_ptr<Calvora::Mesh> afterMaterialPlane; // after vertices at (IC0, IC1, 0), unrolled
                                                       // for tubes; vertices beyond the after body's
                                                       // count are seam copies
    std::shared_ptr<const BeforeState> before;

    // Share of after vertices that are not Outside; 1 when there is no vertex.
    double coverage() const;
    std::size_t count(Calvora::MatchStatus status) const;
};

struct NonFiniteInitialCoordinates {
    std::size_t count = 0;
    std::size_t firstVertex = 0;
};

// The vertices of a valid body whose initial coordinates are NaN or infinite; empty when none.
std::optional<NonFiniteInitialCoordinates> findNonFiniteInitialCoordinates(const CoreIo::MeshAndCoord& body);

// The isTube argument of getMeshAlignResult for a mode.
int isTubeArgument(TubeMode mode);

// Aligns after with before.
// - before, after: meshes with one pair of initial coordinates per vertex, in one length unit
// - tube: Auto decides by whether the after body's material plane wraps around
// - complete: the library's completion of its matching (the locations are the same either way)
// Returns the library's result (its matching holds -1 where no vertex could be matched), the
// location of every after vertex and what was decided.
// Throws InputError for missing data, initial coordinates that are not finite or all at one
// point, a before body without triangles, and for a tube the converter refuses (suggesting
// --tube no when the tube was only presumed).
PairAlignment alignPair(const CoreIo::MeshAndCoord& before, const CoreIo::MeshAndCoord& after, TubeMode tube,
                        bool complete);

// Where each after element's centroid lies in the before state.
// - firstCorner: per after element the start of its corners in corners, plus the end (n + 1 entries)
// - corners: after body vertex numbers
// Returns one location per element; across a tube's seam the corners are taken on one side.
// Throws std::invalid_argument for corners beyond the after body or offsets out of order.
std::vector<Calvora::VertexLocation> locateAfterElements(const PairAlignment& alignment,
                                                         std::span<const std::size_t> firstCorner,
                                                         std::span<const int> corners);

}  // namespace CoreIoAlign

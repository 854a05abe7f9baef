#pragma once
// What one alignment found, in figures a user can judge: sizes, how each vertex was matched, and
// how far the aligned mesh lies from the second body's own shape.

#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace CoreIoAlign {

struct PhaseTime {
    std::string name;
    double seconds = 0.0;
};

// Which part of a file was read, and in which state.
struct BodySummary {
    std::string blocks;  // names, ids and element types
    std::int64_t step = 0;  // 0: the file has no steps
    double time = 0.0;
    std::string displacement;        // the triple applied; empty: none
    std::string initialCoordinates;  // the two variables or the reference form
};

struct AlignmentReport {
    std::string title;
    BodySummary beforeBody, afterBody;
    std::size_t beforeVertices = 0, beforeTriangles = 0;
    std::size_t afterVertices = 0, afterTriangles = 0;
    std::optional<bool> tube;  // empty: not decided (missing data)
    std::size_t matched = 0;    // the aligner found the vertex itself
    std::size_t completed = 0;  // matched to the nearest corner of the triangle holding it
    std::size_t unmatched = 0;
    std::optional<double> biggestSquareError;
    double maxDisplacement = 0.0, meanDisplacement = 0.0, rmsDisplacement = 0.0;
    std::vector<PhaseTime> phases;
};

// Counts and displacement (after minus aligned) of a result whose matching is set.
AlignmentReport describeAlignment(const CoreIo::MeshAndCoord& before, const CoreIo::MeshAndCoord& after,
                                  const CoreIo::MeshAlignResult& result);

void printReport(std::ostream& out, const AlignmentReport& report);

}  // namespace CoreIoAlign

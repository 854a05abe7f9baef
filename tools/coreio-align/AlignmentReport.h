#pragma once
// What one alignment found, in figures a user can judge: sizes, how each vertex was matched, and
// how far the aligned mesh lies from the second body's own shape.

#include "MeshAndCoord.h"
#include "PairAlignment.h"

#include <array>
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
    bool tube = false;
    std::array<std::size_t, 4> statusCounts{};  // by Calvora::MatchStatus
    double coverage = 1.0;                      // share of after vertices not outside
    double minCoverage = 1.0;                   // below it the alignment failed
    double biggestSquareError = 0.0;
    // Over the located vertices only (after minus aligned).
    double maxDisplacement = 0.0, meanDisplacement = 0.0, rmsDisplacement = 0.0;
    std::vector<PhaseTime> phases;
};

// Counts and displacement (after minus aligned) of an alignment.
AlignmentReport describeAlignment(const CoreIo::MeshAndCoord& before, const CoreIo::MeshAndCoord& after,
                                  const PairAlignment& alignment);

bool belowCoverage(const AlignmentReport& report);

void printReport(std::ostream& out, const AlignmentReport& report);

}  // namespace CoreIoAlign

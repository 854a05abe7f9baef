#pragma once
// What one alignment found, in figures a user can judge: which part of each file was read, sizes,
// how each after vertex was matched, the tube decision, how far the after body lies from the
// aligned shape, and what limits the result.

#include "AlignedFields.h"
#include "Body.h"
#include "BodyAlignment.h"

#include <array>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace CoreIoAlign {

struct PhaseTime {
    std::string name;
    double seconds = 0.0;
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
    DisplacementFigures displacement;
    std::size_t completed = 0;           // after vertices given the nearest corner of their triangle
    bool completionLeftOutside = false;  // completion asked for, some vertices outside
    double roundingBound = 0.0;          // see Alignment
    double meanEdgeLength = 0.0;
    std::vector<PhaseTime> phases;
    std::vector<std::string> writtenFiles;
};

// Above this share of the mean edge length, the position error from 32-bit material coordinates
// is worth a warning.
constexpr double roundingWarningShare = 1e-3;

AlignmentReport describeAlignment(const Body& before, const Body& after, const Alignment& alignment,
                                  const DisplacementFigures& displacement);

bool belowCoverage(const AlignmentReport& report);

// The summary as coreio-align prints it.
void printReport(std::ostream& out, const AlignmentReport& report);

}  // namespace CoreIoAlign

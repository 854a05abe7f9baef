#include "AlignmentReport.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <ostream>

namespace CoreIoAlign {
namespace {

using Calvora::MatchStatus;

// A vertex that is not located keeps its own position, so it would only dilute the figures.
void measureDisplacement(AlignmentReport& report, const Calvora::Mesh& after, const PairAlignment& alignment)
{
    const Calvora::Mesh& aligned = *alignment.result.alignedMesh;
    const std::size_t count = std::min(
        {after.numberOfVertices(), aligned.numberOfVertices(), alignment.locations.size()});
    double sum = 0.0;
    double sumOfSquares = 0.0;
    std::size_t located = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (alignment.locations[i].status == MatchStatus::Outside)
            continue;
        const auto vertex = static_cast<unsigned>(i);
        const double squared = after.getVertex(vertex).sqrDistance(aligned.getVertex(vertex));
        const double distance = std::sqrt(squared);
        report.maxDisplacement = std::max(report.maxDisplacement, distance);
        sum += distance;
        sumOfSquares += squared;
        ++located;
    }
    if (located > 0) {
        report.meanDisplacement = sum / static_cast<double>(located);
        report.rmsDisplacement = std::sqrt(sumOfSquares / static_cast<double>(located));
    }
}

void printBody(std::ostream& out, const char* side, const BodySummary& body)
{
    out << "  " << side << " body:   " << body.blocks << '\n'
        << "    step " << body.step << " (time " << body.time << "), displacement "
        << (body.displacement.empty() ? "none" : body.displacement) << ", initial coordinates "
        << body.initialCoordinates << '\n';
}

std::size_t countOf(const AlignmentReport& report, MatchStatus status)
{
    return report.statusCounts[static_cast<std::size_t>(status)];
}

}  // namespace

AlignmentReport describeAlignment(const CoreIo::MeshAndCoord& before, const CoreIo::MeshAndCoord& after,
                                  const PairAlignment& alignment)
{
    AlignmentReport report;
    report.beforeVertices = before.mesh->numberOfVertices();
    report.beforeTriangles = before.mesh->numberOfTriangles();
    report.afterVertices = after.mesh->numberOfVertices();
    report.afterTriangles = after.mesh->numberOfTriangles();
    report.tube = alignment.tube;
    report.statusCounts = alignment.statusCounts;
    report.coverage = alignment.coverage();
    report.biggestSquareError = alignment.biggestSquareError;
    measureDisplacement(report, *after.mesh, alignment);
    return report;
}

bool belowCoverage(const AlignmentReport& report)
{
    return report.coverage < report.minCoverage;
}

void printReport(std::ostream& out, const AlignmentReport& report)
{
    const auto flags = out.flags();
    out << report.title << '\n';
    printBody(out, "before", report.beforeBody);
    printBody(out, "after", report.afterBody);
    out << std::setprecision(6) << "  before:        " << report.beforeVertices << " vertices, "
        << report.beforeTriangles << " triangles\n"
        << "  after:         " << report.afterVertices << " vertices, " << report.afterTriangles << " triangles\n"
        << "  tube:          " << (report.tube ? "yes" : "no") << '\n'
        << "  after vertices: " << countOf(report, MatchStatus::Coincident) << " coincident, "
        << countOf(report, MatchStatus::Inside) << " inside, " << countOf(report, MatchStatus::Near) << " near, "
        << countOf(report, MatchStatus::Outside) << " outside; coverage " << report.coverage << '\n'
        << "  biggest square error: " << report.biggestSquareError
        << " (squared distance of the near vertex farthest outside the before body; distance "
        << std::sqrt(report.biggestSquareError) << ")\n"
        << "  displacement (after - aligned) over located vertices: max " << report.maxDisplacement << ", mean "
        << report.meanDisplacement << ", rms " << report.rmsDisplacement << '\n';
    out << std::fixed << std::setprecision(3);
    for (const PhaseTime& phase : report.phases)
        out << "  time " << std::left << std::setw(10) << phase.name << std::right << phase.seconds << " s\n";
    out.flags(flags);
}

}  // namespace CoreIoAlign

#include "AlignmentReport.h"

#include "Text.h"

#include <cmath>
#include <iomanip>
#include <ostream>

namespace CoreIoAlign {
namespace {

using Calvora::MatchStatus;

void printBody(std::ostream& out, const char* label, const BodySummary& body)
{
    out << "  " << std::left << std::setw(15) << label << std::right << body.blocks << '\n' << "                 ";
    if (body.step > 0)
        out << "step " << body.step << " (time " << body.time << ")";
    else
        out << "no steps";
    if (body.unwrittenSteps > 0)
        out << ", the last written: " << counted(body.unwrittenSteps, "later step was", "later steps were")
            << " never written";
    out << ", displacement " << (body.displacement.empty() ? "none" : body.displacement) << ", initial coordinates "
        << body.initialCoordinateText() << '\n';
}

std::size_t countOf(const AlignmentReport& report, MatchStatus status)
{
    return report.statusCounts[static_cast<std::size_t>(status)];
}

void printMatching(std::ostream& out, const AlignmentReport& report)
{
    out << "  after vertices: " << countOf(report, MatchStatus::Coincident) << " coincident, "
        << countOf(report, MatchStatus::Inside) << " inside, " << countOf(report, MatchStatus::Near) << " near, "
        << countOf(report, MatchStatus::Outside) << " outside; coverage " << report.coverage << '\n';
    if (report.completionLeftOutside)
        out << "  completion:    not done: "
            << counted(countOf(report, MatchStatus::Outside), "vertex lies", "vertices lie")
            << " outside the before body and has no triangle to take a corner of\n";
    else if (report.completed > 0)
        out << "  completion:    " << counted(report.completed, "after vertex", "after vertices")
            << " matched to the nearest corner of the before triangle that holds them\n";
}

void printPrecision(std::ostream& out, const AlignmentReport& report)
{
    const double share = report.meanEdgeLength > 0.0 ? report.roundingBound / report.meanEdgeLength : 0.0;
    out << "  material coordinates: 32-bit in the library; their rounding moves aligned positions by at most "
        << report.roundingBound << " (" << 100.0 * share << " % of the mean edge length)\n";
    if (share > roundingWarningShare)
        out << "  warning:       that is more than " << 100.0 * roundingWarningShare
            << " % of the mean edge length: material coordinates far from their centre or a strongly stretched "
               "material plane limit the accuracy\n";
}

}  // namespace

AlignmentReport describeAlignment(const Body& before, const Body& after, const Alignment& alignment,
                                  const DisplacementFigures& displacement)
{
    AlignmentReport report;
    report.beforeBody = before.summary;
    report.afterBody = after.summary;
    report.beforeVertices = before.numVertices();
    report.beforeTriangles = before.record.mesh->numberOfTriangles();
    report.afterVertices = after.numVertices();
    report.afterTriangles = after.record.mesh->numberOfTriangles();
    report.tube = alignment.tube;
    report.statusCounts = alignment.statusCounts;
    report.coverage = alignment.coverage();
    report.biggestSquareError = alignment.biggestSquareError;
    report.displacement = displacement;
    report.completed = alignment.completed;
    report.completionLeftOutside = alignment.completionLeftOutside;
    report.roundingBound = alignment.roundingBound;
    report.meanEdgeLength = alignment.meanEdgeLength;
    return report;
}

bool belowCoverage(const AlignmentReport& report)
{
    return report.coverage < report.minCoverage;
}

void printReport(std::ostream& out, const AlignmentReport& report)
{
    const auto flags = out.flags();
    const auto precision = out.precision(6);
    out << report.title << '\n';
    printBody(out, "before body:", report.beforeBody);
    printBody(out, "after body:", report.afterBody);
    out << "  before:        " << report.beforeVertices << " vertices, " << report.beforeTriangles << " triangles\n"
        << "  after:         " << report.afterVertices << " vertices, " << report.afterTriangles << " triangles\n"
        << "  tube:          " << (report.tube ? "yes" : "no") << '\n';
    printMatching(out, report);
    out << "  biggest square error: " << report.biggestSquareError
        << " (squared distance of the near vertex farthest outside the before body; distance "
        << std::sqrt(report.biggestSquareError) << ")\n"
        << "  displacement (after - aligned) over the " << report.displacement.vertices
        << " vertices inside the before body: max " << report.displacement.max << ", mean " << report.displacement.mean
        << ", rms " << report.displacement.rms << '\n';
    printPrecision(out, report);
    out << std::fixed << std::setprecision(3);
    for (const PhaseTime& phase : report.phases)
        out << "  time " << std::left << std::setw(10) << phase.name << std::right << phase.seconds << " s\n";
    out.flags(flags);
    out.precision(precision);
    if (!report.writtenFiles.empty())
        out << "  written:       " << joined(report.writtenFiles) << '\n';
}

}  // namespace CoreIoAlign

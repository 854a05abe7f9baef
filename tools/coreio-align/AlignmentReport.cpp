#include "AlignmentReport.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <ostream>

namespace CoreIoAlign {
namespace {

double boundingDiagonal(const Calvora::Mesh& mesh)
{
    if (mesh.numberOfVertices() == 0)
        return 0.0;
    Calvora::Point<double, 3> low = *mesh.beginVertex(), high = low;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex) {
        low = {std::min(low.x, vertex->x), std::min(low.y, vertex->y), std::min(low.z, vertex->z)};
        high = {std::max(high.x, vertex->x), std::max(high.y, vertex->y), std::max(high.z, vertex->z)};
    }
    return std::sqrt(low.sqrDistance(high));
}

// A vertex the aligner matched itself is interpolated at that very vertex, so the aligned
// position equals the matched before vertex; a completed one lies inside its triangle.
void countMatches(AlignmentReport& report, const Calvora::Mesh& before, const Calvora::Mesh& aligned,
                  const std::vector<int>& matching)
{
    const double tolerance = 1e-9 * boundingDiagonal(before);
    for (std::size_t i = 0; i < matching.size(); ++i) {
        const int match = matching[i];
        if (match < 0 || static_cast<std::size_t>(match) >= before.numberOfVertices()) {
            ++report.unmatched;
            continue;
        }
        const double distance = std::sqrt(before.getVertex(match).sqrDistance(aligned.getVertex(static_cast<unsigned>(i))));
        ++(distance <= tolerance ? report.matched : report.completed);
    }
}

void measureDisplacement(AlignmentReport& report, const Calvora::Mesh& after, const Calvora::Mesh& aligned)
{
    const std::size_t count = std::min(after.numberOfVertices(), aligned.numberOfVertices());
    double sum = 0.0;
    double sumOfSquares = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto vertex = static_cast<unsigned>(i);
        const double squared = after.getVertex(vertex).sqrDistance(aligned.getVertex(vertex));
        const double distance = std::sqrt(squared);
        report.maxDisplacement = std::max(report.maxDisplacement, distance);
        sum += distance;
        sumOfSquares += squared;
    }
    if (count > 0) {
        report.meanDisplacement = sum / static_cast<double>(count);
        report.rmsDisplacement = std::sqrt(sumOfSquares / static_cast<double>(count));
    }
}

void printBody(std::ostream& out, const char* side, const BodySummary& body)
{
    out << "  " << side << " body:   " << body.blocks << '\n'
        << "    step " << body.step << " (time " << body.time << "), displacement "
        << (body.displacement.empty() ? "none" : body.displacement) << ", initial coordinates "
        << body.initialCoordinates << '\n';
}

}  // namespace

AlignmentReport describeAlignment(const CoreIo::MeshAndCoord& before, const CoreIo::MeshAndCoord& after,
                                  const CoreIo::MeshAlignResult& result)
{
    AlignmentReport report;
    if (before.mesh) {
        report.beforeVertices = before.mesh->numberOfVertices();
        report.beforeTriangles = before.mesh->numberOfTriangles();
    }
    if (after.mesh) {
        report.afterVertices = after.mesh->numberOfVertices();
        report.afterTriangles = after.mesh->numberOfTriangles();
    }
    if (result.vertexMatching && result.alignedMesh && before.mesh && after.mesh) {
        countMatches(report, *before.mesh, *result.alignedMesh, *result.vertexMatching);
        measureDisplacement(report, *after.mesh, *result.alignedMesh);
    }
    return report;
}

void printReport(std::ostream& out, const AlignmentReport& report)
{
    const auto flags = out.flags();
    out << report.title << '\n';
    printBody(out, "before", report.beforeBody);
    printBody(out, "after", report.afterBody);
    out << std::setprecision(6)
        << "  before:        " << report.beforeVertices << " vertices, " << report.beforeTriangles << " triangles\n"
        << "  after:         " << report.afterVertices << " vertices, " << report.afterTriangles << " triangles\n"
        << "  tube:          " << (!report.tube ? "undecided" : *report.tube ? "yes" : "no") << '\n'
        << "  matching:      " << report.matched << " matched, " << report.completed << " completed, "
        << report.unmatched << " unmatched\n";
    out << "  biggest square error: ";
    if (report.biggestSquareError)
        out << *report.biggestSquareError << '\n';
    else
        out << "none\n";
    out << "  displacement (after - aligned): max " << report.maxDisplacement << ", mean " << report.meanDisplacement
        << ", rms " << report.rmsDisplacement << '\n';
    out << std::fixed << std::setprecision(3);
    for (const PhaseTime& phase : report.phases)
        out << "  time " << std::left << std::setw(10) << phase.name << std::right << phase.seconds << " s\n";
    out.flags(flags);
}

}  // namespace CoreIoAlign

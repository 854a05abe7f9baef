#include "BodyAlignment.h"

#include "Errors.h"
#include "Text.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace CoreIoAlign {
namespace {

using Calvora::MatchStatus;
using Calvora::TubeInitialCoordinatesConverter;

// 32-bit floats keep 24 significant bits.
constexpr double floatRounding = 0x1p-24;

// Calls visit(a, b, c) with the vertex numbers of each triangle of the body.
template <typename Visit>
void forEachTriangle(const Body& body, Visit visit)
{
    const Calvora::Mesh& mesh = *body.record.mesh;
    for (auto triangle = mesh.beginTriangle(), end = mesh.endTriangle(); triangle != end; ++triangle)
        visit(static_cast<std::size_t>(triangle->corners[0]->index),
              static_cast<std::size_t>(triangle->corners[1]->index),
              static_cast<std::size_t>(triangle->corners[2]->index));
}

std::string nodeText(const Body& body, std::size_t vertex)
{
    return "node " + std::to_string(body.nodeIds[vertex]);
}

void checkInitialCoordinates(const Body& body, const char* which)
{
    const std::size_t count = body.numVertices();
    const std::vector<double>& ic = body.initialCoordinates;
    std::size_t nonFinite = 0;
    std::size_t first = 0;
    for (std::size_t i = count; i-- > 0;)
        if (!std::isfinite(ic[2 * i]) || !std::isfinite(ic[2 * i + 1])) {
            ++nonFinite;
            first = i;
        }
    if (nonFinite > 0)
        throw InputError(std::string("the ") + which + " body has " + counted(nonFinite, "node", "nodes") +
                         " whose initial coordinates are not finite numbers, the first is " + nodeText(body, first) +
                         "; check the initial-coordinate variables");
}

// Whether some triangle of the material plane has an area above rounding against the square of
// the plane's extent: none has when every point lies on one line.
bool hasArea(const Body& body)
{
    const std::vector<double>& ic = body.initialCoordinates;
    double extent = 0.0;
    for (std::size_t k = 2; k < ic.size(); ++k)
        extent = std::max(extent, std::abs(ic[k] - ic[k % 2]));
    double largest = 0.0;
    forEachTriangle(body, [&](std::size_t a, std::size_t b, std::size_t c) {
        const double area = (ic[2 * b] - ic[2 * a]) * (ic[2 * c + 1] - ic[2 * a + 1]) -
                            (ic[2 * b + 1] - ic[2 * a + 1]) * (ic[2 * c] - ic[2 * a]);
        largest = std::max(largest, std::abs(area));
    });
    return largest > 1e-12 * extent * extent;
}

void checkMaterialPlane(const Body& body, const char* which)
{
    checkInitialCoordinates(body, which);
    if (body.record.mesh->numberOfTriangles() == 0 || hasArea(body))
        return;
    const std::string source = body.summary.initialCoordinates ? " (" + body.summary.initialCoordinateText() + ")" : "";
    throw InputError(std::string("the material plane of the ") + which + " body has no area: its initial coordinates" +
                     source +
                     " put every node on one line or point; a flat blank needs --ic reference-xy, -yz "
                     "or -zx across its plane, a tube --ic reference-cylinder-x, -y or -z along its axis");
}

// The after body's record with its initial coordinates in the before body's frame, so that both
// share one.
CoreIo::MeshAndCoord inFrameOf(const Body& after, const Body& before)
{
    if (after.materialOrigin == before.materialOrigin)
        return after.record;
    auto first = std::make_shared<std::vector<float>>();
    auto second = std::make_shared<std::vector<float>>();
    first->reserve(after.numVertices());
    second->reserve(after.numVertices());
    for (std::size_t i = 0; i < after.numVertices(); ++i) {
        first->push_back(static_cast<float>(after.initialCoordinates[2 * i] - before.materialOrigin[0]));
        second->push_back(static_cast<float>(after.initialCoordinates[2 * i + 1] - before.materialOrigin[1]));
    }
    return {std::move(first), std::move(second), after.record.mesh};
}

int isTubeArgument(TubeMode mode)
{
    switch (mode) {
    case TubeMode::Yes: return 1;
    case TubeMode::No: return 0;
    case TubeMode::Auto: break;
    }
    return -1;
}

// The square of the largest singular value of the map from a before triangle's material plane to
// its shape.
double squaredStretchOf(const Body& body, std::size_t a, std::size_t b, std::size_t c)
{
    const std::vector<double>& p = body.positions;
    const std::vector<double>& ic = body.initialCoordinates;
    const double du1 = ic[2 * b] - ic[2 * a], dv1 = ic[2 * b + 1] - ic[2 * a + 1];
    const double du2 = ic[2 * c] - ic[2 * a], dv2 = ic[2 * c + 1] - ic[2 * a + 1];
    const double determinant = du1 * dv2 - du2 * dv1;
    if (determinant == 0.0)
        return 0.0;
    // Columns of the Jacobian: the shape's derivatives along u and along v.
    std::array<double, 3> alongU{}, alongV{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const double e1 = p[3 * b + axis] - p[3 * a + axis], e2 = p[3 * c + axis] - p[3 * a + axis];
        alongU[axis] = (e1 * dv2 - e2 * dv1) / determinant;
        alongV[axis] = (e2 * du1 - e1 * du2) / determinant;
    }
    const auto dot = [](const std::array<double, 3>& x, const std::array<double, 3>& y) {
        return x[0] * y[0] + x[1] * y[1] + x[2] * y[2];
    };
    const double uu = dot(alongU, alongU), vv = dot(alongV, alongV), uv = dot(alongU, alongV);
    const double half = 0.5 * (uu + vv);
    return half + std::sqrt(0.25 * (uu - vv) * (uu - vv) + uv * uv);
}

double distance(const std::vector<double>& positions, std::size_t from, std::size_t to)
{
    double squared = 0.0;
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const double d = positions[3 * to + axis] - positions[3 * from + axis];
        squared += d * d;
    }
    return std::sqrt(squared);
}

// The position error that rounding both bodies' material coordinates to 32 bits can cause: the
// rounding of a material point, at most half a unit in the last place of the largest coordinate
// in the shared frame, in both bodies, times the largest stretch of a before triangle.
void measureRounding(const Body& before, const Body& after, Alignment& alignment)
{
    double largest = 0.0;
    for (const Body* body : {&before, &after})
        for (std::size_t k = 0; k < body->initialCoordinates.size(); ++k)
            largest = std::max(largest, std::abs(body->initialCoordinates[k] - before.materialOrigin[k % 2]));
    double squaredStretch = 0.0;
    std::array<double, 3> edges{};  // summed by edge of the triangle, each sum a chain of its own
    forEachTriangle(before, [&](std::size_t a, std::size_t b, std::size_t c) {
        squaredStretch = std::max(squaredStretch, squaredStretchOf(before, a, b, c));
        edges[0] += distance(before.positions, a, b);
        edges[1] += distance(before.positions, b, c);
        edges[2] += distance(before.positions, c, a);
    });
    const double materialError = 2.0 * std::sqrt(2.0) * largest * floatRounding;
    alignment.roundingBound = std::sqrt(squaredStretch) * materialError;
    const auto triangles = static_cast<double>(before.record.mesh->numberOfTriangles());
    alignment.meanEdgeLength = triangles > 0.0 ? (edges[0] + edges[1] + edges[2]) / (3.0 * triangles) : 0.0;
}

// The matching as the aligner delivered it, before the library's completion: where the library
// refuses to complete (some vertex lies outside), the vertices that were found keep their match.
std::shared_ptr<std::vector<int>> uncompletedMatching(const Calvora::AlignmentRecord& record)
{
    auto matching = std::make_shared<std::vector<int>>();
    matching->reserve(record.locations.size());
    for (const Calvora::VertexLocation& location : record.locations) {
        const auto corner = std::ranges::max_element(location.weights) - location.weights.begin();
        matching->push_back(
            location.status == MatchStatus::Coincident ? location.vertices[static_cast<std::size_t>(corner)] : -1);
    }
    return matching;
}

// Runs the library's alignment once, watching what the platform finds for it.
// - returns the library's result and the record of its aligner call
// - throws InputError for a tube the converter refuses (with advice when the tube was presumed)
//   and for any other refusal of the library
std::pair<CoreIo::MeshAlignResult, Calvora::AlignmentRecord>
alignOnce(const CoreIo::MeshAndCoord& before, const CoreIo::MeshAndCoord& after, TubeMode tube, bool complete)
{
    Calvora::AlignmentRecorder recorder;
    try {
        CoreIo::MeshAlignResult result = CoreIo::getMeshAlignResult(before, after, isTubeArgument(tube), complete);
        std::optional<Calvora::AlignmentRecord> record = recorder.take();
        if (!record || !result.vertexMatching)
            throw InputError("the alignment gave no result: the two bodies share no material points");
        return {std::move(result), std::move(*record)};
    } catch (const std::invalid_argument& error) {
        const std::string advice = tube == TubeMode::Auto
                                       ? "; it was taken for a tube because its material plane folds over; if it "
                                         "is a sheet, align it as one (tube: no)"
                                       : "";
        throw InputError(std::string("the bodies cannot be unrolled as a tube: ") + error.what() + advice);
    } catch (const std::runtime_error& error) {
        // The library refuses to complete a matching with vertices outside the before body; its
        // aligner ran all the same.
        std::optional<Calvora::AlignmentRecord> record = recorder.take();
        if (!complete || !record)
            throw InputError(std::string("alignment failed: ") + error.what());
        CoreIo::MeshAlignResult result{uncompletedMatching(*record), record->alignedMesh};
        return {std::move(result), std::move(*record)};
    }
}

std::string foldMessage(std::size_t folded, std::size_t triangles, const char* which, bool tube, TubeMode mode)
{
    return std::string("the material plane of the ") + which + " body folds over itself: " + std::to_string(folded) +
           " of its " + std::to_string(triangles) + " triangles wind against the others" +
           (tube ? " even after unrolling it as a tube" : "") +
           ", so its initial coordinates give several places of the body one material point and no alignment "
           "can tell them apart; choose initial coordinates that lay the body out flat (another --ic: a "
           "reference plane across the part, a cylinder around a tube) or only the blocks that they do (--body)" +
           (mode == TubeMode::No ? "; if the part is a tube, align it as one (tube: auto or yes)" : "");
}

void refuseFolds(const Calvora::AlignmentRecord& record, const Body& before, const Body& after, TubeMode mode)
{
    const bool tube = record.seamAfter != nullptr;
    if (record.foldedBefore > 0)
        throw InputError(
            foldMessage(record.foldedBefore, before.record.mesh->numberOfTriangles(), "before", tube, mode));
    if (record.foldedAfter > 0)
        throw InputError(foldMessage(record.foldedAfter, after.record.mesh->numberOfTriangles(), "after", tube, mode));
}

}  // namespace

TubeMode parseTubeMode(const std::string& word)
{
    static const std::map<std::string, TubeMode> modes{{"auto", TubeMode::Auto},
                                                       {"yes", TubeMode::Yes},
                                                       {"no", TubeMode::No}};
    const auto mode = modes.find(word);
    if (mode == modes.end())
        throw UsageError("tube must be auto, yes or no, not '" + word + "'");
    return mode->second;
}

double Alignment::coverage() const
{
    if (locations.empty())
        return 1.0;
    return 1.0 - static_cast<double>(count(MatchStatus::Outside)) / static_cast<double>(locations.size());
}

std::size_t Alignment::count(MatchStatus status) const
{
    return statusCounts[static_cast<std::size_t>(status)];
}

Alignment alignBodies(const Body& before, const Body& after, TubeMode tube, bool complete)
{
    checkMaterialPlane(before, "before");
    checkMaterialPlane(after, "after");
    if (before.record.mesh->numberOfTriangles() == 0)
        throw InputError("the before body has no triangles to locate the after body in; select blocks of "
                         "shell or surface elements");
    if (tube == TubeMode::Auto && (before.wrapsAround || after.wrapsAround))
        tube = TubeMode::Yes;

    auto [result, record] = alignOnce(before.record, inFrameOf(after, before), tube, complete);
    Alignment alignment;
    alignment.materialFrame = before.materialOrigin;
    alignment.tube = record.seamAfter != nullptr;
    refuseFolds(record, before, after, tube);
    alignment.result = std::move(result);
    alignment.result.alignedMesh.reset();
    record.alignedMesh.reset();
    alignment.locations = std::move(record.locations);
    alignment.seam = std::move(record.seamAfter);
    alignment.biggestSquareError = record.biggestSquareError;
    alignment.before = std::move(record.before);
    for (const Calvora::VertexLocation& location : alignment.locations)
        ++alignment.statusCounts[static_cast<std::size_t>(location.status)];
    alignment.completionLeftOutside = complete && alignment.count(MatchStatus::Outside) > 0;
    if (complete && !alignment.completionLeftOutside)
        alignment.completed = alignment.count(MatchStatus::Inside) + alignment.count(MatchStatus::Near);
    measureRounding(before, after, alignment);
    return alignment;
}

std::vector<Calvora::VertexLocation> locateAfterElements(const Alignment& alignment, const Body& after)
{
    const ElementCorners elements = elementCorners(after);
    const bool unwrap = alignment.seam != nullptr;
    const bool alongU = unwrap && alignment.seam->axis == TubeInitialCoordinatesConverter::Axis::U;
    const double period = unwrap ? alignment.seam->period : 0.0;
    const std::array<double, 2>& frame = alignment.materialFrame;
    std::vector<Calvora::Point<double, 3>> centroids;
    centroids.reserve(elements.firstCorner.size() - 1);
    for (std::size_t e = 0; e + 1 < elements.firstCorner.size(); ++e) {
        double u = 0.0, v = 0.0, anchor = 0.0;
        const std::size_t begin = elements.firstCorner[e], end = elements.firstCorner[e + 1];
        for (std::size_t c = begin; c < end; ++c) {
            const auto vertex = static_cast<std::size_t>(elements.corners[c]);
            std::array<double, 2> point{after.initialCoordinates[2 * vertex], after.initialCoordinates[2 * vertex + 1]};
            double& around = alongU ? point[0] : point[1];
            if (c == begin)
                anchor = around;
            else if (unwrap)
                around -= period * std::round((around - anchor) / period);
            u += point[0];
            v += point[1];
        }
        const double n = static_cast<double>(end - begin);
        centroids.push_back({u / n - frame[0], v / n - frame[1], 0.0});
    }
    return alignment.before->locate(centroids);
}

MaterialPlane afterMaterialPlane(const Alignment& alignment, const Body& after)
{
    MaterialPlane plane;
    for (std::size_t i = 0; i < after.numVertices(); ++i) {
        plane.points.push_back({after.initialCoordinates[2 * i], after.initialCoordinates[2 * i + 1]});
        plane.vertexOf.push_back(static_cast<int>(i));
    }
    const Calvora::Mesh& mesh = *after.record.mesh;
    for (auto triangle = mesh.beginTriangle(), end = mesh.endTriangle(); triangle != end; ++triangle)
        for (const Calvora::Vertex* corner : triangle->corners)
            plane.triangles.push_back(corner->index);
    if (!alignment.seam)
        return plane;
    // The seam's copies follow the vertices, one period up; the crossing triangles take them.
    const auto& seam = *alignment.seam;
    const std::size_t around = seam.axis == Calvora::TubeInitialCoordinatesConverter::Axis::U ? 0 : 1;
    for (std::size_t copy = seam.originalVertices; copy < seam.vertexMap.size(); ++copy) {
        const int original = seam.vertexMap[copy];
        std::array<double, 2> point = plane.points[static_cast<std::size_t>(original)];
        point[around] += seam.period;
        plane.points.push_back(point);
        plane.vertexOf.push_back(original);
    }
    for (const auto& crossing : seam.crossings)
        for (unsigned corner = 0; corner < 3; ++corner)
            if ((crossing.lowCorners >> corner) & 1u) {
                int& point = plane.triangles[3 * crossing.triangle + corner];
                point = seam.copyOf(point);
            }
    return plane;
}

}  // namespace CoreIoAlign

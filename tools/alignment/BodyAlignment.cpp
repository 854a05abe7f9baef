#include "BodyAlignment.h"

#include "Errors.h"
#include "Text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace CoreIoAlign {

// The aligner keeps plain pointers: the shares below keep what it points to alive.
struct BeforeState {
    std::shared_ptr<const Calvora::Mesh> mesh;
    std::shared_ptr<Calvora::Mesh> materialPlane;
    std::shared_ptr<Calvora::Mesh> afterPlane;
    Calvora::MaterialFixedMeshAligner aligner;
};

namespace {

using Calvora::MatchStatus;
using Calvora::TubeInitialCoordinatesConverter;

// 32-bit floats keep 24 significant bits.
constexpr double floatRounding = 0x1p-24;
// Above this share of the mean edge length, the rounding of material coordinates is worth a word.
constexpr double roundingWarningShare = 1e-3;

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

// Twice the largest triangle area of the material plane against the square of its extent: 0 when
// every point lies on one line.
bool hasArea(const Body& body)
{
    const std::vector<double>& ic = body.initialCoordinates;
    double extent = 0.0;
    for (std::size_t k = 2; k < ic.size(); ++k)
        extent = std::max(extent, std::abs(ic[k] - ic[k % 2]));
    const std::vector<int> triangles = [&] {
        std::vector<int> corners;
        const Calvora::Mesh& mesh = *body.record.mesh;
        for (auto t = mesh.beginTriangle(), end = mesh.endTriangle(); t != end; ++t)
            for (const Calvora::Vertex* corner : t->corners)
                corners.push_back(corner->index);
        return corners;
    }();
    for (std::size_t t = 0; t + 2 < triangles.size(); t += 3) {
        const auto a = static_cast<std::size_t>(triangles[t]), b = static_cast<std::size_t>(triangles[t + 1]),
                   c = static_cast<std::size_t>(triangles[t + 2]);
        const double area = (ic[2 * b] - ic[2 * a]) * (ic[2 * c + 1] - ic[2 * a + 1]) -
                            (ic[2 * b + 1] - ic[2 * a + 1]) * (ic[2 * c] - ic[2 * a]);
        if (std::abs(area) > 1e-12 * extent * extent)
            return true;
    }
    return false;
}

void checkMaterialPlane(const Body& body, const char* which)
{
    checkInitialCoordinates(body, which);
    if (body.record.mesh->numberOfTriangles() > 0 && !hasArea(body))
        throw InputError(std::string("the material plane of the ") + which +
                         " body has no area: its initial "
                         "coordinates (" +
                         body.summary.initialCoordinates +
                         ") put every node on one line or "
                         "point; a flat blank needs --ic reference-xy, -yz or -zx across its plane, a tube "
                         "--ic reference-cylinder-x, -y or -z along its axis");
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

struct UnrolledPlane {
    std::shared_ptr<const std::vector<int>> vertexMap;
    std::optional<TubeInitialCoordinatesConverter::Seam> seam;
};

// Cuts a tube's material plane at its seam and unrolls it in place.
UnrolledPlane unroll(const std::shared_ptr<Calvora::Mesh>& plane, const char* which, TubeMode mode)
{
    UnrolledPlane unrolled;
    try {
        const TubeInitialCoordinatesConverter converter;
        unrolled.seam = converter.findSeam(*plane);
        converter.cut3dTubeAtSeamAndUnrollWithInitCoords(plane, unrolled.vertexMap);
    } catch (const std::invalid_argument& error) {
        const std::string advice = mode == TubeMode::Auto
                                       ? "; it was taken for a tube because its material plane folds over; if it "
                                         "is a sheet, say --tube no"
                                       : "";
        throw InputError(std::string("the ") + which + " body cannot be unrolled as a tube: " + error.what() + advice);
    }
    return unrolled;
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

// The largest singular value of the map from a before triangle's material plane to its shape.
double stretchOf(const Body& body, std::size_t a, std::size_t b, std::size_t c)
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
    return std::sqrt(half + std::sqrt(0.25 * (uu - vv) * (uu - vv) + uv * uv));
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
    const Calvora::Mesh& mesh = *before.record.mesh;
    double stretch = 0.0;
    double edges = 0.0;
    for (auto t = mesh.beginTriangle(), end = mesh.endTriangle(); t != end; ++t) {
        const auto a = static_cast<std::size_t>(t->corners[0]->index),
                   b = static_cast<std::size_t>(t->corners[1]->index),
                   c = static_cast<std::size_t>(t->corners[2]->index);
        stretch = std::max(stretch, stretchOf(before, a, b, c));
        for (const auto& [from, to] : {std::pair{a, b}, std::pair{b, c}, std::pair{c, a}}) {
            double squared = 0.0;
            for (std::size_t axis = 0; axis < 3; ++axis) {
                const double d = before.positions[3 * to + axis] - before.positions[3 * from + axis];
                squared += d * d;
            }
            edges += std::sqrt(squared);
        }
    }
    const double materialError = 2.0 * std::sqrt(2.0) * largest * floatRounding;
    alignment.roundingBound = stretch * materialError;
    alignment.meanEdgeLength = mesh.numberOfTriangles() > 0 ? edges / (3.0 * double(mesh.numberOfTriangles())) : 0.0;
}

CoreIo::MeshAlignResult libraryResult(const CoreIo::MeshAndCoord& before, const CoreIo::MeshAndCoord& after, int isTube,
                                      bool complete)
{
    try {
        return CoreIo::getMeshAlignResult(before, after, isTube, complete);
    } catch (const std::exception& error) {
        throw InputError(std::string("alignment failed: ") + error.what());
    }
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
    const CoreIo::MeshAndCoord afterRecord = inFrameOf(after, before);

    Alignment alignment;
    alignment.materialFrame = before.materialOrigin;
    auto state = std::make_shared<BeforeState>();
    state->mesh = before.record.mesh;
    state->materialPlane = CoreIo::initialCoordinateMesh(before.record);
    state->afterPlane = CoreIo::initialCoordinateMesh(afterRecord);
    alignment.tube = tube == TubeMode::Yes || (tube == TubeMode::Auto && CoreIo::detectTube(*state->afterPlane) != 0);

    Calvora::MaterialFixedMeshAligner& aligner = state->aligner;
    aligner.meshBefore = state->mesh.get();
    aligner.initCoordMeshBefore = state->materialPlane.get();
    aligner.meshAfter = after.record.mesh.get();
    aligner.initCoordMeshAfter = state->afterPlane.get();
    if (alignment.tube) {
        aligner.setInitCoordVertexTo3dVertexBefore(unroll(state->materialPlane, "before", tube).vertexMap);
        UnrolledPlane afterPlane = unroll(state->afterPlane, "after", tube);
        aligner.setInitCoordVertexTo3dVertexAfter(std::move(afterPlane.vertexMap));
        alignment.seam = afterPlane.seam;
    }
    aligner.computeMeshBeforeWithTopologyOfMeshAfter(alignment.biggestSquareError, nullptr, nullptr,
                                                     &alignment.locations);
    aligner.meshAfter = nullptr;
    aligner.initCoordMeshAfter = nullptr;
    aligner.setInitCoordVertexTo3dVertexAfter(nullptr);
    for (const Calvora::VertexLocation& location : alignment.locations)
        ++alignment.statusCounts[static_cast<std::size_t>(location.status)];

    const bool completable = complete && alignment.count(MatchStatus::Outside) == 0;
    alignment.completionLeftOutside = complete && !completable;
    if (completable)
        alignment.completed = alignment.count(MatchStatus::Inside) + alignment.count(MatchStatus::Near);
    alignment.result = libraryResult(before.record, afterRecord,
                                     isTubeArgument(alignment.tube ? TubeMode::Yes : TubeMode::No), completable);
    if (!alignment.result.vertexMatching || !alignment.result.alignedMesh)
        throw InputError("the alignment gave no result: the two bodies share no material points");
    measureRounding(before, after, alignment);
    alignment.before = std::move(state);
    return alignment;
}

std::vector<Calvora::VertexLocation> locateAfterElements(const Alignment& alignment, const Body& after)
{
    const ElementCorners elements = elementCorners(after);
    const bool unwrap = alignment.seam.has_value();
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
    return alignment.before->aligner.locateMaterialPoints(centroids);
}

MaterialPlane afterMaterialPlane(const Alignment& alignment, const Body& after)
{
    const Calvora::Mesh& plane = *alignment.before->afterPlane;
    MaterialPlane result;
    std::map<const Calvora::Vertex*, int> position;
    int next = 0;
    for (auto vertex = plane.beginVertex(), end = plane.endVertex(); vertex != end; ++vertex, ++next) {
        position.emplace(&*vertex, next);
        result.points.push_back({vertex->x + alignment.materialFrame[0], vertex->y + alignment.materialFrame[1]});
        result.vertexOf.push_back(static_cast<std::size_t>(next) < after.numVertices() ? next : vertex->index);
    }
    for (auto triangle = plane.beginTriangle(), end = plane.endTriangle(); triangle != end; ++triangle)
        for (const Calvora::Vertex* corner : triangle->corners)
            result.triangles.push_back(position.at(corner));
    return result;
}

}  // namespace CoreIoAlign

#include "PairAlignment.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace CoreIoAlign {

// The aligner keeps plain pointers: the shares below keep what it points to alive.
struct BeforeState {
    std::shared_ptr<const Calvora::Mesh> mesh;
    std::shared_ptr<Calvora::Mesh> materialPlane;
    Calvora::MaterialFixedMeshAligner aligner;
};

namespace {

using Calvora::MatchStatus;
using Calvora::TubeInitialCoordinatesConverter;

void checkInitialCoordinates(const CoreIo::MeshAndCoord& body, const char* which)
{
    if (!body.isValid())
        throw InputError(std::string("the ") + which + " body lacks its mesh or initial coordinates");
    const std::size_t count = body.mesh->numberOfVertices();
    const std::vector<float>& first = *body.initCoord0;
    const std::vector<float>& second = *body.initCoord1;
    if (first.size() < count || second.size() < count)
        throw InputError(std::string("the ") + which + " body has fewer initial coordinates than vertices");
    if (const auto nonFinite = findNonFiniteInitialCoordinates(body))
        throw InputError(std::string("the ") + which + " body has " + std::to_string(nonFinite->count) +
                         " vertices whose initial coordinates are not finite numbers, the first is vertex " +
                         std::to_string(nonFinite->firstVertex) + "; check the initial-coordinate variables");
    const auto [low0, high0] = std::minmax_element(first.begin(), first.begin() + static_cast<long>(count));
    const auto [low1, high1] = std::minmax_element(second.begin(), second.begin() + static_cast<long>(count));
    if (count > 1 && *low0 == *high0 && *low1 == *high1)
        throw InputError(std::string("all initial coordinates of the ") + which + " body lie at one point (" +
                         std::to_string(*low0) + ", " + std::to_string(*low1) +
                         "); the initial-coordinate variables hold no material positions");
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

bool decideTube(TubeMode mode, const Calvora::Mesh& afterPlane)
{
    return mode == TubeMode::Yes || (mode == TubeMode::Auto && CoreIo::detectTube(afterPlane) != 0);
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

std::optional<NonFiniteInitialCoordinates> findNonFiniteInitialCoordinates(const CoreIo::MeshAndCoord& body)
{
    const std::vector<float>& first = *body.initCoord0;
    const std::vector<float>& second = *body.initCoord1;
    const std::size_t count = std::min({body.mesh->numberOfVertices(), first.size(), second.size()});
    std::optional<NonFiniteInitialCoordinates> found;
    for (std::size_t i = 0; i < count; ++i) {
        if (std::isfinite(first[i]) && std::isfinite(second[i]))
            continue;
        if (!found)
            found = NonFiniteInitialCoordinates{0, i};
        ++found->count;
    }
    return found;
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

double PairAlignment::coverage() const
{
    if (locations.empty())
        return 1.0;
    return 1.0 - static_cast<double>(count(MatchStatus::Outside)) / static_cast<double>(locations.size());
}

std::size_t PairAlignment::count(MatchStatus status) const
{
    return statusCounts[static_cast<std::size_t>(status)];
}

PairAlignment alignPair(const CoreIo::MeshAndCoord& before, const CoreIo::MeshAndCoord& after, TubeMode tube,
                        bool complete)
{
    checkInitialCoordinates(before, "before");
    checkInitialCoordinates(after, "after");
    if (before.mesh->numberOfTriangles() == 0)
        throw InputError("the before body has no triangles to locate the after body in; select blocks of "
                         "shell or surface elements");

    PairAlignment alignment;
    auto state = std::make_shared<BeforeState>();
    state->mesh = before.mesh;
    state->materialPlane = CoreIo::initialCoordinateMesh(before);
    alignment.afterMaterialPlane = CoreIo::initialCoordinateMesh(after);
    alignment.tube = decideTube(tube, *alignment.afterMaterialPlane);

    Calvora::MaterialFixedMeshAligner& aligner = state->aligner;
    aligner.meshBefore = state->mesh.get();
    aligner.initCoordMeshBefore = state->materialPlane.get();
    aligner.meshAfter = after.mesh.get();
    aligner.initCoordMeshAfter = alignment.afterMaterialPlane.get();
    if (alignment.tube) {
        aligner.setInitCoordVertexTo3dVertexBefore(unroll(state->materialPlane, "before", tube).vertexMap);
        UnrolledPlane afterPlane = unroll(alignment.afterMaterialPlane, "after", tube);
        aligner.setInitCoordVertexTo3dVertexAfter(std::move(afterPlane.vertexMap));
        alignment.seam = afterPlane.seam;
    }
    aligner.computeMeshBeforeWithTopologyOfMeshAfter(alignment.biggestSquareError, nullptr, nullptr,
                                                     &alignment.locations);
    // Only the before state is kept: the after meshes belong to the caller.
    aligner.meshAfter = nullptr;
    aligner.initCoordMeshAfter = nullptr;
    aligner.setInitCoordVertexTo3dVertexAfter(nullptr);
    for (const Calvora::VertexLocation& location : alignment.locations)
        ++alignment.statusCounts[static_cast<std::size_t>(location.status)];

    // The library's completion refuses vertices that lie in no triangle: those stay unmatched.
    const bool completable = complete && alignment.count(MatchStatus::Outside) == 0;
    alignment.result = libraryResult(before, after, isTubeArgument(alignment.tube ? TubeMode::Yes : TubeMode::No),
                                     completable);
    if (!alignment.result.vertexMatching || !alignment.result.alignedMesh)
        throw InputError("the alignment gave no result: the two bodies share no material points");
    alignment.before = std::move(state);
    return alignment;
}

std::vector<Calvora::VertexLocation> locateAfterElements(const PairAlignment& alignment,
                                                         std::span<const std::size_t> firstCorner,
                                                         std::span<const int> corners)
{
    const Calvora::Mesh& plane = *alignment.afterMaterialPlane;
    const std::size_t afterVertices = alignment.locations.size();
    const bool unwrap = alignment.seam.has_value();
    const bool alongU = unwrap && alignment.seam->axis == TubeInitialCoordinatesConverter::Axis::U;
    const double period = unwrap ? alignment.seam->period : 0.0;
    std::vector<Calvora::Point<double, 3>> centroids;
    centroids.reserve(firstCorner.empty() ? 0 : firstCorner.size() - 1);
    for (std::size_t e = 0; e + 1 < firstCorner.size(); ++e) {
        const std::size_t begin = firstCorner[e];
        const std::size_t end = firstCorner[e + 1];
        if (end <= begin || end > corners.size())
            throw std::invalid_argument("element " + std::to_string(e) + " has its corners out of order or beyond " +
                                        std::to_string(corners.size()) + " corners");
        Calvora::Point<double, 3> sum{0.0, 0.0, 0.0};
        double anchor = 0.0;
        for (std::size_t c = begin; c < end; ++c) {
            if (corners[c] < 0 || static_cast<std::size_t>(corners[c]) >= afterVertices)
                throw std::invalid_argument("element " + std::to_string(e) + " names vertex " +
                                            std::to_string(corners[c]) + " beyond the after body's " +
                                            std::to_string(afterVertices) + " vertices");
            const Calvora::Vertex& vertex = plane.getVertex(static_cast<unsigned>(corners[c]));
            double u = vertex.x;
            double v = vertex.y;
            double& around = alongU ? u : v;
            if (c == begin)
                anchor = around;
            else if (unwrap)
                around -= period * std::round((around - anchor) / period);
            sum.x += u;
            sum.y += v;
        }
        const double cornerCount = static_cast<double>(end - begin);
        centroids.push_back({sum.x / cornerCount, sum.y / cornerCount, 0.0});
    }
    return alignment.before->aligner.locateMaterialPoints(centroids);
}

}  // namespace CoreIoAlign

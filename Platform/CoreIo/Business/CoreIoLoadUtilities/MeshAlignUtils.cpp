#include "MeshAlignUtils.h"

#include "Business_Algorithm.h"
#include "Business_EvaluationGeometry.h"
#include "FetchAhead.h"
#include "QRVService_Logging.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace CoreIo {
namespace {

// The module logger of this unit, named by the path of this source file.
const Calvora::Logging moduleLogger(__FILE__);

using Calvora::composeLogMessage;
using Calvora::logError;
using Calvora::logTrace;
using Calvora::logWarn;
using Calvora::MaterialFixedMeshAligner;
using CoreIoInternal::fetchCorners;
using CoreIoInternal::kFetchAhead;
using VertexMapSetter = void (MaterialFixedMeshAligner::*)(std::shared_ptr<const std::vector<int>>);

constexpr const char* incompleteMatchingMessage = "Incomplete matching from getMeshAlignResult";

// The body's initial-coordinate mesh; empty when the record lacks data.
std::shared_ptr<Calvora::Mesh> getICMesh(const MeshAndCoord& meshAndICs)
{
    if (!meshAndICs.isValid()) {
        logWarn(moduleLogger, "Missing data in meshAndICs");
        return nullptr;
    }
    return initialCoordinateMesh(meshAndICs);
}

// The sign of the z of getNormal() for a triangle of an initial-coordinate mesh: 1, -1 or 0.
// Its corners lie in z = 0, so getNormal() is (0, 0, z / |z|) for the z below when z is finite,
// and zero otherwise (its other components are then not a number). Initial coordinates are
// floats, so a finite z other than 0 lies between 1e-106 and 1e78 in size, and its square neither
// overflows nor underflows: the same sign without a square root and a division per triangle.
int facing(const Calvora::Triangle& triangle)
{
    const auto& corners = triangle.corners;
    if (corners[0] == nullptr || corners[1] == nullptr || corners[2] == nullptr)
        return 0;
    const double ax = corners[1]->x - corners[0]->x, ay = corners[1]->y - corners[0]->y;
    const double bx = corners[2]->x - corners[0]->x, by = corners[2]->y - corners[0]->y;
    const double z = ax * by - ay * bx;
    if (!std::isfinite(z))
        return 0;
    return (z > 0.0) - (z < 0.0);
}

// Cuts a tube's initial-coordinate mesh at its seam and unrolls it in place, then hands the
// converter's vertex map to the aligner while the converter still lives.
void unrollTube(const std::shared_ptr<Calvora::Mesh>& icMesh, MaterialFixedMeshAligner& aligner,
                VertexMapSetter handOverVertexMap)
{
    std::shared_ptr<const std::vector<int>> vertexMap;  // outlives the converter: released after it
    const auto converter = std::make_shared<Calvora::TubeInitialCoordinatesConverter>();
    converter->cut3dTubeAtSeamAndUnrollWithInitCoords(icMesh, vertexMap);
    (aligner.*handOverVertexMap)(vertexMap);
}

// Ordered so that a worse state never gives way to a better one.
enum class MatchingQuality { exact, inaccurate, incomplete };

struct VertexMatching {
    std::shared_ptr<std::vector<int>> indices;
    MatchingQuality quality = MatchingQuality::exact;
};

// The index of the corner of `triangle` nearest to `point`; on a tie the earlier corner wins.
int nearestCornerIndex(const Calvora::Triangle& triangle, const Calvora::Vertex& point)
{
    const Calvora::Vertex* nearest = triangle.corners[0];
    double nearestDistance = point.sqrDistance(*nearest);
    for (const Calvora::Vertex* corner : {triangle.corners[1], triangle.corners[2]}) {
        const double distance = point.sqrDistance(*corner);
        if (distance < nearestDistance) {
            nearest = corner;
            nearestDistance = distance;
        }
    }
    return nearest->index;
}

// The before triangle from whose corners an element is completed; null when it has none or
// needs none.
const Calvora::Triangle* completingTriangle(const MaterialFixedMeshAligner::MatchingEl& element,
                                            const Calvora::Mesh& icBefore)
{
    if (element.vertexIndex >= 0 || element.triangleIndex < 0)
        return nullptr;
    return &icBefore.getTriangle(static_cast<unsigned int>(element.triangleIndex));
}

// An after body numbered at random names its before triangles at random. The completion asks
// early for the triangle of the element kFetchAhead places ahead, and for the corners of the one
// half as far ahead, whose triangle is in the cache by then: the misses overlap.
void fetchAhead(const std::vector<MaterialFixedMeshAligner::MatchingEl>& matching, std::size_t k,
                const Calvora::Mesh& icBefore)
{
    if (k + kFetchAhead < matching.size())
        if (const Calvora::Triangle* triangle = completingTriangle(matching[k + kFetchAhead], icBefore))
            __builtin_prefetch(triangle);
    if (k + kFetchAhead / 2 < matching.size())
        if (const Calvora::Triangle* triangle = completingTriangle(matching[k + kFetchAhead / 2], icBefore))
            fetchCorners(*triangle);
}

// One before-vertex index per matching element. With completion, an element that has only a
// triangle takes that triangle's corner nearest to the element's own vertex of icAfter.
VertexMatching toVertexMatching(const std::vector<MaterialFixedMeshAligner::MatchingEl>& matching,
                                bool completeMatching, const Calvora::Mesh& icBefore, const Calvora::Mesh& icAfter)
{
    VertexMatching result{std::make_shared<std::vector<int>>(), MatchingQuality::exact};
    std::vector<int>& indices = *result.indices;
    indices.reserve(matching.size());
    for (const MaterialFixedMeshAligner::MatchingEl& element : matching) {
        if (completeMatching)
            fetchAhead(matching, indices.size(), icBefore);
        if (!completeMatching || element.vertexIndex >= 0) {
            indices.push_back(element.vertexIndex);
        } else if (element.triangleIndex < 0) {
            result.quality = MatchingQuality::incomplete;
            indices.push_back(element.vertexIndex);
        } else {
            result.quality = std::max(result.quality, MatchingQuality::inaccurate);
            const Calvora::Vertex& vertex = icAfter.getVertex(static_cast<unsigned int>(indices.size()));
            const Calvora::Triangle& triangle = icBefore.getTriangle(static_cast<unsigned int>(element.triangleIndex));
            indices.push_back(nearestCornerIndex(triangle, vertex));
        }
    }
    return result;
}

}  // namespace

int detectTube(const Calvora::Mesh& icMesh)
{
    bool seenPositive = false;
    bool seenNegative = false;
    for (auto triangle = icMesh.beginTriangle(), end = icMesh.endTriangle(); triangle != end; ++triangle) {
        const int z = facing(*triangle);
        if (z > 0)
            seenPositive = true;
        else if (z < 0)
            seenNegative = true;
        if (seenPositive && seenNegative)
            return 1;
    }
    return 0;
}

MeshAlignResult getMeshAlignResult(const MeshAndCoord& before, const MeshAndCoord& after, int isTube,
                                   const bool completeMatching)
{
    // The aligner holds plain pointers; these shares keep all four meshes alive until the end.
    const std::shared_ptr<Calvora::Mesh> meshBefore = before.mesh;
    const std::shared_ptr<Calvora::Mesh> meshAfter = after.mesh;
    const std::shared_ptr<Calvora::Mesh> icBefore = getICMesh(before);
    const std::shared_ptr<Calvora::Mesh> icAfter = getICMesh(after);
    logTrace(moduleLogger, "Calling getMeshAlignResult");

    int tube = isTube;
    if (isTube < 0 && icAfter) {
        tube = detectTube(*icAfter);
        logTrace(moduleLogger, composeLogMessage("Determined if geometry is a tube: ", tube));
    }
    if (!icBefore || !icAfter) {
        logTrace(moduleLogger, "VYQ-related Missing data in getMeshAlignResult");
        return {};
    }

    MaterialFixedMeshAligner aligner;
    aligner.meshBefore = meshBefore.get();
    aligner.initCoordMeshBefore = icBefore.get();
    if (tube != 0)
        unrollTube(icBefore, aligner, &MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexBefore);
    aligner.meshAfter = meshAfter.get();
    aligner.initCoordMeshAfter = icAfter.get();
    if (tube != 0)
        unrollTube(icAfter, aligner, &MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexAfter);

    double biggestSquareError = 0.0;
    std::vector<MaterialFixedMeshAligner::MatchingEl> matching;
    logTrace(moduleLogger,
             composeLogMessage("Calling computeMeshBeforeWithTopologyOfMeshAfter with mesh data ", meshBefore.get(),
                               ' ', icBefore.get(), ' ', meshAfter.get(), ' ', icAfter.get()));
    std::shared_ptr<Calvora::Mesh> alignedMesh = aligner.computeMeshBeforeWithTopologyOfMeshAfter(biggestSquareError,
                                                                                                  &matching);
    logTrace(moduleLogger, composeLogMessage("Called computeMeshBeforeWithTopologyOfMeshAfter with biggestSquareError ",
                                             biggestSquareError));
    if (matching.empty()) {
        logTrace(moduleLogger, "VYQ-related MaterialFixedMeshAligner delivered no indexing matching information.");
        return {};
    }

    VertexMatching vertexMatching = toVertexMatching(matching, completeMatching, *icBefore, *icAfter);
    if (vertexMatching.quality == MatchingQuality::incomplete) {
        logError(moduleLogger, incompleteMatchingMessage);
        throw std::runtime_error(incompleteMatchingMessage);
    }
    if (vertexMatching.quality == MatchingQuality::inaccurate)
        logWarn(moduleLogger, "Inaccurate matching from getMeshAlignResult");
    logTrace(moduleLogger, composeLogMessage("Data found in getMeshAlignResult with size: ",
                                             static_cast<std::uint64_t>(vertexMatching.indices->size())));
    return {std::move(vertexMatching.indices), std::move(alignedMesh)};
}

MeshAlignResult getMeshAlignResult(const LoaderInterface& loader, const SimBody& bodyBefore, const SimBody& bodyAfter,
                                   int isTube, bool completeMatching)
{
    const MeshAndCoord before = readMeshAndICs(loader, bodyBefore);
    const MeshAndCoord after = readMeshAndICs(loader, bodyAfter);
    return getMeshAlignResult(before, after, isTube, completeMatching);
}

}  // namespace CoreIo

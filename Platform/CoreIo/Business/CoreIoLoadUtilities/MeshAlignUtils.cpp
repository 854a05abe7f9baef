#include "MeshAlignUtils.h"

#include "Business_Algorithm.h"
#include "Business_EvaluationGeometry.h"
#include "QRVService_Logging.h"

#include <algorithm>
#include <cstdint>
#include <ios>
#include <source_location>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

namespace CoreIo {
namespace {

// The module logger of this unit, named by the path of this source file.
const Calvora::Logging moduleLogger(__FILE__);

using Calvora::MaterialFixedMeshAligner;
using LogOperation = void (Calvora::Logging::*)(const std::string&, const char*, const char*, int) const;
using VertexMapSetter = void (MaterialFixedMeshAligner::*)(std::shared_ptr<const std::vector<int>>);

constexpr const char* incompleteMatchingMessage = "Incomplete matching from getMeshAlignResult";

// Calls `operation` (logERROR, logWARN or logTRACE) on the module logger with the source file,
// the signature of the enclosing function and the line of the call.
void log(LogOperation operation, const std::string& message,
         const std::source_location& where = std::source_location::current())
{
    (moduleLogger.*operation)(message, where.file_name(), where.function_name(), static_cast<int>(where.line()));
}

// The parts written one after another as an output stream writes them (numbers in its default
// format, pointers as addresses). Throws std::bad_alloc rather than cut the message short.
template <typename... Parts>
std::string messageOf(const Parts&... parts)
{
    std::ostringstream message;
    message.exceptions(std::ios::badbit);
    (message << ... << parts);
    return message.str();
}

// The body's initial-coordinate mesh; empty when the record lacks data.
std::shared_ptr<Calvora::Mesh> getICMesh(const MeshAndCoord& meshAndICs)
{
    if (!meshAndICs.isValid()) {
        log(&Calvora::Logging::logWARN, "Missing data in meshAndICs");
        return nullptr;
    }
    return initialCoordinateMesh(meshAndICs);
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

// One before-vertex index per matching element. With completion, an element that has only a
// triangle takes that triangle's corner nearest to the element's own vertex of icAfter.
VertexMatching toVertexMatching(const std::vector<MaterialFixedMeshAligner::MatchingEl>& matching,
                                bool completeMatching, Calvora::Mesh& icBefore, Calvora::Mesh& icAfter)
{
    VertexMatching result{std::make_shared<std::vector<int>>(), MatchingQuality::exact};
    std::vector<int>& indices = *result.indices;
    indices.reserve(matching.size());
    for (const MaterialFixedMeshAligner::MatchingEl& element : matching) {
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
    const auto end = icMesh.endTriangle();
    for (auto triangle = icMesh.beginTriangle(); triangle != end; ++triangle) {
        const double z = triangle->getNormal().z;
        if (z > 0.0)
            seenPositive = true;
        else if (z < 0.0)
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
    log(&Calvora::Logging::logTRACE, "Calling getMeshAlignResult");

    int tube = isTube;
    if (isTube < 0 && icAfter) {
        tube = detectTube(*icAfter);
        log(&Calvora::Logging::logTRACE, messageOf("Determined if geometry is a tube: ", tube));
    }
    if (!icBefore || !icAfter) {
        log(&Calvora::Logging::logTRACE, "VYQ-related Missing data in getMeshAlignResult");
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
    log(&Calvora::Logging::logTRACE,
        messageOf("Calling computeMeshBeforeWithTopologyOfMeshAfter with mesh data ", meshBefore.get(), ' ',
                  icBefore.get(), ' ', meshAfter.get(), ' ', icAfter.get()));
    std::shared_ptr<Calvora::Mesh> alignedMesh = aligner.computeMeshBeforeWithTopologyOfMeshAfter(biggestSquareError,
                                                                                                  &matching);
    log(&Calvora::Logging::logTRACE,
        messageOf("Called computeMeshBeforeWithTopologyOfMeshAfter with biggestSquareError ", biggestSquareError));
    if (matching.empty()) {
        log(&Calvora::Logging::logTRACE,
            "VYQ-related MaterialFixedMeshAligner delivered no indexing matching information.");
        return {};
    }

    VertexMatching vertexMatching = toVertexMatching(matching, completeMatching, *icBefore, *icAfter);
    if (vertexMatching.quality == MatchingQuality::incomplete) {
        log(&Calvora::Logging::logERROR, incompleteMatchingMessage);
        throw std::runtime_error(incompleteMatchingMessage);
    }
    if (vertexMatching.quality == MatchingQuality::inaccurate)
        log(&Calvora::Logging::logWARN, "Inaccurate matching from getMeshAlignResult");
    log(&Calvora::Logging::logTRACE, messageOf("Data found in getMeshAlignResult with size: ",
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

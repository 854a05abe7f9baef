#include "Business_Algorithm.h"

#include "MaterialPlane.h"
#include "Recording.h"
#include "Stopwatch.h"

#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace Calvora {
namespace {

using CoreIoInternal::Stopwatch;
using Hit = MaterialPlane::Hit;

[[noreturn]] void reject(const std::string& problem)
{
    throw std::invalid_argument("MaterialFixedMeshAligner: " + problem);
}

std::string count(std::size_t n)
{
    return std::to_string(n);
}

void checkSet(const Mesh* mesh, const char* name)
{
    if (mesh == nullptr)
        reject(std::string(name) + " is not set");
}

void checkNumberable(const Mesh& mesh, const char* name)
{
    constexpr auto largest = static_cast<std::size_t>(std::numeric_limits<int>::max());
    if (mesh.numberOfVertices() > largest || mesh.numberOfTriangles() > largest)
        reject(std::string(name) + " has more vertices or triangles than a matching can number");
}

// Every vertex of the initial-coordinate mesh must stand for a vertex of the 3D mesh.
void checkVertexMap(const std::vector<int>& map, const Mesh& initCoordMesh, const Mesh& mesh3d, const char* side)
{
    const std::string state(side);
    const std::string initCoordName = "initCoordMesh" + state, meshName = "mesh" + state;
    const std::size_t needed = initCoordMesh.numberOfVertices();
    if (map.size() < needed)
        reject("the vertex map of " + meshName + " has " + count(map.size()) + " entries, fewer than the " +
               count(needed) + " vertices of " + initCoordName);
    const auto vertices3d = static_cast<long long>(mesh3d.numberOfVertices());
    for (std::size_t k = 0; k < needed; ++k)
        if (map[k] < 0 || map[k] >= vertices3d)
            reject("entry " + count(k) + " of the vertex map of " + meshName + " is " + std::to_string(map[k]) +
                   ", not a vertex of " + meshName + " (" + count(mesh3d.numberOfVertices()) + " vertices)");
}

void checkBeforeInputs(const MaterialFixedMeshAligner& aligner, const std::vector<int>* mapBefore)
{
    checkSet(aligner.meshBefore, "meshBefore");
    checkSet(aligner.initCoordMeshBefore, "initCoordMeshBefore");
    checkNumberable(*aligner.initCoordMeshBefore, "initCoordMeshBefore");
    const std::size_t icBefore = aligner.initCoordMeshBefore->numberOfVertices();
    if (mapBefore != nullptr)
        checkVertexMap(*mapBefore, *aligner.initCoordMeshBefore, *aligner.meshBefore, "Before");
    else if (icBefore != aligner.meshBefore->numberOfVertices())
        reject("initCoordMeshBefore has " + count(icBefore) + " vertices but meshBefore has " +
               count(aligner.meshBefore->numberOfVertices()) + "; without a vertex map they must be equal");
}

void checkInputs(const MaterialFixedMeshAligner& aligner, const std::vector<int>* mapBefore,
                 const std::vector<int>* mapAfter)
{
    checkBeforeInputs(aligner, mapBefore);
    checkSet(aligner.meshAfter, "meshAfter");
    checkSet(aligner.initCoordMeshAfter, "initCoordMeshAfter");
    checkNumberable(*aligner.meshAfter, "meshAfter");

    const std::size_t icAfter = aligner.initCoordMeshAfter->numberOfVertices();
    if (icAfter < aligner.meshAfter->numberOfVertices())
        reject("initCoordMeshAfter has " + count(icAfter) + " vertices, fewer than the " +
               count(aligner.meshAfter->numberOfVertices()) + " vertices of meshAfter");
    if (mapAfter != nullptr)
        checkVertexMap(*mapAfter, *aligner.initCoordMeshAfter, *aligner.meshAfter, "After");
}

// Write access to the vertices of a new aligned mesh while they are placed.
class AlignedVertices : public MeshModifier {
public:
    AlignedVertices(Mesh& mesh, std::size_t count) : MeshModifier(mesh) { resizeVertices(count); }

    using MeshModifier::vertices;
};

// The after body as the location reads it: vertex k's initial coordinates and its own position.
class AfterBody {
public:
    AfterBody(const Mesh& mesh, const Mesh& initCoordMesh)
        : own_(verticesByPosition(mesh)), initCoords_(verticesByPosition(initCoordMesh))
    {
    }

    const Vertex& initCoordsOf(std::size_t k) const { return initCoords_[k]; }
    const Vertex& positionOf(std::size_t k) const { return own_[k]; }

private:
    PositionalAccess<const Mesh::VertexContainer> own_;
    PositionalAccess<const Mesh::VertexContainer> initCoords_;
};

// What the location fills besides the aligned positions; null members are not wanted.
struct Outputs {
    std::vector<MaterialFixedMeshAligner::MatchingEl>* matching;
    std::vector<VertexLocation>* locations;
};

template <typename T>
void startList(std::vector<T>* list, std::size_t size)
{
    if (list == nullptr)
        return;
    list->clear();
    list->resize(size);
}

// Gives each aligned vertex, in the given order (its two halves side by side), the before shape at
// its material point, or its own position in meshAfter where that is not located, and fills the
// outputs; returns the largest squared distance of a point located outside the before mesh.
double placeAfterVertices(const MaterialPlane& before, const Mesh& meshBefore, const AfterBody& after,
                          const std::vector<std::int32_t>& order, Mesh::VertexContainer& aligned,
                          const Outputs& outputs)
{
    startList(outputs.matching, aligned.size());
    startList(outputs.locations, aligned.size());
    const auto shapeBefore = verticesByPosition(meshBefore);
    const PositionalAccess<Mesh::VertexContainer> placed(aligned.begin(), aligned.size());
    return before.locateEach(
        order, [&](std::size_t k) -> const Vertex& { return after.initCoordsOf(k); },
        [&](std::size_t k) {
            return std::array<const void*, 3>{&placed[k], outputs.matching ? &(*outputs.matching)[k] : nullptr,
                                              outputs.locations ? &(*outputs.locations)[k] : nullptr};
        },
        [&](std::size_t k, const Hit& hit) {
            Vertex& vertex = placed[k];
            Point<double, 3>& position = vertex;
            if (hit.found())
                position = before.shapeAt(hit, shapeBefore);
            else
                position = after.positionOf(k);
            vertex.index = static_cast<std::int32_t>(k);
            if (outputs.matching != nullptr)
                (*outputs.matching)[k] = {before.coincidentVertex(hit), hit.triangle};
            if (outputs.locations != nullptr)
                (*outputs.locations)[k] = before.locationOf(hit);
        });
}

}  // namespace

MaterialFixedMeshAligner::MaterialFixedMeshAligner() = default;
MaterialFixedMeshAligner::~MaterialFixedMeshAligner() = default;

void MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexBefore(std::shared_ptr<const std::vector<int>> map)
{
    mapBefore_ = std::move(map);
}

void MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexAfter(std::shared_ptr<const std::vector<int>> map)
{
    mapAfter_ = std::move(map);
}

std::shared_ptr<Mesh>
MaterialFixedMeshAligner::computeMeshBeforeWithTopologyOfMeshAfter(double& biggestSquareError,
                                                                   std::vector<MatchingEl>* matching) const
{
    std::optional<AlignmentRecord>* const recorded = innermostRecordSlot();
    std::optional<AlignmentRecord> record;
    if (recorded != nullptr) {
        recorded->reset();
        record.emplace();
    }
    checkInputs(*this, mapBefore_.get(), mapAfter_.get());
    Stopwatch stopwatch;
    PhaseTimings timings;
    auto before = std::make_shared<const MaterialPlane>(*initCoordMeshBefore, mapBefore_, searchDistance);
    const AfterBody after(*meshAfter, *initCoordMeshAfter);
    auto aligned = std::make_shared<Mesh>();
    {
        // Ordered before the aligned vertices exist, so that the sort's scratch never adds to them.
        const auto pointOfAfter = [&](std::size_t k) -> const Vertex& { return after.initCoordsOf(k); };
        const std::vector<std::int32_t> order = before->locationOrder(meshAfter->numberOfVertices(), pointOfAfter);
        timings.indexBuild = stopwatch.lap();
        AlignedVertices vertices(*aligned, meshAfter->numberOfVertices());
        timings.alignedMesh = stopwatch.lap();
        biggestSquareError = placeAfterVertices(*before, *meshBefore, after, order, vertices.vertices(),
                                                {matching, record ? &record->locations : nullptr});
        timings.location = stopwatch.lap();
    }
    if (record) {
        record->searchDistance = before->searchDistance();
        record->seamBefore = before->seam();
        record->foldedBefore = before->foldedTriangles();
        record->before = std::make_shared<const MaterialPointLocator>(std::move(before));
    }
    // The triangles come after the before state is gone, so that the two never take memory at once.
    before.reset();
    aligned->copyTopologyOf(*meshAfter);
    aligned->computeNormals(false, true);
    timings.alignedMesh += stopwatch.lap();

    if (record) {
        record->biggestSquareError = biggestSquareError;
        record->seamAfter = TubeInitialCoordinatesConverter::seamOf(mapAfter_);
        record->foldedAfter = TubeInitialCoordinatesConverter::foldedTriangles(*initCoordMeshAfter);
        record->alignedMesh = aligned;
        record->timings = timings;
        *recorded = std::move(record);
    }
    return aligned;
}

}  // namespace Calvora

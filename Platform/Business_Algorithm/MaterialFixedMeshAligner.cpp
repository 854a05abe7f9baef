#include "Business_Algorithm.h"

#include "FetchAhead.h"
#include "InitialCoordinateShape.h"
#include "Stopwatch.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <utility>

namespace Calvora {
namespace {

using CoreIoInternal::kFetchAhead;
using CoreIoInternal::Stopwatch;
using Hit = TriangleLocator::Hit;

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

// A copy, made where a tube was cut open, of an after vertex on the seam.
struct SeamCopy {
    int vertex;
    Point2 position;
};

// The seam copies of the after vertices, by vertex: the initial-coordinate vertices beyond those
// of the 3D mesh, each standing for the 3D vertex its map entry names.
std::vector<SeamCopy> seamCopiesOf(const Mesh& initCoordMesh, const std::vector<int>* map, std::size_t vertices3d)
{
    std::vector<SeamCopy> copies;
    if (map == nullptr || initCoordMesh.numberOfVertices() <= vertices3d)
        return copies;
    copies.reserve(initCoordMesh.numberOfVertices() - vertices3d);
    for (std::size_t k = vertices3d; k < initCoordMesh.numberOfVertices(); ++k) {
        const Vertex& copy = initCoordMesh.getVertex(static_cast<unsigned int>(k));
        copies.push_back({(*map)[k], {copy.x, copy.y}});
    }
    std::stable_sort(copies.begin(), copies.end(),
                     [](const SeamCopy& a, const SeamCopy& b) { return a.vertex < b.vertex; });
    return copies;
}

bool better(const Hit& candidate, const Hit& best)
{
    return candidate.found() && (!best.found() || candidate.sqrDistance < best.sqrDistance);
}

// Locates material points in the before triangulation. The previous hit is tried first, since
// points that come in mesh order tend to lie in the same before triangle. On a cut tube, a point
// that misses the before strip is tried again one period either way.
class MaterialPointLocator {
public:
    MaterialPointLocator(const InitialCoordinateShape& before, double searchDistance)
        : before_(before), searchDistance_(searchDistance)
    {
    }

    // The best hit for q and its period shifts; the next search starts from it only once remembered.
    // Each body's initial coordinates wrap within a period of their own choosing, so q is first
    // brought into the before strip by whole periods.
    Hit find(Point2 q) const
    {
        q = before_.intoStrip(q);
        Hit best = before_.locator().locate(q, searchDistance_, hint_);
        if (best.inside())
            return best;
        if (const auto& period = before_.period())
            if (!consider({q.x + period->x, q.y + period->y}, best))
                consider({q.x - period->x, q.y - period->y}, best);
        return best;
    }

    // Replaces best by the hit at p when that is nearer; true once best lies inside.
    bool consider(Point2 p, Hit& best) const
    {
        const Hit candidate = before_.locator().locate(p, searchDistance_, hint_);
        if (better(candidate, best))
            best = candidate;
        return best.inside();
    }

    // p moved into the before strip by whole periods.
    Point2 intoStrip(Point2 p) const { return before_.intoStrip(p); }

    void remember(const Hit& hit)
    {
        if (hit.found())
            hint_ = hit.triangle;
    }

    Hit locate(Point2 q)
    {
        const Hit best = find(q);
        remember(best);
        return best;
    }

private:
    const InitialCoordinateShape& before_;
    const double searchDistance_;
    std::int32_t hint_ = -1;
};

// Locates the after vertices as material points; a vertex that misses the before body is also
// tried at its seam copies.
class AfterVertexLocator {
public:
    AfterVertexLocator(const InitialCoordinateShape& before, double searchDistance, std::vector<SeamCopy> seamCopies)
        : points_(before, searchDistance), seamCopies_(std::move(seamCopies))
    {
    }

    // vertex: the after vertex; q: its initial coordinates.
    Hit locate(int vertex, Point2 q)
    {
        Hit best = points_.find(q);
        if (!best.inside())
            trySeamCopies(vertex, best);
        points_.remember(best);
        return best;
    }

private:
    void trySeamCopies(int vertex, Hit& best)
    {
        auto copy = std::lower_bound(seamCopies_.begin(), seamCopies_.end(), vertex,
                                     [](const SeamCopy& c, int v) { return c.vertex < v; });
        for (; copy != seamCopies_.end() && copy->vertex == vertex; ++copy)
            if (points_.consider(points_.intoStrip(copy->position), best))
                break;
    }

    MaterialPointLocator points_;
    const std::vector<SeamCopy> seamCopies_;
};

// The positions 0 .. count-1 of points in the order in which to locate them: tile by tile of the
// before index (see TriangleLocator::tileOf), each tile's points in their own order. A counting
// sort: two passes over the points. planePointAt(k): point k, moved into the before strip.
template <typename PlanePointAt>
std::vector<std::int32_t> locationOrder(const TriangleLocator& locator, std::size_t count, PlanePointAt planePointAt)
{
    std::vector<std::uint16_t> tiles(count);
    std::vector<std::uint32_t> starts(locator.tileCount() + 1, 0);
    for (std::size_t k = 0; k < count; ++k) {
        tiles[k] = static_cast<std::uint16_t>(locator.tileOf(planePointAt(k)));
        ++starts[tiles[k] + 1u];
    }
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    std::vector<std::int32_t> order(count);
    for (std::size_t k = 0; k < count; ++k)
        order[starts[tiles[k]]++] = static_cast<std::int32_t>(k);
    return order;
}

// What a location of the after vertices fills besides the aligned mesh; null members are not wanted.
struct AlignmentOutputs {
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

// Write access to the vertices of a new aligned mesh while they are placed.
class AlignedVertices : public MeshModifier {
public:
    AlignedVertices(Mesh& mesh, std::size_t count) : MeshModifier(mesh) { vertices().resize(count); }

    using MeshModifier::vertices;
};

// The after vertices in the order in which to locate them: tile order keeps the cost per vertex
// flat however large the bodies are and however they are numbered.
std::vector<std::int32_t> afterVertexOrder(const InitialCoordinateShape& before, const Mesh& initCoordMeshAfter,
                                           std::size_t count)
{
    const auto initCoords = verticesByPosition(initCoordMeshAfter);
    return locationOrder(before.locator(), count, [&](std::size_t k) {
        return before.intoStrip({initCoords[k].x, initCoords[k].y});
    });
}

// Gives each aligned vertex, in the given order, the before shape at its initial coordinates, or
// its own position in meshAfter where it is not located, and records the matching; returns the
// largest squared distance of a point located outside the before mesh.
double alignVertices(const InitialCoordinateShape& before, AfterVertexLocator& locator,
                     const std::vector<std::int32_t>& order, const Mesh& meshAfter, const Mesh& initCoordMeshAfter,
                     Mesh::VertexContainer& aligned, const AlignmentOutputs& outputs)
{
    startList(outputs.matching, aligned.size());
    startList(outputs.locations, aligned.size());
    const auto initCoords = verticesByPosition(initCoordMeshAfter);
    const auto own = verticesByPosition(meshAfter);
    const PositionalAccess<Mesh::VertexContainer> out(aligned.begin(), aligned.size());
    // Tile order visits the after vertices at random when they are numbered so: their reads and
    // writes are asked for kFetchAhead vertices ahead, and wait for memory side by side.
    double biggestSquareError = 0.0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k + kFetchAhead < order.size()) {
            const auto next = static_cast<std::size_t>(order[k + kFetchAhead]);
            __builtin_prefetch(&initCoords[next]);
            __builtin_prefetch(&out[next], 1);
            if (outputs.matching != nullptr)
                __builtin_prefetch(&(*outputs.matching)[next], 1);
        }
        const std::int32_t vertex = order[k];
        const auto position = static_cast<std::size_t>(vertex);
        const Hit hit = locator.locate(vertex, {initCoords[position].x, initCoords[position].y});
        Vertex& placed = out[position];
        Point<double, 3>& placedAt = placed;  // written in place: set() is a call into another library
        if (hit.found()) {
            placedAt = before.shapeAt(hit);
            biggestSquareError = std::max(biggestSquareError, hit.sqrDistance);
        } else {
            placedAt = own[position];
        }
        placed.index = vertex;
        if (outputs.matching != nullptr)
            (*outputs.matching)[position] = {before.coincidentVertex(hit), hit.triangle};
        if (outputs.locations != nullptr)
            (*outputs.locations)[position] = before.locationOf(hit);
    }
    return biggestSquareError;
}

double reachOf(const MaterialFixedMeshAligner& aligner, const InitialCoordinateShape& before)
{
    return aligner.searchDistance >= 0.0 ? aligner.searchDistance : 0.5 * before.locator().meanEdgeLength();
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
    return computeMeshBeforeWithTopologyOfMeshAfter(biggestSquareError, matching, nullptr);
}

std::shared_ptr<Mesh> MaterialFixedMeshAligner::computeMeshBeforeWithTopologyOfMeshAfter(
    double& biggestSquareError, std::vector<MatchingEl>* matching, PhaseTimings* timings) const
{
    return computeMeshBeforeWithTopologyOfMeshAfter(biggestSquareError, matching, timings, nullptr);
}

std::shared_ptr<Mesh> MaterialFixedMeshAligner::computeMeshBeforeWithTopologyOfMeshAfter(
    double& biggestSquareError, std::vector<MatchingEl>* matching, PhaseTimings* timings,
    std::vector<VertexLocation>* locations) const
{
    checkInputs(*this, mapBefore_.get(), mapAfter_.get());
    PhaseTimings phases;
    Stopwatch stopwatch;
    auto aligned = std::make_shared<Mesh>();
    {
        const InitialCoordinateShape before(*meshBefore, *initCoordMeshBefore, mapBefore_.get());
        AfterVertexLocator locator(before, reachOf(*this, before),
                                   seamCopiesOf(*initCoordMeshAfter, mapAfter_.get(), meshAfter->numberOfVertices()));
        // Ordered before the aligned vertices exist, so that the sort's scratch never adds to them.
        const std::vector<std::int32_t> order = afterVertexOrder(before, *initCoordMeshAfter,
                                                                 meshAfter->numberOfVertices());
        phases.indexBuild = stopwatch.lap();

        AlignedVertices vertices(*aligned, meshAfter->numberOfVertices());
        phases.alignedMesh = stopwatch.lap();
        biggestSquareError = alignVertices(before, locator, order, *meshAfter, *initCoordMeshAfter, vertices.vertices(),
                                           {matching, locations});
        phases.location = stopwatch.lap();
    }
    // The triangles come after the index is gone, so that the two never take memory at once.
    aligned->copyTopologyOf(*meshAfter);
    aligned->computeNormals(false, true);
    phases.alignedMesh += stopwatch.lap();
    if (timings != nullptr)
        *timings = phases;
    return aligned;
}

std::vector<VertexLocation>
MaterialFixedMeshAligner::locateMaterialPoints(const std::vector<Point<double, 3>>& points) const
{
    checkBeforeInputs(*this, mapBefore_.get());
    if (points.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        reject(count(points.size()) + " points are more than a location order can number");
    const InitialCoordinateShape before(*meshBefore, *initCoordMeshBefore, mapBefore_.get());
    MaterialPointLocator locator(before, reachOf(*this, before));
    std::vector<VertexLocation> locations(points.size());
    const auto order = locationOrder(before.locator(), points.size(), [&](std::size_t k) {
        return before.intoStrip({points[k].x, points[k].y});
    });
    for (const std::int32_t k : order) {
        const Point<double, 3>& point = points[static_cast<std::size_t>(k)];
        locations[static_cast<std::size_t>(k)] = before.locationOf(locator.locate({point.x, point.y}));
    }
    return locations;
}

}  // namespace Calvora

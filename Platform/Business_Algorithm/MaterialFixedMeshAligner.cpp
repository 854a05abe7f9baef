#include "Business_Algorithm.h"

#include "InitialCoordinateShape.h"
#include "Stopwatch.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace Calvora {
namespace {

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

void checkInputs(const MaterialFixedMeshAligner& aligner, const std::vector<int>* mapBefore, const std::vector<int>* mapAfter)
{
    checkSet(aligner.meshBefore, "meshBefore");
    checkSet(aligner.initCoordMeshBefore, "initCoordMeshBefore");
    checkSet(aligner.meshAfter, "meshAfter");
    checkSet(aligner.initCoordMeshAfter, "initCoordMeshAfter");
    checkNumberable(*aligner.initCoordMeshBefore, "initCoordMeshBefore");
    checkNumberable(*aligner.meshAfter, "meshAfter");

    const std::size_t icBefore = aligner.initCoordMeshBefore->numberOfVertices();
    if (mapBefore != nullptr)
        checkVertexMap(*mapBefore, *aligner.initCoordMeshBefore, *aligner.meshBefore, "Before");
    else if (icBefore != aligner.meshBefore->numberOfVertices())
        reject("initCoordMeshBefore has " + count(icBefore) + " vertices but meshBefore has " +
               count(aligner.meshBefore->numberOfVertices()) + "; without a vertex map they must be equal");

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
    std::stable_sort(copies.begin(), copies.end(), [](const SeamCopy& a, const SeamCopy& b) { return a.vertex < b.vertex; });
    return copies;
}

bool better(const Hit& candidate, const Hit& best)
{
    return candidate.found() && (!best.found() || candidate.sqrDistance < best.sqrDistance);
}

// Locates the after vertices, in order, in the before triangulation. The previous hit is tried
// first, since neighbouring vertices tend to lie in the same before triangle. On a cut tube, a
// vertex that misses the before strip is tried again one period over and at its seam copies.
class AfterVertexLocator {
public:
    AfterVertexLocator(const InitialCoordinateShape& before, double searchDistance, std::vector<SeamCopy> seamCopies)
        : before_(before), searchDistance_(searchDistance), seamCopies_(std::move(seamCopies))
    {
    }

    // vertex: the after vertex, in increasing order from call to call; q: its initial coordinates.
    // Each body's initial coordinates wrap within a period of their own choosing, so q is first
    // brought into the before strip by whole periods.
    Hit locate(int vertex, Point2 q)
    {
        q = before_.intoStrip(q);
        Hit best = before_.locator().locate(q, searchDistance_, hint_);
        if (!best.inside())
            best = tryAlternatives(vertex, q, best);
        if (best.found())
            hint_ = best.triangle;
        return best;
    }

private:
    Hit tryAlternatives(int vertex, Point2 q, Hit best)
    {
        auto consider = [&](Point2 p) {
            const Hit candidate = before_.locator().locate(p, searchDistance_, hint_);
            if (better(candidate, best))
                best = candidate;
            return best.inside();
        };
        // Near the strip's ragged ends the neighbouring period may hold the point instead.
        if (const auto& period = before_.period()) {
            if (consider({q.x + period->x, q.y + period->y}) || consider({q.x - period->x, q.y - period->y}))
                return best;
        }
        while (nextCopy_ < seamCopies_.size() && seamCopies_[nextCopy_].vertex < vertex)
            ++nextCopy_;
        for (std::size_t c = nextCopy_; c < seamCopies_.size() && seamCopies_[c].vertex == vertex; ++c)
            if (consider(before_.intoStrip(seamCopies_[c].position)))
                break;
        return best;
    }

    const InitialCoordinateShape& before_;
    const double searchDistance_;
    const std::vector<SeamCopy> seamCopies_;
    std::size_t nextCopy_ = 0;
    std::int32_t hint_ = -1;
};

// Gives each vertex of the aligned mesh the before shape at its initial coordinates and records
// the matching; returns the largest squared distance of a point located outside the before mesh.
double alignVertices(const InitialCoordinateShape& before, AfterVertexLocator& locator, const Mesh& initCoordMeshAfter,
                     Mesh& aligned, std::vector<MaterialFixedMeshAligner::MatchingEl>* matching)
{
    if (matching != nullptr) {
        matching->clear();
        matching->reserve(aligned.numberOfVertices());
    }
    double biggestSquareError = 0.0;
    auto initCoords = initCoordMeshAfter.beginVertex();
    int vertex = 0;
    for (auto out = aligned.beginVertex(), end = aligned.endVertex(); out != end; ++out, ++initCoords, ++vertex) {
        const Hit hit = locator.locate(vertex, {initCoords->x, initCoords->y});
        if (hit.found()) {
            const Point<double, 3> shape = before.shapeAt(hit);
            out->set(shape.x, shape.y, shape.z);
            biggestSquareError = std::max(biggestSquareError, hit.sqrDistance);
        }
        out->index = vertex;
        if (matching != nullptr)
            matching->push_back({before.coincidentVertex(hit), hit.triangle});
    }
    return biggestSquareError;
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

std::shared_ptr<Mesh> MaterialFixedMeshAligner::computeMeshBeforeWithTopologyOfMeshAfter(double& biggestSquareError,
                                                                                         std::vector<MatchingEl>* matching) const
{
    return computeMeshBeforeWithTopologyOfMeshAfter(biggestSquareError, matching, nullptr);
}

std::shared_ptr<Mesh> MaterialFixedMeshAligner::computeMeshBeforeWithTopologyOfMeshAfter(double& biggestSquareError,
                                                                                         std::vector<MatchingEl>* matching,
                                                                                         PhaseTimings* timings) const
{
    checkInputs(*this, mapBefore_.get(), mapAfter_.get());
    PhaseTimings phases;
    Stopwatch stopwatch;

    const InitialCoordinateShape before(*meshBefore, *initCoordMeshBefore, mapBefore_.get());
    const double reach = searchDistance >= 0.0 ? searchDistance : 0.5 * before.locator().meanEdgeLength();
    AfterVertexLocator locator(before, reach,
                               seamCopiesOf(*initCoordMeshAfter, mapAfter_.get(), meshAfter->numberOfVertices()));
    phases.indexBuild = stopwatch.lap();

    auto aligned = std::make_shared<Mesh>(*meshAfter);
    phases.alignedMesh = stopwatch.lap();

    biggestSquareError = alignVertices(before, locator, *initCoordMeshAfter, *aligned, matching);
    phases.location = stopwatch.lap();

    aligned->computeNormals(false, true);
    phases.alignedMesh += stopwatch.lap();
    if (timings != nullptr)
        *timings = phases;
    return aligned;
}

}  // namespace Calvora

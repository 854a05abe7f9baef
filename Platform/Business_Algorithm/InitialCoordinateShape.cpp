#include "InitialCoordinateShape.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

namespace Calvora {
namespace {

// Position of a vertex, given its address, in its mesh. A vertex's index is its position for
// meshes made by the builders; the others (seam copies of a cut tube, say) are looked up by
// address in a table of the few vertices whose index differs.
class VertexPositions {
public:
    // Also appends each vertex's (x, y) to planePoints, in the same walk over the vertices.
    VertexPositions(const Mesh& mesh, std::vector<Point2>& planePoints) : vertices_(verticesByPosition(mesh))
    {
        planePoints.reserve(planePoints.size() + mesh.numberOfVertices());
        std::size_t position = 0;
        for (auto vertex = mesh.beginVertex(), end = mesh.endVertex(); vertex != end; ++vertex, ++position) {
            planePoints.push_back({vertex->x, vertex->y});
            if (static_cast<std::size_t>(vertex->index) != position)
                misnumbered_.emplace_back(&*vertex, static_cast<std::int32_t>(position));
        }
        std::sort(misnumbered_.begin(), misnumbered_.end(),
                  [](const auto& a, const auto& b) { return std::less<>{}(a.first, b.first); });
    }

    // Negative when the vertex is not one of the mesh.
    std::int32_t positionOf(const Vertex* vertex) const
    {
        if (vertex == nullptr)
            return -1;
        const auto hinted = static_cast<std::size_t>(static_cast<std::uint32_t>(vertex->index));
        if (hinted < vertices_.size() && &vertices_[hinted] == vertex)
            return static_cast<std::int32_t>(hinted);
        const auto found = std::lower_bound(misnumbered_.begin(), misnumbered_.end(), vertex,
                                            [](const auto& entry, const Vertex* v) {
                                                return std::less<>{}(entry.first, v);
                                            });
        return found != misnumbered_.end() && found->first == vertex ? found->second : -1;
    }

private:
    const PositionalAccess<const Mesh::VertexContainer> vertices_;
    std::vector<std::pair<const Vertex*, std::int32_t>> misnumbered_;
};

// Weights within the inside tolerance of a boundary can come out slightly negative; callers that
// blend values with them expect a convex combination.
std::array<double, 3> convexWeights(const std::array<double, 3>& weights)
{
    std::array<double, 3> clamped;
    double sum = 0.0;
    for (std::size_t k = 0; k < 3; ++k) {
        clamped[k] = std::max(weights[k], 0.0);
        sum += clamped[k];
    }
    for (double& weight : clamped)
        weight /= sum;
    return clamped;
}

}  // namespace

InitialCoordinateShape::InitialCoordinateShape(const Mesh& mesh3d, const Mesh& initCoordMesh,
                                               const std::vector<int>* vertexMap)
    : vertexMap_(vertexMap), locator_(planarTriangulation(initCoordMesh)), vertices3d_(verticesByPosition(mesh3d))
{
    findPeriod(mesh3d.numberOfVertices());
}

PlanarTriangulation InitialCoordinateShape::planarTriangulation(const Mesh& initCoordMesh)
{
    PlanarTriangulation planar;
    const VertexPositions positions(initCoordMesh, planar.points);
    planar.triangles.reserve(initCoordMesh.numberOfTriangles());
    for (auto triangle = initCoordMesh.beginTriangle(), end = initCoordMesh.endTriangle(); triangle != end;
         ++triangle) {
        // Filled in place: corners gathered in a local array and copied as a whole stall on
        // reading back what was just stored in parts.
        std::array<std::int32_t, 3>& corners = planar.triangles.emplace_back();
        for (std::size_t k = 0; k < 3; ++k) {
            corners[k] = positions.positionOf(triangle->corners[k]);
            if (corners[k] < 0)
                throw std::invalid_argument("MaterialFixedMeshAligner: corner " + std::to_string(k) + " of triangle " +
                                            std::to_string(planar.triangles.size() - 1) +
                                            " of initCoordMeshBefore is not a vertex of that mesh");
        }
    }
    return planar;
}

void InitialCoordinateShape::findPeriod(std::size_t vertices3d)
{
    const auto& points = locator_.triangulation().points;
    if (vertexMap_ == nullptr || points.size() <= vertices3d)
        return;
    const int copy = static_cast<int>(vertices3d);
    const int standsFor = vertexOf(copy);
    int original = standsFor;
    if (vertexOf(original) != standsFor) {
        const auto first = vertexMap_->begin(), last = first + static_cast<std::ptrdiff_t>(vertices3d);
        const auto found = std::find(first, last, standsFor);
        if (found == last)
            return;
        original = static_cast<int>(found - first);
    }
    const Point2 to = points[static_cast<std::size_t>(copy)], from = points[static_cast<std::size_t>(original)];
    if (to.x != from.x || to.y != from.y) {
        period_ = Point2{to.x - from.x, to.y - from.y};
        periodOrigin_ = from;
    }
}

Point2 InitialCoordinateShape::shiftIntoStrip(Point2 q) const
{
    const Point2 p = *period_;
    const double periods = std::floor(((q.x - periodOrigin_.x) * p.x + (q.y - periodOrigin_.y) * p.y) /
                                      (p.x * p.x + p.y * p.y));
    return {q.x - periods * p.x, q.y - periods * p.y};
}

int InitialCoordinateShape::coincidentVertex(const TriangleLocator::Hit& hit) const
{
    if (hit.coincidentCorner < 0)
        return -1;
    const auto& corners = locator_.triangulation().triangles[static_cast<std::size_t>(hit.triangle)];
    return vertexOf(corners[static_cast<std::size_t>(hit.coincidentCorner)]);
}

Point<double, 3> InitialCoordinateShape::shapeAt(const TriangleLocator::Hit& hit) const
{
    const auto& corners = locator_.triangulation().triangles[static_cast<std::size_t>(hit.triangle)];
    if (hit.coincidentCorner >= 0) {
        const Vertex& corner = vertex3dOf(corners[static_cast<std::size_t>(hit.coincidentCorner)]);
        return {corner.x, corner.y, corner.z};
    }
    Point<double, 3> at;
    for (std::size_t k = 0; k < 3; ++k) {
        const Vertex& corner = vertex3dOf(corners[k]);
        at.x += hit.weights[k] * corner.x;
        at.y += hit.weights[k] * corner.y;
        at.z += hit.weights[k] * corner.z;
    }
    return at;
}

VertexLocation InitialCoordinateShape::locationOf(const TriangleLocator::Hit& hit) const
{
    VertexLocation location;
    if (!hit.found())
        return location;
    const auto& corners = locator_.triangulation().triangles[static_cast<std::size_t>(hit.triangle)];
    location.triangle = hit.triangle;
    for (std::size_t k = 0; k < 3; ++k)
        location.vertices[k] = vertexOf(corners[k]);
    if (hit.coincidentCorner >= 0) {
        location.status = MatchStatus::Coincident;
        location.weights[static_cast<std::size_t>(hit.coincidentCorner)] = 1.0;
    } else {
        location.status = hit.inside() ? MatchStatus::Inside : MatchStatus::Near;
        location.weights = convexWeights(hit.weights);
    }
    return location;
}

}  // namespace Calvora

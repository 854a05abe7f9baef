#include "MaterialPlane.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace Calvora {
namespace {

using Seam = TubeInitialCoordinatesConverter::Seam;

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

Point2 along(TubeInitialCoordinatesConverter::Axis axis, double length)
{
    return axis == TubeInitialCoordinatesConverter::Axis::U ? Point2{length, 0.0} : Point2{0.0, length};
}

// The low end of the data along the seam's axis: the unrolled strip runs from there one period up.
Point2 stripStartOf(const Seam& seam, const std::vector<Point2>& points)
{
    double low = std::numeric_limits<double>::infinity();
    for (const Point2& point : points) {
        const double at = seam.axis == TubeInitialCoordinatesConverter::Axis::U ? point.x : point.y;
        low = at < low ? at : low;
    }
    return along(seam.axis, std::isfinite(low) ? low : 0.0);
}

}  // namespace

MaterialPlane::MaterialPlane(const Mesh& initCoordMesh, std::shared_ptr<const std::vector<int>> vertexMap,
                             double searchDistance)
    : vertexMap_(std::move(vertexMap)),
      seam_(TubeInitialCoordinatesConverter::seamOf(vertexMap_)),
      locator_(planarTriangulation(initCoordMesh)),
      searchDistance_(searchDistance >= 0.0 ? searchDistance : 0.5 * locator_.meanEdgeLength())
{
    if (seam_) {
        period_ = along(seam_->axis, seam_->period);
        stripStart_ = stripStartOf(*seam_, locator_.triangulation().points);
    }
}

PlanarTriangulation MaterialPlane::planarTriangulation(const Mesh& initCoordMesh)
{
    PlanarTriangulation planar;
    const VertexPositions positions(initCoordMesh, planar.points);
    planar.triangles.reserve(initCoordMesh.numberOfTriangles());
    for (auto triangle = initCoordMesh.beginTriangle(), end = initCoordMesh.endTriangle(); triangle != end;
         ++triangle) {
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

// Moved by whole periods to lie within one period up from the strip's start.
Point2 MaterialPlane::shiftIntoStrip(Point2 q) const
{
    const double periods = std::floor(((q.x - stripStart_.x) * period_.x + (q.y - stripStart_.y) * period_.y) /
                                      (period_.x * period_.x + period_.y * period_.y));
    return {q.x - periods * period_.x, q.y - periods * period_.y};
}

int MaterialPlane::coincidentVertex(const Hit& hit) const
{
    if (hit.coincidentCorner < 0)
        return -1;
    const auto& corners = locator_.triangulation().triangles[static_cast<std::size_t>(hit.triangle)];
    return vertexOf(corners[static_cast<std::size_t>(hit.coincidentCorner)]);
}

Point<double, 3> MaterialPlane::shapeAt(const Hit& hit,
                                        const PositionalAccess<const Mesh::VertexContainer>& vertices3d) const
{
    const auto& corners = locator_.triangulation().triangles[static_cast<std::size_t>(hit.triangle)];
    const auto vertex3d = [&](std::size_t k) -> const Vertex& {
        return vertices3d[static_cast<std::size_t>(vertexOf(corners[k]))];
    };
    if (hit.coincidentCorner >= 0) {
        const Vertex& corner = vertex3d(static_cast<std::size_t>(hit.coincidentCorner));
        return {corner.x, corner.y, corner.z};
    }
    Point<double, 3> at;
    for (std::size_t k = 0; k < 3; ++k) {
        const Vertex& corner = vertex3d(k);
        at.x += hit.weights[k] * corner.x;
        at.y += hit.weights[k] * corner.y;
        at.z += hit.weights[k] * corner.z;
    }
    return at;
}

VertexLocation MaterialPlane::locationOf(const Hit& hit) const
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

#pragma once
// A body's shape over the plane of its initial coordinates: the initial-coordinate mesh as a
// planar triangulation with a point locator, and the 3D position that each of its vertices has.

#include "Business_Algorithm.h"
#include "Business_BaseGeometry.h"
#include "TriangleLocator.h"

#include <optional>
#include <vector>

namespace Calvora {

class InitialCoordinateShape {
public:
    // vertexMap: initial-coordinate vertex -> vertex of mesh3d, null for the identity; its
    // entries must be vertices of mesh3d. Throws std::invalid_argument for a triangle corner that
    // is not a vertex of initCoordMesh.
    InitialCoordinateShape(const Mesh& mesh3d, const Mesh& initCoordMesh, const std::vector<int>* vertexMap);

    const TriangleLocator& locator() const { return locator_; }

    // The vertex of mesh3d that initial-coordinate vertex k (its position in the mesh) stands for.
    int vertexOf(int k) const { return vertexMap_ != nullptr ? (*vertexMap_)[static_cast<std::size_t>(k)] : k; }

    // The vertex of mesh3d at a located point when it lies on a corner, else -1.
    int coincidentVertex(const TriangleLocator::Hit& hit) const;

    // The 3D position at a located point: the corner it lies on, else the weighted corners. Read
    // from mesh3d, which must outlive this object.
    Point<double, 3> shapeAt(const TriangleLocator::Hit& hit) const;

    // The located point as weights of its triangle's corners, the corners as vertices of mesh3d.
    VertexLocation locationOf(const TriangleLocator::Hit& hit) const;

    // Shift from an original seam vertex to its copy on the far side of an unrolled tube; empty
    // when the mesh has no seam copies (vertices beyond those of mesh3d).
    const std::optional<Point2>& period() const { return period_; }

    // The point q moved by whole periods to lie within one period up from that original seam
    // vertex, where the unrolled strip is; q itself without a period. Inline: every located point
    // passes here, and most bodies are not tubes.
    Point2 intoStrip(Point2 q) const { return period_ ? shiftIntoStrip(q) : q; }

private:
    static PlanarTriangulation planarTriangulation(const Mesh& initCoordMesh);
    void findPeriod(std::size_t vertices3d);
    Point2 shiftIntoStrip(Point2 q) const;
    const Vertex& vertex3dOf(int k) const { return vertices3d_[static_cast<std::size_t>(vertexOf(k))]; }

    const std::vector<int>* vertexMap_;
    TriangleLocator locator_;
    // Read in place instead of copied: a copy cost a fifth of the call's memory at its peak.
    PositionalAccess<const Mesh::VertexContainer> vertices3d_;
    std::optional<Point2> period_;
    Point2 periodOrigin_;  // the original seam vertex the period starts from
};

}  // namespace Calvora

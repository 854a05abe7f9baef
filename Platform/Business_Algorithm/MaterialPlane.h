#pragma once
// The before state of an alignment as its plane of initial coordinates: the triangulation with a
// point index, the 3D vertex that each of its vertices stands for, and the seam of an unrolled
// tube. Owns all it needs, so that it can outlive the meshes it was made from.

#include "Business_Algorithm.h"
#include "Business_BaseGeometry.h"
#include "Business_EvaluationGeometry.h"
#include "FetchAhead.h"
#include "SideBySide.h"
#include "TriangleLocator.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace Calvora {

class MaterialPlane {
public:
    using Hit = TriangleLocator::Hit;

    // - initCoordMesh: the before body's initial-coordinate mesh (unrolled for a tube).
    // - vertexMap: initial-coordinate vertex -> 3D vertex, null for the identity; the seam of a
    //   tube comes with it (see TubeInitialCoordinatesConverter::seamOf).
    // - searchDistance: how far outside a point may lie and still take the nearest triangle;
    //   negative: half the mean edge length.
    // Throws std::invalid_argument for a triangle corner that is not a vertex of initCoordMesh.
    MaterialPlane(const Mesh& initCoordMesh, std::shared_ptr<const std::vector<int>> vertexMap, double searchDistance);

    double searchDistance() const { return searchDistance_; }
    std::size_t foldedTriangles() const { return locator_.foldedTriangles(); }
    const std::shared_ptr<const TubeInitialCoordinatesConverter::Seam>& seam() const { return seam_; }

    // The order in which to locate the points 0 .. count-1: nearby points one after another.
    // pointAt(k): a reference to point k's initial coordinates (members x, y), in the after
    // body's frame.
    template <typename PointAt>
    std::vector<std::int32_t> locationOrder(std::size_t count, PointAt pointAt) const;

    // Locates the points of a location order, each once, and hands each hit to take(k, hit); the
    // two halves of the order go side by side where a second core is free (SideBySide.h).
    // - pointAt(k): as above. Each body's coordinates wrap within a period of their own choosing,
    //   so on a tube a point is first moved into the before strip by whole periods, and one that
    //   misses the strip is tried again one period either way.
    // - writesOf(k): the addresses that take(k, ...) will write to (a range of pointers, null for
    //   none), asked for ahead of time.
    // - take(k, hit): may run on two threads at once; writes only what belongs to point k, and
    //   neither allocates nor throws.
    // - returns the largest squared distance of a point found outside the triangles, 0 if none.
    template <typename PointAt, typename WritesOf, typename Take>
    double locateEach(const std::vector<std::int32_t>& order, PointAt pointAt, WritesOf writesOf, Take take) const;

    // The 3D vertex at a located point when it lies on a corner, else -1.
    int coincidentVertex(const Hit& hit) const;

    // The 3D position at a located point: the corner it lies on, else the weighted corners, read
    // from vertices3d (the 3D mesh's vertices by position).
    Point<double, 3> shapeAt(const Hit& hit, const PositionalAccess<const Mesh::VertexContainer>& vertices3d) const;

    // The located point as weights of its triangle's corners, the corners as 3D vertices.
    VertexLocation locationOf(const Hit& hit) const;

private:
    static PlanarTriangulation planarTriangulation(const Mesh& initCoordMesh);
    int vertexOf(int k) const { return vertexMap_ ? (*vertexMap_)[static_cast<std::size_t>(k)] : k; }
    // Inline: every point passes here twice, and most bodies are not tubes.
    Point2 intoStrip(Point2 q) const { return seam_ ? shiftIntoStrip(q) : q; }
    Point2 shiftIntoStrip(Point2 q) const;
    // The best hit of q in the strip and of its shifts one period either way.
    Hit find(Point2 q, std::int32_t hint) const;
    // Replaces best by the hit at p when that is nearer; true once best lies inside.
    bool consider(Point2 p, std::int32_t hint, Hit& best) const;
    // locateEach over order[first, last); returns the same largest squared distance for them.
    template <typename PointAt, typename WritesOf, typename Take>
    double locateRun(const std::vector<std::int32_t>& order, std::size_t first, std::size_t last, PointAt& pointAt,
                     WritesOf& writesOf, Take& take) const;

    std::shared_ptr<const std::vector<int>> vertexMap_;
    std::shared_ptr<const TubeInitialCoordinatesConverter::Seam> seam_;
    TriangleLocator locator_;
    double searchDistance_;
    Point2 period_;       // one period along the seam's axis
    Point2 stripStart_;   // the low end of the strip the data lies in, along that axis
};

// Inline, as the rest of a location pass: a point handed across a call is stored in halves and
// read back whole, which stalls.
inline MaterialPlane::Hit MaterialPlane::find(Point2 q, std::int32_t hint) const
{
    q = intoStrip(q);
    Hit best = locator_.locate(q, searchDistance_, hint);
    if (seam_ && !best.inside() && !consider({q.x + period_.x, q.y + period_.y}, hint, best))
        consider({q.x - period_.x, q.y - period_.y}, hint, best);
    return best;
}

inline bool MaterialPlane::consider(Point2 p, std::int32_t hint, Hit& best) const
{
    const Hit candidate = locator_.locate(p, searchDistance_, hint);
    if (candidate.found() && (!best.found() || candidate.sqrDistance < best.sqrDistance))
        best = candidate;
    return best.inside();
}

template <typename PointAt>
std::vector<std::int32_t> MaterialPlane::locationOrder(std::size_t count, PointAt pointAt) const
{
    return locator_.locationOrder(count, [&](std::size_t k) {
        const auto& point = pointAt(k);
        return intoStrip({point.x, point.y});
    });
}

template <typename PointAt, typename WritesOf, typename Take>
double MaterialPlane::locateEach(const std::vector<std::int32_t>& order, PointAt pointAt, WritesOf writesOf,
                                 Take take) const
{
    // Nothing in a location pass allocates or throws.
    const std::array<double, 2> farthest = CoreIoInternal::inBothHalves(order.size(), [&](std::size_t first,
                                                                                          std::size_t last) noexcept {
        return locateRun(order, first, last, pointAt, writesOf, take);
    });
    return std::max(farthest[0], farthest[1]);
}

template <typename PointAt, typename WritesOf, typename Take>
double MaterialPlane::locateRun(const std::vector<std::int32_t>& order, std::size_t first, std::size_t last,
                                PointAt& pointAt, WritesOf& writesOf, Take& take) const
{
    double farthest = 0.0;
    // Points that come in mesh order tend to lie in the previous point's triangle.
    std::int32_t hint = -1;
    for (std::size_t k = first; k < last; ++k) {
        // The order visits the points of a body numbered at random all over memory: their reads
        // and writes are asked for ahead, so that their misses overlap.
        if (k + CoreIoInternal::kFetchAhead < last) {
            const auto next = static_cast<std::size_t>(order[k + CoreIoInternal::kFetchAhead]);
            __builtin_prefetch(&pointAt(next));
            for (const void* address : writesOf(next))
                __builtin_prefetch(address, 1);
        }
        const auto position = static_cast<std::size_t>(order[k]);
        const auto& point = pointAt(position);
        const Hit hit = find({point.x, point.y}, hint);
        if (hit.found()) {
            hint = hit.triangle;
            farthest = std::max(farthest, hit.sqrDistance);
        }
        take(position, hit);
    }
    return farthest;
}

}  // namespace Calvora

#pragma once
// Point location in a planar triangulation: which triangle holds a point, or which one lies
// nearest to it within a distance. A uniform grid over the triangles' bounding boxes, built once,
// with its axes along the mesh's own where its edges show a common direction.

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <vector>

namespace Calvora {

struct Point2 {
    double x = 0.0;
    double y = 0.0;
};

// Triangles over a shared point array, each by the positions of its three corners; either winding.
struct PlanarTriangulation {
    std::vector<Point2> points;
    std::vector<std::array<std::int32_t, 3>> triangles;
};

class TriangleLocator {
public:
    // Where a point was found. The weights are those of the triangle's corners at the point, or
    // at the triangle's nearest point when the point lies outside.
    struct Hit {
        std::int32_t triangle = -1;  // negative: nothing found
        std::array<double, 3> weights{};
        double sqrDistance = 0.0;    // 0 when the triangle holds the point
        int coincidentCorner = -1;   // 0..2: the point lies on that corner; negative: on none

        bool found() const { return triangle >= 0; }
        bool inside() const { return found() && sqrDistance == 0.0; }
    };

    // Points on a triangle's boundary count as inside up to this fraction of the triangle's size.
    static constexpr double insideTolerance = 1e-9;
    // A point lies on a corner when nearer to it than this fraction of the longest edge.
    static constexpr double cornerTolerance = 1e-6;
    // A point inside a triangle lies on one of its edges, where a neighbouring triangle may have a
    // corner (a hanging node), when a corner's weight is below this. Generous: initial
    // coordinates are floats, so a hanging node lies off the edge by their rounding.
    static constexpr double edgeTolerance = 1e-4;

    explicit TriangleLocator(PlanarTriangulation triangulation);

    // A triangle that holds p, else the nearest triangle no farther than maxDistance, else none.
    // A point on a corner of some triangle is found on that corner, also when the triangle found
    // first only has it on an edge. hint: a triangle to try first (the previous hit, for points
    // that come in mesh order).
    Hit locate(Point2 p, double maxDistance, std::int32_t hint = -1) const;

    const PlanarTriangulation& triangulation() const { return triangulation_; }

    // Mean length of the triangles' edges, each edge counted once per triangle.
    double meanEdgeLength() const { return meanEdgeLength_; }

    // The triangles that wind against the prevailing winding; degenerate ones count for neither.
    std::size_t foldedTriangles() const { return std::min(windings_[0], windings_[1]); }

    // The positions 0 .. count-1 of points in the order in which they are best located: nearby
    // points one after another, so that they find their candidate triangles in the cache,
    // whatever order they came in. pointAt(k): point k (a point that is not a number may come
    // anywhere).
    template <typename PointAt>
    std::vector<std::int32_t> locationOrder(std::size_t count, PointAt pointAt) const;

private:
    // The cells x0..x1 by y0..y1, none when x0 > x1. For a point: its cell, and the last cell
    // that a box ending at it enters.
    struct CellRange {
        std::int32_t x0, y0, x1, y1;
    };

    // The triangles that go into the grid: how many, and the area they cover.
    struct IndexedTriangles {
        double count = 0.0;
        double area = 0.0;
    };

    void alignAxes();
    Point2 toGrid(Point2 p) const;
    IndexedTriangles survey();
    void buildGrid(const IndexedTriangles& indexed);
    void findPointCells(CellRange* pointCells) const;
    bool countEntries(double budget, const CellRange* pointCells);
    void fillGrid(const CellRange* pointCells);
    CellRange cellsOf(std::int32_t triangle, const CellRange* pointCells) const;
    std::size_t centroidCellOf(std::int32_t triangle, const CellRange* pointCells) const;
    std::int64_t cellX(double x) const;
    std::int64_t cellY(double y) const;
    // Blocks of neighbouring grid cells, numbered along a Z-order curve over the plane: the
    // location order goes tile by tile. tileOf: the tile of p's cell (the nearest cell for a point
    // off the grid, the grid's first for one that is not a number); every tile lies below
    // tileCount(), at most 2^16.
    std::uint32_t tileOf(Point2 p) const;
    std::uint32_t tileCount() const;
    std::uint32_t tileOfCell(std::int64_t x, std::int64_t y) const;
    const std::int32_t* cellBegin(std::int64_t x, std::int64_t y) const;
    const std::int32_t* cellEnd(std::int64_t x, std::int64_t y) const;

    // The corners' weights at p before they are divided by the total, the triangle's doubled
    // signed area; holds: p lies inside or on the boundary; onEdge: p lies on an edge, or next to
    // it by a weight of up to edgeTolerance.
    struct CornerAreas {
        double a, b, c, total;
        bool holds, onEdge;
    };
    CornerAreas cornerAreas(std::int32_t triangle, Point2 p) const;
    bool holds(std::int32_t triangle, Point2 p, Hit& hit) const;
    void measureOutside(std::int32_t triangle, Point2 p, Hit& hit) const;
    void markCoincidentCorner(Point2 p, Hit& hit) const;
    bool searchCell(Point2 p, std::int32_t testedHint, Hit& hit) const;
    void findHangingCorner(Point2 p, Hit& hit) const;
    Hit searchRings(Point2 p, double maxDistance) const;
    bool visitCell(std::int64_t x, std::int64_t y, Point2 p, double maxSqrDistance, Hit& best) const;

    PlanarTriangulation triangulation_;
    std::vector<bool> indexed_;  // per triangle: it can hold a point, so it is in the grid
    bool fetchesAhead_ = false;  // the passes over the triangles ask for their corners ahead
    bool turned_ = false;        // the grid's axes are the plane's turned by (axisCos_, axisSin_)
    double axisCos_ = 1.0, axisSin_ = 0.0;
    double originX_ = 0.0, originY_ = 0.0;  // the grid's corner and extent, in the grid's axes
    double extentX_ = 0.0, extentY_ = 0.0;
    double cellSize_ = 1.0, inverseCellSize_ = 1.0;
    std::int64_t cellsX_ = 0, cellsY_ = 0;
    int tileShift_ = 4;  // a tile is 2^shift by 2^shift cells, at least 16 by 16: runs of points in
                         // mesh order stay together, and so does every point of a small mesh
    std::vector<std::uint32_t> cellOffsets_;  // cell c holds cellTriangles_[offsets[c] .. offsets[c+1])
    std::vector<std::int32_t> cellTriangles_;
    double meanEdgeLength_ = 0.0;
    std::array<std::size_t, 2> windings_{};  // the triangles wound counter-clockwise, clockwise
};

// A counting sort by tile: two passes over the points.
template <typename PointAt>
std::vector<std::int32_t> TriangleLocator::locationOrder(std::size_t count, PointAt pointAt) const
{
    std::vector<std::uint16_t> tiles(count);
    std::vector<std::uint32_t> starts(tileCount() + 1, 0);
    for (std::size_t k = 0; k < count; ++k) {
        tiles[k] = static_cast<std::uint16_t>(tileOf(pointAt(k)));
        ++starts[tiles[k] + 1u];
    }
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    std::vector<std::int32_t> order(count);
    for (std::size_t k = 0; k < count; ++k)
        order[starts[tiles[k]]++] = static_cast<std::int32_t>(k);
    return order;
}

}  // namespace Calvora

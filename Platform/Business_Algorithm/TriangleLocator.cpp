#include "TriangleLocator.h"

#include "FetchAhead.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

namespace Calvora {
namespace {

// About five triangles per cell: a query tests a handful of candidates, and each triangle's
// bounding box overlaps few cells. Fewer cells build faster and take less memory than the extra
// candidates per query cost.
constexpr double kTrianglesPerCell = 5.0;
// Meshes with long slivers would put one triangle into many cells; the grid coarsens until the
// cell entries fit this budget, so that the index stays linear in the mesh size.
constexpr double kEntriesPerTriangle = 16.0;
constexpr double kCellsPerTriangle = 4.0;
// Cell coordinates are kept in 32 bits while the grid is built.
constexpr double kMostCellsPerSide = std::numeric_limits<std::int32_t>::max();

double cross(double ax, double ay, double bx, double by)
{
    return ax * by - ay * bx;
}

double sqr(double value)
{
    return value * value;
}

bool isFinite(Point2 p)
{
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// The last cell that an interval ending at offset (counted in cells) enters: ceil(offset) - 1,
// clamped to the grid.
std::int64_t lastCellBefore(double offset, std::int64_t cells)
{
    const double clamped = std::min(offset > 0.0 ? offset : 0.0, static_cast<double>(cells));
    const auto whole = static_cast<std::int64_t>(clamped);
    return std::min(static_cast<double>(whole) == clamped ? whole - 1 : whole, cells - 1);
}

// The bits of v spread to the even bit positions: the x half of a Z-order index.
std::uint32_t spreadBits(std::uint32_t v)
{
    v = (v | (v << 4)) & 0x0f0fu;
    v = (v | (v << 2)) & 0x3333u;
    return (v | (v << 1)) & 0x5555u;
}

// The grid turns with the mesh when the edges of this many triangles, spread over the mesh, agree
// on a direction by at least kLeastAgreement (1: all parallel or perpendicular, 0: no preference;
// quads jittered by a fifth of their size reach 0.8, stretched ones far less), and that
// direction lies at least kLeastTurn (radians) off the plane's axes.
constexpr std::size_t kOrientationSample = 4096;
constexpr double kLeastAgreement = 0.5;
constexpr double kLeastTurn = 0.05;

// Asks for the entries of `table` at the corners of the triangle kFetchAhead places after t: on a
// mesh numbered at random they lie all over memory, and asked for early their misses overlap.
template <typename Entry>
void fetchCornersAhead(const std::vector<std::array<std::int32_t, 3>>& triangles, std::size_t t, const Entry* table,
                       std::size_t tableSize)
{
    if (t + CoreIoInternal::kFetchAhead >= triangles.size())
        return;
    for (const std::int32_t corner : triangles[t + CoreIoInternal::kFetchAhead])
        if (static_cast<std::size_t>(corner) < tableSize)
            __builtin_prefetch(table + corner);
}

// Consecutive triangles of a mesh numbered in order have corners next to each other's: within this
// many positions.
constexpr std::int64_t kNearbyPositions = 64;

// Whether the triangles' corners lie all over the points, as in a mesh numbered at random, judged
// by pairs of consecutive triangles spread over the mesh. The passes over the triangles then ask
// for the corners ahead; in a mesh numbered in order the cache has them anyway, and asking would
// only take time.
bool scattersCorners(const std::vector<std::array<std::int32_t, 3>>& triangles)
{
    const std::size_t step = std::max<std::size_t>(1, triangles.size() / kOrientationSample);
    std::size_t pairs = 0, apart = 0;
    for (std::size_t t = 0; t + 1 < triangles.size(); t += step) {
        const auto near = [&](std::int32_t corner) {
            return std::ranges::any_of(triangles[t], [&](std::int32_t previous) {
                return std::abs(std::int64_t{corner} - previous) <= kNearbyPositions;
            });
        };
        ++pairs;
        if (!std::ranges::all_of(triangles[t + 1], near))
            ++apart;
    }
    return 2 * apart > pairs;
}

// Tiles per side: a tile coordinate has 8 bits, so that two interleave into a 16-bit tile number.
constexpr std::int64_t kTilesPerSide = 256;

}  // namespace

TriangleLocator::TriangleLocator(PlanarTriangulation triangulation) : triangulation_(std::move(triangulation))
{
    alignAxes();
    fetchesAhead_ = scattersCorners(triangulation_.triangles);
    const IndexedTriangles indexed = survey();
    if (indexed.count > 0.0)
        buildGrid(indexed);
}

// Turns the grid to the direction that the edges of a sample of triangles share, up to quarter
// turns. A mesh of quads, turned against the plane's axes, would otherwise spread each row of
// triangles over many rows of cells: building the grid would take longer, and the boxes of the
// triangles would overlap more cells. Each triangle's shortest edge, a side of its quad
// and never the diagonal, votes with its direction's angle times four, so that an edge and its
// perpendicular agree. Meshes without a clear direction keep the plane's axes: a wrong turn
// would cost what a right one saves.
void TriangleLocator::alignAxes()
{
    const std::size_t count = triangulation_.triangles.size();
    const std::size_t step = std::max<std::size_t>(1, count / kOrientationSample);
    const auto pointCount = static_cast<std::size_t>(triangulation_.points.size());
    double sumCos = 0.0, sumSin = 0.0, votes = 0.0;
    for (std::size_t t = 0; t < count; t += step) {
        const auto& corners = triangulation_.triangles[t];
        if (std::ranges::any_of(corners, [&](std::int32_t c) { return static_cast<std::size_t>(c) >= pointCount; }))
            continue;
        std::array<Point2, 3> edges;
        for (std::size_t k = 0; k < 3; ++k) {
            const Point2 from = triangulation_.points[static_cast<std::size_t>(corners[k])];
            const Point2 to = triangulation_.points[static_cast<std::size_t>(corners[(k + 1) % 3])];
            edges[k] = {to.x - from.x, to.y - from.y};
        }
        const Point2 edge = *std::ranges::min_element(edges, {}, [](Point2 e) { return sqr(e.x) + sqr(e.y); });
        const double length2 = sqr(edge.x) + sqr(edge.y);
        if (!(length2 > 0.0) || !std::isfinite(length2))
            continue;
        const double cos2 = (sqr(edge.x) - sqr(edge.y)) / length2, sin2 = 2.0 * edge.x * edge.y / length2;
        sumCos += sqr(cos2) - sqr(sin2);
        sumSin += 2.0 * cos2 * sin2;
        votes += 1.0;
    }
    if (!(std::hypot(sumCos, sumSin) >= kLeastAgreement * votes))
        return;
    const double angle = 0.25 * std::atan2(sumSin, sumCos);
    if (std::abs(angle) < kLeastTurn)
        return;
    turned_ = true;
    axisCos_ = std::cos(angle);
    axisSin_ = std::sin(angle);
}

// p in the grid's axes.
inline Point2 TriangleLocator::toGrid(Point2 p) const
{
    if (!turned_)
        return p;
    return {axisCos_ * p.x + axisSin_ * p.y, axisCos_ * p.y - axisSin_ * p.x};
}

// One pass over the triangles: checks their corners, and finds those that can hold a point
// (a finite perimeter, non-zero area), the box around them, their number and area, and the
// mean edge length.
TriangleLocator::IndexedTriangles TriangleLocator::survey()
{
    double minX = std::numeric_limits<double>::infinity(), minY = minX;
    double maxX = -minX, maxY = -minX;
    IndexedTriangles indexed;
    double edgeSum = 0.0, edges = 0.0;
    std::size_t counterClockwise = 0;
    const auto pointCount = static_cast<std::int64_t>(triangulation_.points.size());
    indexed_.assign(triangulation_.triangles.size(), false);
    for (std::size_t t = 0; t < triangulation_.triangles.size(); ++t) {
        if (fetchesAhead_)
            fetchCornersAhead(triangulation_.triangles, t, triangulation_.points.data(), triangulation_.points.size());
        const auto& corners = triangulation_.triangles[t];
        for (std::int32_t corner : corners)
            if (corner < 0 || corner >= pointCount)
                throw std::invalid_argument("TriangleLocator: triangle " + std::to_string(t) + " has corner " +
                                            std::to_string(corner) + ", not one of the " + std::to_string(pointCount) +
                                            " points");
        const Point2 a = triangulation_.points[static_cast<std::size_t>(corners[0])];
        const Point2 b = triangulation_.points[static_cast<std::size_t>(corners[1])];
        const Point2 c = triangulation_.points[static_cast<std::size_t>(corners[2])];
        // A corner that is not a finite number makes the perimeter so: one test instead of six.
        const double perimeter = std::sqrt(sqr(b.x - a.x) + sqr(b.y - a.y)) +
                                 std::sqrt(sqr(c.x - b.x) + sqr(c.y - b.y)) +
                                 std::sqrt(sqr(a.x - c.x) + sqr(a.y - c.y));
        if (!std::isfinite(perimeter))
            continue;
        edgeSum += perimeter;
        edges += 3.0;
        const double doubleArea = cross(b.x - a.x, b.y - a.y, c.x - a.x, c.y - a.y);
        if (doubleArea == 0.0)
            continue;
        counterClockwise += doubleArea > 0.0;
        indexed_[t] = true;
        indexed.count += 1.0;
        indexed.area += 0.5 * std::abs(doubleArea);
        const Point2 ga = toGrid(a), gb = toGrid(b), gc = toGrid(c);
        minX = std::min({minX, ga.x, gb.x, gc.x});
        maxX = std::max({maxX, ga.x, gb.x, gc.x});
        minY = std::min({minY, ga.y, gb.y, gc.y});
        maxY = std::max({maxY, ga.y, gb.y, gc.y});
    }
    meanEdgeLength_ = edges > 0.0 ? edgeSum / edges : 0.0;
    windings_ = {counterClockwise, static_cast<std::size_t>(indexed.count) - counterClockwise};
    originX_ = minX;
    originY_ = minY;
    extentX_ = maxX - minX;
    extentY_ = maxY - minY;
    return indexed;
}

// Cells are sized by the area that the triangles cover, not by their box: a mesh turned against
// the axes, or one with holes, covers only part of its box, and cells sized by the box would list
// more triangles each. Never more cells than triangles, however little of the box is covered.
void TriangleLocator::buildGrid(const IndexedTriangles& indexed)
{
    const auto pointCells = std::make_unique_for_overwrite<CellRange[]>(triangulation_.points.size());
    const double size = std::max(extentX_, extentY_);
    const double boxArea = std::max(extentX_, 1e-12 * size) * std::max(extentY_, 1e-12 * size);
    const double indexedTriangles = indexed.count;
    for (double cell = std::sqrt(std::max(kTrianglesPerCell * indexed.area, boxArea) / indexedTriangles);;
         cell *= 2.0) {
        const double cellsX = std::max(1.0, std::ceil(extentX_ / cell));
        const double cellsY = std::max(1.0, std::ceil(extentY_ / cell));
        const bool tooMany = cellsX * cellsY > kCellsPerTriangle * indexedTriangles + 1.0;
        if (tooMany || std::max(cellsX, cellsY) > kMostCellsPerSide)
            continue;
        cellSize_ = cell;
        inverseCellSize_ = 1.0 / cell;
        cellsX_ = static_cast<std::int64_t>(cellsX);
        cellsY_ = static_cast<std::int64_t>(cellsY);
        const double budget = std::min(kEntriesPerTriangle * indexedTriangles + cellsX * cellsY,
                                       static_cast<double>(std::numeric_limits<std::uint32_t>::max()));
        findPointCells(pointCells.get());
        if (countEntries(budget, pointCells.get()))
            break;
    }
    fillGrid(pointCells.get());
    while (((std::max(cellsX_, cellsY_) - 1) >> tileShift_) >= kTilesPerSide)
        ++tileShift_;
}

// Each point's cell, and the last cell that a box ending at the point enters: the same cell, or
// the one before when the point lies on a cell border. Both grow with the coordinate, so the
// cells of a triangle's box follow from those of its corners, found once per point instead of
// once per triangle and pass. A point that is not a number gets a clamped cell and belongs to
// no indexed triangle.
void TriangleLocator::findPointCells(CellRange* pointCells) const
{
    for (std::size_t k = 0; k < triangulation_.points.size(); ++k) {
        const Point2 p = toGrid(triangulation_.points[k]);
        pointCells[k] = {static_cast<std::int32_t>(cellX(p.x)), static_cast<std::int32_t>(cellY(p.y)),
                         static_cast<std::int32_t>(lastCellBefore((p.x - originX_) * inverseCellSize_, cellsX_)),
                         static_cast<std::int32_t>(lastCellBefore((p.y - originY_) * inverseCellSize_, cellsY_))};
    }
}

// Counts each cell's triangles into the next cell's offset; false as soon as the total exceeds
// the budget. A box of at most 2 by 2 cells, nearly every box once cells are larger than the
// triangles, adds to all four cells, those it lacks adding zero: whether a box is one or two
// cells wide is a branch that no predictor gets right.
bool TriangleLocator::countEntries(double budget, const CellRange* pointCells)
{
    cellOffsets_.assign(static_cast<std::size_t>(cellsX_ * cellsY_) + 1, 0);
    std::uint32_t* const counts = cellOffsets_.data() + 1;
    const auto limit = static_cast<std::uint64_t>(budget);
    std::uint64_t entries = 0;
    const auto triangleCount = static_cast<std::int32_t>(triangulation_.triangles.size());
    for (std::int32_t t = 0; t < triangleCount; ++t) {
        if (fetchesAhead_)
            fetchCornersAhead(triangulation_.triangles, static_cast<std::size_t>(t), pointCells,
                              triangulation_.points.size());
        const CellRange range = cellsOf(t, pointCells);
        if (range.x0 > range.x1)
            continue;
        const auto wide = static_cast<std::uint32_t>(range.x1 - range.x0);
        const auto tall = static_cast<std::uint32_t>(range.y1 - range.y0);
        entries += std::uint64_t{wide + 1} * (tall + 1);
        if (entries > limit)
            return false;
        const auto first = static_cast<std::size_t>(range.y0 * cellsX_ + range.x0);
        if (wide <= 1 && tall <= 1) {
            const std::size_t up = tall * static_cast<std::size_t>(cellsX_);
            counts[first] += 1;
            counts[first + wide] += wide;
            counts[first + up] += tall;
            counts[first + up + wide] += wide & tall;
            continue;
        }
        for (std::int64_t y = range.y0; y <= range.y1; ++y)
            for (std::int64_t x = range.x0; x <= range.x1; ++x)
                ++counts[static_cast<std::size_t>(y * cellsX_ + x)];
    }
    return true;
}

// Each cell lists first the triangles whose centroid it holds, which cover most of its area and
// so most of the points a query brings, and after them the triangles that only reach into it.
void TriangleLocator::fillGrid(const CellRange* pointCells)
{
    const std::size_t cellCount = cellOffsets_.size() - 1;
    for (std::size_t cell = 0; cell < cellCount; ++cell)
        cellOffsets_[cell + 1] += cellOffsets_[cell];
    cellTriangles_.resize(cellOffsets_[cellCount]);
    std::vector<std::uint32_t> front(cellOffsets_.begin(), cellOffsets_.end() - 1);
    std::vector<std::uint32_t> back(cellOffsets_.begin() + 1, cellOffsets_.end());
    const auto triangleCount = static_cast<std::int32_t>(triangulation_.triangles.size());
    for (std::int32_t t = 0; t < triangleCount; ++t) {
        if (fetchesAhead_)
            fetchCornersAhead(triangulation_.triangles, static_cast<std::size_t>(t), pointCells,
                              triangulation_.points.size());
        const CellRange range = cellsOf(t, pointCells);
        if (range.x0 > range.x1)
            continue;
        const std::size_t centroidCell = centroidCellOf(t, pointCells);
        for (std::int64_t y = range.y0; y <= range.y1; ++y)
            for (std::int64_t x = range.x0; x <= range.x1; ++x) {
                const auto cell = static_cast<std::size_t>(y * cellsX_ + x);
                cellTriangles_[cell == centroidCell ? front[cell]++ : --back[cell]] = t;
            }
    }
}

// About the cell of the triangle's centroid: the mean of its corners' cells, rounded to nearest.
inline std::size_t TriangleLocator::centroidCellOf(std::int32_t triangle, const CellRange* pointCells) const
{
    const auto& corners = triangulation_.triangles[static_cast<std::size_t>(triangle)];
    const CellRange& a = pointCells[static_cast<std::size_t>(corners[0])];
    const CellRange& b = pointCells[static_cast<std::size_t>(corners[1])];
    const CellRange& c = pointCells[static_cast<std::size_t>(corners[2])];
    const std::int64_t x = (std::int64_t{a.x0} + b.x0 + c.x0 + 1) / 3;
    const std::int64_t y = (std::int64_t{a.y0} + b.y0 + c.y0 + 1) / 3;
    return static_cast<std::size_t>(y * cellsX_ + x);
}

// The cells that the triangle's box overlaps; none for a triangle that is not indexed.
// Half-open boxes: a triangle that ends on a cell border is not entered into the next cell, so on
// grids aligned with the cells each triangle lands in one cell, not four. A point on such a
// border finds the triangles on its other side there, or the ring search finds it.
// Inline: it runs for every triangle in two passes.
inline TriangleLocator::CellRange TriangleLocator::cellsOf(std::int32_t triangle, const CellRange* pointCells) const
{
    if (!indexed_[static_cast<std::size_t>(triangle)])
        return {1, 1, 0, 0};
    const auto& corners = triangulation_.triangles[static_cast<std::size_t>(triangle)];
    const CellRange& a = pointCells[static_cast<std::size_t>(corners[0])];
    const CellRange& b = pointCells[static_cast<std::size_t>(corners[1])];
    const CellRange& c = pointCells[static_cast<std::size_t>(corners[2])];
    const std::int32_t x0 = std::min({a.x0, b.x0, c.x0}), y0 = std::min({a.y0, b.y0, c.y0});
    return {x0, y0, std::max({x0, a.x1, b.x1, c.x1}), std::max({y0, a.y1, b.y1, c.y1})};
}

// Truncation instead of floor: the offset is clamped to be non-negative first, and a library
// call per coordinate would dominate building the grid.
std::int64_t TriangleLocator::cellX(double x) const
{
    const double offset = (x - originX_) * inverseCellSize_;
    return static_cast<std::int64_t>(std::min(offset > 0.0 ? offset : 0.0, static_cast<double>(cellsX_ - 1)));
}

std::int64_t TriangleLocator::cellY(double y) const
{
    const double offset = (y - originY_) * inverseCellSize_;
    return static_cast<std::int64_t>(std::min(offset > 0.0 ? offset : 0.0, static_cast<double>(cellsY_ - 1)));
}

std::uint32_t TriangleLocator::tileOf(Point2 p) const
{
    if (cellsX_ == 0)
        return 0;
    const Point2 g = toGrid(p);
    return tileOfCell(cellX(g.x), cellY(g.y));
}

// The last cell has the largest tile number: interleaving keeps the order of each coordinate.
std::uint32_t TriangleLocator::tileCount() const
{
    return cellsX_ == 0 ? 1 : tileOfCell(cellsX_ - 1, cellsY_ - 1) + 1;
}

std::uint32_t TriangleLocator::tileOfCell(std::int64_t x, std::int64_t y) const
{
    const auto tileX = static_cast<std::uint32_t>(x >> tileShift_);
    const auto tileY = static_cast<std::uint32_t>(y >> tileShift_);
    return spreadBits(tileX) | (spreadBits(tileY) << 1);
}

const std::int32_t* TriangleLocator::cellBegin(std::int64_t x, std::int64_t y) const
{
    return cellTriangles_.data() + cellOffsets_[static_cast<std::size_t>(y * cellsX_ + x)];
}

const std::int32_t* TriangleLocator::cellEnd(std::int64_t x, std::int64_t y) const
{
    return cellTriangles_.data() + cellOffsets_[static_cast<std::size_t>(y * cellsX_ + x) + 1];
}

// One result, filled in place by each step and returned by name, so that it is never copied.
TriangleLocator::Hit TriangleLocator::locate(Point2 p, double maxDistance, std::int32_t hint) const
{
    Hit hit;
    if (!isFinite(p) || cellsX_ == 0)
        return hit;
    // As in searchCell: a failed test of the hint, the common case, works out no weights.
    if (hint >= 0 && static_cast<std::size_t>(hint) < triangulation_.triangles.size() && cornerAreas(hint, p).holds) {
        holds(hint, p, hit);
        return hit;
    }
    if (!searchCell(p, hint, hit))
        hit = searchRings(p, maxDistance);
    return hit;
}

// A hanging node is a corner of the triangles on its own side, whose boxes overlap it: they are
// in its cell, or in the cell next to it when it lies on a cell border.
void TriangleLocator::findHangingCorner(Point2 p, Hit& hit) const
{
    const Point2 g = toGrid(p);
    const double reach = cornerTolerance * cellSize_;
    for (std::int64_t y = cellY(g.y - reach), y1 = cellY(g.y + reach); y <= y1; ++y)
        for (std::int64_t x = cellX(g.x - reach), x1 = cellX(g.x + reach); x <= x1; ++x)
            for (const std::int32_t* t = cellBegin(x, y); t != cellEnd(x, y); ++t) {
                Hit candidate;
                candidate.triangle = *t;
                markCoincidentCorner(p, candidate);
                if (candidate.coincidentCorner < 0)
                    continue;
                candidate.weights[static_cast<std::size_t>(candidate.coincidentCorner)] = 1.0;
                hit = candidate;
                return;
            }
}

// Each corner's weight is the area of the triangle that p forms with the opposite edge. Both
// triangles of a shared edge compute that area from the same two differences, so a point on the
// edge gets weights of opposite sign in the two and always falls into one of them.
inline TriangleLocator::CornerAreas TriangleLocator::cornerAreas(std::int32_t triangle, Point2 p) const
{
    const auto& corners = triangulation_.triangles[static_cast<std::size_t>(triangle)];
    const Point2 a = triangulation_.points[static_cast<std::size_t>(corners[0])];
    const Point2 b = triangulation_.points[static_cast<std::size_t>(corners[1])];
    const Point2 c = triangulation_.points[static_cast<std::size_t>(corners[2])];
    CornerAreas areas;
    areas.a = cross(b.x - p.x, b.y - p.y, c.x - p.x, c.y - p.y);
    areas.b = cross(c.x - p.x, c.y - p.y, a.x - p.x, a.y - p.y);
    areas.c = cross(a.x - p.x, a.y - p.y, b.x - p.x, b.y - p.y);
    areas.total = areas.a + areas.b + areas.c;
    const double orientation = areas.total > 0.0 ? 1.0 : -1.0;
    const double smallest = std::min(std::min(areas.a * orientation, areas.b * orientation), areas.c * orientation);
    areas.holds = smallest >= -insideTolerance * std::abs(areas.total) && areas.total != 0.0;
    areas.onEdge = smallest <= edgeTolerance * std::abs(areas.total);
    return areas;
}

bool TriangleLocator::holds(std::int32_t triangle, Point2 p, Hit& hit) const
{
    const CornerAreas areas = cornerAreas(triangle, p);
    if (!areas.holds)
        return false;
    hit.triangle = triangle;
    hit.weights = {areas.a / areas.total, areas.b / areas.total, areas.c / areas.total};
    hit.sqrDistance = 0.0;
    markCoincidentCorner(p, hit);
    if (areas.onEdge && hit.coincidentCorner < 0)
        findHangingCorner(p, hit);
    return true;
}

void TriangleLocator::measureOutside(std::int32_t triangle, Point2 p, Hit& hit) const
{
    const auto& corners = triangulation_.triangles[static_cast<std::size_t>(triangle)];
    hit.triangle = triangle;
    hit.sqrDistance = std::numeric_limits<double>::infinity();
    for (int from = 0; from < 3; ++from) {
        const int to = (from + 1) % 3;
        const Point2 u = triangulation_.points[static_cast<std::size_t>(corners[static_cast<std::size_t>(from)])];
        const Point2 v = triangulation_.points[static_cast<std::size_t>(corners[static_cast<std::size_t>(to)])];
        const double ex = v.x - u.x, ey = v.y - u.y;
        const double length2 = ex * ex + ey * ey;
        const double s = length2 > 0.0 ? std::clamp(((p.x - u.x) * ex + (p.y - u.y) * ey) / length2, 0.0, 1.0) : 0.0;
        const double distance2 = sqr(u.x + s * ex - p.x) + sqr(u.y + s * ey - p.y);
        if (distance2 < hit.sqrDistance) {
            hit.sqrDistance = distance2;
            hit.weights = {0.0, 0.0, 0.0};
            hit.weights[static_cast<std::size_t>(from)] = 1.0 - s;
            hit.weights[static_cast<std::size_t>(to)] = s;
        }
    }
}

void TriangleLocator::markCoincidentCorner(Point2 p, Hit& hit) const
{
    const auto& corners = triangulation_.triangles[static_cast<std::size_t>(hit.triangle)];
    std::array<Point2, 3> at;
    std::array<double, 3> distance2;
    for (std::size_t k = 0; k < 3; ++k) {
        at[k] = triangulation_.points[static_cast<std::size_t>(corners[k])];
        distance2[k] = sqr(p.x - at[k].x) + sqr(p.y - at[k].y);
    }
    hit.coincidentCorner = -1;
    // The longest edge is at most twice the farthest corner's distance, which settles most
    // points without measuring the edges. Which corner is nearest is asked only then: that
    // choice is a branch that no predictor gets right.
    const double nearest2 = std::min({distance2[0], distance2[1], distance2[2]});
    const double farthest2 = std::max({distance2[0], distance2[1], distance2[2]});
    if (nearest2 > sqr(cornerTolerance) * 4.0 * farthest2)
        return;
    double longest2 = 0.0;
    for (std::size_t k = 0; k < 3; ++k)
        longest2 = std::max(longest2, sqr(at[(k + 1) % 3].x - at[k].x) + sqr(at[(k + 1) % 3].y - at[k].y));
    if (nearest2 <= sqr(cornerTolerance) * longest2)
        hit.coincidentCorner = static_cast<int>(std::min_element(distance2.begin(), distance2.end()) -
                                                distance2.begin());
}

// The first triangle of p's cell that holds p, into hit; false if none. The hint, already
// tested, is skipped: points in mesh order lie close together, so it is often in the cell.
// The loop asks only whether a candidate holds p, and holds() works out the weights again for
// the one that does, rather than keeping every candidate's weights at hand.
bool TriangleLocator::searchCell(Point2 p, std::int32_t testedHint, Hit& hit) const
{
    const Point2 g = toGrid(p);
    const std::int64_t x = cellX(g.x), y = cellY(g.y);
    for (const std::int32_t *t = cellBegin(x, y), *end = cellEnd(x, y); t != end; ++t)
        if (*t != testedHint && cornerAreas(*t, p).holds)
            return holds(*t, p, hit);
    return false;
}

// Visits the cells in square rings around p's cell, nearest ring first. A triangle not yet seen
// lies in no visited cell, so it is at least as far from p as the nearest unvisited cell; the
// search stops once that bound exceeds the best distance found or maxDistance.
TriangleLocator::Hit TriangleLocator::searchRings(Point2 p, double maxDistance) const
{
    if (!(maxDistance >= 0.0))
        maxDistance = 0.0;
    const Point2 g = toGrid(p);
    const double gridRight = originX_ + static_cast<double>(cellsX_) * cellSize_;
    const double gridTop = originY_ + static_cast<double>(cellsY_) * cellSize_;
    const double outsideX = std::max({originX_ - g.x, 0.0, g.x - gridRight});
    const double outsideY = std::max({originY_ - g.y, 0.0, g.y - gridTop});
    const double maxSqrDistance = sqr(maxDistance);
    if (sqr(outsideX) + sqr(outsideY) > maxSqrDistance)
        return {};

    auto cellOf = [&](double offset, std::int64_t cells) {
        return static_cast<std::int64_t>(
            std::clamp(std::floor(offset * inverseCellSize_), -1.0, static_cast<double>(cells)));
    };
    const std::int64_t cx = cellOf(g.x - originX_, cellsX_), cy = cellOf(g.y - originY_, cellsY_);
    const std::int64_t firstRing = std::max({std::int64_t{0}, -cx, cx - (cellsX_ - 1), -cy, cy - (cellsY_ - 1)});

    Hit best;
    best.sqrDistance = std::numeric_limits<double>::infinity();
    for (std::int64_t r = firstRing;; ++r) {
        const std::int64_t x0 = std::max<std::int64_t>(cx - r, 0), x1 = std::min(cx + r, cellsX_ - 1);
        const std::int64_t y0 = std::max<std::int64_t>(cy - r, 0), y1 = std::min(cy + r, cellsY_ - 1);
        bool inside = false;
        for (std::int64_t x = x0; x <= x1 && !inside; ++x) {
            if (cy - r >= 0)
                inside = visitCell(x, cy - r, p, maxSqrDistance, best);
            if (!inside && r > 0 && cy + r < cellsY_)
                inside = visitCell(x, cy + r, p, maxSqrDistance, best);
        }
        for (std::int64_t y = std::max(y0, cy - r + 1); y <= std::min(y1, cy + r - 1) && !inside; ++y) {
            if (cx - r >= 0)
                inside = visitCell(cx - r, y, p, maxSqrDistance, best);
            if (!inside && r > 0 && cx + r < cellsX_)
                inside = visitCell(cx + r, y, p, maxSqrDistance, best);
        }
        if (inside)
            return best;

        double unseen = std::numeric_limits<double>::infinity();
        if (cx - r > 0)
            unseen = std::min(unseen, g.x - (originX_ + static_cast<double>(cx - r) * cellSize_));
        if (cx + r < cellsX_ - 1)
            unseen = std::min(unseen, originX_ + static_cast<double>(cx + r + 1) * cellSize_ - g.x);
        if (cy - r > 0)
            unseen = std::min(unseen, g.y - (originY_ + static_cast<double>(cy - r) * cellSize_));
        if (cy + r < cellsY_ - 1)
            unseen = std::min(unseen, originY_ + static_cast<double>(cy + r + 1) * cellSize_ - g.y);
        if (unseen > maxDistance || sqr(unseen) >= best.sqrDistance)
            break;
    }
    if (!best.found())
        return {};
    markCoincidentCorner(p, best);
    return best;
}

bool TriangleLocator::visitCell(std::int64_t x, std::int64_t y, Point2 p, double maxSqrDistance, Hit& best) const
{
    Hit candidate;
    for (const std::int32_t* t = cellBegin(x, y); t != cellEnd(x, y); ++t) {
        if (holds(*t, p, candidate)) {
            best = candidate;
            return true;
        }
        measureOutside(*t, p, candidate);
        if (candidate.sqrDistance <= maxSqrDistance && candidate.sqrDistance < best.sqrDistance)
            best = candidate;
    }
    return false;
}

}  // namespace Calvora

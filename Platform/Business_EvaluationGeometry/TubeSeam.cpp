#include "TubeSeam.h"

#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

namespace Calvora {
namespace {

constexpr PlaneAxis kAxes[] = {PlaneAxis::U, PlaneAxis::V};

int slotOf(PlaneAxis axis) { return axis == PlaneAxis::U ? 0 : 1; }
const char* nameOf(PlaneAxis axis) { return axis == PlaneAxis::U ? "u" : "v"; }

[[noreturn]] void reject(const std::string& problem)
{
    throw std::invalid_argument("TubeInitialCoordinatesConverter: " + problem);
}

std::string text(double value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

struct Planar {
    double u, v;
};

Planar operator-(Planar a, Planar b) { return {a.u - b.u, a.v - b.v}; }
double cross(Planar a, Planar b) { return a.u * b.v - a.v * b.u; }
Planar planar(const Vertex& vertex) { return {vertex.x, vertex.y}; }
Planar unitAlong(PlaneAxis axis) { return axis == PlaneAxis::U ? Planar{1.0, 0.0} : Planar{0.0, 1.0}; }
double along(const Vertex& vertex, PlaneAxis axis) { return axis == PlaneAxis::U ? vertex.x : vertex.y; }

// Twice the signed area in the plane: positive when counter-clockwise seen from +z.
double doubleArea(const Triangle& triangle)
{
    const Planar p0 = planar(*triangle.corners[0]);
    return cross(planar(*triangle.corners[1]) - p0, planar(*triangle.corners[2]) - p0);
}

// +1 counter-clockwise, -1 clockwise, 0 degenerate (or coordinates that are not numbers).
int windingOf(double doubleArea) { return int(doubleArea > 0.0) - int(doubleArea < 0.0); }

// Slot 0 of the per-winding tallies holds the counter-clockwise triangles, slot 1 the clockwise.
int slotOf(int winding) { return winding > 0 ? 0 : 1; }

struct Interval {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    void include(double value)
    {
        low = value < low ? value : low;
        high = value > high ? value : high;
    }
    double middle() const { return 0.5 * (low + high); }
    double length() const { return high - low; }
};

Interval extentAlong(const Triangle& triangle, PlaneAxis axis)
{
    Interval extent;
    for (const Vertex* corner : triangle.corners)
        extent.include(along(*corner, axis));
    return extent;
}

// The seam runs between the corners below the middle of the triangle's extent and the others;
// this holds as long as a triangle is narrower than half the circumference.
unsigned lowCornersOf(const Triangle& triangle, PlaneAxis axis)
{
    const double middle = extentAlong(triangle, axis).middle();
    unsigned lowCorners = 0;
    for (unsigned i = 0; i < 3; ++i)
        if (along(*triangle.corners[i], axis) < middle)
            lowCorners |= 1u << i;
    return lowCorners;
}

// Twice the signed area once the low corners moved up by `shift` along the axis. The area is
// linear in the shift (the quadratic term is the cross product of the axis with itself).
struct AreaLine {
    double atZero = 0.0;
    double perShift = 0.0;

    double at(double shift) const { return atZero + shift * perShift; }
};

AreaLine areaLineOf(const Triangle& triangle, unsigned lowCorners, PlaneAxis axis)
{
    const Planar p0 = planar(*triangle.corners[0]);
    const Planar edge1 = planar(*triangle.corners[1]) - p0;
    const Planar edge2 = planar(*triangle.corners[2]) - p0;
    const auto moves = [lowCorners](unsigned corner) { return double((lowCorners >> corner) & 1u); };
    const Planar unit = unitAlong(axis);
    return {cross(edge1, edge2),
            (moves(1) - moves(0)) * cross(unit, edge2) + (moves(2) - moves(0)) * cross(edge1, unit)};
}

struct WindingCensus {
    std::size_t triangles = 0;
    std::size_t count[2] = {0, 0};
    double areaSum[2] = {0.0, 0.0};                    // of absolute double areas, per winding
    double spanSum[2][2] = {{0.0, 0.0}, {0.0, 0.0}};   // per winding, per axis
    Interval data[2];                                  // per axis, over every triangle corner
};

void requireCorners(const Triangle& triangle, std::size_t position)
{
    for (const Vertex* corner : triangle.corners)
        if (corner == nullptr)
            reject("triangle " + std::to_string(position) + " of the initial-coordinate mesh has a missing corner");
}

WindingCensus takeCensus(const Mesh& mesh)
{
    WindingCensus census;
    census.triangles = mesh.numberOfTriangles();
    std::size_t position = 0;
    const auto end = mesh.endTriangle();
    for (auto triangle = mesh.beginTriangle(); triangle != end; ++triangle, ++position) {
        requireCorners(*triangle, position);
        const Interval extent[2] = {extentAlong(*triangle, PlaneAxis::U), extentAlong(*triangle, PlaneAxis::V)};
        const double area = doubleArea(*triangle);
        const int winding = windingOf(area);
        for (int axis = 0; axis < 2; ++axis) {
            census.data[axis].include(extent[axis].low);
            census.data[axis].include(extent[axis].high);
        }
        if (winding == 0)
            continue;
        const int slot = slotOf(winding);
        ++census.count[slot];
        census.areaSum[slot] += std::abs(area);
        for (int axis = 0; axis < 2; ++axis)
            census.spanSum[slot][axis] += extent[axis].length();
    }
    return census;
}

// The winding that most triangles share, +1 or -1: the tube's own.
int prevailingWinding(const WindingCensus& census)
{
    const std::size_t counterClockwise = census.count[0], clockwise = census.count[1];
    if (counterClockwise == 0 && clockwise == 0)
        reject("all " + std::to_string(census.triangles) +
               " triangles of the initial-coordinate mesh are degenerate, so the tube's winding cannot be told");
    if (counterClockwise == clockwise)
        reject("the initial-coordinate mesh has as many triangles wound one way as the other (" +
               std::to_string(clockwise) + " each), so the seam cannot be told from the rest");
    return counterClockwise > clockwise ? 1 : -1;
}

std::vector<const Triangle*> invertedTriangles(const Mesh& mesh, const WindingCensus& census, int winding)
{
    std::vector<const Triangle*> inverted;
    inverted.reserve(census.count[slotOf(-winding)]);
    const auto end = mesh.endTriangle();
    for (auto triangle = mesh.beginTriangle(); triangle != end; ++triangle)
        if (windingOf(doubleArea(*triangle)) == -winding)
            inverted.push_back(&*triangle);
    return inverted;
}

// Across the seam triangles stretch over nearly the whole circumference, along the other axis
// they keep the size of their neighbours: the axis with the larger stretch is the circumference.
PlaneAxis circumferentialAxis(const std::vector<const Triangle*>& inverted, const WindingCensus& census, int winding)
{
    double invertedSpanSum[2] = {0.0, 0.0};
    for (const Triangle* triangle : inverted)
        for (PlaneAxis axis : kAxes)
            invertedSpanSum[slotOf(axis)] += extentAlong(*triangle, axis).length();
    const int slot = slotOf(winding);
    const auto stretch = [&](PlaneAxis axis) {
        return invertedSpanSum[slotOf(axis)] / census.spanSum[slot][slotOf(axis)];
    };
    return stretch(PlaneAxis::V) > stretch(PlaneAxis::U) ? PlaneAxis::V : PlaneAxis::U;
}

// The period that gives the inverted triangles, once closed, the mean area of the others, in
// closed form since each area is linear in the period. A tube's initial coordinates lie within
// one period, so an estimate below the mesh's extent means the mesh does not wrap like a tube.
double estimatePeriod(const std::vector<const Triangle*>& inverted, PlaneAxis axis, const WindingCensus& census,
                      int winding)
{
    const int slot = slotOf(winding);
    const double meanArea = winding * census.areaSum[slot] / double(census.count[slot]);
    AreaLine total;
    for (const Triangle* triangle : inverted) {
        const AreaLine line = areaLineOf(*triangle, lowCornersOf(*triangle, axis), axis);
        total.atZero += line.atZero;
        total.perShift += line.perShift;
    }
    const double period = (meanArea * double(inverted.size()) - total.atZero) / total.perShift;
    const double extent = census.data[slotOf(axis)].length();
    if (!(std::isfinite(period) && period > extent))
        reject(std::string("the tube's circumference cannot be found from the initial-coordinate mesh: the triangles "
                           "wound against the rest suggest ") +
               text(period) + " along " + nameOf(axis) + ", which does not exceed the mesh's extent of " +
               text(extent) + "; give the circumference with setTubeSize");
    return period;
}

std::vector<SeamCrossing> seamCrossings(const Mesh& mesh, PlaneAxis axis, double period, int winding,
                                        std::size_t expected)
{
    std::vector<SeamCrossing> crossings;
    crossings.reserve(expected);
    std::size_t position = 0;
    const auto end = mesh.endTriangle();
    for (auto triangle = mesh.beginTriangle(); triangle != end; ++triangle, ++position)
        if (windingOf(doubleArea(*triangle)) == -winding || extentAlong(*triangle, axis).length() > 0.5 * period)
            crossings.push_back({position, lowCornersOf(*triangle, axis)});
    return crossings;
}

void requireClosed(const Mesh& mesh, const TubeSeam& seam, int winding, bool given)
{
    for (const SeamCrossing& crossing : seam.crossings) {
        const Triangle& triangle = mesh.getTriangle(static_cast<unsigned>(crossing.triangle));
        if (windingOf(areaLineOf(triangle, crossing.lowCorners, seam.axis).at(seam.period)) == -winding)
            reject(std::string("the ") + (given ? "given" : "estimated") + " circumference " + text(seam.period) +
                   " does not close the seam along " + nameOf(seam.axis) + ": triangle " +
                   std::to_string(crossing.triangle) + " would still be wound against the rest");
    }
}

}  // namespace

TubeSeam findTubeSeam(const Mesh& initCoordMesh, std::optional<double> circumference)
{
    TubeSeam seam;
    if (initCoordMesh.numberOfTriangles() == 0)
        return seam;
    const WindingCensus census = takeCensus(initCoordMesh);
    const int winding = prevailingWinding(census);
    const std::vector<const Triangle*> inverted = invertedTriangles(initCoordMesh, census, winding);
    if (inverted.empty())
        return seam;
    seam.axis = circumferentialAxis(inverted, census, winding);
    seam.period = circumference ? *circumference : estimatePeriod(inverted, seam.axis, census, winding);
    seam.crossings = seamCrossings(initCoordMesh, seam.axis, seam.period, winding, inverted.size());
    requireClosed(initCoordMesh, seam, winding, circumference.has_value());
    return seam;
}

}  // namespace Calvora

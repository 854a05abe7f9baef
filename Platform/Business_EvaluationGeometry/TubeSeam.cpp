#include "TubeSeam.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

namespace Calvora {
namespace {

int slotOf(PlaneAxis axis)
{
    return axis == PlaneAxis::U ? 0 : 1;
}
const char* nameOf(PlaneAxis axis)
{
    return axis == PlaneAxis::U ? "u" : "v";
}

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

Planar operator-(Planar a, Planar b)
{
    return {a.u - b.u, a.v - b.v};
}
double cross(Planar a, Planar b)
{
    return a.u * b.v - a.v * b.u;
}
Planar planar(const Vertex& vertex)
{
    return {vertex.x, vertex.y};
}
Planar unitAlong(PlaneAxis axis)
{
    return axis == PlaneAxis::U ? Planar{1.0, 0.0} : Planar{0.0, 1.0};
}
double along(const Vertex& vertex, PlaneAxis axis)
{
    return axis == PlaneAxis::U ? vertex.x : vertex.y;
}

// Twice the signed area in the plane: positive when counter-clockwise seen from +z.
double doubleArea(const Triangle& triangle)
{
    const Planar p0 = planar(*triangle.corners[0]);
    return cross(planar(*triangle.corners[1]) - p0, planar(*triangle.corners[2]) - p0);
}

// +1 counter-clockwise, -1 clockwise, 0 degenerate (or coordinates that are not numbers).
int windingOf(double doubleArea)
{
    return int(doubleArea > 0.0) - int(doubleArea < 0.0);
}

// Slot 0 of the per-winding tallies holds the counter-clockwise triangles, slot 1 the clockwise.
int slotOf(int winding)
{
    return winding > 0 ? 0 : 1;
}

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
    double doubleAreaSum = 0.0;                        // signed, over every triangle
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
        census.doubleAreaSum += area;
        for (int axis = 0; axis < 2; ++axis) {
            census.data[axis].include(extent[axis].low);
            census.data[axis].include(extent[axis].high);
        }
        if (winding == 0)
            continue;
        const int slot = slotOf(winding);
        ++census.count[slot];
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

// Across the seam triangles stretch over nearly the whole circumference, along the other axis
// they keep the size of their neighbours: the axis along which the triangles wound against the
// rest stretch more, relative to the others, is the circumference. Compared as cross products
// so that a mesh flat along one axis divides by nothing.
PlaneAxis circumferentialAxis(const WindingCensus& census, int winding)
{
    const double* inverted = census.spanSum[slotOf(-winding)];
    const double* prevailing = census.spanSum[slotOf(winding)];
    return inverted[1] * prevailing[0] > inverted[0] * prevailing[1] ? PlaneAxis::V : PlaneAxis::U;
}

// A period bound set by one crossing triangle, to name it when bounds contradict each other.
struct Bound {
    double value;
    std::size_t triangle = 0;
};

// What one pass over the triangles finds about the seam along an axis. Areas are doubled and
// signed so that the tube's winding counts positive.
struct SeamSurvey {
    std::vector<SeamCrossing> crossings;
    std::size_t others = 0;     // triangles that do not cross, degenerate ones included
    double otherAreaSum = 0.0;  // found from the census's sum, sparing the others an area each
    AreaLine crossingArea;      // summed over the crossing triangles, against the period
    Bound atLeast{-std::numeric_limits<double>::infinity()};  // the period that every crossing
    Bound atMost{std::numeric_limits<double>::infinity()};    // triangle's winding allows
};

// A crossing triangle keeps the tube's winding for periods on one side of where its area line
// crosses zero; one whose area does not change with the period must have that winding already.
void narrowBounds(SeamSurvey& survey, const AreaLine& area, std::size_t position, PlaneAxis axis)
{
    if (area.perShift > 0.0) {
        const double root = -area.atZero / area.perShift;
        if (root > survey.atLeast.value)
            survey.atLeast = {root, position};
    } else if (area.perShift < 0.0) {
        const double root = -area.atZero / area.perShift;
        if (root < survey.atMost.value)
            survey.atMost = {root, position};
    } else if (area.atZero < 0.0) {
        reject("triangle " + std::to_string(position) + " crosses the seam along " + nameOf(axis) +
               " but lies along it, so no circumference turns it to the winding of the rest");
    }
}

// A triangle crosses the seam when it spans more than half the circumference, which the extent
// of the data falls short of by about one cell: the mean span of the triangles that keep the
// tube's winding. Half the extent alone would be no more than one cell on a tube of three cells
// around, and would take its cells for crossings.
double crossingSpan(const WindingCensus& census, PlaneAxis axis, int winding)
{
    const int slot = slotOf(winding);
    const double meanSpan = census.spanSum[slot][slotOf(axis)] / double(census.count[slot]);
    return 0.5 * (census.data[slotOf(axis)].length() + meanSpan);
}

SeamSurvey surveySeam(const Mesh& mesh, PlaneAxis axis, const WindingCensus& census, int winding)
{
    SeamSurvey survey;
    const double leastSpan = crossingSpan(census, axis, winding);
    std::size_t position = 0;
    const auto end = mesh.endTriangle();
    for (auto triangle = mesh.beginTriangle(); triangle != end; ++triangle, ++position) {
        if (extentAlong(*triangle, axis).length() <= leastSpan)
            continue;
        const unsigned lowCorners = lowCornersOf(*triangle, axis);
        const AreaLine line = areaLineOf(*triangle, lowCorners, axis);
        const AreaLine area{winding * line.atZero, winding * line.perShift};
        survey.crossings.push_back({position, lowCorners});
        survey.crossingArea.atZero += area.atZero;
        survey.crossingArea.perShift += area.perShift;
        narrowBounds(survey, area, position, axis);
    }
    survey.others = census.triangles - survey.crossings.size();
    survey.otherAreaSum = winding * census.doubleAreaSum - survey.crossingArea.atZero;
    return survey;
}

// The period that gives the crossing triangles, once closed, the mean area of the others: their
// summed area is linear in the period, so this is closed form. On a mesh whose cells vary at
// random about a common size this is unbiased as long as the seam runs between the nodes of one
// ring and the next. Where nodes of one ring lie on both sides of the wrap (a ragged seam), those
// next to the wrap are sorted by side, the crossing triangles are the wider ones and the estimate
// runs low by up to a sixth of a cell; but then nodes on either side reach almost to the wrap, so
// the extent of the data comes within a small fraction of a cell of the period. The initial
// coordinates lie within one half-open period, so the extent is a lower bound of the period and
// the larger of the two is taken: by construction the result never falls below the extent.
// Finally the result is kept where every crossing triangle has the tube's winding.
double estimatePeriod(const SeamSurvey& survey, PlaneAxis axis, double dataExtent)
{
    const double lowest = std::max(dataExtent, survey.atLeast.value);
    if (lowest > survey.atMost.value)
        reject("no one circumference closes the seam along " + std::string(nameOf(axis)) + ": triangle " +
               std::to_string(survey.atMost.triangle) + " keeps the winding of the rest only below " +
               text(survey.atMost.value) + ", while " +
               (survey.atLeast.value >= dataExtent ? "triangle " + std::to_string(survey.atLeast.triangle) +
                                                         " needs more than " + text(survey.atLeast.value)
                                                   : "the initial coordinates span " + text(dataExtent)));
    if (survey.others == 0)
        reject("every triangle of the initial-coordinate mesh crosses the seam along " + std::string(nameOf(axis)) +
               ", so no cell size is left to find the circumference from");
    const double meanArea = survey.otherAreaSum / double(survey.others);
    const AreaLine& area = survey.crossingArea;
    const double matchingArea = (meanArea * double(survey.crossings.size()) - area.atZero) / area.perShift;
    if (!std::isfinite(matchingArea) || area.perShift <= 0.0)
        reject("the triangles across the seam along " + std::string(nameOf(axis)) +
               " shrink as the circumference grows, so they do not close a tube");
    return std::clamp(matchingArea, lowest, survey.atMost.value);
}

void requireClosed(const Mesh& mesh, const Seam& seam, int winding, double dataExtent)
{
    if (seam.period < dataExtent)
        reject("the given circumference " + text(seam.period) + " is smaller than the extent " + text(dataExtent) +
               " of the initial coordinates along " + nameOf(seam.axis) + ", which lie within one circumference");
    for (const SeamCrossing& crossing : seam.crossings) {
        const Triangle& triangle = mesh.getTriangle(static_cast<unsigned>(crossing.triangle));
        if (windingOf(areaLineOf(triangle, crossing.lowCorners, seam.axis).at(seam.period)) == -winding)
            reject("the given circumference " + text(seam.period) + " does not close the seam along " +
                   nameOf(seam.axis) + ": triangle " + std::to_string(crossing.triangle) +
                   " would still be wound against the rest");
    }
}

}  // namespace

Seam findTubeSeam(const Mesh& initCoordMesh, std::optional<double> circumference)
{
    Seam seam;
    if (initCoordMesh.numberOfTriangles() == 0)
        return seam;
    const WindingCensus census = takeCensus(initCoordMesh);
    const int winding = prevailingWinding(census);
    if (census.count[slotOf(-winding)] == 0)
        return seam;
    seam.axis = circumferentialAxis(census, winding);
    const double dataExtent = census.data[slotOf(seam.axis)].length();
    SeamSurvey survey = surveySeam(initCoordMesh, seam.axis, census, winding);
    if (survey.crossings.empty())
        return seam;
    seam.period = circumference ? *circumference : estimatePeriod(survey, seam.axis, dataExtent);
    seam.crossings = std::move(survey.crossings);
    if (circumference)
        requireClosed(initCoordMesh, seam, winding, dataExtent);
    return seam;
}

std::size_t countFoldedTriangles(const Mesh& initCoordMesh)
{
    std::size_t count[2] = {0, 0};
    for (auto triangle = initCoordMesh.beginTriangle(), end = initCoordMesh.endTriangle(); triangle != end;
         ++triangle) {
        if (std::ranges::any_of(triangle->corners, [](const Vertex* corner) { return corner == nullptr; }))
            continue;
        const int winding = windingOf(doubleArea(*triangle));
        if (winding != 0)
            ++count[slotOf(winding)];
    }
    return std::min(count[0], count[1]);
}

}  // namespace Calvora

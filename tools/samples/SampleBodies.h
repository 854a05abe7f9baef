#pragma once
// Generated simulation bodies with known geometry: a formed sheet and a tube, each in a state
// before and after a process step, meshed at any resolution. For the demo, tests and benchmarks.

#include "MemoryLoader.h"

#include <cstddef>
#include <string>
#include <vector>

namespace CoreIoSamples {

// A body's arrays as a loader stores them: nodes column-major, three node numbers per triangle,
// node normals, and the two initial (material) coordinates per node.
struct SampleBody {
    std::vector<float> x, y, z;
    std::vector<float> nx, ny, nz;
    std::vector<int> triangles;
    std::vector<float> initCoord0, initCoord1;

    std::size_t numNodes() const { return x.size(); }
    std::size_t numTriangles() const { return triangles.size() / 3; }
};

// A rectangular blank of width x height, meshed as a grid of cellsU x cellsV quads split into
// triangles, counter-clockwise seen from +z.
struct SheetMeshing {
    int cellsU = 10;
    int cellsV = 10;
    // Interior nodes move by up to this fraction of a cell, in the blank. From 1/6 on, triangles can
    // fold over, and a folded sheet has triangles of both windings, as a tube has.
    double jitter = 0.0;
    unsigned seed = 1;
};

struct SheetShape {
    double width = 1.0;
    double height = 1.0;
    double depth = 0.1;  // the formed surface is z = depth * sin(pi u / width) * sin(pi v / height)
};

// The sheet's nodes lie on the formed surface above their blank position (u, v), which is also
// their initial coordinate pair.
SampleBody makeSheet(const SheetShape& shape, const SheetMeshing& meshing);

// A tube of the given radius and length around the z axis, meshed with `around` nodes per ring
// and `along` cells along the axis; the ring starts at angle `phase`, so the seam where the
// initial coordinate wraps lies between the last and the first node of each ring, unless jitter
// moves nodes next to it across the wrap (a ragged seam, as angles computed with atan2 give).
struct TubeShape {
    double radius = 1.0;
    double length = 2.0;
    double initialRadius = 1.0;  // the initial coordinates are (initialRadius * angle, axial)
};

struct TubeMeshing {
    int around = 24;
    int along = 10;
    double phase = 0.0;  // angle of each ring's first node before jitter
    // Nodes move at random by up to this fraction of a cell, around every ring and along the axis
    // between the end rings; the end rings stay straight unless raggedEnds trims them.
    double jitter = 0.0;
    unsigned seed = 1;
    bool raggedEnds = false;  // end-ring nodes move inwards along the axis by up to `jitter` of a cell
    double angleStart = 0.0;  // angles are wrapped into [angleStart, angleStart + 2 pi)
    bool circumferenceAlongV = false;  // the angle is the second initial coordinate, not the first
};
SampleBody makeTube(const TubeShape& shape, const TubeMeshing& meshing);

// The same body with its nodes numbered at random, as a solver that renumbers after remeshing
// leaves them: node i moves to a position drawn from `seed`; the triangles follow their nodes.
SampleBody renumbered(const SampleBody& body, unsigned seed);

// Registers the body's mesh and its results INITIALCOORD0 and INITIALCOORD1 with the loader.
void registerBody(CoreIo::MemoryLoader& loader, const std::string& name, const SampleBody& body,
                  CoreIo::Layout layout = CoreIo::Layout::ColumnMajor);

}  // namespace CoreIoSamples

#pragma once
// Bodies as the aligner sees them: a 3D mesh and its initial-coordinate mesh in the plane z = 0,
// with the tube converter's vertex map once unrolled. For the tests of the aligner and its recorder.

#include "Business_Algorithm.h"
#include "SampleBodies.h"
#include "SampleMeshes.h"

#include <functional>
#include <memory>
#include <vector>

namespace CoreIoSamples {

struct Planar {
    double u, v;
};

struct AlignerBody {
    Calvora::Mesh mesh;
    std::shared_ptr<Calvora::Mesh> initCoords;
    std::shared_ptr<const std::vector<int>> map;  // set by unrolled(); null: vertex i is 3D vertex i
};

// A smooth, curved shape over the initial coordinates, so that interpolation shows.
Position bump(double u, double v);

// - initCoords: one pair per vertex; triangles: three vertex numbers each
// - shape: the 3D position over an initial-coordinate pair
AlignerBody bodyOver(const std::vector<Planar>& initCoords, const std::vector<int>& triangles,
                     const std::function<Position(double, double)>& shape);

AlignerBody alignerBody(const SampleBody& sample);

// The body with its initial-coordinate mesh cut open and unrolled by the tube converter.
AlignerBody unrolled(AlignerBody body);

// A grid of cells x cells over the unit square, two triangles a cell, counter-clockwise unless asked.
std::vector<int> gridTriangles(int cells, bool clockwise = false);
std::vector<Planar> gridNodes(int cells);

// The after state as bare probe points; its own 3D positions lie far off, to tell them apart.
AlignerBody probes(const std::vector<Planar>& points);

// Hands the aligner both bodies: meshes, initial-coordinate meshes and vertex maps.
void connect(Calvora::MaterialFixedMeshAligner& aligner, const AlignerBody& before, const AlignerBody& after);

Position at(const Calvora::Mesh& mesh, int vertex);

}  // namespace CoreIoSamples

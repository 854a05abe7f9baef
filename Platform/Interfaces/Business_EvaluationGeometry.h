#pragma once
// Evaluation of formed parts. The tube converter cuts the initial-coordinate mesh of a tube at
// its seam and unrolls it into one flat strip, so that it can be treated like a sheet; the seam it
// found travels with the vertex map it hands out.

#include "Business_BaseGeometry.h"
#include "Business_EvaluationGeometry_export.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace Calvora {

class BUSINESS_EVALUATIONGEOMETRY_EXPORT TubeInitialCoordinatesConverter {
public:
    // An in-plane axis of an initial-coordinate mesh: u is the vertex x, v the vertex y.
    enum class Axis { U, V };

    // A triangle that crosses the seam; its low corners were moved up by one period.
    struct SeamCrossing {
        std::size_t triangle = 0;  // position in the mesh
        unsigned lowCorners = 0;   // bit i set: corner i lies on the low side of the seam
    };

    // Where a tube's initial coordinates wrap around, and how a cut unrolled a mesh along it.
    struct BUSINESS_EVALUATIONGEOMETRY_EXPORT Seam {
        Axis axis = Axis::U;                  // the circumferential axis
        double period = 0.0;                  // the circumference along it, never below the extent of the data
        std::vector<SeamCrossing> crossings;  // by triangle position
        std::size_t originalVertices = 0;     // vertices before the cut; copies follow them
        std::vector<int> vertexMap;           // vertex of the cut mesh -> 3D vertex (the map handed on)
        std::vector<std::pair<int, int>> copies;  // (original, its copy) for every copied vertex, by original

        // The vertex appended for original, one period up along the axis; -1 when none.
        int copyOf(int original) const;
    };

    TubeInitialCoordinatesConverter();
    virtual ~TubeInitialCoordinatesConverter();

    // The circumference in initial coordinates; without it the period is found from the mesh.
    // Throws std::invalid_argument unless it is positive and finite.
    void setTubeSize(double circumference);

    // Cuts initCoordMesh at the seam and unrolls it in place, appending shifted copies of seam
    // vertices; sets the map from each vertex of the changed mesh to the 3D vertex it stands for.
    // - initCoordMesh: vertices at (u, v, 0) with u, v each within one half-open period however it
    //   is placed ([0, P), (-P/2, P/2], shifted by any constant); the circumference runs along u or v.
    // - The mesh wraps around when triangles wind against the prevailing winding; its axis is the
    //   one those triangles stretch along, and a triangle crosses the seam when it spans more than
    //   half the circumference, taken as the extent of the data along that axis plus the mean span
    //   of the triangles that keep the prevailing winding. The low corners of the crossing triangles get
    //   one copy each, one period up, with the original's index and normal, appended in the order
    //   the triangles first use them; the original vertices stay as they were.
    // - The period is the tube size when set, else the one that gives the crossing triangles the
    //   mean area of the others, kept where every crossing triangle winds like the rest; never
    //   below the extent of the data along the axis.
    // - The map holds each vertex's index. After a cut it is the seam's vertexMap, and seamOf
    //   finds the seam from it for as long as any copy of the map lives. A mesh that does not wrap
    //   (a sheet, even one with folded triangles, or a tube unrolled before) is left unchanged, and
    //   its map, which has no seam, is the identity if its vertices are numbered by position.
    // - Throws std::invalid_argument for an empty pointer, a mesh with no prevailing winding, a
    //   triangle without a corner, a seam that no one period closes, or a given tube size that
    //   leaves the seam open or is smaller than the extent of the data; then neither the mesh nor
    //   the map is changed.
    virtual void
    cut3dTubeAtSeamAndUnrollWithInitCoords(std::shared_ptr<Mesh> initCoordMesh,
                                           std::shared_ptr<const std::vector<int>>& initCoordVertexTo3dVertex) const;

    // The seam of the cut that produced this vertex map (as handed out by
    // cut3dTubeAtSeamAndUnrollWithInitCoords); null for any other map.
    static std::shared_ptr<const Seam> seamOf(const std::shared_ptr<const std::vector<int>>& vertexMap);

    // The triangles of an initial-coordinate mesh that wind against the prevailing winding in the
    // plane: a material plane that folds over itself, or a tube not yet unrolled. Degenerate
    // triangles, those with a coordinate that is not a number and those without a corner count
    // for neither winding; a correctly unrolled tube has none.
    static std::size_t foldedTriangles(const Mesh& initCoordMesh);

private:
    std::optional<double> circumference_;
};

}  // namespace Calvora

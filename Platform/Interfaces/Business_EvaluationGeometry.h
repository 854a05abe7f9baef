#pragma once
// Evaluation of formed parts. The tube converter cuts the initial-coordinate mesh of a tube at
// its seam and unrolls it into one flat strip, so that it can be treated like a sheet.

#include "Business_BaseGeometry.h"
#include "Business_EvaluationGeometry_export.h"

#include <memory>
#include <optional>
#include <vector>

namespace Calvora {

class BUSINESS_EVALUATIONGEOMETRY_EXPORT TubeInitialCoordinatesConverter {
public:
    // An in-plane axis of an initial-coordinate mesh: u is the vertex x, v the vertex y.
    enum class Axis { U, V };

    // Where a tube's initial coordinates wrap around.
    struct Seam {
        Axis axis = Axis::U;  // the circumferential axis
        double period = 0.0;  // the circumference along it, never below the extent of the data
    };

    TubeInitialCoordinatesConverter();
    virtual ~TubeInitialCoordinatesConverter();

    // The circumference in initial coordinates; without it the period is found from the mesh.
    // Throws std::invalid_argument unless it is positive and finite.
    void setTubeSize(double circumference);

    // The tube detection of the alignment: an initial-coordinate mesh lies in z = 0, and a rolled
    // tube has triangles whose normals point along +z and along -z.
    // - initCoordMesh: vertices at (u, v, 0); triangles with all three corners.
    // - returns true when some triangle normal has a positive z and another a negative z.
    static bool wrapsAround(const Mesh& initCoordMesh);

    // The seam that the cut below would use, without changing the mesh.
    // - initCoordMesh: as for the cut.
    // - returns the circumferential axis and the period (the tube size when set, else the estimate
    //   described at the cut); empty when the mesh does not wrap around.
    // - throws std::invalid_argument when and as the cut would.
    std::optional<Seam> findSeam(const Mesh& initCoordMesh) const;

    // Cuts initCoordMesh at the seam and unrolls it in place, appending shifted copies of seam
    // vertices; sets the map from each vertex of the changed mesh to the 3D vertex it stands for.
    // - initCoordMesh: vertices at (u, v, 0) with u, v each within one half-open period however it
    //   is placed ([0, P), (-P/2, P/2], shifted by any constant); the circumference runs along u or v.
    // - The mesh wraps around when triangles wind against the prevailing winding; its axis is the
    //   one those triangles stretch along, and a triangle crosses the seam when it spans more than
    //   half the extent of the data along that axis. The low corners of the crossing triangles get
    //   one copy each, one period up, with the original's index and normal, appended in the order
    //   the triangles first use them; the original vertices stay as they were.
    // - The map holds each vertex's index. A mesh that does not wrap (a sheet, even one with folded
    //   triangles, or a tube unrolled before) is left unchanged, so its map is the identity if its
    //   vertices are numbered by position.
    // - Throws std::invalid_argument for an empty pointer, a mesh with no prevailing winding, a
    //   triangle without a corner, a seam that no one period closes, or a given tube size that
    //   leaves the seam open; then neither the mesh nor the map is changed.
    virtual void
    cut3dTubeAtSeamAndUnrollWithInitCoords(std::shared_ptr<Mesh> initCoordMesh,
                                           std::shared_ptr<const std::vector<int>>& initCoordVertexTo3dVertex) const;

private:
    std::optional<double> circumference_;
};

}  // namespace Calvora

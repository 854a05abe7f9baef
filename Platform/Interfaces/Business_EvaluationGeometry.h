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
    TubeInitialCoordinatesConverter();
    virtual ~TubeInitialCoordinatesConverter();

    // The circumference in initial coordinates; without it the period is found from the mesh.
    // Throws std::invalid_argument unless it is positive and finite.
    void setTubeSize(double circumference);

    // Cuts initCoordMesh at the seam and unrolls it in place, appending shifted copies of seam
    // vertices; sets the map from each vertex of the changed mesh to the 3D vertex it stands for.
    // The mesh lies in z = 0 with (u, v) in (x, y); the seam is where triangles turn against the
    // prevailing winding, its axis (u or v) the one they stretch along. The low corners of the
    // crossing triangles get one copy each, one period up, with the original's index and normal,
    // appended in the order the triangles first use them; the original vertices stay as they were.
    // Without a tube size, the period gives the crossing triangles the mean area of the others.
    // The map holds each vertex's index. A mesh that does not wrap is left unchanged, so its map
    // is the identity if its vertices are numbered by position. Throws std::invalid_argument for an empty pointer, a mesh with
    // no prevailing winding, a triangle without a corner, or a period that leaves the seam open;
    // then neither the mesh nor the map is changed.
    virtual void cut3dTubeAtSeamAndUnrollWithInitCoords(std::shared_ptr<Mesh> initCoordMesh,
                                                        std::shared_ptr<const std::vector<int>>& initCoordVertexTo3dVertex) const;

private:
    std::optional<double> circumference_;
};

}  // namespace Calvora

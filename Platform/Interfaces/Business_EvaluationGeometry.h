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
    void setTubeSize(double circumference);

    // Cuts initCoordMesh at the seam and unrolls it in place, appending shifted copies of seam
    // vertices; sets the map from each vertex of the changed mesh to the 3D vertex it stands for.
    virtual void cut3dTubeAtSeamAndUnrollWithInitCoords(std::shared_ptr<Mesh> initCoordMesh,
                                                        std::shared_ptr<const std::vector<int>>& initCoordVertexTo3dVertex) const;

private:
    std::optional<double> circumference_;
};

}  // namespace Calvora

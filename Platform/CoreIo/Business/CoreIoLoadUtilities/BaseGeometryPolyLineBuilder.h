#pragma once
// Builds a polyline from a loader's curve record, of plain points or of points with normals
// (PolyLine<Point<double,3>> or PolyLine<Point3N>, the two exported instantiations).

#include "Business_BaseGeometry.h"
#include "Business_CoreIoLoadUtilities_export.h"
#include "Persistence_CoreIo.h"

#include <memory>

namespace Calvora {

template <typename PolyLineT>
class BUSINESS_COREIOLOADUTILITIES_EXPORT BaseGeometryPolyLineBuilder : public CoreIo::CurveBuilderInterface {
public:
    BaseGeometryPolyLineBuilder();
    ~BaseGeometryPolyLineBuilder() override;

    void build(const CoreIo::CurveBuilderParamColMajor& param) override;
    void build(const CoreIo::CurveBuilderParamRowMajor& param) override;

    // The polyline of the latest build; empty before the first one.
    std::shared_ptr<PolyLineT> getPolyLine() const;

private:
    std::shared_ptr<PolyLineT> polyLine;
};

extern template class BUSINESS_COREIOLOADUTILITIES_EXPORT BaseGeometryPolyLineBuilder<PolyLine<Point<double, 3>>>;
extern template class BUSINESS_COREIOLOADUTILITIES_EXPORT BaseGeometryPolyLineBuilder<PolyLine<Point3N>>;

}  // namespace Calvora

#include "AlignmentSamples.h"

namespace CoreIoSamples {

CoreIoAlign::Body alignmentBody(const SampleBody& sample, std::vector<CoreIoAlign::BodyField> nodalFields,
                                std::vector<CoreIoAlign::BodyField> elementFields, std::array<double, 3> shift)
{
    std::vector<double> points;
    std::vector<double> initialCoordinates;
    for (std::size_t i = 0; i < sample.numNodes(); ++i) {
        points.insert(points.end(), {sample.x[i] + shift[0], sample.y[i] + shift[1], sample.z[i] + shift[2]});
        initialCoordinates.insert(initialCoordinates.end(), {sample.initCoord0[i], sample.initCoord1[i]});
    }
    CoreIoAlign::BodyArrays arrays;
    arrays.points = points;
    arrays.initialCoordinates = initialCoordinates;
    arrays.blocks = {{1, "sample", "sample", "TRI3", 3, sample.triangles}};
    arrays.nodalFields = std::move(nodalFields);
    arrays.elementFields = std::move(elementFields);
    return CoreIoAlign::makeBody(arrays);
}

}  // namespace CoreIoSamples

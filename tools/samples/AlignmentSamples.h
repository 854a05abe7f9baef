#pragma once
// The generated sample bodies as the front ends hold them: a body of triangles with its initial
// coordinates, node ids 1 .. n, and fields a test or benchmark chooses.

#include "Body.h"
#include "SampleBodies.h"

#include <array>

namespace CoreIoSamples {

// - nodalFields, elementFields: brought along as the body's fields (one value per node, per triangle)
// - shift: added to every position, to place the body far from the origin
CoreIoAlign::Body alignmentBody(const SampleBody& sample, std::vector<CoreIoAlign::BodyField> nodalFields = {},
                                std::vector<CoreIoAlign::BodyField> elementFields = {},
                                std::array<double, 3> shift = {});

}  // namespace CoreIoSamples

#pragma once
// The picture of an alignment: the after body in its material plane (unrolled for tubes), shaded
// by its displacement magnitude, outside vertices marked.

#include "AlignedFields.h"
#include "Body.h"
#include "BodyAlignment.h"

#include <string>

namespace CoreIoAlign {

// Throws std::runtime_error naming the path when the file cannot be written.
void drawAlignment(const std::string& path, const Body& before, const Body& after, const Alignment& alignment,
                   const AlignedFields& fields);

}  // namespace CoreIoAlign

#pragma once
// The picture of an alignment: the after body in its material plane (unrolled for tubes), shaded
// by its displacement magnitude, outside vertices marked.

#include "Body.h"
#include "BodyAlignment.h"

#include <span>
#include <string>

namespace CoreIoAlign {

// - displacementMagnitude: per after vertex, NaN where it is Outside (the field DISPL_MAG)
// Throws std::runtime_error naming the path when the file cannot be written.
void drawAlignment(const std::string& path, const Body& before, const Body& after, const Alignment& alignment,
                   std::span<const double> displacementMagnitude);

}  // namespace CoreIoAlign

#pragma once
// The picture of an alignment: the after body in its material plane (unrolled for tubes), shaded
// by its displacement magnitude, outside vertices marked.

#include "Body.h"
#include "BodyAlignment.h"

#include <array>
#include <span>
#include <string>

namespace CoreIoAlign {

// The picture's two axes: the material plane's coordinates by the names the after body's initial
// coordinates came from ("initial coordinate 0|1" for arrays), and for a tube which of them runs
// around it.
std::array<std::string, 2> materialAxisNames(const BodySummary& after, const Alignment& alignment);

// - displacementMagnitude: per after vertex, NaN where it is Outside (the field DISPL_MAG)
// Throws std::runtime_error naming the path when the file cannot be written.
void drawAlignment(const std::string& path, const Body& before, const Body& after, const Alignment& alignment,
                   std::span<const double> displacementMagnitude);

}  // namespace CoreIoAlign

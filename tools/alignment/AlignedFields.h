#pragma once
// What an alignment gives the after body: its aligned shape and the fields every front end shows
// (the output file, the Python module, the ParaView filter), computed once, in the input's
// precision.

#include "Body.h"
#include "BodyAlignment.h"
#include "BodyReader.h"

#include <string>
#include <vector>

namespace CoreIoAlign {

struct AlignedFields {
    // 3 per after vertex: the before shape at the vertex's material point (the weighted corners of
    // its before triangle); its own position where it is Outside.
    std::vector<double> alignedPositions;
    // Per after vertex, in this order: DISPL_X, DISPL_Y, DISPL_Z, DISPL_MAG (after minus aligned,
    // NaN where Outside), INITIALCOORD0, INITIALCOORD1, MATCH_STATUS (0 coincident, 1 inside,
    // 2 near, 3 outside), MATCHED_NODE_ID (the before node id of the matched vertex or of the
    // heaviest corner, the smaller id among corners of equal weight; 0 where Outside), then BEFORE_<NAME> for each mapped nodal field of the
    // before body (interpolated; the nearest corner's value for Near; NaN where Outside).
    std::vector<BodyField> nodal;
    // Per after element: BEFORE_<NAME> for each mapped element field of the before body, the value
    // of the before element that holds the element's centroid (NaN where it lies outside).
    std::vector<BodyField> element;
};

// The nodal field of that name; throws std::out_of_range when there is none.
const BodyField& nodalField(const AlignedFields& fields, const std::string& name);

// - map: the before body's fields to carry, by name without regard to case (unset: all of them)
// Throws InputError for a name in map that the before body has no field of.
AlignedFields alignedFields(const Body& before, const Body& after, const Alignment& alignment,
                            const VariableChoice& map = std::nullopt);

// The displacement (after minus aligned) over the after vertices inside the before body
// (Coincident and Inside): Near ones are extrapolated, Outside ones were not located.
struct DisplacementFigures {
    double max = 0.0, mean = 0.0, rms = 0.0;
    std::size_t vertices = 0;
};
DisplacementFigures displacementFigures(const AlignedFields& fields, const Alignment& alignment);

}  // namespace CoreIoAlign

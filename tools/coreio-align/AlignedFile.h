#pragma once
// The output of an alignment as an Exodus II mesh: the after body as it came (blocks with IDs,
// names and element types, the file's node order, node and element number maps) at the aligned
// shape, with nodal fields DISPL_X/Y/Z/MAG, INITIALCOORD0/1, MATCH_STATUS, MATCHED_NODE_ID and
// the before file's variables carried over as BEFORE_<NAME>, a QA record and info records.

#include "ExodusWriter.h"
#include "FileAlignment.h"

namespace CoreIoAlign {

// Throws InputError for a variable to map that the before file lacks (the message lists the
// variables it has).
CoreIo::ExodusMesh alignedExodusMesh(const FileAlignment& alignment, const OutputChoices& choices);

}  // namespace CoreIoAlign

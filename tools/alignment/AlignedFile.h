#pragma once
// The output of an alignment as an Exodus II file: the after body as it came (blocks with ids,
// names and element types, the input's node order, node and element number maps) at the aligned
// shape, with the aligned fields, a QA record and info records.

#include "AlignedFields.h"
#include "Body.h"
#include "ExodusWriter.h"

#include <string>
#include <vector>

namespace CoreIoAlign {

// What the file records besides the alignment.
struct OutputInfo {
    std::string commandLine;  // "coreio-align <arguments>", for an info record
};

// The file's contents. Takes the fields over, so that each is held once: in the input's node order
// as they are, else reordered one at a time.
CoreIo::ExodusMesh alignedExodusMesh(const Body& before, const Body& after, AlignedFields fields,
                                     const OutputInfo& info);

// Values are stored in double precision when either input is, or when a node id that the file
// holds as a value (MATCHED_NODE_ID) needs more digits than single precision keeps.
CoreIo::ExodusPrecision outputPrecision(const Body& before, const Body& after, const AlignedFields& fields);

// Writes the file atomically, taking the fields over (see alignedExodusMesh). Throws
// std::runtime_error naming the path when it cannot be written.
void writeAlignedFile(const std::string& path, const Body& before, const Body& after, AlignedFields fields,
                      const OutputInfo& info);

}  // namespace CoreIoAlign

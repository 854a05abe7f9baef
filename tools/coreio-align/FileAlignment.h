#pragma once
// Aligns a body of one result file with a body of another: reads both, relates them and
// describes the outcome; writes the aligned mesh with its displacement fields on request.

#include "AlignmentReport.h"
#include "CommandLine.h"
#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace CoreIoAlign {

// Input that cannot be aligned: a missing body or result, an incomplete matching.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct BodyInFile {
    std::string file;
    std::optional<std::string> body;  // empty: the file's only triangle body
};

struct FileAlignment {
    CoreIo::MeshAndCoord before;
    CoreIo::MeshAndCoord after;
    CoreIo::MeshAlignResult result;
    AlignmentReport report;
};

// Throws CoreIo::LoadError for unreadable files, UsageError when a body must be named, and
// InputError for what the files lack.
FileAlignment alignFiles(const BodyInFile& before, const BodyInFile& after, TubeMode tube, bool complete);

// Writes the aligned mesh with nodal fields DISPL_X/Y/Z (after minus aligned), DISPL_MAG and
// MATCHED_VERTEX, atomically, and adds the time it took to the report.
void writeAlignment(const std::string& path, FileAlignment& alignment);

}  // namespace CoreIoAlign

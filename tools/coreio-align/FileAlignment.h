#pragma once
// Aligns a body of one result file with a body of another: reads both, relates them and
// describes the outcome; writes the aligned mesh with its displacement fields on request.

#include "AlignmentReport.h"
#include "CommandLine.h"
#include "ExodusBody.h"
#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"

#include <array>
#include <stdexcept>
#include <string>

namespace CoreIoAlign {

struct BodyInFile {
    std::string file;
    CoreIo::ExodusBodyOptions options;  // the origin is the alignment's
};

// One body read from its file, as every front end reads it.
struct LoadedBody {
    CoreIo::MeshAndCoord record;  // positions relative to description.origin
    CoreIo::ExodusBodyDescription description;
    BodySummary summary;
};

// Throws CoreIo::LoadError for unreadable files and bad choices of blocks, step or displacement,
// and InputError for missing initial coordinates (saying which are missing and how to name others).
LoadedBody readBody(const BodyInFile& where);

struct FileAlignment {
    CoreIo::MeshAndCoord before;  // positions relative to origin
    CoreIo::MeshAndCoord after;
    std::array<double, 3> origin{};  // common to both bodies: the centre of the before body's reference box
    CoreIo::MeshAlignResult result;
    AlignmentReport report;
};

// Throws CoreIo::LoadError for unreadable files and bad choices of blocks, step or displacement,
// and InputError for missing initial coordinates or a failed matching.
FileAlignment alignFiles(const BodyInFile& before, const BodyInFile& after, TubeMode tube, bool complete);

// Writes the aligned mesh, in the files' own coordinates, with nodal fields DISPL_X/Y/Z (after
// minus aligned), DISPL_MAG and MATCHED_VERTEX, atomically, and adds the time it took to the report.
void writeAlignment(const std::string& path, FileAlignment& alignment);

}  // namespace CoreIoAlign

#pragma once
// Aligns a body of one result file with a body of another: reads both, relates them and
// describes the outcome; writes the after body in its own terms (blocks, element types, node
// order, number maps) with the aligned shape, the displacement, each vertex's status and the
// fields carried from the before file.

#include "AlignmentReport.h"
#include "ExodusBody.h"
#include "ExodusLoader.h"
#include "PairAlignment.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CoreIoAlign {

struct BodyInFile {
    std::string file;
    CoreIo::ExodusBodyOptions options;  // the origin is the alignment's
};

// A body as read, with the file it came from, for the output and the mapping.
struct LoadedBody {
    std::string file;
    std::shared_ptr<const CoreIo::ExodusLoader> loader;
    CoreIo::MeshAndCoord record;  // positions relative to the alignment's origin
    BodySummary summary;

    const CoreIo::ExodusBodyDescription& description() const { return loader->description(0); }
};

// One body read from its file, as every front end reads it. Throws CoreIo::LoadError for unreadable
// files and bad choices of blocks, step or displacement, and InputError for missing initial
// coordinates (saying which are missing and how to name others).
LoadedBody readBody(const BodyInFile& where);

struct FileAlignment {
    LoadedBody before;
    LoadedBody after;
    std::array<double, 3> origin{};  // common to both bodies: the centre of the before body's reference box
    PairAlignment pair;
    AlignmentReport report;
};

// What the output carries beyond the alignment.
struct OutputChoices {
    // Variables of the before file to carry, by name without regard to case; empty: none of
    // them, unset: every nodal and element variable.
    std::optional<std::vector<std::string>> mappedVariables;
    std::string commandLine;  // for the file's info records
};

// Throws CoreIo::LoadError for unreadable files and bad choices of blocks, step or displacement,
// and InputError for missing initial coordinates and for what alignPair refuses.
FileAlignment alignFiles(const BodyInFile& before, const BodyInFile& after, TubeMode tube, bool complete);

// Writes the after body atomically, in the files' own coordinates and the precision of the more
// precise input, and adds the time it took to the report. Throws InputError for a variable to
// map that the before file lacks, std::runtime_error when the file cannot be written.
void writeAlignment(const std::string& path, FileAlignment& alignment, const OutputChoices& choices);

// Draws the after body in its material plane, shaded by its displacement magnitude, outside
// vertices marked. Throws std::runtime_error when the file cannot be written.
void drawAlignment(const std::string& path, const FileAlignment& alignment);

}  // namespace CoreIoAlign

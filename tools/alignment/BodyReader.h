#pragma once
// Reads one body of an Exodus II result file, as every front end reads it: the chosen blocks at a
// step, with its shape and initial coordinates in the file's precision and the variables the
// caller wants brought along. The file is closed when the body is made: nothing reads it again.

#include "Body.h"
#include "ExodusBody.h"

#include <optional>
#include <string>
#include <vector>

namespace CoreIoAlign {

struct BodyInFile {
    std::string file;
    CoreIo::ExodusBodyOptions options;
};

// Variables of a file by name, without regard to case; unset: every nodal and element variable,
// empty: none.
using VariableChoice = std::optional<std::vector<std::string>>;

// - variables: brought along as the body's nodal and element fields, at the body's step
// Throws CoreIo::LoadError for unreadable files and bad choices of blocks, step or displacement,
// and InputError for missing initial coordinates (saying which are missing and how to name
// others) and for a chosen variable the file lacks (listing those it has).
Body readBody(const BodyInFile& where, const VariableChoice& variables);

}  // namespace CoreIoAlign

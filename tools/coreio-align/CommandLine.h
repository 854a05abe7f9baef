#pragma once
// The command line of coreio-align: what to align or list, how, and where to write the result.

#include "ExodusBody.h"
#include "PairAlignment.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace CoreIoAlign {

struct Options {
    bool help = false;
    bool version = false;
    bool demo = false;
    std::optional<std::string> list;  // --list FILE
    std::string beforeFile;
    std::string afterFile;
    CoreIo::ExodusBodyOptions before;  // the origin is left to the alignment
    CoreIo::ExodusBodyOptions after;
    TubeMode tube = TubeMode::Auto;
    bool complete = false;
    std::optional<std::string> output;  // -o: OUT.exo, or the demo's directory
};

// Bad usage: unknown option, missing or malformed value or file, conflicting options.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws UsageError saying what is wrong.
Options parseCommandLine(const std::vector<std::string>& arguments);

// --help: the options by group, with their defaults.
std::string usageText();

}  // namespace CoreIoAlign

#pragma once
// The command line of coreio-align: what to align or list, how, and where to write the result.

#include "AlignmentJob.h"
#include "Errors.h"

#include <optional>
#include <string>
#include <vector>

namespace CoreIoAlign {

struct Options {
    bool help = false;
    bool version = false;
    bool demo = false;
    bool verbose = false;             // the platform's log lines whole
    std::optional<std::string> list;  // --list FILE
    JobOptions job;                   // its output is the demo's folder with --demo
};

// Throws UsageError saying what is wrong.
Options parseCommandLine(const std::vector<std::string>& arguments);

// --help: the options by group, with their defaults.
std::string usageText();

}  // namespace CoreIoAlign

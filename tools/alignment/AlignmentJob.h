#pragma once
// One alignment job, as coreio-align runs it from its command line and the Python module and the
// batch runner run it from theirs: read both bodies, align them, write the after body with the
// aligned fields and draw the picture, and sum it up. Every front end takes this one way from the
// files to the written output.

#include "AlignmentReport.h"
#include "BodyAlignment.h"
#include "BodyReader.h"
#include "ExodusBody.h"

#include <optional>
#include <string>
#include <vector>

namespace CoreIoAlign {

struct JobOptions {
    std::string beforeFile;
    std::string afterFile;
    CoreIo::ExodusBodyOptions before;  // the origins are the job's: the before body's, shared
    CoreIo::ExodusBodyOptions after;
    TubeMode tube = TubeMode::Auto;
    bool complete = false;
    double minCoverage = 1.0;
    VariableChoice mappedVariables;      // variables of the before file carried to the output
    std::optional<std::string> output;   // the aligned Exodus II file
    std::optional<std::string> picture;  // the PNG
    std::string commandLine;             // the arguments, for the output's info records
};

struct JobOutcome {
    int exitCode = 0;      // exitDone, exitBadInput, exitBadUsage or exitBelowCoverage
    std::string message;   // why it failed or fell short; empty when done
    std::optional<AlignmentReport> report;  // once the bodies were aligned
    std::vector<std::string> notes;         // the readers' warnings, "warning: <text>", each once
};

// The options as coreio-align's arguments would give them, for a front end without a command line
// of its own: "BEFORE AFTER -o OUT --png PNG --before-body ... --complete ...".
std::string argumentsOf(const JobOptions& options);

// Never throws for bad input or usage: the outcome says what went wrong. An output that would
// destroy an input is refused before anything is read; nothing is written when the job fails
// before writing.
JobOutcome runAlignmentJob(const JobOptions& options);

}  // namespace CoreIoAlign

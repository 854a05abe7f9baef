// coreio-align: lists what a result file holds; relates a body before and after a process step through its initial
// coordinates, reports how every after vertex was found and writes the after body with the aligned shape and the
// fields carried from the before step.

#include "AlignmentJob.h"
#include "CommandLine.h"
#include "Demo.h"
#include "ExodusLoader.h"
#include "FileListing.h"
#include "ToolLog.h"

#include <exception>
#include <iostream>

namespace {

using namespace CoreIoAlign;

constexpr const char* program = "coreio-align";

std::string joinedArguments(int argc, char** argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line.push_back(' ');
        line.append(argv[i]);
    }
    return line;
}

int alignFromCommandLine(const JobOptions& options)
{
    const JobOutcome outcome = runAlignmentJob(options);
    for (const std::string& note : outcome.notes)
        std::cerr << program << ": " << note << '\n';
    if (outcome.report)
        printReport(std::cout, *outcome.report);
    if (!outcome.message.empty())
        std::cerr << program << ": " << outcome.message << '\n';
    if (outcome.exitCode == exitBadUsage)
        std::cerr << "(see " << program << " --help)\n";
    return outcome.exitCode;
}

int run(const Options& options)
{
    if (options.help) {
        std::cout << usageText();
        return exitDone;
    }
    if (options.version) {
        std::cout << program << " " COREIO_VERSION "\n";
        return exitDone;
    }
    if (options.list) {
        printListing(std::cout, *options.list, CoreIo::listExodusFile(*options.list));
        return exitDone;
    }
    if (options.demo)
        return runDemo(options.job.output.value_or("coreio-align-demo"), std::cout);
    return alignFromCommandLine(options.job);
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        Options options = parseCommandLine({argv + 1, argv + argc});
        options.job.commandLine = joinedArguments(argc, argv);
        const ToolLog log(options.verbose);
        return run(options);
    } catch (const UsageError& error) {
        std::cerr << program << ": " << error.what() << "\n(see " << program << " --help)\n";
        return exitBadUsage;
    } catch (const std::exception& error) {
        std::cerr << program << ": " << error.what() << '\n';
        return exitBadInput;
    }
}

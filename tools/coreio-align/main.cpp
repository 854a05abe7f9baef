// coreio-align: lists what a result file holds; relates a body before and after a process step through its initial
// coordinates, reports how every after vertex was found and writes the after body with the aligned shape and the
// fields carried from the before step.

#include "CommandLine.h"
#include "Demo.h"
#include "ExodusLoader.h"
#include "FileAlignment.h"
#include "FileListing.h"
#include "OutputPath.h"
#include "Persistence_CoreIo.h"
#include "ToolLog.h"

#include <exception>
#include <iostream>

namespace {

using namespace CoreIoAlign;

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

int alignFromCommandLine(const Options& options, const std::string& commandLine)
{
    const std::vector<std::string> inputs{options.beforeFile, options.afterFile};
    for (const auto& target : {options.output, options.picture})
        if (target)
            requireSafeOutput(*target, inputs);
    FileAlignment alignment = alignFiles({options.beforeFile, options.before}, {options.afterFile, options.after},
                                         options.tube, options.complete);
    alignment.report.minCoverage = options.minCoverage;
    if (options.output)
        writeAlignment(*options.output, alignment, {options.mappedVariables, commandLine});
    if (options.picture)
        drawAlignment(*options.picture, alignment);
    alignment.report.title = options.beforeFile + " -> " + options.afterFile;
    printReport(std::cout, alignment.report);
    if (!belowCoverage(alignment.report))
        return exitDone;
    const std::size_t outside = alignment.pair.count(Calvora::MatchStatus::Outside);
    std::cerr << "coreio-align: alignment below the coverage " << options.minCoverage << ": " << outside
              << " after vertices lie outside the before body; "
              << (options.output ? "they have MATCH_STATUS 3 in " + *options.output
                                 : std::string("write -o OUT.exo to see them as MATCH_STATUS 3"))
              << (options.picture ? ", marked red in " + *options.picture : std::string(", or draw them with --png"))
              << '\n';
    return exitBelowCoverage;
}

int run(const Options& options, const std::string& commandLine)
{
    if (options.help) {
        std::cout << usageText();
        return exitDone;
    }
    if (options.version) {
        std::cout << "coreio-align " COREIO_VERSION "\n";
        return exitDone;
    }
    if (options.list) {
        printListing(std::cout, *options.list, CoreIo::listExodusFile(*options.list));
        return exitDone;
    }
    if (options.demo) {
        const std::string directory = options.output.value_or("coreio-align-demo");
        return runDemo(directory, std::cout) ? exitDone : exitBelowCoverage;
    }
    return alignFromCommandLine(options, commandLine);
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const Options options = parseCommandLine({argv + 1, argv + argc});
        const ToolLog log(std::cerr, options.verbose);
        return run(options, joinedArguments(argc, argv));
    } catch (const UsageError& error) {
        std::cerr << "coreio-align: " << error.what() << "\n(see coreio-align --help)\n";
        return exitBadUsage;
    } catch (const std::exception& error) {
        std::cerr << "coreio-align: " << error.what() << '\n';
        return exitBadInput;
    }
}

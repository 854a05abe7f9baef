// coreio-align: lists what a result file holds; relates a body before and after a process step through its initial coordinates,
// reports the matching and writes the aligned mesh with its displacement fields.

#include "CommandLine.h"
#include "Demo.h"
#include "ExodusLoader.h"
#include "FileAlignment.h"
#include "FileListing.h"
#include "Persistence_CoreIo.h"

#include <exception>
#include <iostream>

namespace {

constexpr int badInput = 1;
constexpr int badUsage = 2;

int alignFromCommandLine(const CoreIoAlign::Options& options)
{
    CoreIoAlign::FileAlignment alignment = CoreIoAlign::alignFiles(
        {options.beforeFile, options.before}, {options.afterFile, options.after}, options.tube, options.complete);
    if (options.output)
        CoreIoAlign::writeAlignment(*options.output, alignment);
    alignment.report.title = options.beforeFile + " -> " + options.afterFile;
    CoreIoAlign::printReport(std::cout, alignment.report);
    return 0;
}

int run(const CoreIoAlign::Options& options)
{
    if (options.help) {
        std::cout << CoreIoAlign::usageText();
        return 0;
    }
    if (options.version) {
        std::cout << "coreio-align " COREIO_VERSION "\n";
        return 0;
    }
    if (options.list) {
        CoreIoAlign::printListing(std::cout, *options.list, CoreIo::listExodusFile(*options.list));
        return 0;
    }
    if (options.demo) {
        const std::string directory = options.output.value_or("coreio-align-demo");
        return CoreIoAlign::runDemo(directory, std::cout) ? 0 : badInput;
    }
    return alignFromCommandLine(options);
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return run(CoreIoAlign::parseCommandLine({argv + 1, argv + argc}));
    } catch (const CoreIoAlign::UsageError& error) {
        std::cerr << "coreio-align: " << error.what() << "\n(see coreio-align --help)\n";
        return badUsage;
    } catch (const std::exception& error) {
        std::cerr << "coreio-align: " << error.what() << '\n';
        return badInput;
    }
}

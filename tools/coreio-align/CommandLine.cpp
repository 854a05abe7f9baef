#include "CommandLine.h"

namespace CoreIoAlign {
namespace {

TubeMode parseTubeMode(const std::string& value)
{
    if (value == "auto")
        return TubeMode::Auto;
    if (value == "yes")
        return TubeMode::Yes;
    if (value == "no")
        return TubeMode::No;
    throw UsageError("--tube takes auto, yes or no, not '" + value + "'");
}

// Walks the arguments, handing out option values.
class ArgumentReader {
public:
    explicit ArgumentReader(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    bool done() const { return next_ == arguments_.size(); }
    const std::string& take() { return arguments_[next_++]; }
    const std::string& valueOf(const std::string& option)
    {
        if (done())
            throw UsageError(option + " needs a value");
        return take();
    }

private:
    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
};

void checkConsistency(const Options& options, const std::vector<std::string>& files, bool bodyGiven)
{
    if (options.help || options.version)
        return;
    if (options.demo) {
        if (!files.empty())
            throw UsageError("--demo takes no input files");
        return;
    }
    if (files.size() != 2)
        throw UsageError("expected two input files, BEFORE.exo and AFTER.exo");
    if (bodyGiven && (options.beforeBody != options.afterBody))
        throw UsageError("--body cannot be combined with --before-body or --after-body");
}

}  // namespace

Options parseCommandLine(const std::vector<std::string>& arguments)
{
    Options options;
    std::vector<std::string> files;
    bool bodyGiven = false;
    ArgumentReader reader(arguments);
    while (!reader.done()) {
        const std::string& argument = reader.take();
        if (argument == "-h" || argument == "--help")
            options.help = true;
        else if (argument == "--version")
            options.version = true;
        else if (argument == "--demo")
            options.demo = true;
        else if (argument == "--complete")
            options.complete = true;
        else if (argument == "--tube")
            options.tube = parseTubeMode(reader.valueOf(argument));
        else if (argument == "-o")
            options.output = reader.valueOf(argument);
        else if (argument == "--body") {
            const std::string& name = reader.valueOf(argument);
            if (bodyGiven || options.beforeBody || options.afterBody)
                throw UsageError("--body cannot be combined with --before-body or --after-body");
            options.beforeBody = options.afterBody = name;
            bodyGiven = true;
        } else if (argument == "--before-body")
            options.beforeBody = reader.valueOf(argument);
        else if (argument == "--after-body")
            options.afterBody = reader.valueOf(argument);
        else if (!argument.empty() && argument[0] == '-')
            throw UsageError("unknown option " + argument);
        else
            files.push_back(argument);
    }
    checkConsistency(options, files, bodyGiven);
    if (files.size() == 2) {
        options.beforeFile = files[0];
        options.afterFile = files[1];
    }
    return options;
}

int isTubeArgument(TubeMode mode)
{
    switch (mode) {
    case TubeMode::Yes: return 1;
    case TubeMode::No: return 0;
    case TubeMode::Auto: break;
    }
    return -1;
}

const char* usageText()
{
    return "Usage:\n"
           "  coreio-align BEFORE.exo AFTER.exo [--body NAME | --before-body NAME --after-body NAME]\n"
           "               [--tube auto|yes|no] [--complete] [-o OUT.exo]\n"
           "  coreio-align --demo [-o DIR]\n"
           "  coreio-align --help | --version\n"
           "\n"
           "Relates a body before and after a process step through its initial coordinates\n"
           "(nodal variables INITIALCOORD0 and INITIALCOORD1) and reports how the two states match.\n"
           "\n"
           "  --body NAME         the element block to align in both files (default: the only one)\n"
           "  --before-body NAME  the block in BEFORE.exo;  --after-body NAME: the block in AFTER.exo\n"
           "  --tube MODE         auto: detect tube-shaped parts (default); yes; no\n"
           "  --complete          give every vertex a match, through the nearest vertex when needed\n"
           "  -o OUT.exo          write the aligned mesh with DISPL_X/Y/Z, DISPL_MAG, MATCHED_VERTEX\n"
           "  --demo [-o DIR]     generate a sheet and a tube case, align them through files in DIR\n"
           "\n"
           "Exit codes: 0 success, 1 bad input (nothing written), 2 bad usage.\n"
           "SPDLOG_LEVEL=trace shows the library's trace messages.\n";
}

}  // namespace CoreIoAlign

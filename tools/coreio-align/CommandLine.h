#pragma once
// The command line of coreio-align: what to align, how, and where to write the result.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace CoreIoAlign {

enum class TubeMode { Auto, Yes, No };

struct Options {
    bool help = false;
    bool version = false;
    bool demo = false;
    std::string beforeFile;
    std::string afterFile;
    std::optional<std::string> beforeBody;  // empty: the file's only triangle body
    std::optional<std::string> afterBody;
    TubeMode tube = TubeMode::Auto;
    bool complete = false;
    std::optional<std::string> output;  // -o: OUT.exo, or the demo's directory
};

// Bad usage: unknown option, missing value or file, conflicting options.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Options parseCommandLine(const std::vector<std::string>& arguments);

// The isTube argument of the alignment for a mode.
int isTubeArgument(TubeMode mode);

const char* usageText();

}  // namespace CoreIoAlign

#include "OutputPath.h"

#include "Errors.h"

#include <filesystem>
#include <system_error>

namespace CoreIoAlign {

void requireSafeOutput(const std::string& target, const std::vector<std::string>& inputs)
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (const std::string& input : inputs)
        if (fs::equivalent(target, input, error))
            throw UsageError(target + " is the input " + input + "; choose another output file");
    if (fs::is_directory(target, error))
        throw UsageError(target + " is a folder; name a file in it");
    const fs::path folder = fs::absolute(target).parent_path();
    if (!fs::is_directory(folder, error))
        throw UsageError("the output folder " + folder.string() + " does not exist; create it first");
}

}  // namespace CoreIoAlign

#pragma once
// Records what one module logger writes while a test runs: finds the logger of a source file in
// spdlog's registry, lets every level through and adds a collecting sink; all undone on
// destruction. Module loggers are named by __FILE__, which is the path the compiler was given:
// absolute, or relative when a compiler launcher rewrites paths.

#include <spdlog/common.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace spdlog { class logger; }

namespace AlignmentTestSupport {

class ModuleLogCapture {
public:
    using Entry = std::pair<spdlog::level::level_enum, std::string>;

    // sourceFile: the path of the unit. Throws std::runtime_error if no logger of that file is registered.
    explicit ModuleLogCapture(const std::string& sourceFile);
    ~ModuleLogCapture();
    ModuleLogCapture(const ModuleLogCapture&) = delete;
    ModuleLogCapture& operator=(const ModuleLogCapture&) = delete;

    std::vector<Entry> levelsAndMessages() const;
    void clear();

private:
    class CollectingSink;
    std::shared_ptr<spdlog::logger> logger_;
    std::shared_ptr<CollectingSink> sink_;
    spdlog::level::level_enum previousLevel_;
};

}  // namespace AlignmentTestSupport

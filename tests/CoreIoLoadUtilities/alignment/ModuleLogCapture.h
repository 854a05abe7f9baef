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

struct LogRecord {
    spdlog::level::level_enum level;
    std::string message, file, function;
    int line;
};

class ModuleLogCapture {
public:
    // sourceFile: the absolute path of the unit. Throws std::runtime_error if no logger of that
    // file is registered.
    explicit ModuleLogCapture(const std::string& sourceFile);
    ~ModuleLogCapture();
    ModuleLogCapture(const ModuleLogCapture&) = delete;
    ModuleLogCapture& operator=(const ModuleLogCapture&) = delete;

    const std::string& loggerName() const;  // also the file that the unit's records name
    std::vector<LogRecord> records() const;
    std::vector<std::pair<spdlog::level::level_enum, std::string>> levelsAndMessages() const;
    void clear();

private:
    class CollectingSink;
    std::shared_ptr<spdlog::logger> logger_;
    std::shared_ptr<CollectingSink> sink_;
    spdlog::level::level_enum previousLevel_;
};

}  // namespace AlignmentTestSupport

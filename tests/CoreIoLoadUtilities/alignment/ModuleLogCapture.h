#pragma once
// Records what one module logger writes while a test runs: finds the logger in spdlog's registry
// by name, lets every level through and adds a collecting sink; all undone on destruction.

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
    // Throws std::runtime_error if no logger of that name is registered.
    explicit ModuleLogCapture(const std::string& loggerName);
    ~ModuleLogCapture();
    ModuleLogCapture(const ModuleLogCapture&) = delete;
    ModuleLogCapture& operator=(const ModuleLogCapture&) = delete;

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

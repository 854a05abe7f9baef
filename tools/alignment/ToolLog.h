#pragma once
// The platform's log lines while a front end runs. The front ends report what the readers and
// the alignment decided through their APIs (a body's warnings, the alignment's result), so the
// log is for those who debug: shown whole with verbose, silent otherwise.

#include <memory>
#include <utility>
#include <vector>

namespace spdlog {
class logger;
namespace sinks {
class sink;
}
}  // namespace spdlog
namespace Calvora {
class Logging;
}

namespace CoreIoAlign {

// Keeps the platform's loggers silent while it lives, unless verbose; restores their sinks after.
class ToolLog {
public:
    explicit ToolLog(bool verbose);
    ~ToolLog();
    ToolLog(const ToolLog&) = delete;
    ToolLog& operator=(const ToolLog&) = delete;

private:
    // Loggers made and dropped per reader would otherwise come back with their default sinks.
    std::vector<std::unique_ptr<Calvora::Logging>> keptLoggers_;
    std::vector<std::pair<std::shared_ptr<spdlog::logger>, std::vector<std::shared_ptr<spdlog::sinks::sink>>>>
        replaced_;
};

}  // namespace CoreIoAlign

#pragma once
// Shows the library's log lines the way a person reads them while it lives: "coreio-align:
// warning: <text>", each distinct text once, without timestamps, source paths or signatures.
// Which lines pass is still up to the loggers' levels (SPDLOG_LEVEL); verbose leaves the lines whole.

#include <iosfwd>
#include <memory>
#include <utility>
#include <vector>

namespace spdlog {
class logger;
namespace sinks {
class sink;
}
}// namespace spdlog
namespace Calvora {
class Logging;
}

namespace CoreIoAlign {

class ToolLog {
public:
    // out: where the short lines go (the tool passes std::cerr).
    ToolLog(std::ostream& out, bool verbose);
    ~ToolLog();
    ToolLog(const ToolLog&) = delete;
    ToolLog& operator=(const ToolLog&) = delete;

private:
    // Module loggers made and dropped per use would otherwise miss the short form.
    std::vector<std::unique_ptr<Calvora::Logging>> keptLoggers_;
    std::shared_ptr<spdlog::sinks::sink> sink_;
    std::vector<std::pair<std::shared_ptr<spdlog::logger>, std::vector<std::shared_ptr<spdlog::sinks::sink>>>>
        replaced_;
};

}  // namespace CoreIoAlign

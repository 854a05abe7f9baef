#pragma once
// The platform's log lines the way a person reads them. The front ends report the alignment
// through its API; of the log, only the readers' warnings about the input (a block skipped, ...)
// concern the user, as "<program>: warning: <text>", each distinct text once, without
// timestamps, source paths or signatures. While a LogNotes lives on a thread, that thread's lines
// go to it instead, for a front end that shows them its own way (Python warnings, a job summary).

#include <iosfwd>
#include <memory>
#include <string>
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

class ToolLog {
public:
    // out: where the short lines go; verbose: every logger's lines whole, as they come.
    ToolLog(std::ostream& out, const std::string& program, bool verbose);
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

// Collects the short lines of the current thread while it lives (innermost first when nested).
class LogNotes {
public:
    LogNotes();
    ~LogNotes();
    LogNotes(const LogNotes&) = delete;
    LogNotes& operator=(const LogNotes&) = delete;

    const std::vector<std::string>& lines() const { return lines_; }

private:
    friend class NoteSink;
    std::vector<std::string> lines_;
    LogNotes* outer_;
};

}  // namespace CoreIoAlign

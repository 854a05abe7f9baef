#pragma once
// A named module logger. Messages go to spdlog under the logger's name, with the caller's file,
// line and function; the level comes from SPDLOG_LEVEL and defaults to warnings and errors.

#include "QRVService_Logging_export.h"

#include <ios>
#include <memory>
#include <source_location>
#include <sstream>
#include <string>

namespace spdlog {
class logger;
}

namespace Calvora {

class QRVSERVICE_LOGGING_EXPORT Logging {
public:
    explicit Logging(const std::string& name);
    ~Logging();
    Logging(const Logging&) = delete;
    Logging& operator=(const Logging&) = delete;

    void logERROR(const std::string& message, const char* file, const char* function, int line) const;
    void logWARN(const std::string& message, const char* file, const char* function, int line) const;
    void logTRACE(const std::string& message, const char* file, const char* function, int line) const;

    const std::string& name() const;

private:
    std::string name_;
    std::shared_ptr<spdlog::logger> logger_;  // also registered in spdlog's registry under name_
};

// The one way platform code logs: through its module logger, with the file, function and line of
// the call, which the default argument takes at the call site.
QRVSERVICE_LOGGING_EXPORT void logError(const Logging& logger, const std::string& message,
                                        std::source_location where = std::source_location::current());
QRVSERVICE_LOGGING_EXPORT void logWarn(const Logging& logger, const std::string& message,
                                       std::source_location where = std::source_location::current());
QRVSERVICE_LOGGING_EXPORT void logTrace(const Logging& logger, const std::string& message,
                                        std::source_location where = std::source_location::current());

// A log message of parts written one after another as a std::ostream writes them (numbers in the
// stream's default format). Throws std::bad_alloc rather than cut the message short.
template <typename... Parts>
std::string composeLogMessage(const Parts&... parts)
{
    std::ostringstream message;
    message.exceptions(std::ios::badbit);
    (message << ... << parts);
    return message.str();
}

}  // namespace Calvora

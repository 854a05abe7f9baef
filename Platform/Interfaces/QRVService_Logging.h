#pragma once
// A named module logger. Messages go to spdlog under the logger's name, with the caller's file,
// line and function; the level comes from SPDLOG_LEVEL and defaults to warnings and errors.

#include "QRVService_Logging_export.h"

#include <memory>
#include <source_location>
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

// How the platform libraries log a warning about their input: through their module logger, with
// the file, function and line of the call, which the default argument takes at the call site.
QRVSERVICE_LOGGING_EXPORT void logWarn(const Logging& logger, const std::string& message,
                                       std::source_location where = std::source_location::current());

}  // namespace Calvora

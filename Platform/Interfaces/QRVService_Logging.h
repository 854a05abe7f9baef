#pragma once
// A named module logger. Messages go to spdlog under the logger's name, with the caller's file,
// line and function; the level comes from SPDLOG_LEVEL and defaults to warnings and errors.

#include "QRVService_Logging_export.h"

#include <memory>
#include <source_location>
#include <string>

namespace spdlog { class logger; }

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

// Logs through one of a logger's methods with the caller's place, so that platform code names its
// place one way: logAtCaller(&Logging::logWARN, logger, "message").
inline void logAtCaller(void (Logging::*log)(const std::string&, const char*, const char*, int) const,
                        const Logging& logger, const std::string& message,
                        std::source_location where = std::source_location::current())
{
    (logger.*log)(message, where.file_name(), where.function_name(), static_cast<int>(where.line()));
}

}  // namespace Calvora

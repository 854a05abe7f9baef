#include "QRVService_Logging.h"

#include <spdlog/cfg/env.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

namespace Calvora {
namespace {

constexpr const char* linePattern = "[%Y-%m-%d %H:%M:%S.%e] [%l] [%n] %s:%# %! %v";

// One stderr sink for every module logger, so that lines from several modules never interleave.
std::shared_ptr<spdlog::sinks::sink> sharedStderrSink()
{
    static const auto sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
    return sink;
}

// SPDLOG_LEVEL reaches the registry once; new loggers then take their level from it.
bool levelsFromEnvironment()
{
    static const bool fromEnvironment = [] {
        const char* levels = std::getenv("SPDLOG_LEVEL");
        if (levels == nullptr || *levels == '\0')
            return false;
        spdlog::cfg::load_env_levels();
        return true;
    }();
    return fromEnvironment;
}

std::shared_ptr<spdlog::logger> createLogger(const std::string& name)
{
    const bool levelFromEnvironment = levelsFromEnvironment();
    auto logger = std::make_shared<spdlog::logger>(name, sharedStderrSink());
    try {
        spdlog::initialize_logger(logger);
    } catch (const spdlog::spdlog_ex&) {
        if (auto registered = spdlog::get(name))
            return registered;  // the host registered the same name meanwhile
        throw;
    }
    // Only our own loggers default to warnings; the host's loggers keep their levels.
    if (!levelFromEnvironment)
        logger->set_level(spdlog::level::warn);
    logger->set_pattern(linePattern);  // after the registry has given it the default pattern
    return logger;
}

// Counts the live Logging objects of each name: the last one to go drops its logger from the
// registry, whoever else still holds a share of it.
class ModuleLoggers {
public:
    static ModuleLoggers& instance()
    {
        static ModuleLoggers loggers;
        return loggers;
    }

    std::shared_ptr<spdlog::logger> acquire(const std::string& name)
    {
        const std::lock_guard lock(mutex_);
        auto logger = spdlog::get(name);
        if (logger == nullptr)
            logger = createLogger(name);
        ++users_[name];
        return logger;
    }

    void release(const std::string& name, const std::shared_ptr<spdlog::logger>& logger)
    {
        const std::lock_guard lock(mutex_);
        const auto users = users_.find(name);
        if (users == users_.end() || --users->second > 0)
            return;
        users_.erase(users);
        if (spdlog::get(name) == logger)
            spdlog::drop(name);
    }

private:
    std::mutex mutex_;
    std::unordered_map<std::string, std::size_t> users_;
};

const std::string& checkedName(const std::string& name)
{
    if (name.empty())
        throw std::invalid_argument("Logging: a module logger needs a non-empty name (the empty name is the "
                                    "process's default logger)");
    return name;
}

void log(spdlog::logger& logger, spdlog::level::level_enum level, const std::string& message, const char* file,
         const char* function, int line)
{
    const spdlog::source_loc location{file != nullptr ? file : "", line, function != nullptr ? function : ""};
    logger.log(location, level, "{}", message);
}

}  // namespace

Logging::Logging(const std::string& name) : name_(checkedName(name)), logger_(ModuleLoggers::instance().acquire(name_))
{
}

Logging::~Logging()
{
    ModuleLoggers::instance().release(name_, logger_);
}

void Logging::logERROR(const std::string& message, const char* file, const char* function, int line) const
{
    log(*logger_, spdlog::level::err, message, file, function, line);
}

void Logging::logWARN(const std::string& message, const char* file, const char* function, int line) const
{
    log(*logger_, spdlog::level::warn, message, file, function, line);
}

void Logging::logTRACE(const std::string& message, const char* file, const char* function, int line) const
{
    log(*logger_, spdlog::level::trace, message, file, function, line);
}

const std::string& Logging::name() const
{
    return name_;
}

void logWarn(const Logging& logger, const std::string& message, std::source_location where)
{
    logger.logWARN(message, where.file_name(), where.function_name(), static_cast<int>(where.line()));
}

}  // namespace Calvora

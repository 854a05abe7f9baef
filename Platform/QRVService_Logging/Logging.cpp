#include "QRVService_Logging.h"

#include <spdlog/cfg/env.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <mutex>

namespace Calvora {
namespace {

constexpr const char* linePattern = "[%Y-%m-%d %H:%M:%S.%e] [%l] [%n] %s:%# %! %v";

// One stderr sink for every module logger, so that lines from several modules never interleave.
std::shared_ptr<spdlog::sinks::sink> sharedStderrSink()
{
    static const auto sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
    return sink;
}

// The environment's levels are read once; loggers made later pick them up from the registry.
void loadLevelsFromEnvironment()
{
    static std::once_flag once;
    std::call_once(once, [] {
        spdlog::set_level(spdlog::level::warn);
        spdlog::cfg::load_env_levels();
    });
}

std::shared_ptr<spdlog::logger> registeredLogger(const std::string& name)
{
    loadLevelsFromEnvironment();
    if (auto existing = spdlog::get(name))
        return existing;
    auto logger = std::make_shared<spdlog::logger>(name, sharedStderrSink());
    try {
        spdlog::initialize_logger(logger);  // takes the level SPDLOG_LEVEL gives this name
        logger->set_pattern(linePattern);    // after the registry has set its default one
        return logger;
    } catch (const spdlog::spdlog_ex&) {
        return spdlog::get(name);  // another thread registered the same name first
    }
}

void log(spdlog::logger& logger, spdlog::level::level_enum level, const std::string& message,
         const char* file, const char* function, int line)
{
    logger.log(spdlog::source_loc{file, line, function}, level, "{}", message);
}

}  // namespace

Logging::Logging(const std::string& name) : name_(name), logger_(registeredLogger(name)) {}

Logging::~Logging()
{
    // The registry's share goes too, unless another Logging of the same name still uses it.
    if (logger_.use_count() <= 2 && spdlog::get(name_) == logger_)
        spdlog::drop(name_);
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

}  // namespace Calvora

#include "ToolLog.h"

#include "QRVService_Logging.h"

#include <spdlog/spdlog.h>

namespace CoreIoAlign {
namespace {

// The loggers that live only while a reader lives.
const char* const readerLoggers[] = {"CoreIo.ExodusLoader"};

}  // namespace

ToolLog::ToolLog(bool verbose)
{
    for (const char* name : readerLoggers)
        keptLoggers_.push_back(std::make_unique<Calvora::Logging>(name));
    if (verbose)
        return;
    spdlog::apply_all([&](const std::shared_ptr<spdlog::logger>& logger) {
        replaced_.emplace_back(logger, logger->sinks());
        logger->sinks().clear();
    });
}

ToolLog::~ToolLog()
{
    for (auto& [logger, sinks] : replaced_)
        logger->sinks() = std::move(sinks);
}

}  // namespace CoreIoAlign

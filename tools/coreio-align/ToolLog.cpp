#include "ToolLog.h"

#include "QRVService_Logging.h"

#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <mutex>
#include <ostream>
#include <set>
#include <string>

namespace CoreIoAlign {
namespace {

// The module loggers that live only while a loader lives.
const char* const transientLoggers[] = {"CoreIo.ExodusLoader"};

class OnceEachSink : public spdlog::sinks::base_sink<std::mutex> {
public:
    explicit OnceEachSink(std::ostream& out) : out_(out) {}

protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        std::string text(message.payload.data(), message.payload.size());
        if (!shown_.insert(text).second)
            return;
        const auto level = spdlog::level::to_string_view(message.level);
        out_ << "coreio-align: " << std::string_view(level.data(), level.size()) << ": " << text << '\n';
    }
    void flush_() override { out_.flush(); }

private:
    std::ostream& out_;
    std::set<std::string> shown_;
};

}  // namespace

ToolLog::ToolLog(std::ostream& out, bool verbose) : sink_(std::make_shared<OnceEachSink>(out))
{
    for (const char* name : transientLoggers)
        keptLoggers_.push_back(std::make_unique<Calvora::Logging>(name));
    if (verbose)
        return;
    spdlog::apply_all([&](const std::shared_ptr<spdlog::logger>& logger) {
        replaced_.emplace_back(logger, logger->sinks());
        logger->sinks() = {sink_};
    });
}

ToolLog::~ToolLog()
{
    for (auto& [logger, sinks] : replaced_)
        logger->sinks() = std::move(sinks);
}

}  // namespace CoreIoAlign

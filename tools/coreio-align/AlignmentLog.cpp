#include "AlignmentLog.h"

#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <mutex>
#include <string_view>

namespace CoreIoAlign {
namespace {

constexpr std::string_view alignmentUnit = "MeshAlignUtils.cpp";
constexpr std::string_view tubePrefix = "Determined if geometry is a tube: ";
constexpr std::string_view errorPrefix = "Called computeMeshBeforeWithTopologyOfMeshAfter with biggestSquareError ";

}  // namespace

class CollectingSink : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::vector<std::string> messages()
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }

protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        messages_.emplace_back(message.payload.data(), message.payload.size());
    }
    void flush_() override {}

private:
    std::vector<std::string> messages_;
};

namespace {

std::shared_ptr<spdlog::logger> alignmentLogger()
{
    std::shared_ptr<spdlog::logger> found;
    spdlog::apply_all([&](const std::shared_ptr<spdlog::logger>& logger) {
        if (logger->name().ends_with(alignmentUnit))
            found = logger;
    });
    return found;
}

std::optional<std::string> lastWithPrefix(const std::vector<std::string>& messages, std::string_view prefix)
{
    for (auto message = messages.rbegin(); message != messages.rend(); ++message)
        if (message->starts_with(prefix))
            return message->substr(prefix.size());
    return std::nullopt;
}

}  // namespace

AlignmentLog::AlignmentLog() : logger_(alignmentLogger()), sink_(std::make_shared<CollectingSink>())
{
    if (!logger_)
        return;
    previousLevel_ = logger_->level();
    // The existing sinks keep showing what the user asked for; only this sink sees traces.
    for (const auto& sink : logger_->sinks()) {
        previousSinkLevels_.emplace_back(sink, sink->level());
        sink->set_level(std::max(sink->level(), logger_->level()));
    }
    logger_->sinks().push_back(sink_);
    logger_->set_level(spdlog::level::trace);
}

AlignmentLog::~AlignmentLog()
{
    if (!logger_)
        return;
    std::erase(logger_->sinks(), std::static_pointer_cast<spdlog::sinks::sink>(sink_));
    logger_->set_level(static_cast<spdlog::level::level_enum>(previousLevel_));
    for (const auto& [sink, level] : previousSinkLevels_)
        sink->set_level(static_cast<spdlog::level::level_enum>(level));
}

std::vector<std::string> AlignmentLog::messages() const
{
    return sink_->messages();
}

std::optional<bool> AlignmentLog::tubeDetected() const
{
    const auto value = lastWithPrefix(messages(), tubePrefix);
    return value ? std::optional<bool>(*value == "1") : std::nullopt;
}

std::optional<double> AlignmentLog::biggestSquareError() const
{
    const auto value = lastWithPrefix(messages(), errorPrefix);
    return value ? std::optional<double>(std::stod(*value)) : std::nullopt;
}

}  // namespace CoreIoAlign

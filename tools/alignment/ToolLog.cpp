#include "ToolLog.h"

#include "QRVService_Logging.h"

#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <mutex>
#include <ostream>
#include <set>

namespace CoreIoAlign {
namespace {

// The loggers whose lines are about the user's input; they live only while a reader lives.
const char* const inputLoggers[] = {"CoreIo.ExodusLoader"};

thread_local LogNotes* currentNotes = nullptr;

}  // namespace

class NoteSink : public spdlog::sinks::base_sink<std::mutex> {
public:
    NoteSink(std::ostream& out, std::string program) : out_(out), program_(std::move(program)) {}

protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        const auto level = spdlog::level::to_string_view(message.level);
        std::string text = std::string(level.data(), level.size()) + ": " +
                           std::string(message.payload.data(), message.payload.size());
        if (currentNotes != nullptr) {
            if (std::ranges::find(currentNotes->lines_, text) == currentNotes->lines_.end())
                currentNotes->lines_.push_back(std::move(text));
            return;
        }
        if (shown_.insert(text).second)
            out_ << program_ << ": " << text << '\n';
    }
    void flush_() override { out_.flush(); }

private:
    std::ostream& out_;
    std::string program_;
    std::set<std::string> shown_;
};

ToolLog::ToolLog(std::ostream& out, const std::string& program, bool verbose)
    : sink_(std::make_shared<NoteSink>(out, program))
{
    for (const char* name : inputLoggers)
        keptLoggers_.push_back(std::make_unique<Calvora::Logging>(name));
    if (verbose)
        return;
    spdlog::apply_all([&](const std::shared_ptr<spdlog::logger>& logger) {
        replaced_.emplace_back(logger, logger->sinks());
        const bool aboutInput = std::ranges::any_of(inputLoggers,
                                                    [&](const char* name) { return logger->name() == name; });
        logger->sinks().clear();
        if (aboutInput)
            logger->sinks().push_back(sink_);
    });
}

ToolLog::~ToolLog()
{
    for (auto& [logger, sinks] : replaced_)
        logger->sinks() = std::move(sinks);
}

LogNotes::LogNotes() : outer_(currentNotes)
{
    currentNotes = this;
}

LogNotes::~LogNotes()
{
    currentNotes = outer_;
}

}  // namespace CoreIoAlign

#include "ModuleLogCapture.h"

#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <string_view>

namespace AlignmentTestSupport {

// base_sink serialises sink_it_ with its own mutex; reading and clearing take it too.
class ModuleLogCapture::CollectingSink : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::vector<Entry> entries()
    {
        const std::lock_guard lock(mutex_);
        return entries_;
    }
    void clear()
    {
        const std::lock_guard lock(mutex_);
        entries_.clear();
    }

protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        entries_.emplace_back(message.level, std::string(message.payload.data(), message.payload.size()));
    }
    void flush_() override {}

private:
    std::vector<Entry> entries_;
};

namespace {

// The logger named by sourceFile as the compiler saw it: the absolute path or a relative one.
std::shared_ptr<spdlog::logger> loggerOfSourceFile(const std::string& sourceFile)
{
    std::shared_ptr<spdlog::logger> found;
    spdlog::apply_all([&](const std::shared_ptr<spdlog::logger>& logger) {
        std::string_view name = logger->name();
        while (name.starts_with("../") || name.starts_with("./"))
            name.remove_prefix(name.find('/') + 1);
        const std::string_view file = sourceFile;
        const bool tail = file.size() > name.size() && file.ends_with(name) && file[file.size() - name.size() - 1] == '/';
        if (!name.empty() && (file == name || tail))
            found = logger;
    });
    if (found == nullptr)
        throw std::runtime_error("no logger of source file \"" + sourceFile + "\" is registered");
    return found;
}

}  // namespace

ModuleLogCapture::ModuleLogCapture(const std::string& sourceFile)
    : logger_(loggerOfSourceFile(sourceFile)), sink_(std::make_shared<CollectingSink>()), previousLevel_(logger_->level())
{
    logger_->sinks().push_back(sink_);
    logger_->set_level(spdlog::level::trace);
}

ModuleLogCapture::~ModuleLogCapture()
{
    logger_->set_level(previousLevel_);
    auto& sinks = logger_->sinks();
    sinks.erase(std::remove(sinks.begin(), sinks.end(), sink_), sinks.end());
}

std::vector<ModuleLogCapture::Entry> ModuleLogCapture::levelsAndMessages() const
{
    return sink_->entries();
}

void ModuleLogCapture::clear()
{
    sink_->clear();
}

}  // namespace AlignmentTestSupport

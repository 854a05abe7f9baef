#pragma once
// Records what one module logger writes while a test runs, as "<level> <message>" lines: finds the
// logger of a source file in spdlog's registry, lets every level through and adds a collecting
// sink; all undone on destruction. Module loggers are named by __FILE__, the path the compiler was
// given: absolute, or relative when a compiler launcher rewrites paths.

#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace AlignmentTestSupport {

class ModuleLogCapture {
public:
    // sourceFile: the path of the unit. Throws std::runtime_error if no logger of that file is registered.
    explicit ModuleLogCapture(const std::string& sourceFile)
    {
        spdlog::apply_all([&](const std::shared_ptr<spdlog::logger>& logger) {
            std::string name = logger->name();
            name.erase(0, std::min(name.find_first_not_of("./"), name.size()));
            if (!name.empty() && (sourceFile == name || sourceFile.ends_with("/" + name)))
                logger_ = logger;
        });
        if (logger_ == nullptr)
            throw std::runtime_error("no logger of source file \"" + sourceFile + "\" is registered");
        level_ = logger_->level();
        logger_->sinks().push_back(sink_);
        logger_->set_level(spdlog::level::trace);
    }
    ~ModuleLogCapture()
    {
        logger_->set_level(level_);
        std::erase(logger_->sinks(), sink_);
    }
    ModuleLogCapture(const ModuleLogCapture&) = delete;
    ModuleLogCapture& operator=(const ModuleLogCapture&) = delete;

    std::vector<std::string> lines() const
    {
        std::vector<std::string> all;
        for (const auto& entry : sink_->last_raw())
            all.push_back(fmt::format("{} {}", spdlog::level::to_string_view(entry.level), entry.payload));
        return all;
    }

private:
    std::shared_ptr<spdlog::logger> logger_;
    spdlog::level::level_enum level_ = spdlog::level::off;
    std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> sink_ = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(256);
};

}  // namespace AlignmentTestSupport

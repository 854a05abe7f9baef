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
#include <string_view>
#include <vector>

namespace AlignmentTestSupport {

class ModuleLogCapture {
public:
    // sourceFile: the path of the unit. Throws std::runtime_error if no logger of that file is registered.
    explicit ModuleLogCapture(const std::string& sourceFile) : logger_(loggerOf(sourceFile)), level_(logger_->level())
    {
        clear();
        logger_->set_level(spdlog::level::trace);
    }
    ~ModuleLogCapture()
    {
        logger_->set_level(level_);
        detach();
    }
    ModuleLogCapture(const ModuleLogCapture&) = delete;
    ModuleLogCapture& operator=(const ModuleLogCapture&) = delete;

    std::vector<std::string> lines() const
    {
        std::vector<std::string> all;
        for (const auto& entry : sink_->last_raw())
            all.push_back(std::string(spdlog::level::to_string_view(entry.level).data()) + ' ' +
                          std::string(entry.payload.data(), entry.payload.size()));
        return all;
    }
    void clear()
    {
        detach();
        sink_ = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(256);
        logger_->sinks().push_back(sink_);
    }

private:
    void detach()
    {
        auto& sinks = logger_->sinks();
        sinks.erase(std::remove(sinks.begin(), sinks.end(), sink_), sinks.end());
    }
    static std::shared_ptr<spdlog::logger> loggerOf(const std::string& sourceFile)
    {
        std::shared_ptr<spdlog::logger> found;
        spdlog::apply_all([&](const std::shared_ptr<spdlog::logger>& logger) {
            std::string_view name = logger->name();
            while (name.starts_with("../") || name.starts_with("./"))
                name.remove_prefix(name.find('/') + 1);
            if (!name.empty() && (sourceFile == name || sourceFile.ends_with("/" + std::string(name))))
                found = logger;
        });
        if (found == nullptr)
            throw std::runtime_error("no logger of source file \"" + sourceFile + "\" is registered");
        return found;
    }

    std::shared_ptr<spdlog::logger> logger_;
    spdlog::level::level_enum level_;
    std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> sink_;
};

}  // namespace AlignmentTestSupport

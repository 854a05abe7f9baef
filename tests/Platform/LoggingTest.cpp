#include "QRVService_Logging.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Calvora::Logging;

TEST(Logging, DeliversWarningsAndErrorsUnformattedWithTheirSourceButNoTracesByDefault)
{
    if (std::getenv("SPDLOG_LEVEL") != nullptr)
        GTEST_SKIP() << "SPDLOG_LEVEL is set, so the default level does not apply";
    spdlog::set_level(spdlog::level::trace);  // the host's default must not matter
    const Logging logging("Platform/MeshAlignUtils.cpp");
    const auto sink = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(16);
    spdlog::get(logging.name())->sinks().push_back(sink);  // as a host would, to see what reaches it

    logging.logTRACE("trace", "file.cpp", "f", 1);
    logging.logERROR("alignment failed", "src/MeshAlignUtils.cpp", "void align()", 42);
    logging.logWARN("width {} of {:x} is 100%", nullptr, nullptr, 7);
    spdlog::set_level(spdlog::level::info);

    std::vector<std::string> messages;
    for (const auto& m : sink->last_raw())
        messages.push_back(fmt::format("{} {} {}:{} {}", m.logger_name, spdlog::level::to_string_view(m.level),
                                       m.source.filename, m.source.line, m.payload));
    EXPECT_EQ(messages,
              (std::vector<std::string>{"Platform/MeshAlignUtils.cpp error src/MeshAlignUtils.cpp:42 alignment failed",
                                        "Platform/MeshAlignUtils.cpp warning :7 width {} of {:x} is 100%"}));
}

TEST(Logging, TakesItsLevelFromTheEnvironmentInAFreshProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("SPDLOG_LEVEL", "trace", 1);
            const Logging logging("TraceFromEnvironment");
            std::exit(spdlog::get(logging.name())->should_log(spdlog::level::trace) ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(Logging, ObjectsOfOneNameShareTheLoggerUntilTheLastIsDestroyedEvenIfTheHostHoldsIt)
{
    std::optional<Logging> first("SharedName"), second("SharedName");
    const std::shared_ptr<spdlog::logger> heldByHost = spdlog::get("SharedName");
    first.reset();
    EXPECT_EQ(spdlog::get("SharedName"), heldByHost);
    second.reset();
    EXPECT_EQ(spdlog::get("SharedName"), nullptr);
}

}  // namespace

#include "QRVService_Logging.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace {

using Calvora::Logging;
using RingSink = spdlog::sinks::ringbuffer_sink_mt;

// Adds a sink to the registered logger of that name, as a host would, to see what reaches it.
std::shared_ptr<RingSink> observe(const std::string& loggerName)
{
    auto sink = std::make_shared<RingSink>(16);
    spdlog::get(loggerName)->sinks().push_back(sink);
    return sink;
}

std::string text(spdlog::string_view_t view)
{
    return {view.data(), view.size()};
}

TEST(Logging, DeliversLevelUnformattedMessageAndSourceToTheLoggersSinks)
{
    const Logging logging("Platform/MeshAlignUtils.cpp");
    const auto sink = observe(logging.name());

    logging.logERROR("alignment failed", "src/MeshAlignUtils.cpp", "void align()", 42);
    logging.logWARN("width {} of {:x} is 100%", "src/Other.cpp", "int guess(double)", 7);
    logging.logERROR("no source", nullptr, nullptr, 5);

    const auto messages = sink->last_raw();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].level, spdlog::level::err);
    EXPECT_EQ(text(messages[0].payload), "alignment failed");
    EXPECT_EQ(text(messages[0].logger_name), "Platform/MeshAlignUtils.cpp");
    EXPECT_STREQ(messages[0].source.filename, "src/MeshAlignUtils.cpp");
    EXPECT_EQ(messages[0].source.line, 42);
    EXPECT_STREQ(messages[0].source.funcname, "void align()");
    EXPECT_EQ(messages[1].level, spdlog::level::warn);
    EXPECT_EQ(text(messages[1].payload), "width {} of {:x} is 100%");
    EXPECT_STREQ(messages[1].source.filename, "src/Other.cpp");
    EXPECT_EQ(text(messages[2].payload), "no source");
}

TEST(Logging, LetsWarningsAndErrorsPassButNotTracesByDefaultWhateverTheHostsDefault)
{
    if (std::getenv("SPDLOG_LEVEL") != nullptr)
        GTEST_SKIP() << "SPDLOG_LEVEL is set, so the default level does not apply";
    for (const auto hostDefault : {spdlog::level::info, spdlog::level::trace}) {
        spdlog::set_level(hostDefault);
        const Logging logging("DefaultLevel" + std::to_string(hostDefault));
        const auto sink = observe(logging.name());

        logging.logTRACE("trace", "file.cpp", "f", 1);
        logging.logWARN("warn", "file.cpp", "f", 2);
        logging.logERROR("error", "file.cpp", "f", 3);
        spdlog::set_level(spdlog::level::info);

        const auto messages = sink->last_raw();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(text(messages[0].payload), "warn");
        EXPECT_EQ(text(messages[1].payload), "error");
    }
}

TEST(Logging, TakesItsLevelFromTheEnvironment)
{
    // The level is read once per process, so the check runs in a fresh one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("SPDLOG_LEVEL", "trace", 1);
            const Logging logging("TraceFromEnvironment");
            const auto sink = observe(logging.name());
            logging.logTRACE("trace", "file.cpp", "f", 1);
            std::exit(sink->last_raw().size() == 1 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(Logging, ObjectsOfOneNameShareTheLoggerUntilTheLastIsDestroyedEvenIfTheHostHoldsIt)
{
    std::optional<Logging> first("SharedName");
    std::optional<Logging> second("SharedName");
    const auto sink = observe("SharedName");
    const std::shared_ptr<spdlog::logger> heldByHost = spdlog::get("SharedName");

    first->logWARN("from first", "file.cpp", "f", 1);
    first.reset();
    ASSERT_NE(spdlog::get("SharedName"), nullptr);
    second->logWARN("from second", "file.cpp", "f", 2);
    EXPECT_EQ(sink->last_raw().size(), 2u);

    second.reset();
    EXPECT_EQ(spdlog::get("SharedName"), nullptr);
    const Logging again("SharedName");
    EXPECT_NE(spdlog::get("SharedName"), heldByHost);
}

}  // namespace

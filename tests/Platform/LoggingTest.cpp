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

TEST(Logging, DeliversLevelMessageAndSourceToTheLoggersSinks)
{
    const Logging logging("Platform/MeshAlignUtils.cpp");
    const auto sink = observe(logging.name());

    logging.logERROR("alignment failed", "src/MeshAlignUtils.cpp", "void align()", 42);
    logging.logWARN("part looks like a tube", "src/Other.cpp", "int guess(double)", 7);

    const auto messages = sink->last_raw();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].level, spdlog::level::err);
    EXPECT_EQ(text(messages[0].payload), "alignment failed");
    EXPECT_EQ(text(messages[0].logger_name), "Platform/MeshAlignUtils.cpp");
    EXPECT_STREQ(messages[0].source.filename, "src/MeshAlignUtils.cpp");
    EXPECT_EQ(messages[0].source.line, 42);
    EXPECT_STREQ(messages[0].source.funcname, "void align()");
    EXPECT_EQ(messages[1].level, spdlog::level::warn);
    EXPECT_EQ(text(messages[1].payload), "part looks like a tube");
    EXPECT_STREQ(messages[1].source.filename, "src/Other.cpp");
    EXPECT_EQ(messages[1].source.line, 7);
    EXPECT_STREQ(messages[1].source.funcname, "int guess(double)");
}

TEST(Logging, PassesMessagesThroughWithoutFormattingThem)
{
    const Logging logging("PassesMessagesThrough");
    const auto sink = observe(logging.name());

    logging.logERROR("width {} of {:x} is 100%", "file.cpp", "f", 1);

    ASSERT_EQ(sink->last_raw().size(), 1u);
    EXPECT_EQ(text(sink->last_raw()[0].payload), "width {} of {:x} is 100%");
}

TEST(Logging, LetsWarningsAndErrorsPassButNotTracesByDefault)
{
    if (std::getenv("SPDLOG_LEVEL") != nullptr)
        GTEST_SKIP() << "SPDLOG_LEVEL is set, so the default level does not apply";
    const Logging logging("DefaultLevel");
    const auto sink = observe(logging.name());

    logging.logTRACE("trace", "file.cpp", "f", 1);
    logging.logWARN("warn", "file.cpp", "f", 2);
    logging.logERROR("error", "file.cpp", "f", 3);

    const auto messages = sink->last_raw();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(text(messages[0].payload), "warn");
    EXPECT_EQ(text(messages[1].payload), "error");
}

TEST(Logging, KeepsToWarningsWhenTheHostLowersTheDefaultLevel)
{
    if (std::getenv("SPDLOG_LEVEL") != nullptr)
        GTEST_SKIP() << "SPDLOG_LEVEL is set, so the default level does not apply";
    spdlog::set_level(spdlog::level::trace);
    const Logging logging("HostDefaultLevel");
    const auto sink = observe(logging.name());

    logging.logTRACE("trace", "file.cpp", "f", 1);
    spdlog::set_level(spdlog::level::info);

    EXPECT_TRUE(sink->last_raw().empty());
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

TEST(Logging, WritesLevelNameSourceAndFunctionToStandardError)
{
    const Logging logging("StandardErrorLogger");

    testing::internal::CaptureStderr();
    logging.logERROR("disk on fire", "dir/Unit.cpp", "void Unit::run()", 321);
    const std::string line = testing::internal::GetCapturedStderr();

    for (const char* part : {"error", "StandardErrorLogger", "Unit.cpp:321", "void Unit::run()", "disk on fire"})
        EXPECT_NE(line.find(part), std::string::npos) << part << " missing in: " << line;
}

TEST(Logging, ObjectsOfOneNameShareTheLoggerUntilTheLastIsDestroyed)
{
    std::optional<Logging> first("SharedName");
    std::optional<Logging> second("SharedName");
    const auto sink = observe("SharedName");

    first->logWARN("from first", "file.cpp", "f", 1);
    second->logWARN("from second", "file.cpp", "f", 2);
    EXPECT_EQ(sink->last_raw().size(), 2u);

    first.reset();
    ASSERT_NE(spdlog::get("SharedName"), nullptr);
    second->logWARN("still there", "file.cpp", "f", 3);
    EXPECT_EQ(sink->last_raw().size(), 3u);

    second.reset();
    EXPECT_EQ(spdlog::get("SharedName"), nullptr);
}

TEST(Logging, DropsItsLoggerFromTheRegistryEvenWhileTheHostHoldsIt)
{
    std::shared_ptr<spdlog::logger> heldByHost;
    {
        const Logging logging("HeldByHost");
        heldByHost = spdlog::get("HeldByHost");
        ASSERT_NE(heldByHost, nullptr);
    }
    EXPECT_EQ(spdlog::get("HeldByHost"), nullptr);

    const Logging again("HeldByHost");
    EXPECT_NE(spdlog::get("HeldByHost"), heldByHost);
}

TEST(Logging, AcceptsMissingFileAndFunction)
{
    const Logging logging("MissingSource");
    const auto sink = observe(logging.name());

    logging.logERROR("no source", nullptr, nullptr, 5);

    ASSERT_EQ(sink->last_raw().size(), 1u);
    EXPECT_EQ(text(sink->last_raw()[0].payload), "no source");
}

TEST(Logging, RejectsAnEmptyName)
{
    EXPECT_THROW(Logging(""), std::invalid_argument);
}

}  // namespace

#include "CommandLine.h"

#include <gtest/gtest.h>

using CoreIoAlign::Options;
using CoreIoAlign::parseCommandLine;
using CoreIoAlign::TubeMode;
using CoreIoAlign::UsageError;

TEST(CommandLine, TakesTwoFilesWithDefaults)
{
    const Options options = parseCommandLine({"before.exo", "after.exo"});
    EXPECT_EQ(options.beforeFile, "before.exo");
    EXPECT_EQ(options.afterFile, "after.exo");
    EXPECT_FALSE(options.beforeBody);
    EXPECT_FALSE(options.afterBody);
    EXPECT_EQ(options.tube, TubeMode::Auto);
    EXPECT_FALSE(options.complete);
    EXPECT_FALSE(options.output);
}

TEST(CommandLine, BodyNamesTheBlockInBothFiles)
{
    const Options options = parseCommandLine({"a.exo", "--body", "blank", "b.exo"});
    EXPECT_EQ(options.beforeBody, "blank");
    EXPECT_EQ(options.afterBody, "blank");

    const Options separate = parseCommandLine({"a.exo", "b.exo", "--before-body", "x", "--after-body", "y"});
    EXPECT_EQ(separate.beforeBody, "x");
    EXPECT_EQ(separate.afterBody, "y");
}

TEST(CommandLine, ReadsTubeModeCompletionAndOutput)
{
    const Options options = parseCommandLine({"a.exo", "b.exo", "--tube", "yes", "--complete", "-o", "out.exo"});
    EXPECT_EQ(options.tube, TubeMode::Yes);
    EXPECT_TRUE(options.complete);
    EXPECT_EQ(options.output, "out.exo");
    EXPECT_EQ(CoreIoAlign::isTubeArgument(TubeMode::Yes), 1);
    EXPECT_EQ(CoreIoAlign::isTubeArgument(TubeMode::No), 0);
    EXPECT_LT(CoreIoAlign::isTubeArgument(TubeMode::Auto), 0);
}

TEST(CommandLine, DemoNeedsNoFilesAndTakesADirectory)
{
    const Options options = parseCommandLine({"--demo", "-o", "cases"});
    EXPECT_TRUE(options.demo);
    EXPECT_EQ(options.output, "cases");
    EXPECT_THROW(parseCommandLine({"--demo", "a.exo"}), UsageError);
}

TEST(CommandLine, RefusesBadUsageWithAReason)
{
    const auto messageOf = [](std::vector<std::string> arguments) {
        try {
            parseCommandLine(arguments);
        } catch (const UsageError& error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(messageOf({"a.exo"}), "expected two input files, BEFORE.exo and AFTER.exo");
    EXPECT_EQ(messageOf({"a.exo", "b.exo", "c.exo"}), "expected two input files, BEFORE.exo and AFTER.exo");
    EXPECT_EQ(messageOf({"a.exo", "b.exo", "--tube", "maybe"}), "--tube takes auto, yes or no, not 'maybe'");
    EXPECT_EQ(messageOf({"a.exo", "b.exo", "-o"}), "-o needs a value");
    EXPECT_EQ(messageOf({"a.exo", "b.exo", "--frobnicate"}), "unknown option --frobnicate");
    EXPECT_EQ(messageOf({"a.exo", "b.exo", "--body", "x", "--before-body", "y"}),
              "--body cannot be combined with --before-body or --after-body");
    EXPECT_EQ(messageOf({"a.exo", "b.exo", "--before-body", "y", "--body", "x"}),
              "--body cannot be combined with --before-body or --after-body");
}

TEST(CommandLine, HelpAndVersionNeedNothingElse)
{
    EXPECT_TRUE(parseCommandLine({"--help"}).help);
    EXPECT_TRUE(parseCommandLine({"-h"}).help);
    EXPECT_TRUE(parseCommandLine({"--version"}).version);
}

#include "CommandLine.h"

#include <gtest/gtest.h>

using CoreIo::InitialCoordinateSource;
using CoreIoAlign::Options;
using CoreIoAlign::parseCommandLine;
using CoreIoAlign::TubeMode;
using CoreIoAlign::UsageError;

TEST(CommandLine, TakesTwoFilesWithDefaults)
{
    const Options options = parseCommandLine({"before.exo", "after.exo"});
    EXPECT_EQ(options.job.beforeFile, "before.exo");
    EXPECT_EQ(options.job.afterFile, "after.exo");
    for (const CoreIo::ExodusBodyOptions& body : {options.job.before, options.job.after}) {
        EXPECT_TRUE(body.blocks.empty());
        EXPECT_FALSE(body.step);
        EXPECT_EQ(body.displacement, "auto");
        EXPECT_EQ(body.initialCoordinates.kind, InitialCoordinateSource::Kind::Variables);
        EXPECT_EQ(body.initialCoordinates.variables[1], "INITIALCOORD1");
        EXPECT_FALSE(body.origin);
    }
    EXPECT_EQ(options.job.tube, TubeMode::Auto);
    EXPECT_FALSE(options.job.complete);
    EXPECT_FALSE(options.job.output);
}

TEST(CommandLine, GivesEachFileItsBlocksStepAndSources)
{
    const Options both = parseCommandLine(
        {"a.exo", "--body=skin,7", "b.exo", "--step", "2", "--displacement", "DISP", "--ic", "reference-cylinder-y"});
    for (const CoreIo::ExodusBodyOptions& body : {both.job.before, both.job.after}) {
        EXPECT_EQ(body.blocks, (std::vector<std::string>{"skin", "7"}));
        EXPECT_EQ(body.step, 2);
        EXPECT_EQ(body.displacement, "DISP");
        EXPECT_EQ(body.initialCoordinates.kind, InitialCoordinateSource::Kind::ReferenceCylinder);
        EXPECT_EQ(body.initialCoordinates.axis, 1);
    }
    const Options separate = parseCommandLine({"a.exo", "b.exo", "--before-body", "x", "--after-body", "y,z",
                                               "--before-step", "1", "--after-step", "last", "--ic", "ic0,ic1"});
    EXPECT_EQ(separate.job.before.blocks, std::vector<std::string>{"x"});
    EXPECT_EQ(separate.job.after.blocks, (std::vector<std::string>{"y", "z"}));
    EXPECT_EQ(separate.job.before.step, 1);
    EXPECT_FALSE(separate.job.after.step);
    EXPECT_EQ(separate.job.after.initialCoordinates.variables[0], "ic0");
}

TEST(CommandLine, ReadsTubeModeCompletionOutputAndTheOtherModes)
{
    const Options options = parseCommandLine({"a.exo", "b.exo", "--tube", "yes", "--complete", "-o", "out.exo"});
    EXPECT_EQ(options.job.tube, TubeMode::Yes);
    EXPECT_TRUE(options.job.complete);
    EXPECT_EQ(options.job.output, "out.exo");
    EXPECT_EQ(parseCommandLine({"--list", "a.exo"}).list, "a.exo");
    EXPECT_EQ(parseCommandLine({"--demo", "-o", "cases"}).job.output, "cases");
    EXPECT_TRUE(parseCommandLine({"--help"}).help);
    EXPECT_TRUE(parseCommandLine({"--version"}).version);
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
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"a.exo"}, "expected two input files"},
        {{"a.exo", "b.exo", "c.exo"}, "expected two input files"},
        {{"a.exo", "b.exo", "--tube", "maybe"}, "--tube"},
        {{"a.exo", "b.exo", "-o"}, "-o"},
        {{"a.exo", "b.exo", "--frobnicate"}, "--frobnicate"},
        {{"a.exo", "b.exo", "--body", "x", "--before-body", "y"}, "--body cannot be combined with --before-body"},
        {{"a.exo", "b.exo", "--step", "3", "--after-step", "1"}, "--step cannot be combined with --before-step"},
        {{"a.exo", "b.exo", "--step", "0"}, "a step is \"last\" or a step number from 1"},
        {{"a.exo", "b.exo", "--body", "a,,b"}, "comma list of block names or ids"},
        {{"a.exo", "b.exo", "--ic", "reference-xz"}, "reference-cylinder-x|y|z"},
        {{"a.exo", "b.exo", "--ic", "ONLYONE"}, "NAME0,NAME1"},
        {{"--demo", "a.exo"}, "--demo takes no input files"},
        {{"--list", "a.exo", "b.exo"}, "--list takes no input files"},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_NE(messageOf(arguments).find(expected), std::string::npos)
            << arguments.back() << ": " << messageOf(arguments);
}

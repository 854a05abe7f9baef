// Runs the coreio-align program as a user would and checks its output and exit codes.
#include "ExodusWriter.h"
#include "ExodusLoader.h"
#include "SampleBodies.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <sys/wait.h>

namespace {

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

CommandResult runCommand(const std::string& arguments)
{
    const std::string command = std::string(COREIO_ALIGN_PROGRAM) + " " + arguments + " 2>&1";
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        result.output += buffer;
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::filesystem::path freshDirectory(const std::string& name)
{
    const auto directory = std::filesystem::temp_directory_path() / ("coreio-align-test-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    return directory;
}

std::vector<double> widened(const std::vector<float>& values)
{
    return {values.begin(), values.end()};
}

// A sheet whose file holds only the initial coordinates named in `results`.
void writeSheet(const std::filesystem::path& path, const std::vector<std::string>& results, int cells)
{
    const auto sheet = CoreIoSamples::makeSheet({}, {cells, cells, 0.15, 3});
    CoreIo::ExodusWriter writer(path.string());
    writer.addBody("sheet", {widened(sheet.x), widened(sheet.y), widened(sheet.z), sheet.triangles, {}, {}, {}});
    for (const std::string& name : results)
        writer.addNodalVariable(name, {{widened(name == "INITIALCOORD0" ? sheet.initCoord0 : sheet.initCoord1)}});
    writer.write();
}

}  // namespace

TEST(CoreIoAlignCommand, DemoAlignsBothCasesCompletely)
{
    const auto directory = freshDirectory("demo");
    const CommandResult result = runCommand("--demo -o " + directory.string());
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::regex complete(R"(matching: +\d+ matched, \d+ completed, 0 unmatched)");
    const auto summaries = std::distance(std::sregex_iterator(result.output.begin(), result.output.end(), complete),
                                         std::sregex_iterator());
    EXPECT_EQ(summaries, 2) << result.output;
    EXPECT_NE(result.output.find("tube:          yes"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("tube:          no"), std::string::npos) << result.output;
    for (const char* file : {"sheet/before.exo", "sheet/after.exo", "sheet/aligned.exo", "tube/aligned.exo"})
        EXPECT_TRUE(std::filesystem::exists(directory / file)) << file;
    std::filesystem::remove_all(directory);
}

TEST(CoreIoAlignCommand, WritesTheAlignedMeshWithDisplacementFields)
{
    const auto directory = freshDirectory("output");
    writeSheet(directory / "before.exo", {"INITIALCOORD0", "INITIALCOORD1"}, 12);
    writeSheet(directory / "after.exo", {"INITIALCOORD0", "INITIALCOORD1"}, 9);
    const auto output = directory / "aligned.exo";
    const CommandResult result = runCommand((directory / "before.exo").string() + " " + (directory / "after.exo").string() +
                                            " --complete -o " + output.string());
    ASSERT_EQ(result.exitCode, 0) << result.output;

    const CoreIo::ExodusLoader aligned(output.string());
    ASSERT_EQ(aligned.bodies().size(), 1u);
    std::vector<std::string> names;
    for (const CoreIo::ResultEntry& entry : aligned.bodies().front().results)
        names.push_back(entry.name);
    for (const char* field : {"DISPL_X", "DISPL_Y", "DISPL_Z", "DISPL_MAG", "MATCHED_VERTEX"})
        EXPECT_NE(std::find(names.begin(), names.end(), field), names.end()) << field;
    std::filesystem::remove_all(directory);
}

TEST(CoreIoAlignCommand, MissingInitialCoordinatesFailWithTheirNamesAndWriteNothing)
{
    const auto directory = freshDirectory("missing");
    writeSheet(directory / "before.exo", {"INITIALCOORD0", "INITIALCOORD1"}, 6);
    writeSheet(directory / "after.exo", {"INITIALCOORD0"}, 6);
    const auto output = directory / "aligned.exo";
    const CommandResult result =
        runCommand((directory / "before.exo").string() + " " + (directory / "after.exo").string() + " -o " + output.string());
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("lacks the nodal variables INITIALCOORD1"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("after.exo"), std::string::npos) << result.output;
    EXPECT_FALSE(std::filesystem::exists(output));
    std::filesystem::remove_all(directory);
}

TEST(CoreIoAlignCommand, UnreadableFileIsBadInputAndBadUsageIsTwo)
{
    const CommandResult missing = runCommand("/nonexistent/before.exo /nonexistent/after.exo");
    EXPECT_EQ(missing.exitCode, 1) << missing.output;
    EXPECT_NE(missing.output.find("/nonexistent/before.exo"), std::string::npos) << missing.output;

    const CommandResult usage = runCommand("--tube sometimes a.exo b.exo");
    EXPECT_EQ(usage.exitCode, 2) << usage.output;
    EXPECT_NE(usage.output.find("--tube takes auto, yes or no"), std::string::npos);

    const CommandResult help = runCommand("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("Usage:"), std::string::npos);
}

// Runs the coreio-align program as a user would and checks its output and exit codes.
#include "ExodusLoader.h"
#include "ExodusTestSupport.h"
#include "ExodusWriter.h"
#include "SampleBodies.h"
#include "ShellSampleFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace {

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

// environment: assignments for the program's environment, as the shell takes them
CommandResult runCommand(const std::string& arguments, const std::string& environment = "")
{
    const std::string command = environment + " " + COREIO_ALIGN_PROGRAM + " " + arguments + " 2>&1";
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

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// The number that follows the first occurrence of label in the displacement line; NaN without one.
double figureAfter(const std::string& output, const std::string& label)
{
    const auto line = output.find("displacement (after - aligned)");
    const auto at = line == std::string::npos ? line : output.find(label, line);
    return at == std::string::npos ? std::nan("") : std::stod(output.substr(at + label.size()));
}

std::vector<double> widened(const std::vector<float>& values)
{
    return {values.begin(), values.end()};
}

// A sheet whose file holds only the initial coordinates named in `results`, the first one moved
// by shift (and its first node's made NaN when shift is).
void writeSheet(const std::filesystem::path& path, const std::vector<std::string>& results, int cells,
                double shift = 0.0, CoreIo::ExodusPrecision precision = CoreIo::ExodusPrecision::Float)
{
    const auto sheet = CoreIoSamples::makeSheet({}, {cells, cells, 0.15, 3});
    CoreIo::ExodusWriter writer(path.string(), precision);
    writer.addBody("sheet", {widened(sheet.x), widened(sheet.y), widened(sheet.z), sheet.triangles, {}, {}, {}});
    std::vector<double> first = widened(sheet.initCoord0);
    for (double& u : first)
        u += std::isnan(shift) ? 0.0 : shift;
    first.front() += std::isnan(shift) ? shift : 0.0;
    for (const std::string& name : results)
        writer.addNodalVariable(name, {{name == "INITIALCOORD0" ? first : widened(sheet.initCoord1)}});
    writer.write();
}

// A nodal variable of a file's first body, in its body's node order.
std::vector<double> nodalValues(const CoreIo::ExodusLoader& loader, const std::string& name)
{
    for (const CoreIo::ResultEntry& entry : loader.bodies().front().results)
        if (entry.name == name) {
            ExodusTest::ResultRecorder recorder;
            loader.loadResult(entry.dataLocation, recorder, std::nullopt);
            return ExodusTest::asDoubles(recorder.received.at(0));
        }
    ADD_FAILURE() << "no variable " << name;
    return {};
}

}  // namespace

TEST(CoreIoAlignCommand, DemoAlignsBothCasesCompletely)
{
    const ExodusTest::ScratchDirectory directory;
    const CommandResult result = runCommand("--demo -o " + directory.file(""));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(occurrences(result.output, " near, 0 outside; coverage 1\n"), 2u) << result.output;
    EXPECT_NE(result.output.find("tube:          yes"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("tube:          no"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("warning"), std::string::npos) << result.output;
    for (const char* file : {"sheet/before.exo", "sheet/after.exo", "sheet/aligned.exo", "tube/aligned.exo",
                             "sheet/displacement.png", "tube/displacement.png"})
        EXPECT_TRUE(std::filesystem::exists(directory.file(file))) << file;
}

TEST(CoreIoAlignCommand, SelfAlignmentMatchesEveryNodeToItsOwnId)
{
    const ExodusTest::ScratchDirectory directory;
    const std::string body = directory.file("body.exo");
    writeSheet(body, {"INITIALCOORD0", "INITIALCOORD1"}, 9);
    const std::string output = directory.file("aligned.exo");
    const CommandResult result = runCommand(body + " " + body + " -o " + output);
    ASSERT_EQ(result.exitCode, 0) << result.output;

    const CoreIo::ExodusLoader aligned(output);
    const std::vector<std::int64_t>& ids = aligned.description(0).nodeIds;
    const std::vector<double> matched = nodalValues(aligned, "MATCHED_NODE_ID");
    EXPECT_EQ(matched, std::vector<double>(ids.begin(), ids.end()));
    for (const double magnitude : nodalValues(aligned, "DISPL_MAG"))
        EXPECT_EQ(magnitude, 0.0);
    EXPECT_EQ(nodalValues(aligned, "BEFORE_INITIALCOORD0"), nodalValues(aligned, "INITIALCOORD0"));
}

TEST(CoreIoAlignCommand, RefusesOrFlagsWhatItCannotAlignWithItsExitCode)
{
    const ExodusTest::ScratchDirectory directory;
    const std::string before = directory.file("before.exo"), out = directory.file("out.exo");
    const std::string disjoint = directory.file("disjoint.exo"), broken = directory.file("broken.exo");
    const std::string lacking = directory.file("lacking.exo"), shifted = directory.file("shifted.exo");
    writeSheet(before, {"INITIALCOORD0", "INITIALCOORD1"}, 8);
    writeSheet(shifted, {"INITIALCOORD0", "INITIALCOORD1"}, 6, 0.25);  // a quarter beyond the before body
    writeSheet(disjoint, {"INITIALCOORD0", "INITIALCOORD1"}, 6, 5.0);
    writeSheet(broken, {"INITIALCOORD0", "INITIALCOORD1"}, 6, std::nan(""));
    writeSheet(lacking, {"INITIALCOORD0"}, 6);
    const auto beforeWritten = std::filesystem::last_write_time(before);
    const std::string pair = before + " " + disjoint + " -o ";
    const struct {
        std::string arguments;
        int exitCode;
        std::string message;
        bool written;
    } rows[] = {
        {pair + out, 3, "49 after vertices lie outside the before body; they have MATCH_STATUS 3 in " + out, true},
        {before + " " + shifted + " -o " + out, 3, "after vertices lie outside the before body", true},
        {before + " " + shifted + " --min-coverage 0.6 -o " + out, 0, " outside; coverage 0.", true},
        {pair + directory.file("./before.exo"), 2, "is the input", false},
        {pair + disjoint, 2, "is the input", false},
        {pair + out + " --png " + disjoint, 2, "is the input", false},
        {pair + out + " --map THICKNESS", 1, "--map: " + before + " has no variable THICKNESS", false},
        {before + " " + disjoint + " --map THICKNESS", 1, "has no variable THICKNESS; its nodal variables are", false},
        {pair + directory.file("missing/out.exo"), 2, "missing does not exist", false},
        {before + " " + broken + " -o " + out, 1, "\"INITIALCOORD0\" at step 1 is not finite at node 1", false},
        {before + " " + lacking + " -o " + out, 1, lacking + " lacks the nodal variables INITIALCOORD1", false},
        {"/nonexistent/before.exo /nonexistent/after.exo -o " + out, 1, "/nonexistent/before.exo", false},
        {"--tube sometimes a.exo b.exo", 2, "--tube", false},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(out);
        const CommandResult result = runCommand(row.arguments);
        EXPECT_EQ(result.exitCode, row.exitCode) << row.arguments << '\n' << result.output;
        EXPECT_NE(result.output.find(row.message), std::string::npos) << result.output;
        EXPECT_EQ(std::filesystem::exists(out), row.written) << row.arguments;
    }
    EXPECT_EQ(std::filesystem::last_write_time(before), beforeWritten);
}

TEST(CoreIoAlignCommand, WritesDoublePrecisionWhenEitherInputHasIt)
{
    const ExodusTest::ScratchDirectory directory;
    const std::string single = directory.file("single.exo"), twice = directory.file("double.exo");
    writeSheet(single, {"INITIALCOORD0", "INITIALCOORD1"}, 7);
    writeSheet(twice, {"INITIALCOORD0", "INITIALCOORD1"}, 9, 0.0, CoreIo::ExodusPrecision::Double);
    const struct {
        std::string before, after;
        bool doubles;
    } rows[] = {{single, single, false}, {single, twice, true}, {twice, single, true}};
    for (const auto& row : rows) {
        const std::string output = directory.file("out.exo");
        const CommandResult result = runCommand(row.before + " " + row.after + " -o " + output);
        ASSERT_EQ(result.exitCode, 0) << result.output;
        EXPECT_EQ(CoreIo::ExodusLoader(output).storesDoubles(), row.doubles) << row.before << " " << row.after;
    }
}

// The sheet's reference shape is flat, so its reference coordinates are its initial coordinates.
// Before: formed by 0.1 x per step; after, meshed differently: 0.1 x + 0.5 per step. Linear
// displacements interpolate exactly, so the alignment's displacement is known everywhere.
TEST(CoreIoAlignCommand, AlignsQuadShellBodiesThroughTheirDisplacementAtTheChosenSteps)
{
    for (const double offset : {0.0, 1e5}) {
        SCOPED_TRACE("sheet at " + std::to_string(offset));
        const ExodusTest::ScratchDirectory directory;
        const std::string before = directory.file("before.exo"), after = directory.file("after.exo");
        const std::string longName = "lower skin, 0.8 mm, formed in operation 20";
        CoreIoSamples::ShellSampleFile formed;
        formed.cellsX = 20;
        formed.cellsY = 10;
        formed.offset = {offset, offset, 0.0};
        formed.blockNames = {longName, "upper skin"};
        formed.displacement = [](double x, double, auto step) { return std::array{0.0, 0.0, 0.1 * x * step}; };
        formed.withBeam = true;
        CoreIoSamples::writeShellFile(before, formed);
        CoreIoSamples::ShellSampleFile sprung;
        sprung.cellsX = 15;
        sprung.cellsY = 7;
        sprung.offset = {offset, offset, 0.0};
        sprung.displacement = [](double x, double, auto step) { return std::array{0.0, 0.0, (0.1 * x + 0.5) * step}; };
        CoreIoSamples::writeShellFile(after, sprung);

        const CommandResult list = runCommand("--list " + before);
        EXPECT_EQ(list.exitCode, 0) << list.output;
        for (const std::string& expected : {"id 1  \"" + longName + "\"  SHELL4  100 elements", std::string("used"),
                                            std::string("id 9  \"stiffener\"  BEAM2"), std::string("skipped: BEAM2"),
                                            std::string("disp_x disp_y disp_z"), std::string("1:t=1 2:t=2")})
            EXPECT_NE(list.output.find(expected), std::string::npos) << expected << " in\n" << list.output;

        const std::string files = before + " " + after + " --ic reference-xy --complete ";
        const std::string output = directory.file("aligned.exo");
        // The reader's warning is the tool's to show, whatever the platform's log level.
        const CommandResult last = runCommand(files + "-o " + output, "SPDLOG_LEVEL=off");
        ASSERT_EQ(last.exitCode, 0) << last.output;
        EXPECT_EQ(occurrences(last.output, "coreio-align: warning: Exodus file \"" + before +
                                               "\": skipping element block \"stiffener\" (id 9): BEAM2 elements "
                                               "make no surface\n"),
                  1u)
            << last.output;
        EXPECT_NE(last.output.find(
                      "116 after vertices matched to the nearest corner of the before triangle that holds them"),
                  std::string::npos)
            << last.output;
        EXPECT_EQ(last.output.find("Inaccurate"), std::string::npos) << last.output;
        EXPECT_NE(last.output.find("step 2 (time 2), displacement disp_x, disp_y, disp_z, initial coordinates "
                                   "reference-xy"),
                  std::string::npos)
            << last.output;
        EXPECT_NEAR(figureAfter(last.output, "max "), 0.5, 5e-6) << last.output;
        EXPECT_NEAR(figureAfter(last.output, "mean "), 0.5, 5e-6) << last.output;
        // written back where the files place the sheet, which spans x from offset to offset + 2
        EXPECT_NEAR(CoreIo::ExodusLoader(output, {}).description(0).origin[0], offset + 1.0, 1e-2);

        const CommandResult earlier = runCommand(files + "--before-step=2 --after-step 1");
        ASSERT_EQ(earlier.exitCode, 0) << earlier.output;
        EXPECT_NEAR(figureAfter(earlier.output, "max "), 0.2, 5e-6)  // the after body is still flat: 0.1 x at x = 2
            << earlier.output;

        for (const auto& [arguments, message] : std::vector<std::pair<std::string, std::string>>{
                 {"--body nope", "id 1 \"" + longName + "\" (SHELL4); id 2 \"upper skin\" (SHELL4)"},
                 {"--before-body 9", "\"stiffener\" (id 9) cannot be part of a body: BEAM2 elements make no surface"},
                 {"--displacement VELOCITY", "no complete displacement triple VELOCITY_X"}}) {
            std::filesystem::remove(output);
            const CommandResult refused = runCommand(files + arguments + " -o " + output);
            EXPECT_EQ(refused.exitCode, 1) << refused.output;
            EXPECT_NE(refused.output.find(message), std::string::npos) << refused.output;
            EXPECT_FALSE(std::filesystem::exists(output)) << arguments;
        }
    }
}

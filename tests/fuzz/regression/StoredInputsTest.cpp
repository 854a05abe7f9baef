// Every stored input of both fuzz targets (tests/data/fuzz/<target>/), replayed through the fuzz
// entry functions: a crash input stays fixed once its cause is, and the seeds keep reaching what
// they were made for.
#include "ExodusLoaderFuzzEntry.h"
#include "MemoryLoaderFuzzEntry.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace CoreIoFuzz;

namespace {

const std::filesystem::path corpus = std::filesystem::path(COREIO_TEST_DATA_DIR) / "fuzz";

std::vector<std::string> storedInputs(const std::string& target)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(corpus / target))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> storedInput(const std::string& target, const std::string& name)
{
    std::ifstream in(corpus / target / name, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read the stored fuzz input " << target << "/" << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ExodusFuzzOutcome runExodus(const std::vector<std::uint8_t>& bytes)
{
    return fuzzExodusLoader(bytes.data(), bytes.size());
}

ExodusFuzzOutcome runExodus(const std::string& name)
{
    return runExodus(storedInput("fuzz_exodus_loader", name));
}

MemoryFuzzOutcome runMemory(const std::string& name)
{
    const auto bytes = storedInput("fuzz_memory_loader", name);
    return fuzzMemoryLoader(bytes.data(), bytes.size());
}

}  // namespace

TEST(StoredFuzzInputs, EveryOneRunsWithoutCrashOrUnexpectedFailure)
{
    ASSERT_FALSE(storedInputs("fuzz_exodus_loader").empty());
    ASSERT_FALSE(storedInputs("fuzz_memory_loader").empty());
    for (const std::string& name : storedInputs("fuzz_exodus_loader")) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(runExodus(name));
    }
    for (const std::string& name : storedInputs("fuzz_memory_loader")) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(runMemory(name));
    }
}

TEST(ExodusSeeds, ReachBodiesResultsAndInitialCoordinates)
{
    const ExodusFuzzOutcome twoBodies = runExodus("seed-two-bodies.exo");
    EXPECT_EQ(twoBodies.meshes, 2u);
    EXPECT_EQ(twoBodies.topologies, 2u);
    EXPECT_EQ(twoBodies.resultArrays, 6u);  // THICKNESS at three steps for each body
    EXPECT_EQ(runExodus("seed-initial-coordinates.exo").validBodies, 1u);
    const ExodusFuzzOutcome independent = runExodus("seed-independent-cdf5.exo");
    EXPECT_EQ(independent.bodies, 2u);  // the triangle block and the quadrilateral block
    EXPECT_EQ(independent.validBodies, 0u);
    EXPECT_GT(independent.resultArrays, 0u);
    EXPECT_FALSE(runExodus("seed-short-variable.exo").opened);
}

TEST(MemoryProgramSeeds, ReachTheAlignmentThePolyLinesAndTheRefusals)
{
    const MemoryFuzzOutcome sheets = runMemory("seed-sheets");
    EXPECT_EQ(sheets.validBodies, 2u);
    EXPECT_EQ(sheets.alignments, 2u);
    EXPECT_EQ(runMemory("seed-tube").alignments, 2u);
    const MemoryFuzzOutcome mixed = runMemory("seed-mixed");
    EXPECT_EQ(mixed.polyLines, 4u);
    EXPECT_EQ(mixed.meshes, 1u);
    EXPECT_EQ(runMemory("seed-refusals").refusals, 9u);
}

TEST(ExodusLoaderFuzzEntry, RefusesBytesThatAreNoExodusFileAndEveryTruncationOfOne)
{
    const std::string text = "netcdf sample { dimensions: num_nodes = 3 ; }";
    std::vector<std::uint8_t> classicMagicOnly{'C', 'D', 'F', 1};
    classicMagicOnly.resize(64, 0);
    EXPECT_FALSE(runExodus(std::vector<std::uint8_t>{}).opened);
    EXPECT_FALSE(runExodus(std::vector<std::uint8_t>(text.begin(), text.end())).opened);
    EXPECT_FALSE(runExodus(classicMagicOnly).opened);

    const auto whole = storedInput("fuzz_exodus_loader", "seed-two-bodies.exo");
    ASSERT_TRUE(runExodus(whole).opened);
    for (std::size_t length = 0; length < whole.size(); length += 61) {
        const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(runExodus(cut).opened) << "cut at " << length << " of " << whole.size() << " bytes";
    }
}

TEST(ExodusLoaderFuzzEntry, LeavesNoFileBehind)
{
    ASSERT_TRUE(runExodus("seed-one-triangle.exo").opened);
    const auto scratch = std::filesystem::temp_directory_path() / ("coreio-fuzz-" + std::to_string(getpid()) + ".exo");
    EXPECT_FALSE(std::filesystem::exists(scratch));
}

// Every stored input of the Exodus fuzz target (tests/data/fuzz/fuzz_exodus_loader/), replayed
// through its entry function in every build: a crash input stays fixed once its cause is, and the
// seeds keep reaching what they were made for.
#include "ExodusLoaderFuzzEntry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace CoreIoFuzz;

namespace {

const std::filesystem::path corpus = std::filesystem::path(COREIO_TEST_DATA_DIR) / "fuzz" / "fuzz_exodus_loader";

std::vector<std::string> storedInputs()
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(corpus))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> storedInput(const std::string& name)
{
    std::ifstream in(corpus / name, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read the stored fuzz input " << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ExodusFuzzOutcome run(const std::vector<std::uint8_t>& bytes)
{
    return fuzzExodusLoader(bytes.data(), bytes.size());
}

ExodusFuzzOutcome run(const std::string& name)
{
    return run(storedInput(name));
}

}  // namespace

TEST(StoredFuzzInputs, EveryOneRunsWithoutCrashOrBrokenPromise)
{
    ASSERT_GT(storedInputs().size(), 3u);
    for (const std::string& name : storedInputs()) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(run(name));
    }
}

TEST(StoredFuzzInputs, SeedsReachBodiesResultsAndInitialCoordinates)
{
    const ExodusFuzzOutcome twoBodies = run("seed-two-bodies.exo");
    EXPECT_EQ(twoBodies.meshes, 2u);
    EXPECT_EQ(twoBodies.topologies, 2u);
    EXPECT_EQ(twoBodies.resultArrays, 6u);  // THICKNESS at three steps for each body
    EXPECT_EQ(run("seed-initial-coordinates.exo").validBodies, 1u);
    const ExodusFuzzOutcome independent = run("seed-independent-cdf5.exo");
    EXPECT_EQ(independent.bodies, 2u);  // the triangle block and the quadrilateral block
    EXPECT_EQ(independent.validBodies, 0u);
    EXPECT_GT(independent.resultArrays, 0u);
    EXPECT_FALSE(run("seed-short-variable.exo").opened);
}

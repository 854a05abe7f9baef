// Every stored input of the Exodus fuzz target (tests/data/fuzz/fuzz_exodus_loader/), replayed
// through its entry function in every build: a crash input stays fixed once its cause is, and the
// seeds keep reaching what they were made for.
#include "ExodusLoaderFuzzEntry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

TEST(StoredFuzzInputs, EveryOneRunsWithoutCrashOrBrokenPromiseAndTheSeedsReachWhatTheyWereMadeFor)
{
    const auto corpus = std::filesystem::path(COREIO_TEST_DATA_DIR) / "fuzz" / "fuzz_exodus_loader";
    std::map<std::string, CoreIoFuzz::ExodusFuzzOutcome> outcomes;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        EXPECT_NO_THROW(
            outcomes[entry.path().filename().string()] = CoreIoFuzz::fuzzExodusLoader(bytes.data(), bytes.size()));
    }
    ASSERT_GT(outcomes.size(), 3u);
    EXPECT_EQ(outcomes["seed-two-bodies.exo"].meshes, 2u);
    EXPECT_EQ(outcomes["seed-two-bodies.exo"].resultArrays, 6u);  // THICKNESS at three steps for each body
    EXPECT_EQ(outcomes["seed-initial-coordinates.exo"].validBodies, 1u);
    EXPECT_EQ(outcomes["seed-independent-cdf5.exo"].meshes, 2u);  // the triangle block and the quadrilateral block
    EXPECT_GT(outcomes["seed-independent-cdf5.exo"].resultArrays, 0u);
    EXPECT_EQ(outcomes["seed-one-coordinate-array.exo"].meshes, 1u);
    EXPECT_EQ(outcomes["seed-one-coordinate-array.exo"].resultArrays, 6u);  // three variables at two steps
    EXPECT_FALSE(outcomes["seed-short-variable.exo"].opened);
}

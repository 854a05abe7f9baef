#include "ExodusLoaderFuzzEntry.h"

#include "StoredInputs.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace CoreIoFuzz;

namespace {

ExodusFuzzOutcome run(const std::vector<std::uint8_t>& bytes)
{
    return fuzzExodusLoader(bytes.data(), bytes.size());
}

}  // namespace

TEST(ExodusLoaderFuzzEntry, BytesThatAreNoExodusFileAreRefused)
{
    const std::string text = "netcdf sample { dimensions: num_nodes = 3 ; }";
    std::vector<std::uint8_t> classicMagicOnly{'C', 'D', 'F', 1};
    classicMagicOnly.resize(64, 0);
    EXPECT_FALSE(run({}).opened);
    EXPECT_FALSE(run({text.begin(), text.end()}).opened);
    EXPECT_FALSE(run(classicMagicOnly).opened);
}

TEST(ExodusLoaderFuzzEntry, EveryTruncationOfAFileIsRefused)
{
    const auto whole = storedInput("fuzz_exodus_loader", "seed-two-bodies.exo");
    ASSERT_TRUE(run(whole).opened);
    for (std::size_t length = 0; length < whole.size(); length += 61) {
        EXPECT_FALSE(run({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)}).opened)
            << "cut at " << length << " of " << whole.size() << " bytes";
    }
}

TEST(ExodusLoaderFuzzEntry, LeavesNoFileBehind)
{
    const auto whole = storedInput("fuzz_exodus_loader", "seed-one-triangle.exo");
    run(whole);
    const auto scratch = std::filesystem::temp_directory_path() / ("coreio-fuzz-" + std::to_string(getpid()) + ".exo");
    EXPECT_FALSE(std::filesystem::exists(scratch));
}

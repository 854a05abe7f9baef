// Every stored input of both fuzz targets, replayed through the fuzz entry functions: a crash
// input stays fixed once its cause is, and the seeds stay inputs that reach what they were made for.
#include "ExodusLoaderFuzzEntry.h"
#include "MemoryLoaderFuzzEntry.h"
#include "StoredInputs.h"

#include <gtest/gtest.h>

#include <string>

using namespace CoreIoFuzz;

TEST(FuzzExodusLoader, LoadsEveryStoredInputWithoutCrashOrUnexpectedFailure)
{
    for (const std::string& name : storedInputs("fuzz_exodus_loader")) {
        SCOPED_TRACE(name);
        const auto bytes = storedInput("fuzz_exodus_loader", name);
        EXPECT_NO_THROW(fuzzExodusLoader(bytes.data(), bytes.size()));
    }
}

TEST(FuzzMemoryLoader, RunsEveryStoredProgramWithoutCrashOrUnexpectedFailure)
{
    for (const std::string& name : storedInputs("fuzz_memory_loader")) {
        SCOPED_TRACE(name);
        const auto bytes = storedInput("fuzz_memory_loader", name);
        EXPECT_NO_THROW(fuzzMemoryLoader(bytes.data(), bytes.size()));
    }
}

TEST(ExodusSeeds, ReachBodiesResultsAndInitialCoordinates)
{
    const auto run = [](const std::string& name) {
        const auto bytes = storedInput("fuzz_exodus_loader", name);
        return fuzzExodusLoader(bytes.data(), bytes.size());
    };
    const ExodusFuzzOutcome twoBodies = run("seed-two-bodies.exo");
    EXPECT_EQ(twoBodies.meshes, 2u);
    EXPECT_EQ(twoBodies.topologies, 2u);
    EXPECT_EQ(twoBodies.resultArrays, 6u);  // THICKNESS at three steps for each body
    EXPECT_EQ(run("seed-initial-coordinates.exo").validBodies, 1u);
    const ExodusFuzzOutcome independent = run("seed-independent-cdf5.exo");
    EXPECT_EQ(independent.bodies, 1u);  // the quadrilateral block gives none
    EXPECT_EQ(independent.validBodies, 0u);
    EXPECT_GT(independent.resultArrays, 0u);
    EXPECT_FALSE(run("seed-short-variable.exo").opened);
}

TEST(MemoryProgramSeeds, ReachTheAlignmentThePolyLinesAndTheRefusals)
{
    const auto run = [](const std::string& name) {
        const auto bytes = storedInput("fuzz_memory_loader", name);
        return fuzzMemoryLoader(bytes.data(), bytes.size());
    };
    const MemoryFuzzOutcome sheets = run("seed-sheets");
    EXPECT_EQ(sheets.validBodies, 2u);
    EXPECT_EQ(sheets.alignments, 2u);
    EXPECT_EQ(run("seed-tube").alignments, 2u);
    const MemoryFuzzOutcome mixed = run("seed-mixed");
    EXPECT_EQ(mixed.polyLines, 4u);
    EXPECT_EQ(mixed.meshes, 1u);
    EXPECT_EQ(run("seed-refusals").refusals, 9u);
}

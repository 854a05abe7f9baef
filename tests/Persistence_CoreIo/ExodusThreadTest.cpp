// Loaders on several threads at once, each over its own files, as a host that releases its own
// lock around reading does. Meant to run under ThreadSanitizer as well (ctest -L threads).
#include "ExodusLoader.h"
#include "ExodusShellTestFile.h"
#include "ExodusTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int numThreads = 4;
constexpr int roundsPerThread = 100;

// What a reader sees of a file: the shape at the body's step and the first initial coordinate.
std::vector<float> readFile(const std::string& path)
{
    const CoreIo::ExodusLoader loader(path, CoreIo::ExodusBodyOptions{});
    ExodusTest::MeshRecorder mesh;
    loader.loadMesh(loader.bodies()[0].meshLocation, mesh);
    ExodusTest::ResultRecorder coordinates;
    loader.loadResult(loader.bodies()[0].results.at(0).dataLocation, coordinates, std::nullopt);
    std::vector<float> seen = mesh.z;
    for (const double value : ExodusTest::asDoubles(coordinates.received.at(0)))
        seen.push_back(static_cast<float>(value));
    return seen;
}

}  // namespace

TEST(ExodusLoaderThreads, LoadersOnSeveralThreadsReadWhatOneThreadReads)
{
    const ExodusTest::ScratchDirectory directory;
    std::vector<std::string> paths;
    std::vector<std::vector<float>> expected;
    for (int k = 0; k < numThreads; ++k) {
        ExodusTest::ShellTestFile sheet;
        sheet.cellsX = 40 + k;  // more nodes than a file of their size could hold compressed
        sheet.cellsY = 30;
        sheet.withInitialCoordinates = true;
        sheet.displacement = [k](double x, double y, std::size_t step) {
            return std::array<double, 3>{0, 0, (k + 1) * x * y * static_cast<double>(step)};
        };
        paths.push_back(directory.file("sheet" + std::to_string(k) + ".exo"));
        ExodusTest::writeShellFile(paths.back(), sheet);
        expected.push_back(readFile(paths.back()));
    }
    std::vector<std::vector<std::vector<float>>> seen(numThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < numThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < roundsPerThread; ++round) {
                const std::string& path = paths[static_cast<std::size_t>((t + round) % numThreads)];
                try {
                    seen[static_cast<std::size_t>(t)].push_back(readFile(path));
                } catch (const std::exception& error) {
                    seen[static_cast<std::size_t>(t)].push_back({});
                    ADD_FAILURE() << error.what();
                }
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < numThreads; ++t)
        for (int round = 0; round < roundsPerThread; ++round)
            EXPECT_EQ(seen[static_cast<std::size_t>(t)][static_cast<std::size_t>(round)],
                      expected[static_cast<std::size_t>((t + round) % numThreads)]);
}

// Loaders on several threads at once, each over its own files, as a host that releases its own
// lock around reading does. Meant to run under ThreadSanitizer as well (ctest -L threads).
#include "ExodusLoader.h"
#include "ShellSampleFile.h"
#include "ExodusTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t numThreads = 4;
constexpr std::size_t roundsPerThread = 100;

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
    for (std::size_t k = 0; k < numThreads; ++k) {
        CoreIoSamples::ShellSampleFile sheet;
        sheet.cellsX = 40 + static_cast<int>(k);  // more nodes than a file of their size could hold compressed
        sheet.cellsY = 30;
        sheet.withInitialCoordinates = true;
        sheet.displacement = [k](double x, double y, std::size_t step) {
            return std::array<double, 3>{0, 0, static_cast<double>((k + 1) * step) * x * y};
        };
        paths.push_back(directory.file("sheet" + std::to_string(k) + ".exo"));
        CoreIoSamples::writeShellFile(paths.back(), sheet);
        expected.push_back(readFile(paths.back()));
    }
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < numThreads; ++t)
        threads.emplace_back([&, t] {
            for (std::size_t round = 0; round < roundsPerThread; ++round) {
                const std::size_t file = (t + round) % numThreads;
                try {
                    EXPECT_EQ(readFile(paths[file]), expected[file]);
                } catch (const std::exception& error) {
                    ADD_FAILURE() << error.what();
                }
            }
        });
    for (std::thread& thread : threads)
        thread.join();
}

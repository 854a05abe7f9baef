// Products of the builders read and released on other threads while the builders build anew, and
// alignments of different body pairs running side by side with the one module logger. Meant to
// run under ThreadSanitizer as well (ctest -L threads).
#include "BaseGeometryMeshBuilder.h"
#include "MemoryLoader.h"
#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"
#include "SampleBodies.h"
#include "ScalarResultsBuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr int productRounds = 2000;
constexpr int alignmentRounds = 40;

// The latest share of a product, for readers on other threads; whichever thread drops the last
// share releases it.
template <typename Product>
class Latest {
public:
    void put(std::shared_ptr<Product> product)
    {
        const std::lock_guard lock(mutex_);
        latest_ = std::move(product);
    }
    std::shared_ptr<Product> get() const
    {
        const std::lock_guard lock(mutex_);
        return latest_;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<Product> latest_;
};

std::vector<double> positionsOf(const Calvora::Mesh& mesh)
{
    std::vector<double> positions;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex)
        positions.insert(positions.end(), {vertex->x, vertex->y, vertex->z});
    return positions;
}

CoreIo::MemoryLoader sampleBodies()
{
    CoreIo::MemoryLoader loader;
    CoreIoSamples::registerBody(loader, "sheet", CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {9, 8, 0.1, 1}));
    CoreIoSamples::registerBody(loader, "deeper sheet", CoreIoSamples::makeSheet({1.0, 1.0, 0.3}, {11, 7, 0.15, 2}));
    CoreIoSamples::registerBody(loader, "tube", CoreIoSamples::makeTube({1.0, 2.0, 1.0}, {16, 6, 0.1}));
    CoreIoSamples::registerBody(loader, "wider tube", CoreIoSamples::makeTube({1.2, 2.1, 1.0}, {20, 7, 0.4}),
                                CoreIo::Layout::RowMajor);
    return loader;
}

}  // namespace

TEST(ThreadSharing, ProductsAreReleasedOnOtherThreadsWhileBuildersBuildAndAlignmentsRunSideBySide)
{
    const CoreIo::MemoryLoader loader = sampleBodies();
    const std::vector<std::string> sheets{"sheet", "deeper sheet"};
    std::map<std::size_t, std::vector<double>> meshBySize;  // the two sheets differ in vertex count
    for (const std::string& name : sheets) {
        Calvora::BaseGeometryMeshBuilder builder;
        loader.loadMesh(loader.body(name).meshLocation, builder);
        meshBySize[builder.getMesh()->numberOfVertices()] = positionsOf(*builder.getMesh());
    }
    const std::vector<std::pair<std::string, std::string>> pairs{{"sheet", "deeper sheet"}, {"tube", "wider tube"}};
    std::vector<std::vector<int>> matchings;
    for (const auto& [before, after] : pairs)
        matchings.push_back(
            *CoreIo::getMeshAlignResult(loader, loader.body(before), loader.body(after), -1, true).vertexMatching);

    Latest<Calvora::Mesh> latestMesh;
    Latest<std::vector<float>> latestArray;
    const std::vector<double> delivered(257, 1.5);
    std::atomic<bool> producing{true};
    std::atomic<int> wrong{0};
    std::vector<std::jthread> threads;
    for (int reader = 0; reader < 2; ++reader) {
        threads.emplace_back([&] {
            while (producing) {
                if (const auto mesh = latestMesh.get();
                    mesh && positionsOf(*mesh) != meshBySize.at(mesh->numberOfVertices()))
                    ++wrong;
                if (const auto array = latestArray.get(); array && *array != std::vector<float>(257, 1.5f))
                    ++wrong;
            }
        });
    }
    for (std::size_t pair = 0; pair < pairs.size(); ++pair) {
        threads.emplace_back([&, pair] {
            const CoreIo::SimBody& before = loader.body(pairs[pair].first);
            const CoreIo::SimBody& after = loader.body(pairs[pair].second);
            for (int round = 0; round < alignmentRounds; ++round)
                if (*CoreIo::getMeshAlignResult(loader, before, after, -1, true).vertexMatching != matchings[pair])
                    ++wrong;
        });
    }
    Calvora::BaseGeometryMeshBuilder meshBuilder;
    auto resultsBuilder = std::make_unique<CoreIo::ScalarResultsBuilder>();
    for (int round = 0; round < productRounds; ++round) {
        loader.loadMesh(loader.body(sheets[round % 2]).meshLocation, meshBuilder);
        latestMesh.put(meshBuilder.getMesh());
        resultsBuilder->build(delivered.size(), delivered.data());
        latestArray.put(resultsBuilder->getFloatVector(round));
    }
    resultsBuilder.reset();  // the readers still hold arrays it handed out
    producing = false;
    for (std::jthread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

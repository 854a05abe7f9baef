// Products of the builders read and released on other threads while the builders build anew, and
// alignments of different body pairs running side by side with the one module logger. Meant to
// run under ThreadSanitizer as well.
#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryPolyLineBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
#include "FixedUntransformedMeshProvider.h"
#include "MemoryLoader.h"
#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"
#include "ProductContent.h"
#include "ScalarResultsBuilder.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <latch>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Calvora::Mesh;
using CoreIo::Layout;
using namespace Reliability;

constexpr int productRounds = 3000;
constexpr int alignmentRounds = 80;
constexpr std::size_t readerThreads = 3;

// A bounded queue from one thread to another, so that a producer stays only a little ahead.
template <typename Item>
class HandOff {
public:
    void put(Item item)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return items.size() < 2; });
        items.push_back(std::move(item));
        changed.notify_all();
    }

    // Empty once the queue is closed and drained.
    std::optional<Item> take()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return !items.empty() || closed; });
        if (items.empty())
            return std::nullopt;
        std::optional<Item> item(std::move(items.front()));
        items.pop_front();
        changed.notify_all();
        return item;
    }

    void close()
    {
        const std::lock_guard lock(mutex);
        closed = true;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Item> items;
    bool closed = false;
};

// Round r: `produce(r)` builds anew on this thread and returns the product; every reader thread
// gets a share of it, checks it with `matches(product, r)` and drops its share, while this
// thread already builds the next one. The last share of a product goes on whichever thread
// happens to hold it.
template <typename Produce, typename Matches>
void expectReadersMatchEveryProduct(const Produce& produce, const Matches& matches)
{
    using Product = std::invoke_result_t<Produce, int>;
    std::array<HandOff<std::pair<Product, int>>, readerThreads> handOffs;
    std::atomic<std::size_t> checked{0}, wrong{0};
    std::vector<std::thread> readers;
    for (auto& handOff : handOffs) {
        readers.emplace_back([&handOff, &matches, &checked, &wrong] {
            while (std::optional<std::pair<Product, int>> item = handOff.take()) {
                wrong += item->first == nullptr || !matches(*item->first, item->second) ? 1 : 0;
                ++checked;
            }
        });
    }
    for (int round = 0; round < productRounds; ++round) {
        const Product product = produce(round);
        for (auto& handOff : handOffs)
            handOff.put({product, round});
    }
    for (auto& handOff : handOffs)
        handOff.close();
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(checked, readerThreads * productRounds);
    EXPECT_EQ(wrong, 0u);
}

// Two sheets of different sizes that the builders take turns at.
const std::array<BodyRecords, 2>& sheets()
{
    static const std::array<BodyRecords, 2> records{
        BodyRecords(CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {7, 5, 0.1, 1})),
        BodyRecords(CoreIoSamples::makeSheet({2.0, 1.0, 0.3}, {4, 9, 0.1, 2}))};
    return records;
}

TEST(ThreadSharing, MeshesAreReadAndReleasedOnOtherThreadsWhileTheBuilderBuildsAnew)
{
    const std::array<MeshContent, 2> expected{expectedMesh(sheets()[0].body), expectedMesh(sheets()[1].body)};
    Calvora::BaseGeometryMeshBuilder builder;
    expectReadersMatchEveryProduct(
        [&](int round) {
            sheets()[round % 2].buildMesh(builder, Layout::ColumnMajor);
            return builder.getMesh();
        },
        [&](const Mesh& mesh, int round) { return contentOf(mesh) == expected[round % 2]; });
}

TEST(ThreadSharing, ToolMeshesAreReadAndReleasedOnOtherThreadsWhileTheBuilderBuildsAnew)
{
    const BodyRecords& tool = sheets()[0];
    std::vector<int> identity(tool.body.numNodes());
    std::iota(identity.begin(), identity.end(), 0);
    const std::array<std::vector<int>, 2> mappings{identity, std::vector<int>(identity.rbegin(), identity.rend())};
    const std::array<MeshContent, 2> expected{expectedMesh(tool.body, mappings[0]), expectedMesh(tool.body, mappings[1])};
    Calvora::BaseGeometryMeshBuilder toolBuilder;
    tool.buildMesh(toolBuilder, Layout::ColumnMajor);
    Calvora::BaseGeometryToolMeshBuilder builder(
        std::make_shared<Calvora::FixedUntransformedMeshProvider>(toolBuilder.getMesh()));
    expectReadersMatchEveryProduct(
        [&](int round) {
            tool.buildMesh(builder, Layout::ColumnMajor, mappings[round % 2]);
            return builder.getMesh();
        },
        [&](const Mesh& mesh, int round) { return contentOf(mesh) == expected[round % 2]; });
}

template <typename PolyLineT>
void sharePolyLines()
{
    const std::array<std::vector<PointContent>, 2> expected{expectedPoints<PolyLineT>(sheets()[0].body),
                                                            expectedPoints<PolyLineT>(sheets()[1].body)};
    Calvora::BaseGeometryPolyLineBuilder<PolyLineT> builder;
    expectReadersMatchEveryProduct(
        [&](int round) {
            sheets()[round % 2].buildCurve(builder, Layout::RowMajor);
            return builder.getPolyLine();
        },
        [&](const PolyLineT& polyLine, int round) { return pointsOf(polyLine) == expected[round % 2]; });
}

TEST(ThreadSharing, PolyLinesAreReadAndReleasedOnOtherThreadsWhileTheBuilderBuildsAnew)
{
    sharePolyLines<Calvora::PolyLine<Calvora::Point<double, 3>>>();
    sharePolyLines<Calvora::PolyLine<Calvora::Point3N>>();
}

// Float arrays handed out are the builder's own; double ones are converted for each caller. The
// builder goes on taking arrays while readers hold earlier ones, and is gone before they finish.
template <typename T>
void shareResultArrays()
{
    const std::array<std::vector<T>, 2> values{std::vector<T>(257, T(1.5)), std::vector<T>(33, T(-2.25))};
    auto builder = std::make_unique<CoreIo::ScalarResultsBuilder>();
    expectReadersMatchEveryProduct(
        [&](int round) {
            const std::vector<T>& delivered = values[round % 2];
            builder->build(delivered.size(), delivered.data());
            std::shared_ptr<const std::vector<float>> array = builder->getFloatVector(round);
            if (round == productRounds - 1)
                builder.reset();
            return array;
        },
        [&](const std::vector<float>& array, int round) {
            const std::vector<T>& delivered = values[round % 2];
            return array == std::vector<float>(delivered.begin(), delivered.end());
        });
}

TEST(ThreadSharing, ResultArraysAreReadAndReleasedOnOtherThreadsWhileTheBuilderTakesMore)
{
    shareResultArrays<float>();
    shareResultArrays<double>();
}

// Counts, on whatever thread logs, the messages that reach it and the threads they come from.
class CountingSink : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::size_t traceMessages()
    {
        const std::lock_guard lock(mutex_);
        return traces;
    }
    std::size_t threadsSeen()
    {
        const std::lock_guard lock(mutex_);
        return threads.size();
    }

protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        if (message.level == spdlog::level::trace)
            ++traces;
        threads.insert(std::this_thread::get_id());
    }

    void flush_() override {}

private:
    std::size_t traces = 0;
    std::set<std::thread::id> threads;
};

// The logger registered under a name ending in `fileName`: module loggers are named by the path
// of their source file.
std::shared_ptr<spdlog::logger> loggerOfSourceFile(const std::string& fileName)
{
    std::shared_ptr<spdlog::logger> found;
    spdlog::apply_all([&](const std::shared_ptr<spdlog::logger>& logger) {
        const std::string& name = logger->name();
        if (name == fileName || name.ends_with("/" + fileName))
            found = logger;
    });
    return found;
}

struct AlignmentOutcome {
    std::vector<int> vertexMatching;
    MeshContent alignedMesh;
    bool operator==(const AlignmentOutcome&) const = default;
};

AlignmentOutcome outcomeOf(const CoreIo::MeshAlignResult& result)
{
    if (result.vertexMatching && result.alignedMesh)
        return {*result.vertexMatching, contentOf(*result.alignedMesh)};
    return {};
}

// Sample bodies in one loader, and two sheets also read once into records that several
// alignments share.
struct AlignmentBodies {
    AlignmentBodies()
    {
        CoreIoSamples::registerBody(loader, "sheet", CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {9, 8, 0.1, 1}));
        CoreIoSamples::registerBody(loader, "deeper sheet", CoreIoSamples::makeSheet({1.0, 1.0, 0.3}, {11, 7, 0.15, 2}));
        CoreIoSamples::registerBody(loader, "finer sheet", CoreIoSamples::makeSheet({1.0, 1.0, 0.2}, {14, 12, 0.12, 3}));
        CoreIoSamples::registerBody(loader, "tube", CoreIoSamples::makeTube({1.0, 2.0, 1.0}, {16, 6, 0.1}));
        CoreIoSamples::registerBody(loader, "wider tube", CoreIoSamples::makeTube({1.2, 2.1, 1.0}, {20, 7, 0.4}),
                                    CoreIo::Layout::RowMajor);
        sheet = CoreIo::readMeshAndICs(loader, loader.body("sheet"));
        deeperSheet = CoreIo::readMeshAndICs(loader, loader.body("deeper sheet"));
    }

    CoreIo::MemoryLoader loader;
    CoreIo::MeshAndCoord sheet;
    CoreIo::MeshAndCoord deeperSheet;
};

TEST(ThreadSharing, AlignmentsOfDifferentPairsRunSideBySideWithTheSharedModuleLogger)
{
    const AlignmentBodies bodies;
    const CoreIo::MemoryLoader& loader = bodies.loader;
    // Each thread's alignment; the first two share the records of the sheet they start from.
    const std::vector<std::function<CoreIo::MeshAlignResult()>> alignments{
        [&] { return CoreIo::getMeshAlignResult(bodies.sheet, bodies.deeperSheet, -1, true); },
        [&] { return CoreIo::getMeshAlignResult(bodies.deeperSheet, bodies.sheet, -1, false); },
        [&] { return CoreIo::getMeshAlignResult(loader, loader.body("tube"), loader.body("wider tube"), -1, true); },
        [&] { return CoreIo::getMeshAlignResult(loader, loader.body("finer sheet"), loader.body("sheet"), 0, true); },
    };
    std::vector<AlignmentOutcome> references;
    for (const auto& align : alignments) {
        references.push_back(outcomeOf(align()));
        ASSERT_FALSE(references.back().vertexMatching.empty());
    }

    const std::shared_ptr<spdlog::logger> moduleLogger = loggerOfSourceFile("MeshAlignUtils.cpp");
    ASSERT_NE(moduleLogger, nullptr) << "the alignment unit's module logger is not registered";
    const std::vector<spdlog::sink_ptr> savedSinks = moduleLogger->sinks();
    const spdlog::level::level_enum savedLevel = moduleLogger->level();
    const auto sink = std::make_shared<CountingSink>();
    moduleLogger->sinks() = {sink};
    moduleLogger->set_level(spdlog::level::warn);

    // The first thread turns tracing on while the others align; they wait for it only after
    // their first round, so that every thread then logs.
    std::latch tracing(1);
    std::vector<int> differing(alignments.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < alignments.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < alignmentRounds; ++round) {
                if (outcomeOf(alignments[t]()) != references[t])
                    ++differing[t];
                if (round == 0 && t == 0) {
                    moduleLogger->set_level(spdlog::level::trace);
                    tracing.count_down();
                } else if (round == 0) {
                    tracing.wait();
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    moduleLogger->sinks() = savedSinks;
    moduleLogger->set_level(savedLevel);

    EXPECT_EQ(differing, std::vector<int>(alignments.size(), 0));
    EXPECT_EQ(sink->threadsSeen(), alignments.size());
    // At least "Calling getMeshAlignResult" and "Data found ..." per traced alignment.
    EXPECT_GE(sink->traceMessages(), 2 * alignments.size() * (alignmentRounds - 1));
}

}  // namespace

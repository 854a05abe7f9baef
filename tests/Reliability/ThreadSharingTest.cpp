// Products of the builders read and released on other threads while the builders build anew, and
// alignments of different body pairs running side by side with the one module logger. Meant to
// run under ThreadSanitizer as well.
#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryPolyLineBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
#include "Business_BaseGeometry.h"
#include "FixedUntransformedMeshProvider.h"
#include "MemoryLoader.h"
#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"
#include "SampleBodies.h"
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
#include <type_traits>
#include <utility>
#include <vector>

namespace {

using Calvora::Mesh;
using CoreIoSamples::SampleBody;

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
        notFull.wait(lock, [this] { return items.size() < capacity; });
        items.push_back(std::move(item));
        notEmpty.notify_one();
    }

    // Empty once the queue is closed and drained.
    std::optional<Item> take()
    {
        std::unique_lock lock(mutex);
        notEmpty.wait(lock, [this] { return !items.empty() || closed; });
        if (items.empty())
            return std::nullopt;
        std::optional<Item> item(std::move(items.front()));
        items.pop_front();
        notFull.notify_one();
        return item;
    }

    void close()
    {
        const std::lock_guard lock(mutex);
        closed = true;
        notEmpty.notify_all();
    }

private:
    static constexpr std::size_t capacity = 2;
    std::mutex mutex;
    std::condition_variable notEmpty;
    std::condition_variable notFull;
    std::deque<Item> items;
    bool closed = false;
};

struct SharingCounts {
    std::size_t checked = 0;
    std::size_t wrong = 0;
};

// Round r: `produce(r)` builds anew on this thread and returns the product; every reader thread
// gets a share of it, checks it with `matches(product, r)` and drops its share, while this
// thread already builds the next one. The last share of a product goes on whichever thread
// happens to hold it.
template <typename Produce, typename Matches>
SharingCounts shareWithReaders(const Produce& produce, const Matches& matches)
{
    using Product = std::invoke_result_t<Produce, int>;
    std::array<HandOff<std::pair<Product, int>>, readerThreads> handOffs;
    std::atomic<std::size_t> checked{0};
    std::atomic<std::size_t> wrong{0};
    std::vector<std::thread> readers;
    for (auto& handOff : handOffs) {
        readers.emplace_back([&handOff, &matches, &checked, &wrong] {
            while (std::optional<std::pair<Product, int>> item = handOff.take()) {
                if (item->first == nullptr || !matches(*item->first, item->second))
                    ++wrong;
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
    return {checked, wrong};
}

void expectAllMatched(const SharingCounts& counts)
{
    EXPECT_EQ(counts.checked, readerThreads * productRounds);
    EXPECT_EQ(counts.wrong, 0u);
}

// Two sheets of different sizes that the builders take turns at.
const std::array<SampleBody, 2>& sheets()
{
    static const std::array<SampleBody, 2> bodies{CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {7, 5, 0.1, 1}),
                                                  CoreIoSamples::makeSheet({2.0, 1.0, 0.3}, {4, 9, 0.1, 2})};
    return bodies;
}

CoreIo::MeshBuilderParamColMajor meshRecord(const SampleBody& body, const std::vector<int>& solverIndexMapping = {})
{
    CoreIo::MeshBuilderParamColMajor record;
    record.numNodes = record.numNormals = body.numNodes();
    record.x = body.x.data(), record.y = body.y.data(), record.z = body.z.data();
    record.nx = body.nx.data(), record.ny = body.ny.data(), record.nz = body.nz.data();
    record.numTriangles = body.numTriangles();
    record.triangles = body.triangles.data();
    record.solverIndexMapping = solverIndexMapping.data();
    return record;
}

// Vertex i of the mesh stands for node mapping(i) of the body; the triangles are the body's and
// point at the mesh's own vertices.
template <typename Mapping>
bool meshMatches(const Mesh& mesh, const SampleBody& body, const Mapping& mapping)
{
    if (mesh.numberOfVertices() != body.numNodes() || mesh.numberOfTriangles() != body.numTriangles() ||
        !mesh.hasNormals())
        return false;
    std::size_t i = 0;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex, ++i) {
        const std::size_t node = mapping(i);
        const auto& normal = vertex->getNormal();
        if (vertex->x != body.x[node] || vertex->y != body.y[node] || vertex->z != body.z[node] ||
            normal.x != body.nx[node] || normal.y != body.ny[node] || normal.z != body.nz[node] ||
            vertex->index != static_cast<std::int32_t>(i))
            return false;
    }
    std::size_t t = 0;
    for (auto triangle = mesh.beginTriangle(); triangle != mesh.endTriangle(); ++triangle, ++t) {
        for (std::size_t corner = 0; corner < 3; ++corner) {
            const auto node = static_cast<unsigned int>(body.triangles[3 * t + corner]);
            if (triangle->corners[corner] != &mesh.getVertex(node))
                return false;
        }
        if (triangle->index != static_cast<std::int32_t>(t))
            return false;
    }
    return true;
}

bool meshMatches(const Mesh& mesh, const SampleBody& body)
{
    return meshMatches(mesh, body, [](std::size_t i) { return i; });
}

TEST(ThreadSharing, MeshesAreReadAndReleasedOnOtherThreadsWhileTheBuilderBuildsAnew)
{
    Calvora::BaseGeometryMeshBuilder builder;
    expectAllMatched(shareWithReaders(
        [&builder](int round) {
            builder.build(meshRecord(sheets()[round % 2]));
            return builder.getMesh();
        },
        [](const Mesh& mesh, int round) { return meshMatches(mesh, sheets()[round % 2]); }));
}

TEST(ThreadSharing, ToolMeshesAreReadAndReleasedOnOtherThreadsWhileTheBuilderBuildsAnew)
{
    const SampleBody& tool = sheets()[0];
    std::vector<int> identity(tool.numNodes());
    std::iota(identity.begin(), identity.end(), 0);
    const std::array<std::vector<int>, 2> mappings{identity, std::vector<int>(identity.rbegin(), identity.rend())};
    Calvora::BaseGeometryMeshBuilder toolBuilder;
    toolBuilder.build(meshRecord(tool));
    Calvora::BaseGeometryToolMeshBuilder builder(
        std::make_shared<Calvora::FixedUntransformedMeshProvider>(toolBuilder.getMesh()));

    expectAllMatched(shareWithReaders(
        [&](int round) {
            builder.build(meshRecord(tool, mappings[round % 2]));
            return builder.getMesh();
        },
        [&](const Mesh& mesh, int round) {
            const std::vector<int>& mapping = mappings[round % 2];
            return meshMatches(mesh, tool, [&mapping](std::size_t i) { return static_cast<std::size_t>(mapping[i]); });
        }));
}

CoreIo::CurveBuilderParamRowMajor curveRecord(const std::vector<float>& coordinates, const std::vector<float>& normals)
{
    CoreIo::CurveBuilderParamRowMajor record;
    record.numPoints = record.numNormals = coordinates.size() / 3;
    record.coordinates = coordinates.data();
    record.normals = normals.data();
    return record;
}

template <typename Point>
bool pointMatches(const Point& point, const float* coordinates, const float* normal)
{
    bool matches = point.x == coordinates[0] && point.y == coordinates[1] && point.z == coordinates[2];
    if constexpr (std::is_same_v<Point, Calvora::Point3N>)
        matches = matches && point.getNormal() == Calvora::Vector<double, 3>(normal[0], normal[1], normal[2]);
    return matches;
}

template <typename PolyLineT>
void sharePolyLines()
{
    // The sheets' nodes as curve points, x y z one after the other.
    std::array<std::vector<float>, 2> coordinates;
    std::array<std::vector<float>, 2> normals;
    for (std::size_t s = 0; s < 2; ++s) {
        const SampleBody& body = sheets()[s];
        for (std::size_t i = 0; i < body.numNodes(); ++i) {
            coordinates[s].insert(coordinates[s].end(), {body.x[i], body.y[i], body.z[i]});
            normals[s].insert(normals[s].end(), {body.nx[i], body.ny[i], body.nz[i]});
        }
    }
    Calvora::BaseGeometryPolyLineBuilder<PolyLineT> builder;
    expectAllMatched(shareWithReaders(
        [&](int round) {
            builder.build(curveRecord(coordinates[round % 2], normals[round % 2]));
            return builder.getPolyLine();
        },
        [&](const PolyLineT& polyLine, int round) {
            const std::vector<float>& expected = coordinates[round % 2];
            if (polyLine.size() * 3 != expected.size())
                return false;
            for (std::size_t i = 0; i < polyLine.size(); ++i) {
                if (!pointMatches(polyLine.getPoints()[i], &expected[3 * i], &normals[round % 2][3 * i]))
                    return false;
            }
            return true;
        }));
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
    expectAllMatched(shareWithReaders(
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
        }));
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

// While it lives, a logger writes into a counting sink only; its sinks and level come back after.
class LoggerDiversion {
public:
    explicit LoggerDiversion(std::shared_ptr<spdlog::logger> logger)
        : logger(std::move(logger)), savedSinks(this->logger->sinks()), savedLevel(this->logger->level())
    {
        this->logger->sinks() = {sink};
    }

    ~LoggerDiversion()
    {
        logger->sinks() = savedSinks;
        logger->set_level(savedLevel);
    }

    LoggerDiversion(const LoggerDiversion&) = delete;
    LoggerDiversion& operator=(const LoggerDiversion&) = delete;

    const std::shared_ptr<CountingSink> sink = std::make_shared<CountingSink>();

private:
    std::shared_ptr<spdlog::logger> logger;
    std::vector<spdlog::sink_ptr> savedSinks;
    spdlog::level::level_enum savedLevel;
};

struct AlignmentOutcome {
    std::vector<int> vertexMatching;
    std::vector<std::array<double, 3>> alignedPositions;
    bool operator==(const AlignmentOutcome&) const = default;
};

AlignmentOutcome outcomeOf(const CoreIo::MeshAlignResult& result)
{
    AlignmentOutcome outcome;
    if (result.vertexMatching)
        outcome.vertexMatching = *result.vertexMatching;
    if (result.alignedMesh) {
        for (auto vertex = result.alignedMesh->beginVertex(); vertex != result.alignedMesh->endVertex(); ++vertex)
            outcome.alignedPositions.push_back({vertex->x, vertex->y, vertex->z});
    }
    return outcome;
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
    const LoggerDiversion diversion(moduleLogger);
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

    EXPECT_EQ(differing, std::vector<int>(alignments.size(), 0));
    EXPECT_EQ(diversion.sink->threadsSeen(), alignments.size());
    // At least "Calling getMeshAlignResult" and "Data found ..." per traced alignment.
    EXPECT_GE(diversion.sink->traceMessages(), 2 * alignments.size() * (alignmentRounds - 1));
}

}  // namespace

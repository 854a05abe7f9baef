// Every allocation of each operation made to fail in turn: std::bad_alloc must come out, nothing
// may leak, and what a caller holds or relies on afterwards must be as documented.
#include "BaseGeometryMeshBuilder.h"
#include "FailingAllocator.h"
#include "MemoryLoader.h"
#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"
#include "SampleBodies.h"
#include "ScalarResultsBuilder.h"

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

using Calvora::Mesh;
using namespace Reliability;

// A call on fresh state, and what must hold once it failed (empty: nothing beyond bad_alloc).
struct Attempt {
    std::function<void()> call;
    std::function<bool()> promiseKept;
};

std::vector<double> positionsOf(const Mesh& mesh)
{
    std::vector<double> positions;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex)
        positions.insert(positions.end(), {vertex->x, vertex->y, vertex->z, vertex->getNormal().z});
    return positions;
}

const CoreIo::MemoryLoader& samples()
{
    static const CoreIo::MemoryLoader loader = [] {
        CoreIo::MemoryLoader bodies;
        CoreIoSamples::registerBody(bodies, "small", CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {3, 2, 0.0, 1}));
        CoreIoSamples::registerBody(bodies, "before", CoreIoSamples::makeSheet({1.0, 1.0, 0.1}, {5, 4, 0.1, 3}));
        CoreIoSamples::registerBody(bodies, "after", CoreIoSamples::makeSheet({1.0, 1.0, 0.3}, {6, 5, 0.15, 4}),
                                    CoreIo::Layout::RowMajor);
        return bodies;
    }();
    return loader;
}

// A builder that held the small sheet loads another: the earlier mesh stays as it was.
Attempt meshLoad()
{
    auto builder = std::make_shared<Calvora::BaseGeometryMeshBuilder>();
    samples().loadMesh(samples().body("small").meshLocation, *builder);
    const std::shared_ptr<Mesh> earlier = builder->getMesh();
    return {[=] { samples().loadMesh(samples().body("after").meshLocation, *builder); },
            [=, positions = positionsOf(*earlier)] { return positionsOf(*earlier) == positions; }};
}

// Arrays delivered before stay; a failure while the new one is filled leaves it behind empty.
Attempt resultsBuild()
{
    auto builder = std::make_shared<CoreIo::ScalarResultsBuilder>();
    const std::vector<float> earlier{1.0f, 2.0f, 3.0f};
    builder->build(earlier.size(), earlier.data());
    auto next = std::make_shared<std::vector<double>>(300, 7.0);
    return {[=] { builder->build(next->size(), next->data()); },
            [=] {
                const auto added = builder->getFloatVector(1);
                return *builder->getFloatVector(0) == earlier && (added == nullptr || added->empty());
            }};
}

// An alignment that fails leaves the bodies it was given unchanged.
Attempt alignment()
{
    const auto bodies = std::make_shared<std::vector<CoreIo::MeshAndCoord>>(
        std::vector<CoreIo::MeshAndCoord>{CoreIo::readMeshAndICs(samples(), samples().body("before")),
                                          CoreIo::readMeshAndICs(samples(), samples().body("after"))});
    const auto contents = [bodies] {
        return std::vector{positionsOf(*(*bodies)[0].mesh), positionsOf(*(*bodies)[1].mesh),
                           std::vector<double>((*bodies)[1].initCoord0->begin(), (*bodies)[1].initCoord0->end())};
    };
    return {[=] { CoreIo::getMeshAlignResult((*bodies)[0], (*bodies)[1], -1, true); },
            [=, original = contents()] { return contents() == original; }};
}

// The logging backend drops a message it cannot allocate, which is its own business: with the
// alignment's module logger switched off, every allocation that fails is the library's.
void silenceAlignmentLog()
{
    spdlog::apply_all([](const std::shared_ptr<spdlog::logger>& logger) {
        if (logger->name().ends_with("MeshAlignUtils.cpp"))
            logger->set_level(spdlog::level::off);
    });
}

TEST(AllocationFailure, EveryOperationThrowsBadAllocLeaksNothingAndKeepsItsPromise)
{
    silenceAlignmentLog();
    const struct {
        const char* name;
        std::function<Attempt()> prepare;  // runs outside the counted allocations
    } operations[] = {
        {"mesh load", meshLoad},
        {"results build", resultsBuild},
        {"alignment", alignment},
    };
    for (const auto& operation : operations) {
        SCOPED_TRACE(operation.name);
        operation.prepare().call();  // first uses of the libraries may set up state that lives on
        const std::size_t baseline = liveBlocks;
        // Runs the call on fresh state with allocation `failing` made to fail (0: none); whether it threw.
        const auto threwWhenFailing = [&](std::size_t failing) {
            const Attempt attempt = operation.prepare();
            allocationsCounted = 0;
            failingAllocation = failing;
            counting = true;
            bool threw = false;
            try {
                attempt.call();
            } catch (const std::bad_alloc&) {
                threw = true;
            }
            counting = false;
            EXPECT_TRUE(failing == 0 || !attempt.promiseKept || attempt.promiseKept())
                << "after allocation " << failing;
            return threw;
        };
        threwWhenFailing(0);
        const std::size_t allocations = allocationsCounted;
        ASSERT_GT(allocations, 0u) << "the allocation functions in use are not the counting ones";
        for (std::size_t k = 1; k <= allocations && !::testing::Test::HasFailure(); ++k) {
            EXPECT_TRUE(threwWhenFailing(k)) << "allocation " << k << " of " << allocations << " failed";
            // gtest keeps the text of a failure, so blocks are counted only while there is none.
            if (!::testing::Test::HasFailure()) {
                EXPECT_EQ(liveBlocks, baseline) << "blocks left after allocation " << k << " of " << allocations;
            }
        }
    }
}

}  // namespace

#include "FixedUntransformedMeshProvider.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Calvora::FixedUntransformedMeshProvider;

TEST(FixedUntransformedMeshProvider, ServesItsMeshOrNoneForEveryRequestAndCountsThem)
{
    const auto toolMesh = std::make_shared<Calvora::Mesh>();
    FixedUntransformedMeshProvider fixed(toolMesh), empty(nullptr);
    Calvora::UntransformedMeshProvider& provider = fixed;
    const int mapping[] = {2, 0, 1};

    EXPECT_EQ(fixed.numberOfRequests(), 0u);
    EXPECT_EQ(provider.getUntransformedMesh(mapping, 1), toolMesh);
    EXPECT_EQ(provider.getUntransformedMesh(nullptr, 0), toolMesh);
    EXPECT_EQ(fixed.numberOfRequests(), 2u);
    EXPECT_EQ(empty.getUntransformedMesh(nullptr, 0), nullptr);
    EXPECT_EQ(empty.numberOfRequests(), 1u);
}

}  // namespace

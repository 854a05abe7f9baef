#include "FixedUntransformedMeshProvider.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Calvora::FixedUntransformedMeshProvider;
using Calvora::Mesh;
using Calvora::UntransformedMeshProvider;

TEST(FixedUntransformedMeshProvider, ServesItsMeshForEveryRequestAndCountsThem)
{
    const auto toolMesh = std::make_shared<Mesh>();
    FixedUntransformedMeshProvider fixed(toolMesh);
    UntransformedMeshProvider& provider = fixed;
    const int mapping[] = {2, 0, 1};

    EXPECT_EQ(fixed.numberOfRequests(), 0u);
    EXPECT_EQ(provider.getUntransformedMesh(mapping, 1), toolMesh);
    EXPECT_EQ(provider.getUntransformedMesh(nullptr, 0), toolMesh);
    EXPECT_EQ(fixed.numberOfRequests(), 2u);
}

TEST(FixedUntransformedMeshProvider, WithoutAMeshReportsNoneAvailable)
{
    FixedUntransformedMeshProvider provider(nullptr);

    EXPECT_EQ(provider.getUntransformedMesh(nullptr, 0), nullptr);
    EXPECT_EQ(provider.getUntransformedMesh(nullptr, 0), nullptr);
    EXPECT_EQ(provider.numberOfRequests(), 2u);
}

}  // namespace

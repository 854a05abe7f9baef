#include "ExodusBodyAssembly.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <vector>

using CoreIo::AssembledBody;
using CoreIo::BodyBlock;
using CoreIo::Positions;
using CoreIo::SurfaceShape;
using testing::ElementsAre;

namespace {

// The file's nodes 0 to 11 on a grid far from the origin: node n at (1e6 + n % 4, n / 4, 0).
Positions fileReference(const std::vector<int>& fileNodes)
{
    Positions reference;
    for (const int node : fileNodes) {
        reference[0].push_back(1e6 + node % 4);
        reference[1].push_back(node / 4);
        reference[2].push_back(0.0);
    }
    return reference;
}

std::vector<std::pair<std::size_t, std::int64_t>> sourcesOf(const AssembledBody& body)
{
    std::vector<std::pair<std::size_t, std::int64_t>> sources;
    for (const CoreIo::ExodusTriangleSource& source : body.sources)
        sources.emplace_back(source.block, source.element);
    return sources;
}

}  // namespace

TEST(ExodusBodyAssembly, NumbersSharedNodesOnceInOrderOfFirstUseAndKeepsTheElementOfEachTriangle)
{
    const std::vector<BodyBlock> blocks{{3, SurfaceShape::Triangle3, {5, 4, 8, 4, 9, 8}},
                                        {7, SurfaceShape::Quad4, {4, 5, 10, 9, 1, 2, 6, 6, 2, 6, 1, 2}}};
    std::vector<int> asked;
    const AssembledBody body = CoreIo::assembleBody(
        blocks, [&](const std::vector<int>& nodes) { return asked = nodes, fileReference(nodes); }, std::nullopt);
    EXPECT_THAT(body.fileNodes, ElementsAre(5, 4, 8, 9, 10, 1, 2, 6));
    EXPECT_EQ(asked, body.fileNodes);
    EXPECT_EQ(body.reference[0][0], 1e6 + 1);  // as the file places the node
    // the quadrilateral 4 5 10 9 splits along 5-9, its shorter diagonal; 1 2 6 6 and 2 6 1 2 repeat one
    EXPECT_THAT(body.triangles, ElementsAre(0, 1, 2, 1, 3, 2, 1, 0, 3, 0, 4, 3, 5, 6, 7, 6, 7, 5));
    EXPECT_THAT(sourcesOf(body), ElementsAre(std::pair{3u, 0}, std::pair{3u, 1}, std::pair{7u, 0}, std::pair{7u, 0},
                                             std::pair{7u, 1}, std::pair{7u, 2}));
}

TEST(ExodusBodyAssembly, PlacesTheOriginAtTheCentreOfTheReferenceBoxUnlessOneIsGiven)
{
    const std::vector<BodyBlock> blocks{{0, SurfaceShape::Triangle6, {0, 2, 10, 1, 6, 5}}};
    const std::map<const char*, std::pair<std::optional<std::array<double, 3>>, std::array<double, 3>>> cases{
        {"centre of the box", {std::nullopt, {1e6 + 1, 1, 0}}},
        {"given", {std::array<double, 3>{-1, 2, 3}, {-1, 2, 3}}}};
    for (const auto& [what, origins] : cases) {
        SCOPED_TRACE(what);
        const AssembledBody body = CoreIo::assembleBody(blocks, fileReference, origins.first);
        EXPECT_EQ(body.origin, origins.second);
        EXPECT_EQ(body.triangles.size(), 12u);  // four triangles over the six nodes
    }
}

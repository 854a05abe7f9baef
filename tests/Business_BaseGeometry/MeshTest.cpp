#include "Business_BaseGeometry.h"

#include "SampleBodies.h"
#include "SampleMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

using Calvora::Mesh;
using Calvora::Vertex;
using CoreIoSamples::makeMesh;
using Point = Calvora::Point<double, 3>;
using Vector = Calvora::Vector<double, 3>;

// Opens a finished mesh for writing, as a builder does.
struct MeshEditor : Calvora::MeshModifier {
    explicit MeshEditor(Mesh& mesh) : MeshModifier(mesh) {}
    using MeshModifier::resizeVertices;
    using MeshModifier::triangles;
    using MeshModifier::vertices;
};

Mesh sheet(int cells)
{
    return CoreIoSamples::shapeMesh(CoreIoSamples::makeSheet({}, {cells, cells}));
}

void expectNear(const Vector& actual, const Vector& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-12);
    EXPECT_NEAR(actual.y, expected.y, 1e-12);
    EXPECT_NEAR(actual.z, expected.z, 1e-12);
}

// Vertex positions, normals and indices, triangle indices and the position of every triangle's corners.
std::vector<double> describe(const Mesh& mesh)
{
    std::vector<double> all{double(mesh.hasNormals())};
    std::map<const Vertex*, double> positions;
    for (auto v = mesh.beginVertex(); v != mesh.endVertex(); ++v) {
        const Vector n = v->getNormal();
        all.insert(all.end(), {v->x, v->y, v->z, n.x, n.y, n.z, double(v->index)});
        positions.emplace(&*v, double(positions.size()));
    }
    for (auto t = mesh.beginTriangle(); t != mesh.endTriangle(); ++t) {
        all.push_back(t->index);
        for (const Vertex* corner : t->corners)
            all.push_back(positions.contains(corner) ? positions.at(corner) : -1.0);
    }
    return all;
}

TEST(Mesh, CopiesSurviveTheirOriginalWithTrianglesPointingIntoThemselvesOrNowhere)
{
    // Large meshes span many storage blocks; triangles in random order point anywhere among them.
    const struct {
        int cells;
        bool shuffledTriangles;
    } cases[] = {{11, false}, {80, false}, {80, true}};
    for (const auto& c : cases) {
        auto original = std::make_unique<Mesh>(sheet(c.cells));
        original->computeNormals(false, true);
        {
            MeshEditor editor(*original);
            const auto vertices = static_cast<int>(editor.vertices().size());
            for (Vertex& vertex : editor.vertices())
                vertex.index = (vertex.index * 37 + 5) % vertices;  // another vertex's position
            editor.vertices()[3].index = -1;
            editor.vertices()[4].index = 1000000;
            // Vertices added in front shift every position and start storage in the middle of a block.
            for (int i = 0; i < 5; ++i)
                editor.vertices().emplace_front().set(-1.0 - i, 0, 0);
            if (c.shuffledTriangles)
                std::shuffle(editor.triangles().begin(), editor.triangles().end(), std::mt19937(7));
            editor.triangles().emplace_back().corners[0] = &editor.vertices()[0];
        }
        const std::vector<double> expected = describe(*original);
        const Mesh copy(*original);
        Mesh assigned = sheet(1);
        assigned = *original;
        Mesh& alias = assigned;
        assigned = alias;
        original.reset();

        EXPECT_EQ(describe(copy), expected) << c.cells << " cells";
        EXPECT_EQ(describe(assigned), expected) << c.cells << " cells";
    }
}

TEST(Mesh, CopyRefusesATriangleThatPointsIntoAnotherMesh)
{
    Mesh other = sheet(2);
    for (unsigned int foreign : {2u, 8u}) {
        Mesh mesh = sheet(1);  // four vertices: the foreign vertex 2 has a valid index here, 8 has not
        MeshEditor(mesh).triangles()[0].corners[1] = &other.getVertex(foreign);
        EXPECT_THROW(Mesh{mesh}, std::invalid_argument) << "foreign vertex " << foreign;
    }
}

TEST(Mesh, NormalsAreUnitAreaOrAngleWeightedAndIgnoreDegenerateTriangles)
{
    const std::vector<Point> square{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    // At the origin meet a large triangle facing +z (area 50) and a small one facing +y (area 0.5).
    const std::vector<Point> unequal{{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 1}, {1, 0, 0}};
    const std::vector<Point> withDegenerate{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {5, 5, 5}};
    const struct {
        const char* what;
        Mesh mesh;
        bool flip, areaWeighted;
        unsigned int vertex;
        Vector expected;
    } cases[] = {
        {"flat sheet", makeMesh(square, {0, 1, 2, 0, 2, 3}), false, false, 2, {0, 0, 1}},
        {"flat sheet flipped", makeMesh(square, {0, 1, 2, 0, 2, 3}), true, true, 0, {0, 0, -1}},
        {"by angle", makeMesh(unequal, {0, 1, 2, 0, 3, 4}), false, false, 0, Vector{0, 1, 1} * (1 / std::sqrt(2.0))},
        {"area", makeMesh(unequal, {0, 1, 2, 0, 3, 4}), false, true, 0, Vector{0, 1, 100} * (1 / std::hypot(1, 100.0))},
        {"beside a degenerate", makeMesh(withDegenerate, {0, 1, 2, 0, 1, 3}), false, false, 0, {0, 0, 1}},
        {"only in a degenerate", makeMesh(withDegenerate, {0, 1, 2, 0, 1, 3}), false, false, 3, {0, 0, 0}},
        {"loose", makeMesh(withDegenerate, {0, 1, 2, 0, 1, 3}), false, false, 4, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mesh mesh = c.mesh;
        mesh.computeNormals(c.flip, c.areaWeighted);
        EXPECT_TRUE(mesh.hasNormals());
        expectNear(mesh.getVertex(c.vertex).getNormal(), c.expected);
    }
}

// Growing a block at a time must end where one resize ends: sizes around the container's storage
// blocks, from empty and from a partly filled mesh, growing and shrinking.
TEST(Mesh, VerticesResizedBlockByBlockEndLikeOneResize)
{
    constexpr std::size_t block = Mesh::VertexContainer::get_block_size();
    for (const std::size_t start : {std::size_t{0}, std::size_t{5}, block + 3})
        for (const std::size_t count : {std::size_t{0}, std::size_t{1}, block - 1, block, block + 1, 3 * block + 7}) {
            SCOPED_TRACE("from " + std::to_string(start) + " to " + std::to_string(count));
            Mesh byBlocks;
            Mesh atOnce;
            MeshEditor(byBlocks).vertices().resize(start);
            MeshEditor(atOnce).vertices().resize(start);
            for (std::size_t k = 0; k < start; ++k)
                byBlocks.getVertex(static_cast<unsigned int>(k)).index =
                    atOnce.getVertex(static_cast<unsigned int>(k)).index = static_cast<std::int32_t>(k + 1);
            MeshEditor(byBlocks).resizeVertices(count);
            MeshEditor(atOnce).vertices().resize(count);
            EXPECT_EQ(describe(byBlocks), describe(atOnce));
        }
}

}  // namespace

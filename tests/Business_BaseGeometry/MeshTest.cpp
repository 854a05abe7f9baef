#include "Business_BaseGeometry.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using Calvora::Mesh;
using Calvora::Vertex;
using Point = Calvora::Point<double, 3>;
using Vector = Calvora::Vector<double, 3>;
using Corners = std::array<int, 3>;

// Opens a mesh for writing, as a builder does.
class MeshEditor : public Calvora::MeshModifier {
public:
    explicit MeshEditor(Mesh& mesh) : MeshModifier(mesh) {}
    using MeshModifier::setHasNormals;
    using MeshModifier::triangles;
    using MeshModifier::vertices;
};

// Fills an empty mesh; every vertex's index is its position.
void fill(Mesh& mesh, const std::vector<Point>& positions, const std::vector<Corners>& triangles)
{
    MeshEditor editor(mesh);
    editor.vertices().resize(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        editor.vertices()[i].set(positions[i].x, positions[i].y, positions[i].z);
        editor.vertices()[i].index = static_cast<std::int32_t>(i);
    }
    editor.triangles().resize(triangles.size());
    for (std::size_t t = 0; t < triangles.size(); ++t) {
        for (int c = 0; c < 3; ++c)
            editor.triangles()[t].corners[c] = &editor.vertices()[static_cast<std::size_t>(triangles[t][c])];
        editor.triangles()[t].index = static_cast<std::int32_t>(t);
    }
}

// A square grid of side x side vertices in the xy-plane, counter-clockwise seen from +z.
void fillGrid(Mesh& mesh, int side)
{
    std::vector<Point> positions;
    std::vector<Corners> triangles;
    for (int row = 0; row < side; ++row)
        for (int column = 0; column < side; ++column) {
            positions.emplace_back(column, row, 0.0);
            const int corner = row * side + column;
            if (row + 1 < side && column + 1 < side) {
                triangles.push_back({corner, corner + 1, corner + side + 1});
                triangles.push_back({corner, corner + side + 1, corner + side});
            }
        }
    fill(mesh, positions, triangles);
}

std::size_t positionOf(const Mesh& mesh, const Vertex* vertex)
{
    for (unsigned int i = 0; i < mesh.numberOfVertices(); ++i)
        if (&mesh.getVertex(i) == vertex)
            return i;
    ADD_FAILURE() << "corner is not a vertex of the mesh";
    return mesh.numberOfVertices();
}

void expectNear(const Vector& actual, const Vector& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-12);
    EXPECT_NEAR(actual.y, expected.y, 1e-12);
    EXPECT_NEAR(actual.z, expected.z, 1e-12);
}

// Vertex positions, normals and indices, and the position of every triangle's corners.
struct Snapshot {
    bool hasNormals;
    std::vector<std::array<double, 6>> vertices;
    std::vector<std::int32_t> indices;
    std::vector<std::size_t> corners;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const Mesh& mesh)
{
    Snapshot shot{mesh.hasNormals(), {}, {}, {}};
    for (auto v = mesh.beginVertex(); v != mesh.endVertex(); ++v) {
        const Vector n = v->getNormal();
        shot.vertices.push_back({v->x, v->y, v->z, n.x, n.y, n.z});
        shot.indices.push_back(v->index);
    }
    for (auto t = mesh.beginTriangle(); t != mesh.endTriangle(); ++t) {
        shot.indices.push_back(t->index);
        for (const Vertex* corner : t->corners)
            shot.corners.push_back(corner == nullptr ? SIZE_MAX : positionOf(mesh, corner));
    }
    return shot;
}

}  // namespace

TEST(Mesh, CopiesSurviveTheirOriginalWithTrianglesPointingIntoThemselvesOrNowhere)
{
    auto original = std::make_unique<Mesh>();
    fillGrid(*original, 12);
    original->computeNormals(false, true);
    {
        MeshEditor editor(*original);
        for (Vertex& vertex : editor.vertices())
            vertex.index = (vertex.index * 37 + 5) % 144;  // another vertex's position
        editor.vertices()[3].index = -1;
        editor.vertices()[4].index = 1000;
        // Vertices added in front shift every position and start storage in the middle of a block.
        for (int i = 0; i < 5; ++i) {
            editor.vertices().emplace_front();
            editor.vertices().front().set(-1.0 - i, 0, 0);
        }
        editor.triangles().emplace_back();
        for (int c = 0; c < 2; ++c)
            editor.triangles().back().corners[c] = &editor.vertices()[static_cast<std::size_t>(c)];
    }
    const Snapshot expected = snapshot(*original);
    const Mesh copy(*original);
    Mesh assigned;
    fillGrid(assigned, 2);
    assigned = *original;

    Mesh& alias = assigned;
    assigned = alias;
    original.reset();

    EXPECT_EQ(snapshot(copy), expected);
    EXPECT_EQ(snapshot(assigned), expected);
}

TEST(Mesh, CopyRefusesATriangleThatPointsIntoAnotherMesh)
{
    Mesh other;
    fillGrid(other, 3);
    for (unsigned int foreign : {2u, 8u}) {
        Mesh mesh;
        fillGrid(mesh, 2);  // four vertices: the foreign vertex 2 has a valid index here, 8 has not
        MeshEditor(mesh).triangles()[0].corners[1] = &other.getVertex(foreign);

        EXPECT_THROW(Mesh{mesh}, std::invalid_argument) << "foreign vertex " << foreign;
    }
}

TEST(Mesh, NormalsAreUnitAreaOrAngleWeightedAndIgnoreDegenerateTriangles)
{
    const std::vector<Point> octahedron{{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    const std::vector<Corners> octahedronFaces{{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4},
                                               {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
    const std::vector<Point> square{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const std::vector<Corners> squareFaces{{0, 1, 2}, {0, 2, 3}};
    // At the origin meet a large triangle facing +z (area 50) and a small one facing +y (area 0.5).
    const std::vector<Point> unequal{{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 1}, {1, 0, 0}};
    const std::vector<Point> withDegenerate{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {5, 5, 5}};
    const struct {
        const char* what;
        const std::vector<Point>& positions;
        std::vector<Corners> triangles;
        bool flip, areaWeighted;
        unsigned int vertex;
        Vector expected;
    } cases[] = {
        {"closed shape, outward", octahedron, octahedronFaces, false, true, 0, {1, 0, 0}},
        {"closed shape, bottom", octahedron, octahedronFaces, false, false, 5, {0, 0, -1}},
        {"flat sheet", square, squareFaces, false, false, 2, {0, 0, 1}},
        {"flat sheet flipped", square, squareFaces, true, true, 0, {0, 0, -1}},
        {"by angle", unequal, {{0, 1, 2}, {0, 3, 4}}, false, false, 0, Vector{0, 1, 1} * (1 / std::sqrt(2.0))},
        {"by area", unequal, {{0, 1, 2}, {0, 3, 4}}, false, true, 0, Vector{0, 1, 100} * (1 / std::sqrt(10001.0))},
        {"beside a degenerate", withDegenerate, {{0, 1, 2}, {0, 1, 3}}, false, false, 0, {0, 0, 1}},
        {"only in a degenerate", withDegenerate, {{0, 1, 2}, {0, 1, 3}}, false, false, 3, {0, 0, 0}},
        {"loose", withDegenerate, {{0, 1, 2}, {0, 1, 3}}, false, false, 4, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mesh mesh;
        fill(mesh, c.positions, c.triangles);
        EXPECT_FALSE(mesh.hasNormals());

        mesh.computeNormals(c.flip, c.areaWeighted);

        EXPECT_TRUE(mesh.hasNormals());
        expectNear(mesh.getVertex(c.vertex).getNormal(), c.expected);
    }
}

TEST(MeshModifier, RefusesASecondModifierWhileTheFirstIsOpenAndReopensAfterIt)
{
    Mesh mesh, other;
    {
        MeshEditor first(mesh);
        first.vertices().resize(2);
        EXPECT_THROW(MeshEditor{mesh}, std::logic_error);
        EXPECT_THROW(MeshEditor{mesh}, std::logic_error) << "a refused modifier must not close the open one";
        EXPECT_NO_THROW(MeshEditor{other});
    }
    MeshEditor second(mesh);
    second.setHasNormals(true);
    second.vertices().resize(3);

    EXPECT_EQ(mesh.numberOfVertices(), 3u);
    EXPECT_TRUE(mesh.hasNormals());
}

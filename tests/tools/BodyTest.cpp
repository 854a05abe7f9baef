// A body handed over as arrays: checked row by row, its cells cut into triangles exactly as a result
// file's elements are, its elements numbered once for every front end.
#include "Body.h"
#include "BodyReader.h"
#include "Errors.h"
#include "ExodusTestSupport.h"
#include "ExodusWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>

namespace {

using CoreIoAlign::BodyArrays;
using CoreIoAlign::BodyBlock;

// A 3 x 2 grid of points, (x, y, 0), with the same initial coordinates.
const std::vector<double> gridPoints{0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 1, 0, 1, 1.4, 0, 2, 1, 0};
const std::vector<double> gridCoordinates{0, 0, 1, 0, 2, 0, 0, 1, 1, 1.4, 2, 1};
const BodyBlock quads{7, "plate", "plate", "quad", 4, {0, 1, 4, 3, 1, 2, 5, 4}};
const BodyBlock triangle{8, "", "block_8", "triangle", 3, {0, 1, 3}};
const BodyBlock collapsed{9, "", "block_9", "quad", 4, {1, 2, 5, 1}};  // a triangle as a quad, as some codes store one

BodyArrays grid(std::vector<BodyBlock> blocks)
{
    BodyArrays arrays;
    arrays.points = gridPoints;
    arrays.initialCoordinates = gridCoordinates;
    arrays.blocks = std::move(blocks);
    return arrays;
}

// Each triangle of the body as the set of its corners' node ids, with its element.
std::multiset<std::pair<std::set<std::int64_t>, int>> trianglesByNodeId(const CoreIoAlign::Body& body)
{
    std::multiset<std::pair<std::set<std::int64_t>, int>> triangles;
    const Calvora::Mesh& mesh = *body.record.mesh;
    for (std::size_t t = 0; t < mesh.numberOfTriangles(); ++t) {
        std::set<std::int64_t> corners;
        for (const Calvora::Vertex* corner : mesh.getTriangle(static_cast<unsigned>(t)).corners)
            corners.insert(body.nodeIds[static_cast<std::size_t>(corner->index)]);
        triangles.emplace(corners, body.elementOfTriangle[t]);
    }
    return triangles;
}

}  // namespace

TEST(Body, RefusesArraysThatDoNotFitNamingTheFirstBadRow)
{
    BodyArrays beyond = grid({{1, "", "cells[0] (quad)", "quad", 4, {0, 1, 4, 9}}});
    BodyArrays unknown = grid({{1, "", "cells[0] (hexahedron)", "hexahedron", 8, {0, 1, 2, 3, 4, 5, 0, 1}}});
    BodyArrays ragged = grid({{1, "", "cells[0] (quad)", "quad", 4, {0, 1, 4}}});
    BodyArrays repeatedIds = grid({quads});
    repeatedIds.nodeIds = {1, 2, 3, 4, 2, 6};
    BodyArrays shortField = grid({quads});
    shortField.elementFields = {{"THICKNESS", 1, {1.0}}};
    const std::vector<double> tooFew(gridCoordinates.begin(), gridCoordinates.end() - 2);
    BodyArrays fewCoordinates = grid({quads});
    fewCoordinates.initialCoordinates = tooFew;
    const std::pair<const BodyArrays*, const char*> cases[] = {
        {&beyond, "cells[0] (quad) row 0 names vertex 9, outside 0 .. 5"},
        {&unknown, "hexahedron elements make no surface; known cell types: triangle, "},
        {&ragged, "holds 3 point numbers, not a whole number of cells of 4"},
        {&repeatedIds, "node_ids row 4 repeats the id 2"},
        {&shortField, "the field THICKNESS holds 1 values, not 1 per cell of 2"},
        {&fewCoordinates, "initial_coordinates has 5 rows but points has 6"},
    };
    for (const auto& [arrays, message] : cases) {
        try {
            CoreIoAlign::makeBody(*arrays);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const CoreIoAlign::InputError& error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        }
    }
}

// The same quads through a result file and as arrays make the same triangles, elements and ids.
TEST(Body, CutsCellsAsTheResultFileReaderCutsElements)
{
    const ExodusTest::ScratchDirectory directory;
    CoreIo::ExodusMesh file;
    for (std::size_t k = 0; k < gridPoints.size(); k += 3) {
        file.x.push_back(gridPoints[k]);
        file.y.push_back(gridPoints[k + 1]);
        file.z.push_back(gridPoints[k + 2]);
    }
    file.blocks = {{7, "plate", "SHELL4", 4, quads.connectivity},
                   {8, "", "TRI3", 3, triangle.connectivity},
                   {9, "", "SHELL4", 4, collapsed.connectivity}};
    file.times = {0.0};
    for (std::size_t c = 0; c < 2; ++c) {
        std::vector<double> values;
        for (std::size_t k = c; k < gridCoordinates.size(); k += 2)
            values.push_back(gridCoordinates[k]);
        file.nodalVariables.push_back({c == 0 ? "INITIALCOORD0" : "INITIALCOORD1", {values}});
    }
    file.elementVariables = {{"THICKNESS", {{{1.0, 2.0}, {3.0}, {6.0}}}}, {"STRESS", {{{4.0, 5.0}, {}, {}}}}};
    CoreIo::writeExodusMesh(directory.file("grid.exo"), file, CoreIo::ExodusPrecision::Double);

    const CoreIoAlign::Body fromFile = CoreIoAlign::readBody({directory.file("grid.exo"), {}}, std::nullopt);
    const CoreIoAlign::Body fromArrays = CoreIoAlign::makeBody(grid({quads, triangle, collapsed}));
    EXPECT_EQ(trianglesByNodeId(fromFile), trianglesByNodeId(fromArrays));
    EXPECT_EQ(fromArrays.record.mesh->numberOfTriangles(), 6u);
    EXPECT_EQ(fromArrays.numElements(), 4u);
    ASSERT_EQ(fromFile.blocks.size(), 3u);
    EXPECT_EQ(fromFile.blocks[1].label, "block_8");
    EXPECT_EQ(CoreIoAlign::cellTypeName(fromFile.blocks[0]), "quad");

    // only the variables asked for, named in any case; NaN where a block lacks one
    const CoreIoAlign::Body stress = CoreIoAlign::readBody({directory.file("grid.exo"), {}}, {{"stress"}});
    EXPECT_TRUE(stress.nodalFields.empty());
    ASSERT_EQ(stress.elementFields.size(), 1u);
    EXPECT_EQ(stress.elementFields[0].name, "STRESS");
    EXPECT_EQ(stress.elementFields[0].values[1], 5.0);
    EXPECT_TRUE(std::isnan(stress.elementFields[0].values[2]));
}

TEST(Body, GivesEachElementItsDistinctCorners)
{
    const BodyBlock repeatedLast{1, "", "collapsed", "quad", 4, {0, 1, 4, 4}};
    const CoreIoAlign::ElementCorners elements = CoreIoAlign::elementCorners(
        CoreIoAlign::makeBody(grid({quads, repeatedLast})));
    EXPECT_EQ(elements.firstCorner, (std::vector<std::size_t>{0, 4, 8, 11}));
    EXPECT_EQ(elements.corners, (std::vector<int>{0, 1, 3, 4, 1, 2, 4, 5, 0, 1, 4}));
}

// A result file's quads are cut along the shorter diagonal of the reference shape, which the
// current points need not share.
TEST(Body, CutsQuadsAlongTheShorterDiagonalOfTheReferenceShape)
{
    std::vector<double> pulledIn = gridPoints;
    pulledIn[12] = pulledIn[13] = 0.6;  // node 4 near node 0
    const BodyBlock quad{1, "", "quad", "quad", 4, {0, 1, 4, 3}};
    for (const auto& [reference, diagonal] : {std::pair{std::vector<double>{}, std::set<std::int64_t>{2, 4}},
                                              std::pair{pulledIn, std::set<std::int64_t>{1, 5}}}) {
        BodyArrays arrays = grid({quad});
        arrays.referencePoints = reference;
        std::set<std::int64_t> shared;
        const auto triangles = trianglesByNodeId(CoreIoAlign::makeBody(arrays));
        ASSERT_EQ(triangles.size(), 2u);
        std::ranges::set_intersection(triangles.begin()->first, triangles.rbegin()->first,
                                      std::inserter(shared, shared.end()));
        EXPECT_EQ(shared, diagonal);  // node ids from 1
    }
}

#include "Business_BaseGeometry.h"
#include "ExodusLoader.h"
#include "ExodusShellTestFile.h"
#include "ExodusTestSupport.h"
#include "ExodusWriter.h"
#include "QRVService_Logging.h"

#include <exodusII.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <numeric>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using CoreIo::ExodusLoader;
using CoreIo::ExodusWriter;
using ExodusTest::loadErrorOf;
using ExodusTest::RecordingMeshBuilder;
using ExodusTest::RecordingResultBuilder;
using ExodusTest::resultAt;
using ExodusTest::ScratchDirectory;
using Position = Calvora::Point<double, 3>;
using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

// Nodes 0 and 5 of the first body are left unused, and the triangles visit the others out of
// order; the second body's nodes follow in the file.
void writeShuffledBodies(const std::string& path)
{
    ExodusWriter writer(path);
    ExodusWriter::Body shuffled;
    shuffled.x = {0, 1, 2, 3, 4, 5};
    shuffled.y = {10, 11, 12, 13, 14, 15};
    shuffled.z = {20, 21, 22, 23, 24, 25};
    shuffled.triangles = {3, 1, 4, 4, 1, 2};
    writer.addBody("shuffled", shuffled);
    ExodusWriter::Body tool;
    tool.x = {7, 8, 7};
    tool.y = {0, 0, 1};
    tool.z = {0, 0, 0};
    tool.triangles = {0, 1, 2};
    writer.addBody("tool", tool);
    writer.addNodalVariable("TEMP", {{{100, 101, 102, 103, 104, 105}, {200, 201, 202}}});
    writer.write();
}

// Four blocks that share three nodes: triangles, quadrilaterals, six-node triangles and

struct ElementCase {
    std::string type;
    int nodesPerElement;
    std::size_t triangles;  // expected; 0: the block is skipped
    std::string skipReason;
};

// Corners, then mid-side nodes, then the centre, as Exodus II orders them; a convex quadrilateral
// whose diagonal from the second to the fourth corner is the shorter.
bool isTriangle(int nodesPerElement)
{
    return nodesPerElement == 3 || nodesPerElement == 6 || nodesPerElement == 7;
}

std::vector<std::array<double, 2>> elementNodes(int nodesPerElement)
{
    std::vector<std::array<double, 2>> corners = isTriangle(nodesPerElement) ? std::vector<std::array<double, 2>>{{0, 0}, {3, 0}, {0, 2}}
                                                          : std::vector<std::array<double, 2>>{{0, 0}, {4, 0}, {5, 3}, {0, 1}};
    std::vector<std::array<double, 2>> nodes = corners;
    const std::size_t n = corners.size();
    for (std::size_t k = 0; k < n && nodes.size() < static_cast<std::size_t>(nodesPerElement); ++k)
        nodes.push_back({(corners[k][0] + corners[(k + 1) % n][0]) / 2, (corners[k][1] + corners[(k + 1) % n][1]) / 2});
    std::array<double, 2> centre{};
    for (const auto& corner : corners)
        centre = {centre[0] + corner[0] / n, centre[1] + corner[1] / n};
    while (nodes.size() < static_cast<std::size_t>(nodesPerElement))
        nodes.push_back(centre);
    return nodes;
}

double polygonArea(const std::vector<std::array<double, 2>>& nodes, std::size_t corners)
{
    double twice = 0.0;
    for (std::size_t k = 0; k < corners; ++k)
        twice += nodes[k][0] * nodes[(k + 1) % corners][1] - nodes[(k + 1) % corners][0] * nodes[k][1];
    return twice / 2;
}

// One block of one element per case, each with nodes of its own.
void writeElementFamilies(const std::string& path, const std::vector<ElementCase>& cases)
{
    int computeWordSize = 8;
    int storedWordSize = 8;
    const int file = ex_create(path.c_str(), EX_CLOBBER, &computeWordSize, &storedWordSize);
    ASSERT_GE(file, 0);
    int numNodes = 0;
    for (const ElementCase& element : cases)
        numNodes += element.nodesPerElement;
    const auto numBlocks = static_cast<int>(cases.size());
    ASSERT_EQ(ex_put_init(file, "families", 3, numNodes, numBlocks, numBlocks, 0, 0), 0);
    std::vector<double> x, y, z(static_cast<std::size_t>(numNodes), 0.0);
    for (std::size_t b = 0; b < cases.size(); ++b) {
        const int first = static_cast<int>(x.size()) + 1;
        for (const auto& [u, v] : elementNodes(cases[b].nodesPerElement)) {
            x.push_back(u + 10.0 * static_cast<double>(b));
            y.push_back(v);
        }
        std::vector<int> connectivity(static_cast<std::size_t>(cases[b].nodesPerElement));
        std::iota(connectivity.begin(), connectivity.end(), first);
        const int id = static_cast<int>(b) + 1;
        ASSERT_EQ(ex_put_block(file, EX_ELEM_BLOCK, id, cases[b].type.c_str(), 1, cases[b].nodesPerElement, 0, 0, 0), 0);
        ASSERT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, id, connectivity.data(), nullptr, nullptr), 0);
    }
    ASSERT_EQ(ex_put_coord(file, x.data(), y.data(), z.data()), 0);
    ASSERT_EQ(ex_close(file), 0);
}

// Two dimensions, coordinates and variables each in one combined array.
void writePlanarCombinedFile(const std::string& path)
{
    int computeWordSize = 8;
    int storedWordSize = 8;
    const int file = ex_create(path.c_str(), EX_CLOBBER | EX_NORMAL_MODEL, &computeWordSize, &storedWordSize);
    ASSERT_GE(file, 0);
    ASSERT_EQ(ex_put_init(file, "planar", 2, 4, 2, 1, 0, 0), 0);
    const std::vector<double> x{0, 1, 1, 0}, y{0, 0, 1, 1};
    ASSERT_EQ(ex_put_coord(file, x.data(), y.data(), nullptr), 0);
    const std::vector<int> triangles{1, 2, 3, 1, 3, 4};
    ASSERT_EQ(ex_put_block(file, EX_ELEM_BLOCK, 5, "TRI3", 2, 3, 0, 0, 0), 0);
    ASSERT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, 5, triangles.data(), nullptr, nullptr), 0);
    ASSERT_EQ(ex_put_variable_param(file, EX_NODAL, 2), 0);
    std::string names[2] = {"A", "B"};
    char* namePointers[2] = {names[0].data(), names[1].data()};
    ASSERT_EQ(ex_put_variable_names(file, EX_NODAL, 2, namePointers), 0);
    const double time = 1.0;
    const std::vector<double> a{0.5, 1.5, 2.5, 3.5}, b{-0.5, -1.5, -2.5, -3.5};
    ASSERT_EQ(ex_put_time(file, 1, &time), 0);
    ASSERT_EQ(ex_put_var(file, 1, EX_NODAL, 1, 1, 4, a.data()), 0);
    ASSERT_EQ(ex_put_var(file, 1, EX_NODAL, 2, 1, 4, b.data()), 0);
    ASSERT_EQ(ex_close(file), 0);
}

// A netCDF-4 file that declares a billion nodes but stores none of their coordinates.
void writeHollowNetcdf4File(const std::string& path)
{
    int computeWordSize = 8;
    int storedWordSize = 4;
    const int file = ex_create(path.c_str(), EX_CLOBBER | EX_NETCDF4, &computeWordSize, &storedWordSize);
    ASSERT_GE(file, 0);
    ASSERT_EQ(ex_put_init(file, "hollow", 3, 1000000000, 1, 1, 0, 0), 0);
    const std::vector<int> triangle{1, 2, 3};
    ASSERT_EQ(ex_put_block(file, EX_ELEM_BLOCK, 1, "TRI3", 1, 3, 0, 0, 0), 0);
    ASSERT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, 1, triangle.data(), nullptr, nullptr), 0);
    ASSERT_EQ(ex_close(file), 0);
}

std::string text(spdlog::string_view_t view)
{
    return {view.data(), view.size()};
}

std::vector<float> floats(std::initializer_list<double> values)
{
    return {values.begin(), values.end()};
}

}  // namespace

TEST(ExodusLoader, NumbersBodyNodesInOrderOfFirstUseAndResultsFollowThatOrder)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    writeShuffledBodies(path);
    const ExodusLoader loader(path);
    const auto& bodies = loader.bodies();
    ASSERT_EQ(bodies.size(), 2u);

    RecordingMeshBuilder shuffled;
    loader.loadMesh(bodies[0].meshLocation, shuffled);
    EXPECT_EQ(shuffled.numNodes, 4u);
    EXPECT_EQ(shuffled.x, floats({3, 1, 4, 2}));
    EXPECT_EQ(shuffled.y, floats({13, 11, 14, 12}));
    EXPECT_EQ(shuffled.z, floats({23, 21, 24, 22}));
    EXPECT_THAT(shuffled.triangles, ElementsAre(0, 1, 2, 2, 1, 3));
    EXPECT_FALSE(shuffled.receivedMapping);

    RecordingResultBuilder temperature;
    loader.loadResult(resultAt(bodies[0], "TEMP", 1), temperature, std::nullopt);
    EXPECT_THAT(temperature.floatArrays, ElementsAre(floats({103, 101, 104, 102})));

    RecordingMeshBuilder tool;
    loader.loadMesh(bodies[1].meshLocation, tool);
    EXPECT_EQ(tool.x, floats({7, 8, 7}));
    RecordingResultBuilder toolTemperature;
    loader.loadResult(resultAt(bodies[1], "TEMP", 1), toolTemperature, std::nullopt);
    EXPECT_THAT(toolTemperature.floatArrays, ElementsAre(floats({200, 201, 202})));
}

TEST(ExodusLoader, HandsTopologyOnlyBuildersTheSolverNumberingAndANormalPerNodeButNoCoordinates)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    writeShuffledBodies(path);
    const ExodusLoader loader(path);

    RecordingMeshBuilder shuffled(true);
    loader.loadMesh(loader.bodies()[0].meshLocation, shuffled);
    EXPECT_EQ(shuffled.builds, 1);
    EXPECT_FALSE(shuffled.receivedCoordinates);
    EXPECT_EQ(shuffled.numNormals, 4u);  // each node stands for a tool vertex with a normal
    EXPECT_TRUE(shuffled.nx.empty());
    EXPECT_THAT(shuffled.triangles, ElementsAre(0, 1, 2, 2, 1, 3));
    EXPECT_THAT(shuffled.solverIndexMapping, ElementsAre(3, 1, 4, 2));  // no node number map: file order

    RecordingMeshBuilder tool(true);
    loader.loadMesh(loader.bodies()[1].meshLocation, tool);
    EXPECT_THAT(tool.solverIndexMapping, ElementsAre(6, 7, 8));
    EXPECT_EQ(tool.numNormals, 3u);
}

TEST(ExodusLoader, ReadsAnIndependentlyWrittenFileGeneratedFromCdlTextInEveryNetcdfFormat)
{
    const ScratchDirectory directory;
    for (const int kind : {1, 2, 3, 5}) {
        SCOPED_TRACE("ncgen -k " + std::to_string(kind));
        const std::string path = directory.file("independent" + std::to_string(kind) + ".exo");
        ExodusTest::generateFromCdl("exodus_independent.cdl", path, kind);
        const ExodusLoader loader(path);

        EXPECT_TRUE(loader.storesDoubles());
        EXPECT_TRUE(loader.skippedBlocks().empty());
        ASSERT_EQ(loader.bodies().size(), 2u);
        const CoreIo::SimBody& body = loader.bodies()[0];
        EXPECT_EQ(body.name, "block_7");
        EXPECT_EQ(body.meshLocation.id, 7);
        EXPECT_EQ(body.results.size(), 8u);
        EXPECT_EQ(body.results[0].name, "TEMP");
        EXPECT_EQ(body.results[0].dataLocation.step, 2);
        EXPECT_EQ(loader.bodies()[1].name, "quads");
        EXPECT_EQ(loader.listing().stepTimes, (std::vector<double>{0, 2.5}));

        RecordingMeshBuilder mesh;
        loader.loadMesh(body.meshLocation, mesh);
        EXPECT_EQ(mesh.x, floats({4, 2, 3, 5}));
        EXPECT_EQ(mesh.y, floats({4.5, 2.5, 3.5, 5.5}));
        EXPECT_EQ(mesh.z, floats({-5, -3, -4, -6}));
        EXPECT_THAT(mesh.triangles, ElementsAre(0, 1, 2, 2, 1, 3));
        EXPECT_FALSE(mesh.rowMajor);
        EXPECT_EQ(mesh.numNormals, 4u);
        EXPECT_EQ(mesh.nx, floats({0.6, 0.6, 0.6, 0.6}));
        EXPECT_EQ(mesh.ny, floats({0, 0, 0, 0}));
        EXPECT_EQ(mesh.nz, floats({0.8, 0.8, 0.8, 0.8}));

        RecordingMeshBuilder topology(true);
        loader.loadMesh(body.meshLocation, topology);
        EXPECT_THAT(topology.solverIndexMapping, ElementsAre(104, 102, 103, 105));

        RecordingResultBuilder temperatures;
        loader.loadResult(resultAt(body, "TEMP", 2), temperatures, std::nullopt);
        loader.loadResult(resultAt(body, "TEMP", 1), temperatures, std::nullopt);
        EXPECT_TRUE(temperatures.floatArrays.empty());
        EXPECT_THAT(temperatures.doubleArrays, ElementsAre(std::vector<double>{2.5, 2.3, 2.4, 2.6},
                                                           std::vector<double>{1.5, 1.3, 1.4, 1.6}));
    }
}

TEST(ExodusLoader, CutsEverySurfaceElementFamilyIntoTrianglesOverAllItsNodesAndSkipsTheRest)
{
    const std::vector<ElementCase> cases{
        {"TRI", 3, 1, ""},          {"trishell", 3, 1, ""},      {"SHELL3", 3, 1, ""},
        {"QUAD4", 4, 2, ""},        {"shell", 4, 2, ""},         {"QuadShell4", 4, 2, ""},
        {"TRI6", 6, 4, ""},         {"TRISHELL7", 7, 6, ""},     {"QUAD8", 8, 6, ""},
        {"SHELL9", 9, 8, ""},       {"HEX8", 8, 0, "HEX8 elements make no surface"},
        {"TRI", 5, 0, "are no known triangles"},                 {"QUAD4", 3, 0, "contradict their type"}};
    const ScratchDirectory directory;
    const std::string path = directory.file("families.exo");
    writeElementFamilies(path, cases);
    const Calvora::Logging keepRegistered("CoreIo.ExodusLoader");
    const auto sink = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(8);
    spdlog::get("CoreIo.ExodusLoader")->sinks().push_back(sink);
    const ExodusLoader loader(path);

    std::size_t body = 0;
    for (std::size_t b = 0; b < cases.size(); ++b) {
        const ElementCase& element = cases[b];
        SCOPED_TRACE(element.type + " with " + std::to_string(element.nodesPerElement) + " nodes");
        EXPECT_THAT(loader.listing().blocks[b].skipReason, HasSubstr(element.skipReason));
        if (element.triangles == 0)
            continue;
        RecordingMeshBuilder mesh;
        loader.loadMesh(loader.bodies().at(body++).meshLocation, mesh);
        ASSERT_EQ(mesh.triangles.size(), 3 * element.triangles);
        std::set<int> used(mesh.triangles.begin(), mesh.triangles.end());
        EXPECT_EQ(used.size(), static_cast<std::size_t>(element.nodesPerElement));
        const auto position = [&](int node) { return Position{mesh.x[node], mesh.y[node], 0.0}; };
        double area = 0.0;
        for (std::size_t t = 0; t < mesh.triangles.size(); t += 3) {
            const Position a = position(mesh.triangles[t]);
            const Position b2 = position(mesh.triangles[t + 1]);
            const Position c = position(mesh.triangles[t + 2]);
            const double twice = (b2.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b2.y - a.y);
            EXPECT_GT(twice, 0.0) << "triangle " << t / 3 << " turned over";
            area += twice / 2;
        }
        const std::vector<std::array<double, 2>> nodes = elementNodes(element.nodesPerElement);
        EXPECT_NEAR(area, polygonArea(nodes, isTriangle(element.nodesPerElement) ? 3 : 4), 1e-6);
        for (std::size_t t = 0; element.nodesPerElement == 4 && t < mesh.triangles.size(); t += 3) {
            // split along the shorter diagonal, from the second corner to the fourth
            const std::set<int> corners(mesh.triangles.begin() + t, mesh.triangles.begin() + t + 3);
            EXPECT_TRUE(corners.count(1) == 1 && corners.count(3) == 1) << "triangle " << t / 3;
        }
    }
    EXPECT_EQ(body, loader.bodies().size());
    const auto warnings = sink->last_raw();
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_THAT(text(warnings[0].payload), AllOf(HasSubstr(path), HasSubstr("(id 11)"), HasSubstr("make no surface")));
}

TEST(ExodusLoader, ReadsPlanarFilesWhoseArraysAreCombinedWithZeroForZ)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("planar.exo");
    writePlanarCombinedFile(path);
    const ExodusLoader loader(path);
    ASSERT_EQ(loader.bodies().size(), 1u);
    const CoreIo::SimBody& body = loader.bodies()[0];
    EXPECT_EQ(body.name, "block_5");

    RecordingMeshBuilder mesh;
    loader.loadMesh(body.meshLocation, mesh);
    EXPECT_EQ(mesh.x, floats({0, 1, 1, 0}));
    EXPECT_EQ(mesh.y, floats({0, 0, 1, 1}));
    EXPECT_EQ(mesh.z, floats({0, 0, 0, 0}));
    EXPECT_EQ(mesh.numNormals, 0u);
    EXPECT_TRUE(mesh.rowMajor);  // without normals in the file, the builder computes them
    RecordingResultBuilder values;
    loader.loadResult(resultAt(body, "B", 1), values, std::nullopt);
    EXPECT_THAT(values.doubleArrays, ElementsAre(std::vector<double>{-0.5, -1.5, -2.5, -3.5}));
}
TEST(ExodusLoader, ReadsIntegersAsIntWhateverSizesTheFileAsksFor)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    writeShuffledBodies(path);
    ExodusTest::putIntAttribute(path, "", "int64_status", {EX_ALL_INT64_API});
    const ExodusLoader loader(path);
    ASSERT_EQ(loader.bodies().size(), 2u);
    EXPECT_EQ(loader.bodies()[1].meshLocation.id, 2);
    RecordingMeshBuilder topology(true);
    loader.loadMesh(loader.bodies()[0].meshLocation, topology);
    EXPECT_THAT(topology.triangles, ElementsAre(0, 1, 2, 2, 1, 3));
    EXPECT_THAT(topology.solverIndexMapping, ElementsAre(3, 1, 4, 2));
}

TEST(ExodusLoader, FormsOneBodyOfTheChosenBlocksAtTheChosenStepWithItsDisplacement)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("sheet.exo");
    const std::string longName = "outer skin of the door panel, 1.2 mm, DC04 steel";
    ExodusTest::ShellTestFile sheet;
    sheet.blockNames = {longName, "inner"};
    sheet.offset = {100000.0, 0.0, 0.0};
    sheet.displacement = [](double x, double, std::size_t step) { return std::array<double, 3>{0, 0, 0.1 * x * step}; };
    sheet.withInitialCoordinates = true;
    sheet.withBeam = true;
    sheet.firstNodeId = 501;
    sheet.firstElementId = 1001;
    ExodusTest::writeShellFile(path, sheet);

    const ExodusLoader whole(path, CoreIo::ExodusBodyOptions{});
    const CoreIo::ExodusBodyDescription& body = whole.description(0);
    EXPECT_THAT(body.blocks, ElementsAre(0, 1));
    EXPECT_EQ(whole.listing().blocks[0].name, longName);
    EXPECT_EQ(whole.listing().blocks[2].skipReason, "BEAM2 elements make no surface");
    EXPECT_EQ(body.fileNodes.size(), 15u);  // the row of nodes the blocks share counts once
    EXPECT_EQ(body.nodeIds.front(), 501);
    ASSERT_EQ(body.triangles.size(), 16u);
    EXPECT_EQ(body.triangles.back().block, 1u);
    EXPECT_EQ(body.triangles.back().element, 3);
    EXPECT_EQ(body.triangles.back().elementId, 1008);
    EXPECT_EQ(body.step, 2);
    EXPECT_EQ(body.time, 2.0);
    EXPECT_EQ(body.displacement, (std::array<std::string, 3>{"disp_x", "disp_y", "disp_z"}));
    EXPECT_EQ(body.initialCoordinates, "initialcoord0,initialcoord1");
    EXPECT_THAT(body.origin, ElementsAre(100001.0, 0.5, 0.0));
    RecordingMeshBuilder deformed;
    whole.loadMesh(whole.bodies()[0].meshLocation, deformed);
    EXPECT_EQ(deformed.x.front(), -1.0f);  // relative to the origin, without round-off
    EXPECT_FLOAT_EQ(deformed.z.back(), 0.2f);  // 0.1 * x * step index at x = 2, step 2
    RecordingResultBuilder initial;
    whole.loadResult(resultAt(whole.bodies()[0], "INITIALCOORD0", 2), initial, std::nullopt);
    EXPECT_EQ(initial.doubleArrays.at(0).back(), 2.0);

    CoreIo::ExodusBodyOptions chosen;
    chosen.blocks = {"2"};
    chosen.step = 1;
    chosen.displacement = "none";
    chosen.initialCoordinates = CoreIo::parseInitialCoordinateSource("reference-cylinder-x");
    chosen.origin = std::array<double, 3>{100000.0, 0.0, 0.0};
    const ExodusLoader inner(path, chosen);
    EXPECT_THAT(inner.description(0).blocks, ElementsAre(1));
    EXPECT_FALSE(inner.description(0).displacement);
    EXPECT_EQ(inner.description(0).initialCoordinates, "reference-cylinder-x");
    EXPECT_EQ(inner.bodies()[0].name, "inner");
    RecordingResultBuilder axial;
    inner.loadResult(resultAt(inner.bodies()[0], "INITIALCOORD1", 1), axial, std::nullopt);
    EXPECT_EQ(axial.doubleArrays.at(0).front(), 0.0);  // the x of the inner block's first node, from the origin

    const auto refusalOf = [&](const CoreIo::ExodusBodyOptions& options) {
        return loadErrorOf([&] { ExodusLoader(path, options); });
    };
    const std::vector<std::pair<CoreIo::ExodusBodyOptions, std::string>> refusals{
        {{{"outer skin of the door panel, 1."}, {}, "auto", {}, {}},
         "has no element block named or numbered \"outer skin of the door panel, 1.\"; choose among its blocks: id 1 "
         "\"" + longName + "\" (SHELL4); id 2 \"inner\" (SHELL4); id 9 \"stiffener\" (BEAM2, skipped: BEAM2 elements "
         "make no surface)"},
        {{{"stiffener"}, {}, "auto", {}, {}}, "element block \"stiffener\" (id 9) cannot be part of a body"},
        {{{}, 3, "auto", {}, {}}, "has no time step 3; it has 2 steps"},
        {{{}, {}, "DISPL", {}, {}}, "no complete displacement triple DISPL_X, DISPL_Y, DISPL_Z (found none of them)"},
    };
    for (const auto& [options, expected] : refusals)
        EXPECT_THAT(refusalOf(options), AllOf(HasSubstr(path), HasSubstr(expected)));
}

TEST(ExodusLoader, RefusesBadFilesSayingWhatIsWrongAndWhere)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    struct BadFile {
        std::string what;
        std::function<void()> damage;  // of a file of shuffled bodies at path
        std::string message;
    };
    const auto reshaped = [&](const char* variable, ExodusTest::Index lengths) {
        return [=] { ExodusTest::reshapeIntVariable(path, variable, lengths, 1); };
    };
    const auto attribute = [&](const char* name, std::vector<int> values) {
        return [=] { ExodusTest::putIntAttribute(path, "", name, values); };
    };
    const std::vector<BadFile> cases{
        {"not netCDF", [&] { std::ofstream(path) << "CDF? not really a netCDF file\n"; },
         "cannot be opened as an Exodus II file"},
        {"truncated", [&] { std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2); }, "truncated"},
        {"too many nodes", [&] { ExodusTest::patchDimensionLength(path, "num_nodes", 2000000000u); },
         "places data up to byte"},
        {"too many steps", [&] { ExodusTest::patchRecordCount(path, 2000000000u); }, "places data up to byte"},
        {"too many elements", [&] { ExodusTest::patchDimensionLength(path, "num_el_in_blk1", 2000000000u); },
         "places data up to byte"},
        {"node past the end", [&] { ExodusTest::overwriteInt(path, "connect2", {0, 1}, 10); },
         "\"tool\" (id 2): element 1 refers to node 10, outside the file's nodes 1 to 9; fix the block's connectivity"},
        {"node 0", [&] { ExodusTest::overwriteInt(path, "connect2", {0, 1}, 0); }, "refers to node 0"},
        {"word size", attribute("floating_point_word_size", {2}),
         "its floating_point_word_size attribute gives 2 bytes per floating-point value; only 4 and 8 are supported"},
        {"attribute of three numbers", attribute("maximum_name_length", {8, 8, 8}),
         "its global attribute \"maximum_name_length\" holds 3 values where one number is expected"},
        {"block ids", reshaped("eb_prop1", {4096}),
         "its element block id variable \"eb_prop1\" holds 4096 values, not 2, one per element block"},
        {"block statuses", reshaped("eb_status", {64}),
         "its element block status variable \"eb_status\" holds 64 values, not 2, one per element block"},
        {"connectivity size", reshaped("connect1", {2048, 3}),
         "element block \"shuffled\" (id 1): its connectivity variable \"connect1\" holds 6144 values, not 6, 3 per "
         "element"},
        {"long element type", [&] { ExodusTest::putTextAttribute(path, "connect1", "elem_type", std::string(40, 'T')); },
         "element block \"shuffled\" (id 1): its element type is 40 characters long; at most 32 are supported"},
        {"non-finite coordinate",
         [&] { ExodusTest::overwriteFloat(path, "coordy", {2}, std::numeric_limits<float>::quiet_NaN()); },
         "element block \"shuffled\" (id 1): node 3 has a non-finite coordinate"},
    };
    for (const BadFile& bad : cases) {
        SCOPED_TRACE(bad.what);
        writeShuffledBodies(path);
        bad.damage();
        EXPECT_THAT(loadErrorOf([&] { ExodusLoader{path}; }), AllOf(HasSubstr(path), HasSubstr(bad.message)));
    }
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{directory.file("missing.exo")}; }), HasSubstr("cannot be read"));
    const std::string shortVariable = directory.file("short.exo");
    ExodusTest::generateFromCdl("exodus_short_variable.cdl", shortVariable);
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{shortVariable}; }),
                HasSubstr("\"TEMP\" holds 2 values per step, fewer than its 3 nodes"));
    const std::string hollow = directory.file("hollow.exo");  // compression lets counts exceed the size, not this far
    writeHollowNetcdf4File(hollow);
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{hollow}; }), HasSubstr("promises 1000000000 nodes, more than a file of"));
}
TEST(ExodusLoader, RefusesLocationsThatTheFileDoesNotHold)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    writeShuffledBodies(path);
    const ExodusLoader loader(path);
    const CoreIo::DataLocation temperature = resultAt(loader.bodies()[0], "TEMP", 1);

    RecordingMeshBuilder mesh;
    EXPECT_THAT(loadErrorOf([&] { loader.loadMesh({path, 99}, mesh); }), HasSubstr("no body at element block id 99"));
    EXPECT_THAT(loadErrorOf([&] { loader.loadMesh({"other.exo", 1}, mesh); }), HasSubstr("\"other.exo\""));
    EXPECT_EQ(mesh.builds, 0);

    RecordingResultBuilder values;
    EXPECT_THAT(loadErrorOf([&] { loader.loadResult(temperature, values, 2); }),
                AllOf(HasSubstr(path), HasSubstr("no time step 2; it has 1 steps")));
    EXPECT_THAT(loadErrorOf([&] { loader.loadResult({path, temperature.id, 0}, values, std::nullopt); }),
                HasSubstr("no time step 0"));
    EXPECT_THAT(loadErrorOf([&] { loader.loadResult({path, 2, 1}, values, std::nullopt); }),
                HasSubstr("no result with id 2"));
    EXPECT_THAT(loadErrorOf([&] { loader.loadResult({path, -1, 1}, values, std::nullopt); }),
                HasSubstr("no result with id -1"));
    EXPECT_TRUE(values.floatArrays.empty());

    class NoCurves : public CoreIo::CurveBuilderInterface {
        void build(const CoreIo::CurveBuilderParamColMajor&) override { ADD_FAILURE(); }
        void build(const CoreIo::CurveBuilderParamRowMajor&) override { ADD_FAILURE(); }
    } curves;
    EXPECT_THAT(loadErrorOf([&] { loader.loadCurve({path, 0}, curves); }), HasSubstr("holds no curves"));
}

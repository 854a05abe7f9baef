#include "ExodusLoader.h"
#include "ShellSampleFile.h"
#include "ExodusTestSupport.h"
#include "ExodusWriter.h"

#include <exodusII.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <numeric>
#include <set>
#include <string>
#include <vector>

using CoreIo::ExodusLoader;
using CoreIo::ResultValues;
using ExodusTest::MeshRecorder;
using ExodusTest::messageOf;
using ExodusTest::ResultRecorder;
using ExodusTest::ScratchDirectory;
using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;
using Doubles = std::vector<double>;

namespace {

std::vector<float> floats(std::initializer_list<double> values)
{
    return {values.begin(), values.end()};
}

CoreIo::DataLocation resultAt(const CoreIo::SimBody& body, const std::string& name, std::int64_t step)
{
    const auto entry = std::find_if(body.results.begin(), body.results.end(), [&](const CoreIo::ResultEntry& e) {
        return e.name == name && e.dataLocation.step == step;
    });
    EXPECT_NE(entry, body.results.end()) << body.name << " has no result " << name << " at step " << step;
    return entry == body.results.end() ? CoreIo::DataLocation{} : entry->dataLocation;
}

struct Edit {
    std::string from, to;
};

// A CDL text of tests/data, with edits, made a binary file of the format ncgen's -k option names
// (1 classic, 2 64-bit offsets, 3 netCDF-4, 5 64-bit data).
std::string generate(const ScratchDirectory& directory, const std::vector<Edit>& edits = {}, int kind = 1,
                     const std::string& cdl = "exodus_independent.cdl")
{
    std::ifstream in(std::string(COREIO_TEST_DATA_DIR) + "/" + cdl);
    std::string text{std::istreambuf_iterator<char>(in), {}};
    for (const Edit& edit : edits) {
        const std::size_t at = text.find(edit.from);
        EXPECT_NE(at, std::string::npos) << edit.from;
        if (at != std::string::npos)
            text = text.substr(0, at) + edit.to + text.substr(at + edit.from.size());
    }
    static int generated = 0;  // each file a name of its own: loaders read lazily
    const std::string source = directory.file("edited.cdl");
    const std::string target = directory.file("sample" + std::to_string(++generated) + ".exo");
    std::ofstream(source) << text;
    const std::string command = std::string(COREIO_NCGEN) + " -k " + std::to_string(kind) + " -o '" + target + "' '" +
                                source + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return target;
}

// The independent sample with its classic header rewritten past every check: the big-endian count
// that follows a dimension's name (padded to whole words), or for no name the number of records.
std::string patched(const ScratchDirectory& directory, std::string dimension, std::uint32_t count)
{
    const std::string path = generate(directory);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    dimension.resize((dimension.size() + 3) / 4 * 4, '\0');
    file.seekp(static_cast<std::streamoff>(dimension.empty() ? 4 : bytes.find(dimension) + dimension.size()));
    for (int shift = 24; shift >= 0; shift -= 8)
        file.put(static_cast<char>(count >> shift));
    return path;
}

// A netCDF-4 file that declares a billion nodes but stores none of their coordinates.
std::string hollowNetcdf4File(const ScratchDirectory& directory)
{
    const std::string path = directory.file("hollow.exo");
    int computeWordSize = 8;
    int storedWordSize = 4;
    const int file = ex_create(path.c_str(), EX_CLOBBER | EX_NETCDF4, &computeWordSize, &storedWordSize);
    const std::vector<int> triangle{1, 2, 3};
    EXPECT_EQ(ex_put_init(file, "hollow", 3, 1000000000, 1, 1, 0, 0), 0);
    EXPECT_EQ(ex_put_block(file, EX_ELEM_BLOCK, 1, "TRI3", 1, 3, 0, 0, 0), 0);
    EXPECT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, 1, triangle.data(), nullptr, nullptr), 0);
    EXPECT_EQ(ex_close(file), 0);
    return path;
}

// Corners, then mid-side nodes, then the centre, as Exodus II orders them; a convex quadrilateral
// whose diagonal from the second to the fourth corner is the shorter.
std::vector<std::array<double, 2>> elementNodes(std::size_t numCorners, int nodesPerElement)
{
    std::vector<std::array<double, 2>> nodes = numCorners == 3
                                                   ? std::vector<std::array<double, 2>>{{0, 0}, {3, 0}, {0, 2}}
                                                   : std::vector<std::array<double, 2>>{{0, 0}, {4, 0}, {5, 3}, {0, 1}};
    for (std::size_t k = 0; k < numCorners && nodes.size() < static_cast<std::size_t>(nodesPerElement); ++k)
        nodes.push_back(
            {(nodes[k][0] + nodes[(k + 1) % numCorners][0]) / 2, (nodes[k][1] + nodes[(k + 1) % numCorners][1]) / 2});
    std::array<double, 2> centre{};
    for (std::size_t k = 0; k < numCorners; ++k)
        centre = {centre[0] + nodes[k][0] / numCorners, centre[1] + nodes[k][1] / numCorners};
    nodes.resize(static_cast<std::size_t>(nodesPerElement), centre);
    return nodes;
}

}  // namespace

TEST(ExodusLoader, ReadsAnIndependentlyWrittenFileInEveryNetcdfFormatAndIntegerSize)
{
    const ScratchDirectory directory;
    const Edit int64{":file_size = 1 ;",
                     ":file_size = 1 ;\n:int64_status = " + std::to_string(EX_ALL_INT64_API) + " ;"};
    for (const auto& [kind, edit] : std::vector<std::pair<int, Edit>>{{1, {}}, {2, {}}, {3, {}}, {5, {}}, {1, int64}}) {
        SCOPED_TRACE("ncgen -k " + std::to_string(kind) + edit.to);
        const ExodusLoader loader(generate(directory, {edit}, kind));
        EXPECT_TRUE(loader.storesDoubles());
        ASSERT_EQ(loader.bodies().size(), 2u);
        const CoreIo::SimBody& body = loader.bodies()[0];
        EXPECT_EQ(body.name, "block_7");
        EXPECT_EQ(body.results.at(0).dataLocation.step, 2);  // the body's state first
        EXPECT_EQ(loader.bodies()[1].name, "quads");
        EXPECT_EQ(loader.listing().stepTimes, (Doubles{0, 2.5}));

        MeshRecorder mesh;
        MeshRecorder topology(true);
        loader.loadMesh(body.meshLocation, mesh);
        loader.loadMesh(body.meshLocation, topology);
        EXPECT_EQ(mesh.x, floats({4, 2, 3, 5}));  // file nodes 5, 3, 4, 6 in order of first use
        EXPECT_EQ(mesh.z, floats({-5, -3, -4, -6}));
        EXPECT_THAT(mesh.triangles, ElementsAre(0, 1, 2, 2, 1, 3));
        EXPECT_EQ(mesh.nx, floats({0.6, 0.6, 0.6, 0.6}));
        EXPECT_EQ(mesh.nz, floats({0.8, 0.8, 0.8, 0.8}));
        EXPECT_TRUE(topology.x.empty());
        EXPECT_EQ(topology.numNormals, 4u);  // each node stands for a tool vertex with a normal
        EXPECT_THAT(topology.solverIndexMapping, ElementsAre(104, 102, 103, 105));
        ResultRecorder temperatures;
        loader.loadResult(resultAt(body, "TEMP", 2), temperatures, std::nullopt);
        loader.loadResult(resultAt(loader.bodies()[1], "TEMP", 1), temperatures, std::nullopt);
        EXPECT_EQ(temperatures.received,
                  (std::vector<ResultValues>{Doubles{2.5, 2.3, 2.4, 2.6}, Doubles{1.1, 1.2, 1.3, 1.4}}));
    }
}

TEST(ExodusLoader, ReadsIdsOfSixtyFourBitsInTheFormatsThatHoldThem)
{
    const ScratchDirectory directory;
    const std::vector<Edit> wideIds{{"int eb_prop1", "int64 eb_prop1"},
                                    {"eb_prop1 = 7,", "eb_prop1 = 8589934599LL,"},
                                    {"int node_num_map", "int64 node_num_map"},
                                    {"node_num_map = 101,", "node_num_map = 1099511627877LL,"}};
    const std::string netcdf4 = generate(directory, wideIds, 3);
    const std::string cdf5 = directory.file("cdf5.exo");  // ncgen writes 32-bit integers into CDF-5
    const std::string copy = std::string(COREIO_NCCOPY) + " -k cdf5 '" + netcdf4 + "' '" + cdf5 + "'";
    ASSERT_EQ(std::system(copy.c_str()), 0) << copy;
    for (const std::string& path : {netcdf4, cdf5}) {
        SCOPED_TRACE(path);
        const ExodusLoader loader(path, {{"8589934599", "quads"}, {}, "none", {}, {}});
        EXPECT_EQ(loader.bodies()[0].meshLocation.id, 8589934599);
        EXPECT_THAT(loader.description(0).nodeIds, ElementsAre(105, 103, 104, 106, 1099511627877, 102));
        MeshRecorder topology(true);
        EXPECT_THAT(messageOf([&] { loader.loadMesh(loader.bodies()[0].meshLocation, topology); }),
                    HasSubstr(
                        "numbers node 1 1099511627877; a tool mesh's vertices are numbered from 1 to 2147483648"));
    }
}

TEST(ExodusLoader, CutsEverySurfaceElementFamilyIntoTrianglesOverAllItsNodesAndSkipsTheRest)
{
    const struct {
        std::string type;
        int nodesPerElement;
        std::size_t corners;    // 3 or 4
        std::size_t triangles;  // 0: the block is skipped
        std::string skipReason;
    } cases[] = {{"TRI", 3, 3, 1, ""},
                 {"trishell", 3, 3, 1, ""},
                 {"SHELL3", 3, 3, 1, ""},
                 {"QUAD4", 4, 4, 2, ""},
                 {"shell", 4, 4, 2, ""},
                 {"QuadShell4", 4, 4, 2, ""},
                 {"TRI6", 6, 3, 4, ""},
                 {"TRISHELL7", 7, 3, 6, ""},
                 {"QUAD8", 8, 4, 6, ""},
                 {"SHELL9", 9, 4, 8, ""},
                 {"HEX8", 8, 4, 0, "HEX8 elements make no surface"},
                 {"TRI", 5, 3, 0, "are no known triangles"},
                 {"QUAD4", 3, 3, 0, "contradict their type"}};
    CoreIo::ExodusMesh families;  // one element per block, each with nodes of its own
    for (const auto& element : cases) {
        auto& block = families.blocks.emplace_back(CoreIo::ExodusMesh::Block{
            static_cast<int>(families.blocks.size()) + 1, "", element.type, element.nodesPerElement, {}});
        for (const auto& [u, v] : elementNodes(element.corners, element.nodesPerElement)) {
            block.connectivity.push_back(static_cast<int>(families.x.size()));
            families.x.push_back(u + 10.0 * block.id);
            families.y.push_back(v);
            families.z.push_back(0.0);
        }
    }
    const ScratchDirectory directory;
    const std::string path = directory.file("families.exo");
    CoreIo::writeExodusMesh(path, families, CoreIo::ExodusPrecision::Double);
    const ExodusLoader loader(path, CoreIo::ExodusBodyOptions{});
    const ExodusLoader perBlock(path);

    std::size_t body = 0;
    for (std::size_t b = 0; b < std::size(cases); ++b) {
        const auto& element = cases[b];
        SCOPED_TRACE(element.type + " with " + std::to_string(element.nodesPerElement) + " nodes");
        EXPECT_THAT(loader.listing().blocks[b].skipReason, HasSubstr(element.skipReason));
        if (element.triangles == 0)
            continue;
        MeshRecorder mesh;
        perBlock.loadMesh(perBlock.bodies().at(body++).meshLocation, mesh);
        ASSERT_EQ(mesh.triangles.size(), 3 * element.triangles);
        EXPECT_EQ(std::set<int>(mesh.triangles.begin(), mesh.triangles.end()).size(),
                  static_cast<std::size_t>(element.nodesPerElement));
        double area = 0.0;
        for (std::size_t t = 0; t < mesh.triangles.size(); t += 3) {
            const auto [a, b2, c] = std::array{mesh.triangles[t], mesh.triangles[t + 1], mesh.triangles[t + 2]};
            const double twice = (mesh.x[b2] - mesh.x[a]) * (mesh.y[c] - mesh.y[a]) -
                                 (mesh.x[c] - mesh.x[a]) * (mesh.y[b2] - mesh.y[a]);
            EXPECT_GT(twice, 0.0) << "triangle " << t / 3 << " turned over";
            area += twice / 2;
            // a quadrilateral splits along its shorter diagonal, from the second corner to the fourth
            EXPECT_TRUE(element.nodesPerElement != 4 || (std::set{a, b2, c}.count(1) && std::set{a, b2, c}.count(3)));
        }
        EXPECT_NEAR(area, element.corners == 3 ? 3.0 : 8.5, 1e-6);
    }
    EXPECT_EQ(body, perBlock.bodies().size());
    const std::vector<std::string> warnings = loader.warnings();
    ASSERT_EQ(warnings.size(), 3u);  // one per skipped block
    EXPECT_THAT(warnings[0], AllOf(HasSubstr(path), HasSubstr("(id 11)"), HasSubstr("make no surface")));
    EXPECT_EQ(perBlock.warnings(), warnings);
}

TEST(ExodusLoader, FormsOneBodyOfTheChosenBlocksAtTheChosenStepWithItsDisplacement)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("sheet.exo");
    const std::string longName = "outer skin of the door panel, 1.2 mm, DC04 steel";
    CoreIoSamples::ShellSampleFile sheet;
    sheet.blockNames = {longName, "inner"};
    sheet.offset = {100000.0, 0.0, 0.0};
    sheet.displacement = [](double x, double, std::size_t step) { return std::array<double, 3>{0, 0, 0.1 * x * step}; };
    sheet.withInitialCoordinates = true;
    sheet.withBeam = true;
    sheet.firstNodeId = 501;
    sheet.firstElementId = 1001;
    CoreIoSamples::writeShellFile(path, sheet);

    const ExodusLoader whole(path, CoreIo::ExodusBodyOptions{});
    const CoreIo::ExodusBodyDescription& body = whole.description(0);
    EXPECT_THAT(body.blocks, ElementsAre(0, 1));
    EXPECT_EQ(body.fileNodes.size(), 15u);  // the row of nodes the blocks share counts once
    EXPECT_EQ(body.nodeIds.front(), 501);
    ASSERT_EQ(body.triangles.size(), 16u);
    EXPECT_EQ(body.triangles.back().elementId, 1008);
    EXPECT_EQ(body.step, 2);
    EXPECT_EQ(body.displacement, (std::array<std::string, 3>{"disp_x", "disp_y", "disp_z"}));
    EXPECT_EQ(body.initialCoordinates, "initialcoord0,initialcoord1");
    EXPECT_THAT(body.origin, ElementsAre(100001.0, 0.5, 0.0));
    MeshRecorder deformed;
    whole.loadMesh(whole.bodies()[0].meshLocation, deformed);
    EXPECT_EQ(deformed.x.front(), -1.0f);  // relative to the origin, without round-off
    EXPECT_FLOAT_EQ(deformed.z.back(), 0.2f);  // 0.1 * x * step index at x = 2, step 2

    const auto reference = CoreIo::parseInitialCoordinateSource("reference-cylinder-x");
    const CoreIo::ExodusBodyOptions chosen{{"2"}, 1, "none", reference, std::array<double, 3>{100000.0, 0.0, 0.0}};
    const ExodusLoader inner(path, chosen);
    EXPECT_THAT(inner.description(0).blocks, ElementsAre(1));
    EXPECT_FALSE(inner.description(0).displacement);
    EXPECT_EQ(inner.bodies()[0].name, "inner");
    ResultRecorder axial;
    inner.loadResult(resultAt(inner.bodies()[0], "INITIALCOORD1", 1), axial, std::nullopt);
    // the inner block's first x, from the centre of the inner block's extent along x
    EXPECT_EQ(std::get<Doubles>(axial.received.at(0)).front(), -1.0);

    const std::string choices = "has no element block named or numbered \"outer skin of the door panel, 1.\"; choose "
                                "among its blocks: id 1 \"" +
                                longName +
                                "\" (SHELL4); id 2 \"inner\" (SHELL4); id 9 "
                                "\"stiffener\" (BEAM2, skipped: BEAM2 elements make no surface)";
    const std::vector<std::pair<CoreIo::ExodusBodyOptions, std::string>> refusals{
        {{{"outer skin of the door panel, 1."}, {}, "auto", {}, {}}, choices},
        {{{"stiffener"}, {}, "auto", {}, {}}, "element block \"stiffener\" (id 9) cannot be part of a body"},
        {{{}, 3, "auto", {}, {}}, "has no time step 3; it has 2 steps"},
        {{{}, {}, "DISPL", {}, {}}, "no complete displacement triple DISPL_X, DISPL_Y, DISPL_Z (found none of them)"},
    };
    for (const auto& [options, expected] : refusals)
        EXPECT_THAT(messageOf([&] { ExodusLoader(path, options); }), AllOf(HasSubstr(path), HasSubstr(expected)));
}

TEST(ExodusLoader, HandsOutShapesAndMaterialCoordinatesInDoublePrecisionAndRecordsNearZero)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("far.exo");
    CoreIoSamples::ShellSampleFile sheet;
    sheet.offset = {1e6 + 0.1, -2e6, 3.0};
    sheet.displacement = [](double x, double, std::size_t step) { return std::array{0.0, 0.0, 1e-3 * x * step}; };
    sheet.withInitialCoordinates = true;
    sheet.initialCoordinateOffset = {1e6, 5e5};
    CoreIoSamples::writeShellFile(path, sheet);
    const ExodusLoader loader(path, CoreIo::ExodusBodyOptions{});
    const CoreIo::ExodusBodyDescription& body = loader.description(0);
    EXPECT_EQ(body.materialOrigin, (std::array{1e6 + 1.0, 5e5 + 0.5}));  // the centre of their box
    const std::vector<std::array<double, 3>> positions = loader.positions(0);
    const std::vector<std::array<double, 2>> material = loader.initialCoordinates(0);
    const Doubles displacement = loader.readNodalVariable(0, "DISP_Z");
    ResultRecorder records;
    loader.loadResult(resultAt(loader.bodies()[0], "INITIALCOORD0", 2), records, std::nullopt);
    const ExodusLoader shared(path, {{}, {}, "auto", {}, {}, std::array{1e6, 0.0}});
    shared.loadResult(resultAt(shared.bodies()[0], "INITIALCOORD0", 2), records, std::nullopt);
    ASSERT_EQ(positions.size(), body.fileNodes.size());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const int node = body.fileNodes[i];  // as the sheet's writer places it
        const double x = sheet.width * (node % (sheet.cellsX + 1)) / sheet.cellsX;
        const double y = sheet.height * (node / (sheet.cellsX + 1)) / sheet.cellsY;
        EXPECT_EQ(positions[i], (std::array{x + sheet.offset[0], y + sheet.offset[1], 3.0 + 1e-3 * x}));
        EXPECT_EQ(displacement[i], 1e-3 * x);
        EXPECT_EQ(material[i], (std::array{x + 1e6, y + 5e5}));
        EXPECT_EQ(ExodusTest::asDoubles(records.received.at(0))[i], x - 1.0);
        EXPECT_EQ(ExodusTest::asDoubles(records.received.at(1))[i], x);
    }
}

TEST(ExodusLoader, ReadsTheValuesOfEveryLayoutOfTheFormatWhateverItsFileSizeAttributeClaims)
{
    const Edit valuesInOneArray{"double vals_nod_var1(time_step, num_nodes) ;\n\tdouble vals_nod_var2(time_step, "
                                "num_nodes) ;\n\tdouble vals_nod_var3(time_step, num_nodes) ;",
                                "double vals_nod_var(time_step, num_nod_var, num_nodes) ;"};
    const Edit valuesInOneArrayData{
        " vals_nod_var1 =\n  0, 0, 0, 0,\n  0.5, 0.5, 0.5, 0.5 ;\n vals_nod_var2 =\n  "
        "0, 0, 0, 0,\n  0, 0, 0, 0 ;\n vals_nod_var3 =\n  0, 0, 0, 0,\n",
        " vals_nod_var = 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,\n  0.5, 0.5, 0.5, 0.5, 0, 0, 0, 0,\n"};
    const Edit claimsOneArrayPerAxis{":title", ":file_size = 1 ;\n:title"};
    const std::vector<std::string> named{"DISPL_X", "DISPL_Y", "DISPL_Z"};
    const std::vector<float> movedX{0.5, 1.5, 1.5, 0.5};
    const std::vector<float> movedZ{0, 0.25, 0.25, 0};
    const struct {
        const char* layout;
        std::vector<Edit> edits;
        std::vector<std::string> variables;
        std::vector<float> x, z;
    } cases[] = {
        {"one coordinate array, one array per nodal variable", {}, named, movedX, movedZ},
        {"one array of all nodal variables", {valuesInOneArray, valuesInOneArrayData}, named, movedX, movedZ},
        {"a file_size attribute that claims one array per axis", {claimsOneArrayPerAxis}, named, movedX, movedZ},
        {"no title", {{":title = \"one coordinate array\" ;", ""}}, named, movedX, movedZ},
        {"nodal variables without names",
         {{"char name_nod_var(num_nod_var, len_name) ;", ""},
          {"name_nod_var = \"DISPL_X\", \"DISPL_Y\", \"DISPL_Z\" ;", ""}},
         {"nodal_variable_1", "nodal_variable_2", "nodal_variable_3"},
         {0, 1, 1, 0},
         {0, 0, 0, 0}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.layout);
        const ScratchDirectory directory;
        const ExodusLoader loader(generate(directory, row.edits, 1, "exodus_one_coordinate_array.cdl"),
                                  {{}, {}, "auto", {}, std::array<double, 3>{}});
        EXPECT_EQ(loader.listing().nodalVariables, row.variables);
        MeshRecorder mesh;
        loader.loadMesh(loader.bodies()[0].meshLocation, mesh);
        EXPECT_EQ(mesh.x, row.x);
        EXPECT_EQ(mesh.z, row.z);
    }
}

TEST(ExodusLoader, TakesTheLastStepWhoseValuesAreWrittenAndRefusesValuesThatAreNoData)
{
    const ScratchDirectory directory;
    const Edit thirdStepNeverWritten{"time_whole = 0, 1 ;", "time_whole = 0, 1, 2 ;"};
    const std::string path = generate(directory, {thirdStepNeverWritten}, 1, "exodus_one_coordinate_array.cdl");
    const ExodusLoader last(path, CoreIo::ExodusBodyOptions{});
    EXPECT_EQ(last.description(0).step, 2);
    EXPECT_EQ(last.description(0).unwrittenStepsSkipped, 1);
    const Edit secondStepUnwritten{"0, 0.25, 0.25, 0 ;", "_, _, _, _ ;"};
    const ExodusLoader first(generate(directory, {thirdStepNeverWritten, secondStepUnwritten}, 1,
                                      "exodus_one_coordinate_array.cdl"),
                             CoreIo::ExodusBodyOptions{});
    EXPECT_EQ(first.description(0).step, 1);
    EXPECT_EQ(first.description(0).unwrittenStepsSkipped, 2);
    const ExodusLoader third(path, {{}, 3, "auto", {}, {}});
    const std::string notANumber = generate(directory, {{"0, 0.25, 0.25, 0 ;", "0, 0.25, NaN, 0 ;"}}, 1,
                                            "exodus_one_coordinate_array.cdl");
    const ExodusLoader withNotANumber(notANumber, CoreIo::ExodusBodyOptions{});
    MeshRecorder mesh;
    const std::string thirdStep = "at step 3 was never written (it holds the fill value 9.96921e+36) at ";
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[&] { third.loadMesh(third.bodies()[0].meshLocation, mesh); },
         "nodal variable \"DISPL_X\" " + thirdStep +
             "node 1 (ID 11) of element block \"square\" (id 1), at 4 of its 4 nodes in all; choose a step"},
        {[&] { third.readElementVariable(0, "stress", 3); },
         "element variable \"STRESS\" " + thirdStep +
             "element 1 (ID 21) of element block \"square\" (id 1), at 2 "
             "of its 2 elements in all"},
        {[&] { withNotANumber.loadMesh(withNotANumber.bodies()[0].meshLocation, mesh); },
         "nodal variable \"DISPL_Z\" at step 2 is not finite at node 3 (ID 13) of element block \"square\" (id 1), at "
         "1 of its 4 nodes in all; fix the values"},
    };
    for (const auto& [load, message] : cases)
        EXPECT_THAT(messageOf(load), HasSubstr(message));
    EXPECT_EQ(mesh.builds, 0);
}

TEST(ExodusLoader, ListsABlockItCannotUseWithTheReasonAndUsesTheRest)
{
    const ScratchDirectory directory;
    const Edit nodeBeyondTheFile{"5, 3, 4,", "5, 3, 40,"};
    const std::string longType(40, 'T');
    const struct {
        const char* what;
        std::vector<Edit> edits;
        std::string reason;
    } cases[] = {
        {"an element type it does not know, naming nodes the file lacks",
         {{"trishell", "BEX_TRI3"}, nodeBeyondTheFile},
         "BEX_TRI3 elements make no surface"},
        {"an element type of 40 characters", {{"trishell", longType}}, longType + " elements make no surface"},
        {"surface elements naming nodes the file lacks",
         {nodeBeyondTheFile},
         "element 1 refers to node 40, outside the file's nodes 1 to 6; fix the block's connectivity"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        const std::string path = generate(directory, row.edits);
        const CoreIo::ExodusListing listing = CoreIo::listExodusFile(path);
        EXPECT_EQ(listing.blocks.at(0).skipReason, row.reason);
        EXPECT_EQ(listing.blocks.at(1).numNodes, 4);
        EXPECT_EQ(ExodusLoader(path, {{"quads"}, {}, "auto", {}, {}}).description(0).fileNodes.size(), 4u);
        EXPECT_THAT(messageOf([&] { ExodusLoader(path, {{"7"}, {}, "auto", {}, {}}); }), HasSubstr(row.reason));
    }
}

TEST(ExodusLoader, GivesEveryBlockOneNameThatMessagesUseAndSelectionsTake)
{
    const ScratchDirectory directory;
    const struct {
        std::string storedNames;
        std::array<std::string, 2> names;
        std::string selection;
        std::int64_t chosen;  // block id
    } cases[] = {
        {R"("", "")", {"block_7", "block_20"}, "block_20", 20},
        {R"("", "block_7")", {"unnamed_block_7", "block_7"}, "unnamed_block_7", 7},
        {R"("", "block_7")", {"unnamed_block_7", "block_7"}, "block_7", 20},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.storedNames + " choosing " + row.selection);
        const std::string path = generate(directory, {{R"(eb_names = "", "quads")", "eb_names = " + row.storedNames}});
        const ExodusLoader loader(path, {{row.selection}, {}, "auto", {}, {}});
        EXPECT_EQ(loader.listing().blocks[0].name, row.names[0]);
        EXPECT_EQ(loader.listing().blocks[1].name, row.names[1]);
        EXPECT_EQ(loader.listing().blocks[0].storedName, "");
        EXPECT_EQ(loader.bodies()[0].meshLocation.id, row.chosen);
        EXPECT_THAT(messageOf([&] {
                        ExodusLoader(path, {{"99"}, {}, "auto", {}, {}});
                    }),
                    HasSubstr("choose among its blocks: id 7 \"" + row.names[0] + "\" (trishell)"));
    }
    const std::string twice = generate(directory, {{R"(eb_names = "", "quads")", R"(eb_names = "quads", "quads")"}});
    EXPECT_THAT(messageOf([&] {
                    ExodusLoader(twice, {{"quads"}, {}, "auto", {}, {}});
                }),
                HasSubstr("has several element blocks named \"quads\"; choose one by its id"));
}

TEST(ExodusLoader, TakesTheDisplacementTripleThatIsChosenOrTheOnlyOneAndRefusesAmbiguity)
{
    const std::vector<std::string> twoSpellings{"disp_x", "disp_y", "disp_z", "DISP_X", "DISP_Y", "DISP_Z"};
    const std::string ambiguous = "its displacement is ambiguous: disp_x, disp_y, disp_z and DISP_X, DISP_Y, DISP_Z "
                                  "are each a complete triple; choose one as the displacement by its stem (disp and "
                                  "DISP)";
    const struct {
        std::vector<std::string> variables;
        std::string choice;
        std::string expected;  // the triple chosen, or the refusal
    } cases[] = {
        {twoSpellings, "auto", ambiguous},
        {twoSpellings, "Disp", ambiguous},
        {twoSpellings, "DISP", "DISP_X DISP_Y DISP_Z"},
        {twoSpellings, "disp", "disp_x disp_y disp_z"},
        {{"TEMP", "Disp_X", "DISP_Y", "disp_z"}, "auto", "Disp_X DISP_Y disp_z"},
        {{"DISPLX", "DISPLY", "DISPLZ", "DISTANCE"}, "auto", "DISPLX DISPLY DISPLZ"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.choice + " among " + row.variables.front() + "...");
        CoreIo::ExodusMesh mesh;
        mesh.x = {0, 1, 0};
        mesh.y = {0, 0, 1};
        mesh.z = {0, 0, 0};
        mesh.blocks = {{1, "", "TRI3", 3, {0, 1, 2}}};
        mesh.times = {1.0};
        for (const std::string& name : row.variables)
            mesh.nodalVariables.push_back({name, {{0.0, 0.0, 0.0}}});
        const ScratchDirectory directory;
        CoreIo::writeExodusMesh(directory.file("variables.exo"), mesh, CoreIo::ExodusPrecision::Float);
        try {
            const ExodusLoader loader(directory.file("variables.exo"), {{}, {}, row.choice, {}, {}});
            const std::array<std::string, 3> triple = loader.description(0).displacement.value();
            EXPECT_EQ(triple[0] + " " + triple[1] + " " + triple[2], row.expected);
        } catch (const CoreIo::LoadError& error) {
            EXPECT_THAT(error.what(), HasSubstr(row.expected));
        }
    }
}

TEST(ExodusLoader, RefusesBadFilesSayingWhatIsWrongAndWhere)
{
    const ScratchDirectory directory;
    const auto edited = [&](std::string from, std::string to) {
        return [=, &directory] { return generate(directory, {{from, to}}); };
    };
    const auto header = [&](std::string dimension) {
        return [=, &directory] { return patched(directory, dimension, 2000000000u); };
    };
    const std::vector<std::pair<std::function<std::string()>, std::string>> cases{
        {[&] {
             std::ofstream(directory.file("sample.exo")) << "CDF? not really a netCDF file\n";
             return directory.file("sample.exo");
         },
         "cannot be opened as an Exodus II file"},
        {[&] {
             const std::string path = generate(directory);
             std::filesystem::resize_file(path, 1200);
             return path;
         },
         "truncated"},
        {[&] { return directory.file("missing.exo"); }, "cannot be read"},
        {header("num_nodes"), "places data up to byte"},
        {header("num_el_in_blk1"), "places data up to byte"},
        {header(""), "places data up to byte"},
        {[&] { return hollowNetcdf4File(directory); }, "promises 1000000000 nodes, more than a file of"},
        {edited("5, 3, 4,", "5, 3, 40,"), "\"block_7\" (id 7): element 1 refers to node 40, outside the file's nodes 1 "
                                          "to 6; fix the block's connectivity"},
        {edited("4, 3, 6 ;", "4, 3, 0 ;"), "refers to node 0"},
        {edited("floating_point_word_size = 8", "floating_point_word_size = 2"),
         "its floating_point_word_size attribute gives 2 bytes per floating-point value; only 4 and 8 are supported"},
        {edited(":file_size = 1 ;", ":file_size = 1, 1, 1 ;"),
         "its global attribute \"file_size\" holds 3 values where one number is expected"},
        {edited(":version = 6.02f ;", ""), "failed to get database version for the file (NetCDF: Attribute not found)"},
        {edited("eb_prop1(num_el_blk)", "eb_prop1(four)"),
         "its element block id variable \"eb_prop1\" holds 4 values, not 2, one per element block"},
        {edited("eb_prop1 = 7, 20 ;", "eb_prop1 = 7, 7 ;"),
         "its element blocks 1 and 2 (in the file's order) share the id 7; an id names one block"},
        {edited("eb_status(num_el_blk)", "eb_status(four)"),
         "its element block status variable \"eb_status\" holds 4 values, not 2, one per element block"},
        {edited("connect1(num_el_in_blk1", "connect1(four"),
         "element block \"block_7\" (id 7): its connectivity variable \"connect1\" holds 12 values, not 6, 3 per "
         "element"},
        {edited("coordy = 0.5, 1.5, 2.5", "coordy = 0.5, 1.5, NaN"), "(id 7): node 3 has a non-finite coordinate"},
        {[&] { return generate(directory, {}, 1, "exodus_short_variable.cdl"); },
         "\"TEMP\" holds 2 values per step, fewer than its 3 nodes"},
    };
    for (const auto& [makeFile, message] : cases) {
        SCOPED_TRACE(message);
        const std::string path = makeFile();
        EXPECT_THAT(messageOf([&] { ExodusLoader{path}; }), AllOf(HasSubstr(path), HasSubstr(message)));
    }
}

TEST(ExodusLoader, RefusesLocationsThatTheFileDoesNotHold)
{
    const ScratchDirectory directory;
    const std::string path = generate(directory);
    const ExodusLoader loader(path);
    const CoreIo::DataLocation temperature = resultAt(loader.bodies()[0], "TEMP", 1);
    class NoCurves : public CoreIo::CurveBuilderInterface {
        void build(const CoreIo::CurveBuilderParamColMajor&) override { ADD_FAILURE(); }
        void build(const CoreIo::CurveBuilderParamRowMajor&) override { ADD_FAILURE(); }
    } curves;
    MeshRecorder mesh;
    ResultRecorder values;
    const auto loadingMesh = [&](CoreIo::MeshLocation at) {
        return [=, &loader, &mesh] { loader.loadMesh(at, mesh); };
    };
    const auto loadingResult = [&](CoreIo::DataLocation at, std::optional<std::int64_t> step = std::nullopt) {
        return [=, &loader, &values] { loader.loadResult(at, values, step); };
    };
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {loadingMesh({path, 99}), "no body at element block id 99"},
        {loadingMesh({"other.exo", 7}), "\"other.exo\""},
        {loadingResult(temperature, 3), "no time step 3; it has 2 steps"},
        {loadingResult({path, temperature.id, 0}), "no time step 0"},
        {loadingResult({path, 999, 1}), "no result with id 999"},
        {loadingResult({path, -1, 1}), "no result with id -1"},
        {[&] {
             loader.loadCurve({path, 0}, curves);
         },
         "holds no curves"},
    };
    for (const auto& [load, message] : cases)
        EXPECT_THAT(messageOf(load), HasSubstr(message));
    EXPECT_EQ(mesh.builds, 0);
    EXPECT_TRUE(values.received.empty());
}

#include "ExodusLoader.h"
#include "ExodusTestSupport.h"
#include "ExodusWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using CoreIo::ExodusMesh;
using CoreIo::ExodusPrecision;
using ExodusTest::messageOf;
using ExodusTest::ScratchDirectory;
using testing::HasSubstr;
using Doubles = std::vector<double>;

namespace {

// A quad block with unordered node and element IDs, a triangle block of a long name and a
// six-node block, a nodal variable and two element variables (one of them not in the first block)
// over two steps.
ExodusMesh mixedMesh()
{
    ExodusMesh mesh;
    mesh.x = {0, 1, 2, 0, 1, 2, 0, 1, 2};
    mesh.y = {0, 0, 0, 1, 1, 1, 2, 2, 2};
    mesh.z = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 1.0 / 3.0};
    mesh.nodeIds = {90, 80, 70, 60, 50, 40, 30, 20, 11};
    mesh.blocks = {{12, "", "SHELL4", 4, {0, 1, 4, 3}},
                   {7, std::string(100, 'L') + " the part's long name", "TRI3", 3, {1, 2, 5, 1, 5, 4}},
                   {3, "second order", "TRI6", 6, {3, 4, 7, 6, 8, 5}}};
    mesh.elementIds = {1000, 3, 2, 999};
    mesh.times = {0.0, 0.25};
    mesh.nodalVariables = {{"TEMP", {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {-1, -2, -3, -4, -5, -6, -7, -8, 1.0 / 3.0}}}};
    mesh.elementVariables = {{"STRESS", {{{}, {10, 20}, {30}}, {{}, {11, 21}, {31}}}},
                             {"STRAIN", {{{7}, {40, 50}, {60}}, {{8}, {41, 51}, {61}}}}};
    mesh.qa = ExodusMesh::QaRecord{"coreio-align", "0.1.0", "2024-05-17", "13:45:00"};
    return mesh;
}

double stored(double value, ExodusPrecision precision)
{
    return precision == ExodusPrecision::Float ? static_cast<float>(value) : value;
}

// Reads the file back through the loader as one body of every block, at the origin.
void expectReadBack(const std::string& path, const ExodusMesh& mesh, ExodusPrecision precision)
{
    const CoreIo::ExodusLoader loader(path, {{}, {}, "none", {}, std::array<double, 3>{}});
    const CoreIo::ExodusListing& listing = loader.listing();
    EXPECT_EQ(listing.wordSize, precision == ExodusPrecision::Float ? 4 : 8);
    EXPECT_EQ(listing.stepTimes, mesh.times);
    ASSERT_EQ(listing.blocks.size(), mesh.blocks.size());
    for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
        const ExodusMesh::Block& block = mesh.blocks[b];
        EXPECT_EQ(std::tie(listing.blocks[b].id, listing.blocks[b].storedName, listing.blocks[b].elementType),
                  std::tie(block.id, block.name, block.elementType));
        std::vector<int> fromOne = block.connectivity;
        std::for_each(fromOne.begin(), fromOne.end(), [](int& node) { ++node; });
        EXPECT_EQ(loader.blockConnectivity(b), fromOne);
        for (const ExodusMesh::ElementVariable& variable : mesh.elementVariables) {
            for (std::size_t step = 0; step < mesh.times.size() && !variable.steps[step][b].empty(); ++step)
                EXPECT_EQ(loader.readElementVariable(b, variable.name, static_cast<std::int64_t>(step) + 1),
                          variable.steps[step][b]);
            if (variable.steps.at(0)[b].empty()) {  // a block without the variable is named in the refusal
                EXPECT_THAT(messageOf([&] { loader.readElementVariable(b, variable.name, 1); }),
                            HasSubstr("holds no values of element variable \"" + variable.name + "\""));
            }
        }
    }
    const CoreIo::ExodusBodyDescription& body = loader.description(0);
    EXPECT_EQ(body.triangles.front().elementId, mesh.elementIds.empty() ? 1 : mesh.elementIds.front());
    ExodusTest::MeshRecorder positions;
    loader.loadMesh(loader.bodies()[0].meshLocation, positions);
    const ExodusMesh::NodalVariable& last = mesh.nodalVariables.back();
    ExodusTest::ResultRecorder recorder;
    for (const CoreIo::ResultEntry& result : loader.bodies()[0].results)
        if (result.name == last.name && result.dataLocation.step == static_cast<std::int64_t>(mesh.times.size()))
            loader.loadResult(result.dataLocation, recorder, std::nullopt);
    const Doubles values = ExodusTest::asDoubles(recorder.received.at(0));
    for (std::size_t node = 0; node < body.fileNodes.size(); ++node) {
        const auto file = static_cast<std::size_t>(body.fileNodes[node]);
        EXPECT_EQ(body.nodeIds[node], mesh.nodeIds.empty() ? static_cast<int>(file) + 1 : mesh.nodeIds[file]);
        EXPECT_EQ(positions.z[node], static_cast<float>(mesh.z[file]));
        EXPECT_EQ(values[node], stored(last.steps.back()[file], precision));
    }
}

}  // namespace

TEST(ExodusWriter, WritesWhatReadsBackUnchanged)
{
    ExodusMesh noMaps = mixedMesh();
    noMaps.nodeIds.clear();
    noMaps.elementIds.clear();
    const CoreIo::ExodusWriter::Body sheet{{0, 1, 1, 0}, {0, 0, 1, 1}, {0, 0, 0, 0}, {0, 1, 2, 0, 2, 3},
                                           {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}};
    const CoreIo::ExodusWriter::Body lid{{2, 3, 2}, {0, 0, 1}, {5, 6, 7}, {0, 1, 2}, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}};
    ExodusMesh bodiesAsMesh;  // the lid's nodes after the sheet's
    bodiesAsMesh.x = {0, 1, 1, 0, 2, 3, 2};
    bodiesAsMesh.y = {0, 0, 1, 1, 0, 0, 1};
    bodiesAsMesh.z = {0, 0, 0, 0, 5, 6, 7};
    bodiesAsMesh.blocks = {{1, "sheet", "TRI3", 3, sheet.triangles}, {2, "lid", "TRI3", 3, {4, 5, 6}}};
    bodiesAsMesh.times = {0.0};
    bodiesAsMesh.nodalVariables = {{"TEMP", {{1, 2, 3, 4, 5, 6, 7}}}};
    const auto writeMesh = [](const ExodusMesh& mesh, ExodusPrecision precision) {
        return [=](const std::string& path) { CoreIo::writeExodusMesh(path, mesh, precision); };
    };
    const auto writeBodies = [&](const std::string& path) {
        CoreIo::ExodusWriter writer(path);
        writer.addBody("sheet", sheet);
        writer.addBody("lid", lid);
        writer.addNodalVariable("TEMP", {{{1, 2, 3, 4}, {5, 6, 7}}});
        writer.write();
    };
    ExodusMesh anyBlockIds = mixedMesh();
    anyBlockIds.blocks[0].id = 0;
    anyBlockIds.blocks[2].id = -3;
    ExodusMesh wideIds = mixedMesh();
    wideIds.blocks[1].id = (std::int64_t{1} << 33) + 7;
    wideIds.nodeIds[0] = (std::int64_t{1} << 40) + 1;
    wideIds.elementIds[0] = std::int64_t{1} << 35;
    const std::string classic = "netCDF 64-bit offset";
    const struct {
        const char* what;
        std::function<void(const std::string&)> write;
        ExodusMesh expected;
        ExodusPrecision precision;
        std::string format;
    } cases[] = {
        {"blocks of any type with IDs, long names, maps and variables", writeMesh(mixedMesh(), ExodusPrecision::Double),
         mixedMesh(), ExodusPrecision::Double, classic},
        {"float storage", writeMesh(mixedMesh(), ExodusPrecision::Float), mixedMesh(), ExodusPrecision::Float, classic},
        {"no maps stand for IDs 1 to n", writeMesh(noMaps, ExodusPrecision::Double), noMaps, ExodusPrecision::Double,
         classic},
        {"block IDs 0 and negative", writeMesh(anyBlockIds, ExodusPrecision::Float), anyBlockIds,
         ExodusPrecision::Float, classic},
        {"IDs of 64 bits", writeMesh(wideIds, ExodusPrecision::Float), wideIds, ExodusPrecision::Float, "netCDF-4"},
        {"triangle bodies the short way", writeBodies, bodiesAsMesh, ExodusPrecision::Float, classic},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        const ScratchDirectory directory;
        row.write(directory.file("mesh.exo"));
        expectReadBack(directory.file("mesh.exo"), row.expected, row.precision);
        EXPECT_EQ(CoreIo::listExodusFile(directory.file("mesh.exo")).format, row.format);
    }
}

TEST(ExodusWriter, RefusesMeshesThatDoNotFitAndTargetsItCannotWriteLeavingTheTargetAsItWas)
{
    const ScratchDirectory directory;
    const std::string target = directory.file("target.exo");
    ExodusMesh earlier = mixedMesh();
    earlier.elementVariables.clear();
    CoreIo::writeExodusMesh(target, earlier, ExodusPrecision::Float);
    const struct {
        std::function<void(ExodusMesh&)> spoil;
        std::string path;
        std::string message;
    } cases[] = {
        {[](ExodusMesh& m) { m.blocks[2].connectivity[4] = 9; }, target,
         "\"second order\"): element 0 refers to node 9"},
        {[](ExodusMesh& m) { m.blocks[0].connectivity.pop_back(); }, target, "block 1 (ID 12)"},
        {[](ExodusMesh& m) { m.blocks[2].id = 7; }, target, "block 3 (ID 7, \"second order\"): the ID is taken"},
        {[](ExodusMesh& m) { m.blocks[1].name.assign(257, 'n'); }, target, "257 characters"},
        {[](ExodusMesh& m) { m.blocks[2].elementType.clear(); }, target, "\"second order\"): the element type"},
        {[](ExodusMesh& m) { m.nodeIds[8] = 90; }, target, "node number map holds the ID 90 twice"},
        {[](ExodusMesh& m) { m.elementIds.pop_back(); }, target, "element number map has 3 IDs where 4"},
        {[](ExodusMesh& m) { m.y[5] = std::numeric_limits<double>::infinity(); }, target, "node 5"},
        {[](ExodusMesh& m) { m.times.pop_back(); }, target, "\"TEMP\" has 2 steps where 1"},
        {[](ExodusMesh& m) { m.elementVariables[0].steps[1][0] = {1.0}; }, target, "\"STRESS\" at step 2: block 1"},
        {[](ExodusMesh& m) { m.qa->version.assign(33, 'v'); }, target, "QA record"},
        {[](ExodusMesh& m) { m.nodalVariables[0].steps[1][3] = 1e300; }, target, "\"TEMP\" at step 2"},
        {[](ExodusMesh&) {}, directory.file("missing/target.exo"),
         "the folder \"" + directory.file("missing") + "\" does not exist"},
        {[](ExodusMesh&) {}, directory.file(""), "is a folder"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.message);
        ExodusMesh mesh = mixedMesh();
        row.spoil(mesh);
        const auto write = [&] { CoreIo::writeExodusMesh(row.path, mesh, ExodusPrecision::Float); };
        EXPECT_THAT(messageOf<std::exception>(write), HasSubstr(row.message));
    }
    EXPECT_TRUE(CoreIo::listExodusFile(target).elementVariables.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.file("")), {}), 1);  // no temporary file left
}

#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
#include "ExodusLoader.h"
#include "ExodusTestSupport.h"
#include "ExodusWriter.h"
#include "FixedUntransformedMeshProvider.h"
#include "QRVService_Logging.h"

#include <exodusII.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>

#include <filesystem>
#include <fstream>
#include <limits>
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
// triangles whose type is spelled in lower case.
void writeMixedBlocks(const std::string& path)
{
    int computeWordSize = 8;
    int storedWordSize = 4;
    const int file = ex_create(path.c_str(), EX_CLOBBER, &computeWordSize, &storedWordSize);
    ASSERT_GE(file, 0);
    ASSERT_EQ(ex_put_init(file, "mixed", 3, 6, 4, 4, 0, 0), 0);
    const std::vector<double> x{0, 1, 0, 1, 2, 2}, y{0, 0, 1, 1, 0, 1}, z(6, 0.0);
    ASSERT_EQ(ex_put_coord(file, x.data(), y.data(), z.data()), 0);
    const std::vector<int> triangle{1, 2, 3}, quad{1, 2, 4, 3}, sixNodes{1, 2, 3, 4, 5, 6}, lower{2, 5, 4};
    ASSERT_EQ(ex_put_block(file, EX_ELEM_BLOCK, 1, "TRI3", 1, 3, 0, 0, 0), 0);
    ASSERT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, 1, triangle.data(), nullptr, nullptr), 0);
    ASSERT_EQ(ex_put_block(file, EX_ELEM_BLOCK, 2, "QUAD4", 1, 4, 0, 0, 0), 0);
    ASSERT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, 2, quad.data(), nullptr, nullptr), 0);
    ASSERT_EQ(ex_put_block(file, EX_ELEM_BLOCK, 3, "TRI", 1, 6, 0, 0, 0), 0);
    ASSERT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, 3, sixNodes.data(), nullptr, nullptr), 0);
    ASSERT_EQ(ex_put_block(file, EX_ELEM_BLOCK, 4, "triangle", 1, 3, 0, 0, 0), 0);
    ASSERT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, 4, lower.data(), nullptr, nullptr), 0);
    std::string names[4] = {"plain", "quads", "quadratic", "lower"};
    char* namePointers[4] = {names[0].data(), names[1].data(), names[2].data(), names[3].data()};
    ASSERT_EQ(ex_put_names(file, EX_ELEM_BLOCK, namePointers), 0);
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

TEST(ExodusLoader, LetsTheToolMeshBuilderBuildTheBodyFromTheToolMeshThroughTheNodeNumbers)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("tool.exo");
    ExodusWriter::Body body;  // the untransformed tool, whose vertices are the file's nodes
    body.x = {0, 1, 0, 1};
    body.y = {0, 0, 1, 1};
    body.z = {0, 0, 0, 0.5};
    body.nx = {0, 0, 0.6, 0.8};
    body.ny = {0, 0.6, 0, 0};
    body.nz = {1, 0.8, 0.8, 0.6};
    body.triangles = {3, 1, 2, 2, 1, 0};  // first use: file nodes 3, 1, 2, 0
    ExodusWriter writer(path);
    writer.addBody("tool", body);
    writer.write();

    const std::vector<float> x(body.x.begin(), body.x.end()), y(body.y.begin(), body.y.end()),
        z(body.z.begin(), body.z.end()), nx(body.nx.begin(), body.nx.end()), ny(body.ny.begin(), body.ny.end()),
        nz(body.nz.begin(), body.nz.end());
    CoreIo::MeshBuilderParamColMajor toolRecord;
    toolRecord.numNodes = toolRecord.numNormals = 4;
    toolRecord.x = x.data();
    toolRecord.y = y.data();
    toolRecord.z = z.data();
    toolRecord.nx = nx.data();
    toolRecord.ny = ny.data();
    toolRecord.nz = nz.data();
    Calvora::BaseGeometryMeshBuilder toolMeshBuilder;
    toolMeshBuilder.build(toolRecord);
    const auto provider = std::make_shared<Calvora::FixedUntransformedMeshProvider>(toolMeshBuilder.getMesh());

    const ExodusLoader loader(path);
    const CoreIo::MeshLocation& location = loader.bodies()[0].meshLocation;
    Calvora::BaseGeometryToolMeshBuilder toolBuilder(provider);
    loader.loadMesh(location, toolBuilder);
    const std::shared_ptr<Calvora::Mesh> built = toolBuilder.getMesh();
    ASSERT_NE(built, nullptr);
    EXPECT_EQ(provider->numberOfRequests(), 1u);
    ASSERT_EQ(built->numberOfVertices(), 4u);
    EXPECT_TRUE(built->hasNormals());
    EXPECT_EQ(Position(built->getVertex(0)), Position(1, 1, 0.5));  // file node 3

    // The same body as an ordinary mesh: positions and normals from the file.
    Calvora::BaseGeometryMeshBuilder meshBuilder;
    loader.loadMesh(location, meshBuilder);
    const std::shared_ptr<Calvora::Mesh> loaded = meshBuilder.getMesh();
    ASSERT_EQ(loaded->numberOfVertices(), 4u);
    for (unsigned int i = 0; i < 4; ++i) {
        EXPECT_EQ(Position(built->getVertex(i)), Position(loaded->getVertex(i))) << i;
        EXPECT_EQ(built->getVertex(i).getNormal(), loaded->getVertex(i).getNormal()) << i;
    }
    ASSERT_EQ(built->numberOfTriangles(), 2u);
    for (unsigned int t = 0; t < 2; ++t) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(built->getTriangle(t).corners[c]->index, loaded->getTriangle(t).corners[c]->index);
        }
    }
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
        ASSERT_EQ(loader.skippedBlocks().size(), 1u);
        EXPECT_EQ(loader.skippedBlocks()[0].id, 20);
        EXPECT_EQ(loader.skippedBlocks()[0].name, "quads");
        EXPECT_EQ(loader.skippedBlocks()[0].elementType, "QUAD4");
        EXPECT_EQ(loader.skippedBlocks()[0].nodesPerElement, 4);
        ASSERT_EQ(loader.bodies().size(), 1u);
        const CoreIo::SimBody& body = loader.bodies()[0];
        EXPECT_EQ(body.name, "block_7");
        EXPECT_EQ(body.meshLocation.id, 7);
        EXPECT_EQ(body.results.size(), 8u);
        EXPECT_EQ(body.results[0].name, "TEMP");
        EXPECT_EQ(body.results[0].dataLocation.step, 2);

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

TEST(ExodusLoader, SkipsBlocksOfOtherElementsWithAWarningNamingThem)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("mixed.exo");
    writeMixedBlocks(path);
    const Calvora::Logging keepRegistered("CoreIo.ExodusLoader");
    const auto sink = std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(8);
    spdlog::get("CoreIo.ExodusLoader")->sinks().push_back(sink);

    const ExodusLoader loader(path);

    std::vector<std::string> bodyNames;
    for (const CoreIo::SimBody& body : loader.bodies()) {
        bodyNames.push_back(body.name);
    }
    EXPECT_THAT(bodyNames, ElementsAre("plain", "lower"));
    ASSERT_EQ(loader.skippedBlocks().size(), 2u);
    EXPECT_EQ(loader.skippedBlocks()[0].id, 2);
    EXPECT_EQ(loader.skippedBlocks()[1].id, 3);
    EXPECT_EQ(loader.skippedBlocks()[1].nodesPerElement, 6);
    const auto warnings = sink->last_raw();
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].level, spdlog::level::warn);
    EXPECT_THAT(text(warnings[0].payload), AllOf(HasSubstr(path), HasSubstr("\"quads\""), HasSubstr("QUAD4")));
    EXPECT_THAT(text(warnings[1].payload), AllOf(HasSubstr("\"quadratic\""), HasSubstr("6-node TRI")));

    RecordingMeshBuilder lower;
    loader.loadMesh(loader.bodies()[1].meshLocation, lower);
    EXPECT_THAT(lower.triangles, ElementsAre(0, 1, 2));
    EXPECT_EQ(lower.x, floats({1, 2, 1}));
    RecordingMeshBuilder quads;
    EXPECT_THAT(loadErrorOf([&] { loader.loadMesh({path, 2}, quads); }),
                AllOf(HasSubstr("\"quads\" (id 2)"), HasSubstr("QUAD4 elements, not 3-node triangles")));
    EXPECT_EQ(quads.builds, 0);
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

TEST(ExodusLoader, RefusesMissingFilesAndFilesOfOtherFormats)
{
    const ScratchDirectory directory;
    const std::string missing = directory.file("missing.exo");
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{missing}; }), AllOf(HasSubstr(missing), HasSubstr("cannot be read")));

    const std::string text = directory.file("notes.exo");
    std::ofstream(text) << "CDF? not really a netCDF file\n";
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{text}; }),
                AllOf(HasSubstr(text), HasSubstr("cannot be opened as an Exodus II file")));
}

TEST(ExodusLoader, RefusesTruncatedFiles)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    writeShuffledBodies(path);
    const auto size = std::filesystem::file_size(path);
    for (const auto kept : {size - 8, size / 2, std::uintmax_t{10}}) {
        const std::string truncated = directory.file("truncated.exo");
        std::filesystem::copy_file(path, truncated, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::resize_file(truncated, kept);
        EXPECT_THAT(loadErrorOf([&] { ExodusLoader{truncated}; }), AllOf(HasSubstr(truncated), HasSubstr("truncated")))
            << "kept " << kept << " of " << size << " bytes";
    }
    for (const int kind : {1, 5}) {  // the classic formats with 32-bit and with 64-bit counts
        const std::string generated = directory.file("generated" + std::to_string(kind) + ".exo");
        ExodusTest::generateFromCdl("exodus_independent.cdl", generated, kind);
        std::filesystem::resize_file(generated, std::filesystem::file_size(generated) - 4);
        EXPECT_THAT(loadErrorOf([&] { ExodusLoader{generated}; }), HasSubstr("truncated")) << "ncgen -k " << kind;
    }
}

TEST(ExodusLoader, RefusesHeadersThatPromiseMoreThanTheFileHolds)
{
    const ScratchDirectory directory;
    const std::string nodes = directory.file("nodes.exo");
    writeShuffledBodies(nodes);
    ExodusTest::patchDimensionLength(nodes, "num_nodes", 2000000000u);
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{nodes}; }), HasSubstr("places data up to byte"));

    const std::string steps = directory.file("steps.exo");
    writeShuffledBodies(steps);
    ExodusTest::patchRecordCount(steps, 2000000000u);
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{steps}; }), HasSubstr("places data up to byte"));

    const std::string elements = directory.file("elements.exo");
    writeShuffledBodies(elements);
    ExodusTest::patchDimensionLength(elements, "num_el_in_blk1", 2000000000u);
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{elements}; }), HasSubstr("places data up to byte"));

    // Compressed storage lets counts exceed the size, but not by this much.
    const std::string hollow = directory.file("hollow.exo");
    writeHollowNetcdf4File(hollow);
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{hollow}; }),
                HasSubstr("promises 1000000000 nodes, more than a file of"));
}

TEST(ExodusLoader, RefusesConnectivityOutsideTheNodeRange)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    writeShuffledBodies(path);
    ExodusTest::overwriteInt(path, "connect2", {0, 1}, 10);
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{path}; }),
                AllOf(HasSubstr("\"tool\" (id 2): element 1 refers to node 10, outside the file's nodes 1 to 9")));
    ExodusTest::overwriteInt(path, "connect2", {0, 1}, 0);
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{path}; }), HasSubstr("refers to node 0"));
}

TEST(ExodusLoader, RefusesStoredWordSizesOtherThanFourAndEight)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    for (const int wordSize : {822083592, 2}) {
        writeShuffledBodies(path);
        ExodusTest::putIntAttribute(path, "", "floating_point_word_size", {wordSize});
        EXPECT_EQ(loadErrorOf([&] { ExodusLoader{path}; }),
                  "Exodus file \"" + path + "\": its floating_point_word_size attribute gives " +
                      std::to_string(wordSize) + " bytes per floating-point value; only 4 and 8 are supported");
    }
}

TEST(ExodusLoader, RefusesHeaderAttributesWithSeveralValuesWhereTheLibraryReadsOneNumber)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    for (const std::string attribute :
         {"version", "api_version", "floating_point_word_size", "file_size", "int64_status", "maximum_name_length"}) {
        writeShuffledBodies(path);
        ExodusTest::putIntAttribute(path, "", attribute, {8, 8, 8});
        EXPECT_EQ(loadErrorOf([&] { ExodusLoader{path}; }),
                  "Exodus file \"" + path + "\": its global attribute \"" + attribute +
                      "\" holds 3 values where one number is expected");
    }
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

TEST(ExodusLoader, RefusesBlockIdsOrStatusesOfAnotherCountThanTheBlocks)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    for (const auto& [variable, role, count] : {std::tuple{"eb_prop1", "id", 4096}, std::tuple{"eb_prop1", "id", 1},
                                                std::tuple{"eb_status", "status", 64}}) {
        writeShuffledBodies(path);
        ExodusTest::reshapeIntVariable(path, variable, {static_cast<std::size_t>(count)}, 1);
        EXPECT_EQ(loadErrorOf([&] { ExodusLoader{path}; }),
                  "Exodus file \"" + path + "\": its element block " + role + " variable \"" + variable + "\" holds " +
                      std::to_string(count) + " values, not 2, one per element block");
    }
}

TEST(ExodusLoader, RefusesConnectivityOfAnotherSizeThanItsBlock)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    writeShuffledBodies(path);
    ExodusTest::reshapeIntVariable(path, "connect1", {2048, 3}, 1);
    EXPECT_EQ(loadErrorOf([&] { ExodusLoader{path}; }),
              "Exodus file \"" + path +
                  "\": element block \"shuffled\" (id 1): its connectivity variable \"connect1\" holds 6144 values, "
                  "not 6, three per element");

    // The library finds a block's variables by the position of its id, not by the id.
    writeShuffledBodies(path);
    ExodusTest::overwriteInt(path, "eb_prop1", {0}, 2);
    ExodusTest::overwriteInt(path, "eb_prop1", {1}, 1);
    ExodusTest::reshapeIntVariable(path, "connect2", {2}, 1);
    EXPECT_EQ(loadErrorOf([&] { ExodusLoader{path}; }),
              "Exodus file \"" + path +
                  "\": element block \"tool\" (id 1): its connectivity variable \"connect2\" holds 2 values, "
                  "not 3, three per element");
}

TEST(ExodusLoader, RefusesElementTypesLongerThanTheLibraryHolds)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    writeShuffledBodies(path);
    ExodusTest::putTextAttribute(path, "connect1", "elem_type", std::string(40, 'T'));
    EXPECT_EQ(loadErrorOf([&] { ExodusLoader{path}; }),
              "Exodus file \"" + path +
                  "\": element block \"shuffled\" (id 1): its element type is 40 characters long; at most 32 are "
                  "supported");

    const std::string padded = "TRI3" + std::string(28, ' ');  // blanks the library trims
    ExodusTest::putTextAttribute(path, "connect1", "elem_type", padded + 'X');
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{path}; }), HasSubstr("its element type is 33 characters long"));
    ExodusTest::putTextAttribute(path, "connect1", "elem_type", padded + '\0');  // 32 and the terminator fit
    EXPECT_EQ(ExodusLoader(path).bodies().size(), 2u);
}

TEST(ExodusLoader, RefusesVariablesWithFewerValuesThanNodes)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("short.exo");
    ExodusTest::generateFromCdl("exodus_short_variable.cdl", path);
    EXPECT_THAT(loadErrorOf([&] { ExodusLoader{path}; }),
                AllOf(HasSubstr(path), HasSubstr("\"TEMP\" holds 2 values per step, fewer than its 3 nodes")));
}

TEST(ExodusLoader, RefusesNonFiniteCoordinatesWithoutBuildingAnything)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    writeShuffledBodies(path);
    ExodusTest::overwriteFloat(path, "coordy", {2}, std::numeric_limits<float>::quiet_NaN());
    ExodusTest::overwriteFloat(path, "coordz", {7}, std::numeric_limits<float>::infinity());
    const ExodusLoader loader(path);

    RecordingMeshBuilder shuffled;
    EXPECT_THAT(loadErrorOf([&] { loader.loadMesh(loader.bodies()[0].meshLocation, shuffled); }),
                AllOf(HasSubstr("\"shuffled\""), HasSubstr("node 3 has a non-finite coordinate")));
    EXPECT_EQ(shuffled.builds, 0);
    RecordingMeshBuilder tool;
    EXPECT_THAT(loadErrorOf([&] { loader.loadMesh(loader.bodies()[1].meshLocation, tool); }),
                HasSubstr("node 8 has a non-finite coordinate"));
    EXPECT_EQ(tool.builds, 0);
    RecordingMeshBuilder topology(true);  // needs no coordinates
    loader.loadMesh(loader.bodies()[0].meshLocation, topology);
    EXPECT_EQ(topology.builds, 1);
}

TEST(ExodusLoader, RefusesLocationsThatTheFileDoesNotHold)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("shuffled.exo");
    writeShuffledBodies(path);
    const ExodusLoader loader(path);
    const CoreIo::DataLocation temperature = resultAt(loader.bodies()[0], "TEMP", 1);

    RecordingMeshBuilder mesh;
    EXPECT_THAT(loadErrorOf([&] { loader.loadMesh({path, 99}, mesh); }), HasSubstr("no element block with id 99"));
    EXPECT_THAT(loadErrorOf([&] { loader.loadMesh({"other.exo", 1}, mesh); }), HasSubstr("\"other.exo\""));
    EXPECT_EQ(mesh.builds, 0);

    RecordingResultBuilder values;
    EXPECT_THAT(loadErrorOf([&] { loader.loadResult(temperature, values, 2); }),
                AllOf(HasSubstr(path), HasSubstr("no time step 2; its steps are 1 to 1")));
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

#include "ExodusTestSupport.h"
#include "ExodusWriter.h"

#include <exodusII.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

using CoreIo::ExodusMesh;
using CoreIo::ExodusPrecision;
using CoreIo::ExodusWriter;
using ExodusTest::ScratchDirectory;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

// What a file holds, read back through the library itself rather than this project's loader.
struct FileContents {
    int storedWordSize = 0;
    ExodusMesh mesh;  // number maps as the file gives them: 1 to n where it has none
    std::vector<std::vector<int>> truthTable;  // per block, per element variable
    std::vector<std::string> qa, info;
};

std::vector<std::string> readNames(int file, int count, const std::function<int(char**)>& get)
{
    std::vector<std::string> buffers(static_cast<std::size_t>(count), std::string(CoreIo::exodusMaxNameLength + 1, '\0'));
    std::vector<char*> pointers;
    for (std::string& buffer : buffers) {
        pointers.push_back(buffer.data());
    }
    EXPECT_GE(get(pointers.data()), 0) << "file " << file;
    for (std::string& buffer : buffers) {
        buffer.resize(buffer.find('\0'));
    }
    return buffers;
}

std::vector<ExodusMesh::Block> readBlocks(int file, int numBlocks)
{
    std::vector<int> ids(static_cast<std::size_t>(numBlocks));
    ex_get_ids(file, EX_ELEM_BLOCK, ids.data());
    const auto names = readNames(file, numBlocks, [&](char** p) { return ex_get_names(file, EX_ELEM_BLOCK, p); });
    std::vector<ExodusMesh::Block> blocks;
    for (int b = 0; b < numBlocks; ++b) {
        ExodusMesh::Block& block = blocks.emplace_back();
        char type[MAX_STR_LENGTH + 1] = {};
        int numElements = 0, unusedEdges = 0, unusedFaces = 0, unusedAttributes = 0;
        ex_get_block(file, EX_ELEM_BLOCK, ids[b], type, &numElements, &block.nodesPerElement, &unusedEdges,
                     &unusedFaces, &unusedAttributes);
        block.id = ids[b];
        block.name = names[b];
        block.elementType = type;
        block.connectivity.resize(static_cast<std::size_t>(numElements * block.nodesPerElement));
        ex_get_conn(file, EX_ELEM_BLOCK, ids[b], block.connectivity.data(), nullptr, nullptr);
        for (int& node : block.connectivity) {
            --node;
        }
    }
    return blocks;
}

std::vector<double> readValues(int file, int step, ex_entity_type type, int index, int owner, std::size_t count)
{
    std::vector<double> values(count);
    EXPECT_GE(ex_get_var(file, step, type, index, owner, static_cast<int>(count), values.data()), 0);
    return values;
}

void readVariables(int file, FileContents& contents)
{
    ExodusMesh& mesh = contents.mesh;
    int numNodal = 0, numElement = 0;
    ex_get_variable_param(file, EX_NODAL, &numNodal);
    ex_get_variable_param(file, EX_ELEM_BLOCK, &numElement);
    const auto nodalNames =
        readNames(file, numNodal, [&](char** p) { return ex_get_variable_names(file, EX_NODAL, numNodal, p); });
    const auto elementNames = readNames(
        file, numElement, [&](char** p) { return ex_get_variable_names(file, EX_ELEM_BLOCK, numElement, p); });
    std::vector<int> table(mesh.blocks.size() * static_cast<std::size_t>(numElement));
    if (numElement > 0) {
        ex_get_truth_table(file, EX_ELEM_BLOCK, static_cast<int>(mesh.blocks.size()), numElement, table.data());
    }
    for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
        contents.truthTable.emplace_back(table.begin() + static_cast<long>(b * numElement),
                                         table.begin() + static_cast<long>((b + 1) * numElement));
    }
    for (int v = 0; v < numNodal; ++v) {
        ExodusMesh::NodalVariable& variable = mesh.nodalVariables.emplace_back();
        variable.name = nodalNames[v];
        for (int step = 1; step <= static_cast<int>(mesh.times.size()); ++step) {
            variable.steps.push_back(readValues(file, step, EX_NODAL, v + 1, 1, mesh.x.size()));
        }
    }
    for (int v = 0; v < numElement; ++v) {
        ExodusMesh::ElementVariable& variable = mesh.elementVariables.emplace_back();
        variable.name = elementNames[v];
        for (int step = 1; step <= static_cast<int>(mesh.times.size()); ++step) {
            std::vector<std::vector<double>>& perBlock = variable.steps.emplace_back();
            for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
                perBlock.push_back(contents.truthTable[b][v] == 0
                                       ? std::vector<double>{}
                                       : readValues(file, step, EX_ELEM_BLOCK, v + 1, mesh.blocks[b].id,
                                                    mesh.blocks[b].numElements()));
            }
        }
    }
}

void readRecords(int file, FileContents& contents)
{
    const int numQa = ex_inquire_int(file, EX_INQ_QA);
    std::vector<std::string> fields(static_cast<std::size_t>(4 * numQa), std::string(MAX_STR_LENGTH + 1, '\0'));
    std::vector<char*> pointers;
    for (std::string& field : fields) {
        pointers.push_back(field.data());
    }
    if (numQa > 0) {
        ex_get_qa(file, reinterpret_cast<char* (*)[4]>(pointers.data()));
    }
    for (std::string& field : fields) {
        contents.qa.push_back(field.substr(0, field.find('\0')));
    }
    const int numInfo = ex_inquire_int(file, EX_INQ_INFO);
    std::vector<std::string> lines(static_cast<std::size_t>(numInfo), std::string(MAX_LINE_LENGTH + 1, '\0'));
    std::vector<char*> linePointers;
    for (std::string& line : lines) {
        linePointers.push_back(line.data());
    }
    if (numInfo > 0) {
        ex_get_info(file, linePointers.data());
    }
    for (std::string& line : lines) {
        contents.info.push_back(line.substr(0, line.find('\0')));
    }
}

FileContents readFile(const std::string& path)
{
    FileContents contents;
    int computeWordSize = 8;
    float version = 0.0f;
    const int file = ex_open(path.c_str(), EX_READ, &computeWordSize, &contents.storedWordSize, &version);
    EXPECT_GE(file, 0) << path;
    ex_set_max_name_length(file, ex_inquire_int(file, EX_INQ_DB_MAX_USED_NAME_LENGTH));
    ex_init_params init{};
    ex_get_init_ext(file, &init);
    ExodusMesh& mesh = contents.mesh;
    mesh.title = init.title;
    for (std::vector<double>* axis : {&mesh.x, &mesh.y, &mesh.z}) {
        axis->resize(static_cast<std::size_t>(init.num_nodes));
    }
    ex_get_coord(file, mesh.x.data(), mesh.y.data(), mesh.z.data());
    mesh.nodeIds.resize(mesh.x.size());
    ex_get_id_map(file, EX_NODE_MAP, mesh.nodeIds.data());
    mesh.blocks = readBlocks(file, static_cast<int>(init.num_elem_blk));
    mesh.elementIds.resize(static_cast<std::size_t>(init.num_elem));
    ex_get_id_map(file, EX_ELEM_MAP, mesh.elementIds.data());
    mesh.times.resize(static_cast<std::size_t>(ex_inquire_int(file, EX_INQ_TIME)));
    ex_get_all_times(file, mesh.times.data());
    readVariables(file, contents);
    readRecords(file, contents);
    ex_close(file);
    return contents;
}

std::vector<int> oneToN(std::size_t n)
{
    std::vector<int> ids(n);
    std::iota(ids.begin(), ids.end(), 1);
    return ids;
}

// A quad block, a triangle block of a long name and higher-order blocks of six and eight
// nodes, on nine nodes with unordered IDs.
ExodusMesh mixedMesh()
{
    ExodusMesh mesh;
    mesh.title = "mixed blocks";
    mesh.x = {0, 1, 2, 0, 1, 2, 0, 1, 2};
    mesh.y = {0, 0, 0, 1, 1, 1, 2, 2, 2};
    mesh.z = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 1.0 / 3.0};
    mesh.nodeIds = {90, 80, 70, 60, 50, 40, 30, 20, 11};
    mesh.blocks = {{12, "", "SHELL4", 4, {0, 1, 4, 3}},
                   {7, std::string(100, 'L') + " the part's long name", "TRI3", 3, {1, 2, 5, 1, 5, 4}},
                   {3, "second order", "TRI6", 6, {3, 4, 7, 0, 1, 2}},
                   {40, "QUAD8", "QUAD8", 8, {0, 1, 2, 3, 4, 5, 6, 7}}};
    mesh.elementIds = {1000, 3, 2, 999, 5};
    return mesh;
}

ExodusMesh withVariables(ExodusMesh mesh)
{
    mesh.times = {0.0, 0.25};
    mesh.nodalVariables = {{"TEMP", {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {-1, -2, -3, -4, -5, -6, -7, -8, 1.0 / 3.0}}},
                           {"A_NODAL_VARIABLE_NAME_OF_FORTY_CHARACTERS", {std::vector<double>(9, 0.5),
                                                                          std::vector<double>(9, 1.5)}}};
    mesh.elementVariables = {{"THICKNESS", {{{1.5}, {2.5, 3.5}, {}, {4.5}}, {{1.25}, {2.25, 3.25}, {}, {4.25}}}},
                             {"STRESS", {{{}, {10, 20}, {30}, {}}, {{}, {11, 21}, {31}, {}}}}};
    return mesh;
}

ExodusMesh withRecords(ExodusMesh mesh)
{
    mesh.qa = ExodusMesh::QaRecord{"coreio-align", "0.1.0", "2024-05-17", "13:45:00"};
    mesh.info = {"command line: coreio-align before.exo after.exo " + std::string(60, 'x'), "after: after.exo"};
    return mesh;
}

ExodusMesh roundedToFloat(ExodusMesh mesh)
{
    const auto round = [](std::vector<double>& values) {
        for (double& value : values) {
            value = static_cast<float>(value);
        }
    };
    for (std::vector<double>* values : {&mesh.x, &mesh.y, &mesh.z, &mesh.times}) {
        round(*values);
    }
    return mesh;
}

void expectSameMesh(const ExodusMesh& actual, const ExodusMesh& expected)
{
    EXPECT_EQ(actual.title, expected.title);
    EXPECT_EQ(actual.x, expected.x);
    EXPECT_EQ(actual.y, expected.y);
    EXPECT_EQ(actual.z, expected.z);
    EXPECT_EQ(actual.nodeIds, expected.nodeIds.empty() ? oneToN(expected.x.size()) : expected.nodeIds);
    ASSERT_EQ(actual.blocks.size(), expected.blocks.size());
    std::size_t numElements = 0;
    for (std::size_t b = 0; b < expected.blocks.size(); ++b) {
        const ExodusMesh::Block& block = expected.blocks[b];
        EXPECT_EQ(actual.blocks[b].id, block.id);
        EXPECT_EQ(actual.blocks[b].name, block.name);
        EXPECT_EQ(actual.blocks[b].elementType, block.elementType);
        EXPECT_EQ(actual.blocks[b].nodesPerElement, block.nodesPerElement);
        EXPECT_EQ(actual.blocks[b].connectivity, block.connectivity);
        numElements += block.numElements();
    }
    EXPECT_EQ(actual.elementIds, expected.elementIds.empty() ? oneToN(numElements) : expected.elementIds);
    EXPECT_EQ(actual.times, expected.times);
    ASSERT_EQ(actual.nodalVariables.size(), expected.nodalVariables.size());
    for (std::size_t v = 0; v < expected.nodalVariables.size(); ++v) {
        EXPECT_EQ(actual.nodalVariables[v].name, expected.nodalVariables[v].name);
        EXPECT_EQ(actual.nodalVariables[v].steps, expected.nodalVariables[v].steps);
    }
    ASSERT_EQ(actual.elementVariables.size(), expected.elementVariables.size());
    for (std::size_t v = 0; v < expected.elementVariables.size(); ++v) {
        EXPECT_EQ(actual.elementVariables[v].name, expected.elementVariables[v].name);
        EXPECT_EQ(actual.elementVariables[v].steps, expected.elementVariables[v].steps);
    }
}

// Two triangle bodies through the short way: blocks 1 and 2, the second body's nodes after the
// first's, normals first among the nodal variables.
std::string writeBodies(const std::string& path)
{
    ExodusWriter writer(path);
    writer.addBody("sheet", {{0, 1, 1, 0}, {0, 0, 1, 1}, {0, 0, 0, 0}, {0, 1, 2, 0, 2, 3}, {0, 0, 0, 0},
                             {0, 0, 0, 0}, {1, 1, 1, 1}});
    writer.addBody(std::string(40, 'T'), {{2, 3, 2}, {0, 0, 1}, {5, 5, 5}, {0, 1, 2}, {1, 1, 1}, {0, 0, 0},
                                          {0, 0, 0}});
    writer.addNodalVariable("TEMP", {{{1, 2, 3, 4}, {5, 6, 7}}});
    writer.write();
    return path;
}

ExodusMesh bodiesAsMesh()
{
    ExodusMesh mesh;
    mesh.x = {0, 1, 1, 0, 2, 3, 2};
    mesh.y = {0, 0, 1, 1, 0, 0, 1};
    mesh.z = {0, 0, 0, 0, 5, 5, 5};
    mesh.blocks = {{1, "sheet", "TRI3", 3, {0, 1, 2, 0, 2, 3}}, {2, std::string(40, 'T'), "TRI3", 3, {4, 5, 6}}};
    mesh.times = {0.0};
    mesh.nodalVariables = {{"NORMAL_X", {{0, 0, 0, 0, 1, 1, 1}}},
                           {"NORMAL_Y", {{0, 0, 0, 0, 0, 0, 0}}},
                           {"NORMAL_Z", {{1, 1, 1, 1, 0, 0, 0}}},
                           {"TEMP", {{1, 2, 3, 4, 5, 6, 7}}}};
    return mesh;
}

}  // namespace

TEST(ExodusWriter, WritesWhatTheLibraryReadsBackUnchanged)
{
    const auto writeMesh = [](ExodusMesh mesh, ExodusPrecision precision) {
        return [mesh, precision](const std::string& path) {
            CoreIo::writeExodusMesh(path, mesh, precision);
            return path;
        };
    };
    const ExodusMesh mixed = mixedMesh();
    const ExodusMesh full = withRecords(withVariables(mixedMesh()));
    ExodusMesh noMaps = withVariables(mixedMesh());
    noMaps.nodeIds.clear();
    noMaps.elementIds.clear();
    const struct {
        const char* what;
        std::function<std::string(const std::string&)> write;
        ExodusMesh expected;
        int storedWordSize;
        std::vector<int> thicknessAndStressPerBlock;  // the truth table, flattened
        std::vector<std::string> info;
    } cases[] = {
        {"blocks of any type with IDs, long names and maps", writeMesh(mixed, ExodusPrecision::Double), mixed, 8,
         {}, {}},
        {"float storage rounds coordinates", writeMesh(mixed, ExodusPrecision::Float), roundedToFloat(mixed), 4,
         {}, {}},
        {"variables, truth table and records", writeMesh(full, ExodusPrecision::Double), full, 8,
         {1, 0, 1, 1, 0, 1, 1, 0}, {full.info[0].substr(0, 80), full.info[0].substr(80), full.info[1]}},
        {"no maps stand for IDs 1 to n", writeMesh(noMaps, ExodusPrecision::Double), noMaps, 8,
         {1, 0, 1, 1, 0, 1, 1, 0}, {}},
        {"triangle bodies the short way", writeBodies, roundedToFloat(bodiesAsMesh()), 4, {}, {}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        const ScratchDirectory directory;
        const FileContents contents = readFile(row.write(directory.file("mesh.exo")));
        EXPECT_EQ(contents.storedWordSize, row.storedWordSize);
        expectSameMesh(contents.mesh, row.expected);
        std::vector<int> truthTable;
        for (const std::vector<int>& perBlock : contents.truthTable) {
            truthTable.insert(truthTable.end(), perBlock.begin(), perBlock.end());
        }
        EXPECT_EQ(truthTable, row.thicknessAndStressPerBlock);
        const std::vector<std::string> qa =
            row.expected.qa ? std::vector<std::string>{"coreio-align", "0.1.0", "2024-05-17", "13:45:00"}
                            : std::vector<std::string>{};
        EXPECT_EQ(contents.qa, qa);
        EXPECT_EQ(contents.info, row.info);
    }
}

TEST(ExodusWriter, RefusesMeshesThatDoNotFitAndSaysWhere)
{
    const struct {
        const char* what;
        std::function<void(ExodusMesh&)> spoil;
        const char* message;
    } cases[] = {
        {"a node outside", [](ExodusMesh& m) { m.blocks[2].connectivity[4] = 9; }, "\"second order\"): element 0 refers to node 9"},
        {"a partial element", [](ExodusMesh& m) { m.blocks[0].connectivity.pop_back(); }, "block 1 (ID 12)"},
        {"a duplicate block ID", [](ExodusMesh& m) { m.blocks[3].id = 7; }, "block IDs are positive and unique"},
        {"a name beyond the file's limit", [](ExodusMesh& m) { m.blocks[1].name.assign(257, 'n'); }, "257 characters"},
        {"no element type", [](ExodusMesh& m) { m.blocks[3].elementType.clear(); }, "\"QUAD8\"): the element type"},
        {"a duplicate node ID", [](ExodusMesh& m) { m.nodeIds[8] = 90; }, "node number map holds the ID 90 twice"},
        {"a short element map", [](ExodusMesh& m) { m.elementIds.pop_back(); }, "element number map has 4 IDs where 5"},
        {"a non-finite coordinate",
         [](ExodusMesh& m) { m.y[5] = std::numeric_limits<double>::infinity(); }, "node 5"},
        {"steps without times", [](ExodusMesh& m) { m.times.pop_back(); }, "\"TEMP\" has 2 steps where 1"},
        {"a block with values at one step only",
         [](ExodusMesh& m) { m.elementVariables[1].steps[1][0] = {1.0}; }, "\"STRESS\" at step 2: block 1"},
        {"a duplicate variable",
         [](ExodusMesh& m) { m.nodalVariables[1].name = "TEMP"; }, "nodal variable \"TEMP\" comes twice"},
        {"a long QA field", [](ExodusMesh& m) { m.qa->version.assign(33, 'v'); }, "QA record"},
    };
    const ScratchDirectory directory;
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        ExodusMesh mesh = withRecords(withVariables(mixedMesh()));
        row.spoil(mesh);
        try {
            CoreIo::writeExodusMesh(directory.file("spoilt.exo"), mesh, ExodusPrecision::Float);
            ADD_FAILURE() << "written";
        } catch (const std::invalid_argument& error) {
            EXPECT_THAT(error.what(), HasSubstr(row.message));
            EXPECT_THAT(error.what(), HasSubstr("spoilt.exo"));
        }
    }
    EXPECT_TRUE(directory.entries().empty());
}

TEST(ExodusWriter, ReplacesTheTargetOnlyWhenTheWholeFileIsWrittenAndNamesAnUnusableTarget)
{
    const ScratchDirectory directory;
    const std::string target = directory.file("target.exo");
    CoreIo::writeExodusMesh(target, mixedMesh(), ExodusPrecision::Float);
    ExodusMesh beyondFloat = withVariables(mixedMesh());
    beyondFloat.title = "never seen";
    beyondFloat.nodalVariables[0].steps[1][3] = 1e300;
    const struct {
        const char* what;
        std::string path;
        ExodusMesh mesh;
        std::string message;
    } cases[] = {
        {"a value beyond float range", target, beyondFloat, "\"TEMP\" at step 2"},
        {"a missing folder", directory.file("missing/target.exo"), mixedMesh(),
         "the folder \"" + directory.file("missing") + "\" does not exist"},
        {"a folder", directory.file(""), mixedMesh(), "is a folder"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        try {
            CoreIo::writeExodusMesh(row.path, row.mesh, ExodusPrecision::Float);
            ADD_FAILURE() << "written";
        } catch (const std::runtime_error& error) {
            EXPECT_THAT(error.what(), HasSubstr(row.message));
        }
    }
    EXPECT_EQ(readFile(target).mesh.title, "mixed blocks");
    EXPECT_THAT(directory.entries(), ElementsAre("target.exo"));  // no temporary file left behind
}

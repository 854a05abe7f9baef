#include "ExodusWriter.h"

#include "ExodusFile.h"
#include "FileReplacement.h"

#include <exodusII.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <limits>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace CoreIo {

namespace {

constexpr std::size_t defaultNameLength = MAX_NAME_LENGTH;

std::string describeBlock(const ExodusMesh& mesh, std::size_t index)
{
    const ExodusMesh::Block& block = mesh.blocks[index];
    return "block " + std::to_string(index + 1) + " (ID " + std::to_string(block.id) +
           (block.name.empty() ? std::string() : ", " + inQuotes(block.name)) + ")";
}

std::size_t countElements(const ExodusMesh& mesh)
{
    std::size_t count = 0;
    for (const ExodusMesh::Block& block : mesh.blocks) {
        count += block.numElements();
    }
    return count;
}

void requireAtMost(const std::string& what, const std::string& text, std::size_t limit)
{
    if (text.size() > limit) {
        throw std::invalid_argument(what + " " + inQuotes(text) + " has " + std::to_string(text.size()) +
                                    " characters; a file holds up to " + std::to_string(limit));
    }
}

void requireCount(const std::string& what, std::size_t count, const std::string& items, std::size_t expected)
{
    if (count != expected) {
        throw std::invalid_argument(what + " has " + std::to_string(count) + " " + items + " where " +
                                    std::to_string(expected) + " are expected");
    }
}

// A number map gives every entry its own positive ID.
void requireIdMap(const std::string& what, const std::vector<std::int64_t>& ids, std::size_t expected)
{
    if (ids.empty()) {
        return;
    }
    requireCount(what, ids.size(), "IDs", expected);
    std::vector<std::int64_t> sorted(ids);
    std::sort(sorted.begin(), sorted.end());
    if (sorted.front() <= 0) {
        throw std::invalid_argument(what + " holds the ID " + std::to_string(sorted.front()) + "; IDs are positive");
    }
    const auto duplicate = std::adjacent_find(sorted.begin(), sorted.end());
    if (duplicate != sorted.end()) {
        throw std::invalid_argument(what + " holds the ID " + std::to_string(*duplicate) + " twice");
    }
}

void checkNodes(const ExodusMesh& mesh)
{
    const std::size_t numNodes = mesh.x.size();
    if (numNodes > INT_MAX) {
        throw std::invalid_argument("the mesh has " + std::to_string(numNodes) + " nodes; a file holds up to " +
                                    std::to_string(INT_MAX));
    }
    requireCount("the y coordinate array", mesh.y.size(), "values", numNodes);
    requireCount("the z coordinate array", mesh.z.size(), "values", numNodes);
    for (std::size_t i = 0; i < numNodes; ++i) {
        if (!std::isfinite(mesh.x[i]) || !std::isfinite(mesh.y[i]) || !std::isfinite(mesh.z[i])) {
            throw std::invalid_argument("node " + std::to_string(i) + " has a non-finite coordinate");
        }
    }
    requireIdMap("the node number map", mesh.nodeIds, numNodes);
}

void checkConnectivity(const ExodusMesh& mesh, std::size_t index)
{
    const ExodusMesh::Block& block = mesh.blocks[index];
    const std::string what = describeBlock(mesh, index);
    if (block.nodesPerElement < 1 || block.connectivity.size() % static_cast<std::size_t>(block.nodesPerElement)) {
        throw std::invalid_argument(what + ": " + std::to_string(block.connectivity.size()) +
                                    " node numbers do not make whole elements of " +
                                    std::to_string(block.nodesPerElement) + " nodes");
    }
    const auto numNodes = static_cast<int>(mesh.x.size());
    const auto outside = std::find_if(block.connectivity.begin(), block.connectivity.end(),
                                      [numNodes](int node) { return node < 0 || node >= numNodes; });
    if (outside != block.connectivity.end()) {
        const auto position = static_cast<std::size_t>(outside - block.connectivity.begin());
        throw std::invalid_argument(what + ": element " + std::to_string(position / block.nodesPerElement) +
                                    " refers to node " + std::to_string(*outside) + ", outside 0 to " +
                                    std::to_string(numNodes - 1));
    }
}

void checkBlocks(const ExodusMesh& mesh)
{
    if (mesh.blocks.empty()) {
        throw std::invalid_argument("the mesh has no element block");
    }
    std::vector<std::int64_t> ids;
    for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
        const ExodusMesh::Block& block = mesh.blocks[b];
        const std::string what = describeBlock(mesh, b);
        if (std::find(ids.begin(), ids.end(), block.id) != ids.end()) {
            throw std::invalid_argument(what + ": the ID is taken; block IDs are unique");
        }
        ids.push_back(block.id);
        requireAtMost(what + ": the name", block.name, exodusMaxNameLength);
        if (block.elementType.empty()) {
            throw std::invalid_argument(what + ": the element type is missing");
        }
        requireAtMost(what + ": the element type", block.elementType, MAX_STR_LENGTH);
        checkConnectivity(mesh, b);
    }
    const std::size_t numElements = countElements(mesh);
    if (numElements > INT_MAX) {
        throw std::invalid_argument("the mesh has " + std::to_string(numElements) + " elements; a file holds up to " +
                                    std::to_string(INT_MAX));
    }
    requireIdMap("the element number map", mesh.elementIds, numElements);
}

template <typename Variable>
void checkVariableNames(const std::string& kind, const std::vector<Variable>& variables)
{
    for (auto variable = variables.begin(); variable != variables.end(); ++variable) {
        if (variable->name.empty()) {
            throw std::invalid_argument(kind + " " + std::to_string(variable - variables.begin() + 1) + " has no name");
        }
        requireAtMost(kind, variable->name, exodusMaxNameLength);
        if (std::any_of(variables.begin(), variable, [&](const Variable& v) { return v.name == variable->name; })) {
            throw std::invalid_argument(kind + " " + inQuotes(variable->name) + " comes twice");
        }
    }
}

void checkSteps(const ExodusMesh& mesh)
{
    if (mesh.times.size() > INT_MAX) {
        throw std::invalid_argument("a file holds up to " + std::to_string(INT_MAX) + " steps");
    }
    checkVariableNames("nodal variable", mesh.nodalVariables);
    for (const ExodusMesh::NodalVariable& variable : mesh.nodalVariables) {
        const std::string what = "nodal variable " + inQuotes(variable.name);
        requireCount(what, variable.steps.size(), "steps", mesh.times.size());
        for (std::size_t s = 0; s < variable.steps.size(); ++s) {
            requireCount(what + " at step " + std::to_string(s + 1), variable.steps[s].size(), "values", mesh.x.size());
        }
    }
}

void checkElementVariables(const ExodusMesh& mesh)
{
    checkVariableNames("element variable", mesh.elementVariables);
    for (const ExodusMesh::ElementVariable& variable : mesh.elementVariables) {
        const std::string what = "element variable " + inQuotes(variable.name);
        requireCount(what, variable.steps.size(), "steps", mesh.times.size());
        for (std::size_t s = 0; s < variable.steps.size(); ++s) {
            const std::string atStep = what + " at step " + std::to_string(s + 1);
            requireCount(atStep, variable.steps[s].size(), "arrays (one per block)", mesh.blocks.size());
            for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
                const std::vector<double>& values = variable.steps[s][b];
                if (values.empty() != variable.steps[0][b].empty()) {
                    throw std::invalid_argument(atStep + ": " + describeBlock(mesh, b) +
                                                " has values at some steps and none at others");
                }
                if (!values.empty()) {
                    requireCount(atStep + " in " + describeBlock(mesh, b), values.size(), "values",
                                 mesh.blocks[b].numElements());
                }
            }
        }
    }
}

void checkRecords(const ExodusMesh& mesh)
{
    requireAtMost("the title", mesh.title, MAX_LINE_LENGTH);
    if (mesh.qa) {
        for (const std::string* field : {&mesh.qa->program, &mesh.qa->version, &mesh.qa->date, &mesh.qa->time}) {
            requireAtMost("the QA record's field", *field, MAX_STR_LENGTH);
        }
    }
}

void checkMesh(const ExodusMesh& mesh)
{
    checkNodes(mesh);
    checkBlocks(mesh);
    checkSteps(mesh);
    checkElementVariables(mesh);
    checkRecords(mesh);
}

// Ids that a 32-bit integer cannot hold need a file format with 64-bit integers.
bool needsWideIds(const ExodusMesh& mesh)
{
    const auto wide = [](std::int64_t id) {
        return id < std::numeric_limits<std::int32_t>::min() || id > std::numeric_limits<std::int32_t>::max();
    };
    return std::any_of(mesh.nodeIds.begin(), mesh.nodeIds.end(), wide) ||
           std::any_of(mesh.elementIds.begin(), mesh.elementIds.end(), wide) ||
           std::any_of(mesh.blocks.begin(), mesh.blocks.end(), [&](const ExodusMesh::Block& b) { return wide(b.id); });
}

// Refuses, before anything is created, the targets whose failure the library would report in
// terms of the temporary file.
void requireWritableTarget(const std::string& path)
{
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    std::error_code error;
    if (std::filesystem::is_directory(target, error) || target.filename().empty()) {
        throw std::runtime_error(aboutFile(path, "is a folder; give the name of a file to write"));
    }
    if (!std::filesystem::exists(folder, error)) {
        throw std::runtime_error(aboutFile(path, "the folder " + inQuotes(folder.string()) +
                                                     " does not exist; create it or write elsewhere"));
    }
    if (!std::filesystem::is_directory(folder, error)) {
        throw std::runtime_error(aboutFile(path, inQuotes(folder.string()) + " is not a folder"));
    }
    if (access(folder.c_str(), W_OK) != 0) {
        throw std::runtime_error(
            aboutFile(path, "the folder " + inQuotes(folder.string()) + " is not writable; write elsewhere"));
    }
}

// The library takes texts as arrays of writable C strings.
std::vector<char*> cStrings(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    pointers.reserve(texts.size());
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    return pointers;
}

template <typename Variable>
std::vector<std::string> namesOf(const std::vector<Variable>& variables)
{
    std::vector<std::string> names;
    names.reserve(variables.size());
    for (const Variable& variable : variables) {
        names.push_back(variable.name);
    }
    return names;
}

std::size_t longestName(const ExodusMesh& mesh)
{
    std::size_t longest = defaultNameLength;
    for (const ExodusMesh::Block& block : mesh.blocks) {
        longest = std::max(longest, block.name.size());
    }
    for (const std::string& name : namesOf(mesh.nodalVariables)) {
        longest = std::max(longest, name.size());
    }
    for (const std::string& name : namesOf(mesh.elementVariables)) {
        longest = std::max(longest, name.size());
    }
    return longest;
}

// The blocks with their element types, counts and names; their connectivity is bulk data.
// All blocks in one call: a call per block enters the file's define mode once per block, and
// each time the library copies the whole header, which grows with every block.
void defineBlocks(const ExodusFile& file, const ExodusMesh& mesh)
{
    std::vector<std::string> names, types;
    std::vector<std::int64_t> ids;
    std::vector<int> elements, nodesPerElement;
    for (const ExodusMesh::Block& block : mesh.blocks) {
        names.push_back(block.name);
        types.push_back(block.elementType);
        ids.push_back(block.id);
        elements.push_back(static_cast<int>(block.numElements()));  // the mesh's total fits an int
        nodesPerElement.push_back(block.nodesPerElement);
    }
    std::vector<int> none(mesh.blocks.size(), 0);  // no edges, faces or attributes per element
    std::vector<char*> typeTexts = cStrings(types);
    ex_block_params blocks{};
    blocks.elem_blk_id = ids.data();  // 64-bit: the file's API takes ids as int64
    blocks.elem_type = typeTexts.data();
    blocks.num_elem_this_blk = elements.data();
    blocks.num_nodes_per_elem = nodesPerElement.data();
    blocks.num_edges_per_elem = none.data();
    blocks.num_faces_per_elem = none.data();
    blocks.num_attr_elem = none.data();
    file.exodus("cannot write the element blocks", [&](int id) { return ex_put_concat_all_blocks(id, &blocks); });
    file.exodus("cannot write the block names",
                [&](int id) { return ex_put_names(id, EX_ELEM_BLOCK, cStrings(names).data()); });
    std::vector<std::string> axes{"x", "y", "z"};
    file.exodus("cannot write the coordinate names",
                [&](int id) { return ex_put_coord_names(id, cStrings(axes).data()); });
}

// The library defines each number map as it writes it.
void putNumberMaps(const ExodusFile& file, const ExodusMesh& mesh)
{
    if (!mesh.nodeIds.empty()) {
        file.exodus("cannot write the node number map",
                    [&](int id) { return ex_put_id_map(id, EX_NODE_MAP, mesh.nodeIds.data()); });
    }
    if (!mesh.elementIds.empty()) {
        file.exodus("cannot write the element number map",
                    [&](int id) { return ex_put_id_map(id, EX_ELEM_MAP, mesh.elementIds.data()); });
    }
}

void putNodesAndElements(const ExodusFile& file, const ExodusMesh& mesh)
{
    file.exodus("cannot write the coordinates",
                [&](int id) { return ex_put_coord(id, mesh.x.data(), mesh.y.data(), mesh.z.data()); });
    for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
        const ExodusMesh::Block& block = mesh.blocks[b];
        if (block.numElements() == 0) {
            continue;
        }
        std::vector<int> oneBased(block.connectivity);
        for (int& node : oneBased) {
            ++node;
        }
        file.exodus("cannot write the connectivity of " + describeBlock(mesh, b), [&](int id) {
            return ex_put_conn(id, EX_ELEM_BLOCK, block.id, oneBased.data(), nullptr, nullptr);
        });
    }
}

// Info records hold up to MAX_LINE_LENGTH characters; longer lines go on over several.
std::vector<std::string> infoRecords(const std::vector<std::string>& lines)
{
    std::vector<std::string> records;
    for (const std::string& line : lines) {
        std::size_t start = 0;
        do {
            records.push_back(line.substr(start, MAX_LINE_LENGTH));
            start += MAX_LINE_LENGTH;
        } while (start < line.size());
    }
    return records;
}

void putRecords(const ExodusFile& file, const ExodusMesh& mesh)
{
    if (mesh.qa) {
        std::vector<std::string> fields{mesh.qa->program, mesh.qa->version, mesh.qa->date, mesh.qa->time};
        const std::vector<char*> pointers = cStrings(fields);
        char* record[1][4] = {{pointers[0], pointers[1], pointers[2], pointers[3]}};
        file.exodus("cannot write the QA record", [&](int id) { return ex_put_qa(id, 1, record); });
    }
    std::vector<std::string> records = infoRecords(mesh.info);
    if (!records.empty()) {
        file.exodus("cannot write the info records", [&](int id) {
            return ex_put_info(id, static_cast<int>(records.size()), cStrings(records).data());
        });
    }
}

template <typename Variable>
void declareVariables(const ExodusFile& file, ex_entity_type type, const std::vector<Variable>& variables,
                      const std::string& kind)
{
    if (variables.empty()) {
        return;
    }
    std::vector<std::string> names = namesOf(variables);
    file.exodus("cannot declare its " + kind,
                [&](int id) { return ex_put_variable_param(id, type, static_cast<int>(names.size())); });
    file.exodus("cannot write the names of its " + kind, [&](int id) {
        return ex_put_variable_names(id, type, static_cast<int>(names.size()), cStrings(names).data());
    });
}

// Which block has which element variable, block after block; read from the first step, which
// the checks made stand for all.
void putTruthTable(const ExodusFile& file, const ExodusMesh& mesh)
{
    if (mesh.elementVariables.empty() || mesh.times.empty()) {
        return;
    }
    std::vector<int> table;
    for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
        for (const ExodusMesh::ElementVariable& variable : mesh.elementVariables) {
            table.push_back(variable.steps[0][b].empty() ? 0 : 1);
        }
    }
    file.exodus("cannot write which blocks have which element variables", [&](int id) {
        return ex_put_truth_table(id, EX_ELEM_BLOCK, static_cast<int>(mesh.blocks.size()),
                                  static_cast<int>(mesh.elementVariables.size()), table.data());
    });
}

void putStep(const ExodusFile& file, const ExodusMesh& mesh, std::size_t s)
{
    const int step = static_cast<int>(s) + 1;
    const std::string atStep = " at step " + std::to_string(step);
    file.exodus("cannot write the time" + atStep, [&](int id) { return ex_put_time(id, step, &mesh.times[s]); });
    int index = 1;
    for (const ExodusMesh::NodalVariable& variable : mesh.nodalVariables) {
        file.exodus("cannot write nodal variable " + inQuotes(variable.name) + atStep, [&](int id) {
            return ex_put_var(id, step, EX_NODAL, index++, 1, static_cast<std::int64_t>(mesh.x.size()),
                              variable.steps[s].data());
        });
    }
    index = 1;
    for (const ExodusMesh::ElementVariable& variable : mesh.elementVariables) {
        for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
            const std::vector<double>& values = variable.steps[s][b];
            if (!values.empty()) {
                file.exodus("cannot write element variable " + inQuotes(variable.name) + " in " +
                                describeBlock(mesh, b) + atStep,
                            [&](int id) {
                                return ex_put_var(id, step, EX_ELEM_BLOCK, index, mesh.blocks[b].id,
                                                  static_cast<std::int64_t>(values.size()), values.data());
                            });
            }
        }
        ++index;
    }
}

// Room in the header for every definition the mesh needs, generously: a variable's definition
// takes its name, dimensions and attributes, a few hundred bytes at most.
std::size_t headerRoom(const ExodusMesh& mesh)
{
    constexpr std::size_t fixedPart = 16384;
    constexpr std::size_t perDefinition = 1024;
    const std::size_t definitions = mesh.blocks.size() * (4 + mesh.elementVariables.size()) +
                                    mesh.nodalVariables.size() + mesh.elementVariables.size() + mesh.info.size();
    return fixedPart + perDefinition * definitions + longestName(mesh) * (mesh.blocks.size() + definitions);
}

// Every definition comes before the bulk data: the library enters netCDF's define mode for each,
// and a definition after bulk data moves all of it within the file.
void putMesh(const ExodusFile& file, const ExodusMesh& mesh)
{
    // Sizes the file's name dimension, so it must come before the first definition.
    file.exodus("cannot store names of " + std::to_string(longestName(mesh)) + " characters",
                [&](int id) { return ex_set_max_name_length(id, static_cast<int>(longestName(mesh))); });
    file.exodus("cannot write its dimensions", [&](int id) {
        return ex_put_init(id, mesh.title.c_str(), 3, static_cast<std::int64_t>(mesh.x.size()),
                           static_cast<std::int64_t>(countElements(mesh)),
                           static_cast<std::int64_t>(mesh.blocks.size()), 0, 0);
    });
    file.reserveHeaderRoom(headerRoom(mesh));
    defineBlocks(file, mesh);
    putRecords(file, mesh);
    declareVariables(file, EX_NODAL, mesh.nodalVariables, "nodal variables");
    declareVariables(file, EX_ELEM_BLOCK, mesh.elementVariables, "element variables");
    putTruthTable(file, mesh);
    putNumberMaps(file, mesh);
    putNodesAndElements(file, mesh);
    for (std::size_t s = 0; s < mesh.times.size(); ++s) {
        putStep(file, mesh, s);
    }
}

}  // namespace

void writeExodusMesh(const std::string& path, const ExodusMesh& mesh, ExodusPrecision precision)
{
    try {
        checkMesh(mesh);
    } catch (const std::invalid_argument& error) {
        throw std::invalid_argument(aboutFile(path, error.what()));
    }
    requireWritableTarget(path);
    const int storedWordSize = precision == ExodusPrecision::Double ? 8 : 4;
    writeWhole(path, "Exodus file", [&](const std::string& temporaryPath) {
        std::optional<ExodusFile> file = ExodusFile::createNew(temporaryPath, storedWordSize, needsWideIds(mesh));
        if (!file) {
            return false;
        }
        putMesh(*file, mesh);
        file->close();
        return true;
    });
}

}  // namespace CoreIo

#include "ExodusLoader.h"

#include "ExodusFile.h"
#include "NetcdfExtent.h"
#include "QRVService_Logging.h"

#include <exodusII.h>
#include <exodusII_int.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <source_location>

namespace CoreIo {

namespace {

constexpr const char* loggerName = "CoreIo.ExodusLoader";
constexpr int floatWordSize = 4;
constexpr int doubleWordSize = 8;
// netCDF-4 files may be deflated, which shrinks data by at most about this factor.
constexpr std::uint64_t deflateRatioLimit = 1032;

// Counts from a header must fit the file: every item occupies at least bytesPerItem bytes on
// disk, fewer only where compression shrinks it. Checked before anything is sized by a count.
class StorageLimit {
public:
    StorageLimit(const ExodusFile& file, const NetcdfFileFacts& facts)
        : file_(file), fileSize_(facts.size), allowance_(facts.classicFormat ? 1 : deflateRatioLimit)
    {
    }

    void require(std::int64_t count, std::uint64_t bytesPerItem, const std::string& what) const
    {
        if (count < 0) {
            file_.fail("its header gives a negative number of " + what);
        }
        if (static_cast<std::uint64_t>(count) / allowance_ > fileSize_ / bytesPerItem) {
            file_.fail("its header promises " + std::to_string(count) + " " + what +
                       ", more than a file of " + std::to_string(fileSize_) + " bytes can hold");
        }
    }

private:
    const ExodusFile& file_;
    std::uint64_t fileSize_;
    std::uint64_t allowance_;
};

// Records carry 32-bit node numbers and the library counts steps with an int.
void requireIntRange(const ExodusFile& file, std::int64_t count, const std::string& what)
{
    if (count > INT_MAX) {
        file.fail("it has " + std::to_string(count) + " " + what + ", more than " + std::to_string(INT_MAX) +
                  " are not supported");
    }
}

std::string upperCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool isTriangleBlock(const ex_block& block)
{
    static const std::array<std::string, 5> triangleTypes{"TRI", "TRI3", "TRIANGLE", "TRISHELL", "TRISHELL3"};
    const std::string type = upperCase(block.topology);
    return block.num_nodes_per_entry == 3 &&
           std::find(triangleTypes.begin(), triangleTypes.end(), type) != triangleTypes.end();
}

std::string describeBlock(const std::string& name, std::int64_t id)
{
    return "element block " + inQuotes(name) + " (id " + std::to_string(id) + ")";
}

// The library reads some variables whole, into buffers sized by a count from elsewhere in the
// header; a variable of another size would overrun them or leave them part empty. A missing
// variable is left for the library to report.
void requireValueCount(const ExodusFile& file, const std::string& variable, std::uint64_t expected,
                       const std::string& subject, const std::string& perItem)
{
    const std::optional<std::uint64_t> count = variableValueCount(file.id(), variable);
    if (count && *count != expected) {
        file.fail(subject + " " + inQuotes(variable) + " holds " + std::to_string(*count) + " values, not " +
                  std::to_string(expected) + ", " + perItem);
    }
}

// Ids and status both hold one value per block.
std::vector<int> readBlockIds(const ExodusFile& file, std::size_t numBlocks)
{
    std::vector<int> ids(numBlocks);
    if (ids.empty()) {
        return ids;
    }
    requireValueCount(file, VAR_ID_EL_BLK, numBlocks, "its element block id variable", "one per element block");
    requireValueCount(file, VAR_STAT_EL_BLK, numBlocks, "its element block status variable", "one per element block");
    file.check(ex_get_ids(file.id(), EX_ELEM_BLOCK, ids.data()), "cannot read its element block ids");
    return ids;
}

// The library finds a block by the first occurrence of its id, and numbers the block's variables
// by that position, from 1.
std::string connectivityVariable(const std::vector<int>& ids, int id)
{
    const auto position = std::find(ids.begin(), ids.end(), id) - ids.begin();
    return "connect" + std::to_string(position + 1);
}

// The library copies the element type whole into a block's topology, MAX_STR_LENGTH characters
// and a terminating null, and then reads it as a string.
void requireElementTypeFits(const ExodusFile& file, const std::string& connectivity, const std::string& description)
{
    constexpr std::uint64_t longest = MAX_STR_LENGTH;
    const std::optional<std::uint64_t> length = attributeValueCount(file.id(), connectivity, ATT_NAME_ELB);
    if (!length || *length <= longest) {
        return;
    }
    std::array<char, longest + 1> text{};
    int variable = 0;
    const bool terminated = *length == text.size() &&
                            nc_inq_varid(file.id(), connectivity.c_str(), &variable) == NC_NOERR &&
                            nc_get_att_text(file.id(), variable, ATT_NAME_ELB, text.data()) == NC_NOERR &&
                            text.back() == '\0';
    if (!terminated) {
        file.fail(description + ": its element type is " + std::to_string(*length) + " characters long; at most " +
                  std::to_string(longest) + " are supported");
    }
}

// The library fills one fixed-size buffer per name; read fills the array of buffer pointers.
template <typename Read>
std::vector<std::string> readNames(const ExodusFile& file, std::size_t count, Read read, const std::string& what)
{
    if (count == 0) {
        return {};
    }
    const auto length = static_cast<std::size_t>(std::max<std::int64_t>(
        ex_inquire_int(file.id(), EX_INQ_MAX_READ_NAME_LENGTH), MAX_NAME_LENGTH));
    std::vector<char> storage(count * (length + 1), '\0');
    std::vector<char*> buffers(count);
    for (std::size_t i = 0; i < count; ++i) {
        buffers[i] = storage.data() + i * (length + 1);
    }
    file.check(read(buffers.data()), "cannot read the names of its " + what);
    std::vector<std::string> names;
    names.reserve(count);
    for (char* buffer : buffers) {
        names.emplace_back(buffer, std::find(buffer, buffer + length, '\0'));
    }
    return names;
}

// Each nodal variable must hold a value for every node. The library would notice a shorter one
// only when its values are read, and then with less to say about it.
void requireValuePerNode(const ExodusFile& file, const std::vector<std::string>& names, int numNodes)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        int variable = 0;
        const std::string separate = "vals_nod_var" + std::to_string(i + 1);
        if (nc_inq_varid(file.id(), separate.c_str(), &variable) != NC_NOERR &&
            nc_inq_varid(file.id(), "vals_nod_var", &variable) != NC_NOERR) {
            continue;  // no values stored at all: reading them will say so
        }
        int rank = 0;
        std::array<int, NC_MAX_VAR_DIMS> dimensions{};
        std::size_t length = 0;
        const bool known = nc_inq_varndims(file.id(), variable, &rank) == NC_NOERR && rank > 0 &&
                           nc_inq_vardimid(file.id(), variable, dimensions.data()) == NC_NOERR &&
                           nc_inq_dimlen(file.id(), dimensions[static_cast<std::size_t>(rank - 1)], &length) ==
                               NC_NOERR;
        if (known && length < static_cast<std::size_t>(numNodes)) {
            file.fail("nodal variable " + inQuotes(names[i]) + " holds " + std::to_string(length) +
                      " values per step, fewer than its " + std::to_string(numNodes) + " nodes");
        }
    }
}

// 1-based indices of the components of the node normal, which the file stores as three nodal
// variables; the first naming scheme that is complete wins.
std::optional<std::array<int, 3>> findNormalVariables(const std::vector<std::string>& names)
{
    static const std::array<std::array<const char*, 3>, 2> schemes{{{"NORMAL_X", "NORMAL_Y", "NORMAL_Z"},
                                                                     {"NX", "NY", "NZ"}}};
    for (const auto& scheme : schemes) {
        std::array<int, 3> indices{};
        bool complete = true;
        for (std::size_t c = 0; c < 3 && complete; ++c) {
            const auto found = std::find(names.begin(), names.end(), scheme[c]);
            complete = found != names.end();
            indices[c] = static_cast<int>(found - names.begin()) + 1;
        }
        if (complete) {
            return indices;
        }
    }
    return std::nullopt;
}

// The body's values out of those read for the whole span of the block's nodes.
template <typename Value>
std::vector<Value> pickNodes(const std::vector<Value>& span, const std::vector<int>& nodes, int firstNode)
{
    std::vector<Value> values(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        values[i] = span[static_cast<std::size_t>(nodes[i] - firstNode)];
    }
    return values;
}

}  // namespace

ExodusLoader::ExodusLoader(const std::string& path)
    : path_(path), logger_(std::make_unique<Calvora::Logging>(loggerName))
{
    const NetcdfFileFacts facts = inspectNetcdfFile(path_);
    file_ = std::make_unique<ExodusFile>(ExodusFile::open(path_, floatWordSize));
    readDimensions(facts);
    readVariables(facts);
    readBlocks(facts);
    addResults();
    if (file_->storedWordSize() == doubleWordSize) {
        doubleFile_ = std::make_unique<ExodusFile>(ExodusFile::open(path_, doubleWordSize));
    }
}

ExodusLoader::~ExodusLoader() = default;

const std::vector<SimBody>& ExodusLoader::bodies() const
{
    return bodies_;
}

const std::vector<SkippedBlock>& ExodusLoader::skippedBlocks() const
{
    return skipped_;
}

bool ExodusLoader::storesDoubles() const
{
    return doubleFile_ != nullptr;
}

void ExodusLoader::readDimensions(const NetcdfFileFacts& facts)
{
    const StorageLimit limit(*file_, facts);
    ex_init_params init{};
    file_->check(ex_get_init_ext(file_->id(), &init), "cannot read its dimensions");
    if (init.num_dim < 1 || init.num_dim > 3) {
        file_->fail("it has " + std::to_string(init.num_dim) + " spatial dimensions; 1 to 3 are supported");
    }
    numDimensions_ = static_cast<int>(init.num_dim);
    limit.require(init.num_nodes, static_cast<std::uint64_t>(numDimensions_ * file_->storedWordSize()), "nodes");
    requireIntRange(*file_, init.num_nodes, "nodes");
    numNodes_ = static_cast<int>(init.num_nodes);

    const std::int64_t numSteps = ex_inquire_int(file_->id(), EX_INQ_TIME);
    if (numSteps < 0) {
        file_->check(static_cast<int>(numSteps), "cannot read its number of time steps");
    }
    limit.require(numSteps, static_cast<std::uint64_t>(file_->storedWordSize()), "time steps");
    requireIntRange(*file_, numSteps, "time steps");
    numSteps_ = static_cast<int>(numSteps);
}

void ExodusLoader::readVariables(const NetcdfFileFacts& facts)
{
    int numVariables = 0;
    file_->check(ex_get_variable_param(file_->id(), EX_NODAL, &numVariables), "cannot read its nodal variables");
    StorageLimit(*file_, facts).require(numVariables, 1, "nodal variables");
    variableNames_ = readNames(
        *file_, static_cast<std::size_t>(numVariables),
        [&](char** names) { return ex_get_variable_names(file_->id(), EX_NODAL, numVariables, names); },
        "nodal variables");
    requireValuePerNode(*file_, variableNames_, numNodes_);
    if (numSteps_ > 0) {
        normalVariables_ = findNormalVariables(variableNames_);
    }
}

void ExodusLoader::readBlocks(const NetcdfFileFacts& facts)
{
    const StorageLimit limit(*file_, facts);
    const std::int64_t numBlocks = ex_inquire_int(file_->id(), EX_INQ_ELEM_BLK);
    limit.require(numBlocks, sizeof(int), "element blocks");
    const std::vector<int> ids = readBlockIds(*file_, static_cast<std::size_t>(numBlocks));
    const std::vector<std::string> names = readNames(
        *file_, ids.size(), [&](char** buffers) { return ex_get_names(file_->id(), EX_ELEM_BLOCK, buffers); },
        "element blocks");

    std::vector<int> localOf(static_cast<std::size_t>(numNodes_), -1);
    for (std::size_t b = 0; b < ids.size(); ++b) {
        const std::string name = names[b].empty() ? "block_" + std::to_string(ids[b]) : names[b];
        TriangleBlock block;
        block.id = ids[b];
        block.description = describeBlock(name, ids[b]);
        block.connectivity = connectivityVariable(ids, ids[b]);
        const std::optional<std::int64_t> numTriangles = readTriangleCount(block, name);
        if (!numTriangles) {
            continue;
        }
        limit.require(*numTriangles, 3 * sizeof(int), "elements in " + block.description);
        block.numTriangles = static_cast<std::size_t>(*numTriangles);
        blocks_.push_back(numberNodes(std::move(block), localOf));
        bodies_.push_back(SimBody{name, MeshLocation{path_, ids[b]}, {}});
    }
}

// A block of other elements than 3-node triangles is recorded as skipped, with a warning, and has
// no count.
std::optional<std::int64_t> ExodusLoader::readTriangleCount(const TriangleBlock& block, const std::string& name)
{
    requireElementTypeFits(*file_, block.connectivity, block.description);
    ex_block parameters{};
    parameters.id = block.id;
    parameters.type = EX_ELEM_BLOCK;
    file_->check(ex_get_block_param(file_->id(), &parameters), "cannot read " + block.description);
    if (isTriangleBlock(parameters)) {
        return parameters.num_entry;
    }
    skipped_.push_back({parameters.id, name, parameters.topology, parameters.num_nodes_per_entry});
    logger_->logWARN(aboutFile(path_, "skipping " + block.description + " of " +
                                          std::to_string(parameters.num_nodes_per_entry) + "-node " +
                                          parameters.topology + " elements; only 3-node triangles make a body"),
                     __FILE__, std::source_location::current().function_name(), __LINE__);
    return std::nullopt;
}

// Numbers the block's nodes in order of first use; localOf maps the file's nodes to them and is
// all -1 again on return, ready for the next block.
ExodusLoader::TriangleBlock ExodusLoader::numberNodes(TriangleBlock block, std::vector<int>& localOf) const
{
    const std::vector<int> connectivity = readConnectivity(block);
    block.nodes.reserve(std::min(connectivity.size(), localOf.size()));
    for (std::size_t k = 0; k < connectivity.size(); ++k) {
        const int node = connectivity[k];
        if (node < 1 || node > numNodes_) {
            file_->fail(block.description + ": element " + std::to_string(k / 3 + 1) + " refers to node " +
                        std::to_string(node) + ", outside the file's nodes 1 to " + std::to_string(numNodes_));
        }
        int& local = localOf[static_cast<std::size_t>(node - 1)];
        if (local < 0) {
            local = static_cast<int>(block.nodes.size());
            block.nodes.push_back(node - 1);
        }
    }
    for (const int node : block.nodes) {
        localOf[static_cast<std::size_t>(node)] = -1;
    }
    if (!block.nodes.empty()) {
        const auto [first, last] = std::minmax_element(block.nodes.begin(), block.nodes.end());
        block.firstNode = *first;
        block.nodeSpan = static_cast<std::size_t>(*last - *first) + 1;
    }
    return block;
}

// A result's id names the body and the variable: body * variables + variable.
void ExodusLoader::addResults()
{
    const std::size_t numVariables = variableNames_.size();
    for (std::size_t b = 0; b < bodies_.size(); ++b) {
        std::vector<ResultEntry>& results = bodies_[b].results;
        results.reserve(static_cast<std::size_t>(numSteps_) * numVariables);
        for (int step = numSteps_; step >= 1; --step) {
            for (std::size_t v = 0; v < numVariables; ++v) {
                const auto id = static_cast<std::int64_t>(b * numVariables + v);
                results.push_back(ResultEntry{variableNames_[v], DataLocation{path_, id, step}});
            }
        }
    }
}

void ExodusLoader::requireOwnSource(const std::string& source) const
{
    if (source != path_) {
        file_->fail("cannot load a location of another source, " + inQuotes(source));
    }
}

void ExodusLoader::requireStep(std::int64_t step) const
{
    if (step < 1 || step > numSteps_) {
        file_->fail("has no time step " + std::to_string(step) +
                    (numSteps_ == 0 ? "; it has none" : "; its steps are 1 to " + std::to_string(numSteps_)));
    }
}

const ExodusLoader::TriangleBlock& ExodusLoader::blockAt(const MeshLocation& where) const
{
    requireOwnSource(where.source);
    const auto block = std::find_if(blocks_.begin(), blocks_.end(),
                                    [&](const TriangleBlock& candidate) { return candidate.id == where.id; });
    if (block != blocks_.end()) {
        return *block;
    }
    const auto skipped = std::find_if(skipped_.begin(), skipped_.end(),
                                      [&](const SkippedBlock& candidate) { return candidate.id == where.id; });
    if (skipped != skipped_.end()) {
        file_->fail(describeBlock(skipped->name, skipped->id) + " holds " + skipped->elementType +
                    " elements, not 3-node triangles");
    }
    file_->fail("has no element block with id " + std::to_string(where.id));
}

void ExodusLoader::loadResult(const DataLocation& where, ResultBuilderInterface& builder,
                              std::optional<std::int64_t> step) const
{
    requireOwnSource(where.source);
    const std::size_t numVariables = variableNames_.size();
    if (where.id < 0 || static_cast<std::uint64_t>(where.id) >= blocks_.size() * numVariables) {
        file_->fail("has no result with id " + std::to_string(where.id));
    }
    const std::int64_t chosenStep = step.value_or(where.step);
    requireStep(chosenStep);
    const auto id = static_cast<std::size_t>(where.id);
    const TriangleBlock& block = blocks_[id / numVariables];
    const int variable = static_cast<int>(id % numVariables) + 1;
    if (doubleFile_ != nullptr) {
        const std::vector<double> values = readVariable<double>(*doubleFile_, block, chosenStep, variable);
        builder.build(values.size(), values.data());
    } else {
        const std::vector<float> values = readVariable<float>(*file_, block, chosenStep, variable);
        builder.build(values.size(), values.data());
    }
}

void ExodusLoader::loadCurve(const CurveLocation& where, CurveBuilderInterface&) const
{
    file_->fail("holds no curves, so it has no curve " + std::to_string(where.id));
}

void ExodusLoader::loadMesh(const MeshLocation& where, MeshBuilderInterface& builder) const
{
    const TriangleBlock& block = blockAt(where);
    const std::vector<int> triangles = readTriangles(block);
    MeshBuilderParamColMajor record;
    record.numNodes = block.nodes.size();
    record.numTriangles = block.numTriangles;
    record.triangles = triangles.data();

    if (builder.loadTopologyOnly()) {
        const std::vector<int> mapping = readSolverIndexMapping(block);
        record.solverIndexMapping = mapping.data();
        record.numNormals = block.nodes.size();  // each node stands for a tool vertex, which has a normal
        builder.build(record);
        return;
    }
    const FloatColumns coordinates = readCoordinates(block);
    if (!normalVariables_) {
        buildWithoutNormals(record, coordinates, builder);
        return;
    }
    record.x = coordinates[0].data();
    record.y = coordinates[1].data();
    record.z = coordinates[2].data();
    const FloatColumns normals = readNormals(block);
    record.nx = normals[0].data();
    record.ny = normals[1].data();
    record.nz = normals[2].data();
    record.numNormals = block.nodes.size();
    builder.build(record);
}

// A column-major record promises one normal per node; a file without normals hands its nodes
// over interleaved instead, the layout whose builders compute normals from the triangles.
void ExodusLoader::buildWithoutNormals(const MeshBuilderParamColMajor& columns, const FloatColumns& coordinates,
                                       MeshBuilderInterface& builder) const
{
    std::vector<float> interleaved(3 * columns.numNodes);
    for (std::size_t i = 0; i < columns.numNodes; ++i) {
        interleaved[3 * i] = coordinates[0][i];
        interleaved[3 * i + 1] = coordinates[1][i];
        interleaved[3 * i + 2] = coordinates[2][i];
    }
    MeshBuilderParamRowMajor record;
    record.numNodes = columns.numNodes;
    record.coordinates = interleaved.data();
    record.numTriangles = columns.numTriangles;
    record.triangles = columns.triangles;
    builder.build(record);
}

// The file's node numbers, from 1, three per triangle. The library reads the whole connectivity
// variable, so its size must be the block's.
std::vector<int> ExodusLoader::readConnectivity(const TriangleBlock& block) const
{
    std::vector<int> connectivity(3 * block.numTriangles);
    if (connectivity.empty()) {
        return connectivity;
    }
    requireValueCount(*file_, block.connectivity, connectivity.size(),
                      block.description + ": its connectivity variable", "three per element");
    file_->check(ex_get_conn(file_->id(), EX_ELEM_BLOCK, block.id, connectivity.data(), nullptr, nullptr),
                 "cannot read the connectivity of " + block.description);
    return connectivity;
}

// The connectivity once more, now in the body's node numbers.
std::vector<int> ExodusLoader::readTriangles(const TriangleBlock& block) const
{
    std::vector<int> triangles = readConnectivity(block);
    if (triangles.empty()) {
        return triangles;
    }
    std::vector<int> localOf(block.nodeSpan, -1);  // offset from the first node -> body node
    for (std::size_t i = 0; i < block.nodes.size(); ++i) {
        localOf[static_cast<std::size_t>(block.nodes[i] - block.firstNode)] = static_cast<int>(i);
    }
    for (int& corner : triangles) {
        const std::int64_t offset = std::int64_t{corner} - 1 - block.firstNode;
        const bool known = offset >= 0 && static_cast<std::uint64_t>(offset) < localOf.size() &&
                           localOf[static_cast<std::size_t>(offset)] >= 0;
        if (!known) {
            file_->fail("the connectivity of " + block.description + " changed after the file was opened");
        }
        corner = localOf[static_cast<std::size_t>(offset)];
    }
    return triangles;
}

// The file's node number map gives each node its number in the solver's numbering, from 1; a file
// without one numbers its nodes in order.
std::vector<int> ExodusLoader::readSolverIndexMapping(const TriangleBlock& block) const
{
    std::vector<int> span(block.nodeSpan);
    if (!span.empty()) {
        file_->check(ex_get_partial_id_map(file_->id(), EX_NODE_MAP, block.firstNode + 1,
                                           static_cast<std::int64_t>(span.size()), span.data()),
                     "cannot read its node number map");
    }
    std::vector<int> mapping = pickNodes(span, block.nodes, block.firstNode);
    mapping.reserve(1);  // the record's mapping must not be null, even for a body without nodes
    for (std::size_t i = 0; i < mapping.size(); ++i) {
        if (mapping[i] < 1) {
            file_->fail("its node number map numbers node " + std::to_string(block.nodes[i] + 1) + " " +
                        std::to_string(mapping[i]) + "; numbers start at 1");
        }
        --mapping[i];
    }
    return mapping;
}

ExodusLoader::FloatColumns ExodusLoader::readCoordinates(const TriangleBlock& block) const
{
    FloatColumns span;
    std::array<float*, 3> targets{nullptr, nullptr, nullptr};  // null for axes the file lacks
    for (int axis = 0; axis < numDimensions_; ++axis) {
        const auto a = static_cast<std::size_t>(axis);
        span[a].resize(block.nodeSpan);
        targets[a] = span[a].data();
    }
    if (block.nodeSpan > 0) {
        file_->check(ex_get_partial_coord(file_->id(), block.firstNode + 1,
                                          static_cast<std::int64_t>(block.nodeSpan), targets[0], targets[1],
                                          targets[2]),
                     "cannot read the coordinates of " + block.description);
    }
    FloatColumns coordinates;
    for (std::size_t a = 0; a < 3; ++a) {
        coordinates[a] = span[a].empty() ? std::vector<float>(block.nodes.size(), 0.0f)
                                         : pickNodes(span[a], block.nodes, block.firstNode);
    }
    for (std::size_t i = 0; i < block.nodes.size(); ++i) {
        if (!std::isfinite(coordinates[0][i]) || !std::isfinite(coordinates[1][i]) ||
            !std::isfinite(coordinates[2][i])) {
            file_->fail(block.description + ": node " + std::to_string(block.nodes[i] + 1) +
                        " has a non-finite coordinate");
        }
    }
    return coordinates;
}

// Normals are nodal variables like any other; the final step holds the final shape's.
ExodusLoader::FloatColumns ExodusLoader::readNormals(const TriangleBlock& block) const
{
    FloatColumns normals;
    for (std::size_t c = 0; c < 3; ++c) {
        normals[c] = readVariable<float>(*file_, block, numSteps_, (*normalVariables_)[c]);
    }
    return normals;
}

template <typename Value>
std::vector<Value> ExodusLoader::readVariable(const ExodusFile& file, const TriangleBlock& block,
                                              std::int64_t step, int variable) const
{
    std::vector<Value> span(block.nodeSpan);
    if (!span.empty()) {
        file.check(ex_get_partial_var(file.id(), static_cast<int>(step), EX_NODAL, variable, 1,
                                      block.firstNode + 1, static_cast<std::int64_t>(span.size()), span.data()),
                   "cannot read nodal variable " + inQuotes(variableNames_[static_cast<std::size_t>(variable - 1)]) +
                       " at step " + std::to_string(step) + " for " + block.description);
    }
    return pickNodes(span, block.nodes, block.firstNode);
}

}  // namespace CoreIo

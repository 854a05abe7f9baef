#include "ExodusFileReader.h"

#include <exodusII.h>
#include <exodusII_int.h>

#include <algorithm>
#include <array>
#include <climits>
#include <limits>
#include <numeric>
#include <variant>

namespace CoreIo {

struct ExodusFileReader::BlockStorage {
    std::string description;        // names the block in messages
    std::size_t position = 0;       // from 1: the number in the names of the block's netCDF variables
    std::int64_t firstElement = 0;  // among all the file's elements, from 0
    std::optional<SurfaceShape> shape;
    std::string defect;
};

namespace {

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
            file_.fail("its header promises " + std::to_string(count) + " " + what + ", more than a file of " +
                       std::to_string(fileSize_) + " bytes can hold");
        }
    }

private:
    const ExodusFile& file_;
    std::uint64_t fileSize_;
    std::uint64_t allowance_;
};

// Records carry 32-bit node numbers and steps are counted with an int.
void requireIntRange(const ExodusFile& file, std::int64_t count, const std::string& what)
{
    if (count > INT_MAX) {
        file.fail("it has " + std::to_string(count) + " " + what + ", more than " + std::to_string(INT_MAX) +
                  " are not supported");
    }
}

std::optional<int> variableId(int netcdfId, const std::string& name)
{
    int id = 0;
    return nc_inq_varid(netcdfId, name.c_str(), &id) == NC_NOERR ? std::optional<int>(id) : std::nullopt;
}

// The length of a dimension; 0 when the file lacks it, as the format means by leaving it out.
std::int64_t dimensionLength(int netcdfId, const std::string& name)
{
    int dimension = 0;
    std::size_t length = 0;
    if (nc_inq_dimid(netcdfId, name.c_str(), &dimension) != NC_NOERR ||
        nc_inq_dimlen(netcdfId, dimension, &length) != NC_NOERR) {
        return 0;
    }
    return static_cast<std::int64_t>(std::min<std::size_t>(length, std::numeric_limits<std::int64_t>::max()));
}

// The lengths of a variable's dimensions, the first being the step for values over time.
std::vector<std::size_t> shapeOf(int netcdfId, int variable)
{
    int rank = 0;
    std::array<int, NC_MAX_VAR_DIMS> dimensions{};
    if (nc_inq_varndims(netcdfId, variable, &rank) != NC_NOERR || rank < 0 || rank > NC_MAX_VAR_DIMS ||
        nc_inq_vardimid(netcdfId, variable, dimensions.data()) != NC_NOERR) {
        return {};
    }
    std::vector<std::size_t> shape(static_cast<std::size_t>(rank));
    for (std::size_t d = 0; d < shape.size(); ++d) {
        nc_inq_dimlen(netcdfId, dimensions[d], &shape[d]);
    }
    return shape;
}

// The value that stands for "never written" in a variable of floating-point values: its own fill
// value, or netCDF's default for its type.
double fillValue(int netcdfId, int variable)
{
    nc_type type = NC_NAT;
    int noFill = 0;
    if (nc_inq_vartype(netcdfId, variable, &type) == NC_NOERR && type == NC_FLOAT) {
        float fill = NC_FILL_FLOAT;
        nc_inq_var_fill(netcdfId, variable, &noFill, &fill);
        return fill;
    }
    double fill = NC_FILL_DOUBLE;
    if (type == NC_DOUBLE) {
        nc_inq_var_fill(netcdfId, variable, &noFill, &fill);
    }
    return fill;
}

// The netCDF variables of the format's layout with one array per item, numbered from 1.
std::string nodalValuesVariable(std::size_t variable)
{
    return VAR_NOD_VAR + std::to_string(variable + 1);
}

std::string connectivityVariable(std::size_t position)
{
    return "connect" + std::to_string(position);
}

std::string describeBlock(const std::string& name, std::int64_t id)
{
    return "element block " + inQuotes(name) + " (id " + std::to_string(id) + ")";
}

std::string netcdfFormat(int netcdfId)
{
    int format = 0;
    if (nc_inq_format(netcdfId, &format) != NC_NOERR) {
        return "unknown";
    }
    switch (format) {
    case NC_FORMAT_CLASSIC: return "netCDF classic";
    case NC_FORMAT_64BIT_OFFSET: return "netCDF 64-bit offset";
    case NC_FORMAT_CDF5: return "netCDF CDF-5";
    case NC_FORMAT_NETCDF4: return "netCDF-4";
    case NC_FORMAT_NETCDF4_CLASSIC: return "netCDF-4 classic model";
    default: return "netCDF format " + std::to_string(format);
    }
}

// Names are stored as rows of characters, each ended by a null unless it fills its row; writers
// of fixed-width text pad them with blanks. A file without the variable names nothing.
std::vector<std::string> readNames(int netcdfId, const char* namesVariable, std::size_t count)
{
    std::vector<std::string> names(count);
    const std::optional<int> variable = variableId(netcdfId, namesVariable);
    const std::vector<std::size_t> shape = variable ? shapeOf(netcdfId, *variable) : std::vector<std::size_t>{};
    if (shape.size() != 2 || shape[1] == 0) {
        return names;
    }
    const std::size_t rows = std::min(count, shape[0]);
    std::vector<char> text(rows * shape[1], '\0');
    const std::array<std::size_t, 2> start{0, 0};
    const std::array<std::size_t, 2> extent{rows, shape[1]};
    if (rows == 0 || nc_get_vara_text(netcdfId, *variable, start.data(), extent.data(), text.data()) != NC_NOERR) {
        return names;
    }
    for (std::size_t row = 0; row < rows; ++row) {
        const char* begin = text.data() + row * shape[1];
        std::string name(begin, std::find(begin, begin + shape[1], '\0'));
        name.erase(name.find_last_not_of(' ') + 1);
        names[row] = std::move(name);
    }
    return names;
}

// Variables the file stores without a name get one, so that each can be listed and chosen.
void nameUnnamed(std::vector<std::string>& names, const std::string& prefix)
{
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (names[k].empty()) {
            names[k] = prefix + std::to_string(k + 1);
        }
    }
}

// The element type of a block, as stored with its connectivity. A block without elements has no
// connectivity, and the format calls its type NULL.
std::string readElementType(int netcdfId, const std::string& connectivity)
{
    const std::optional<int> variable = variableId(netcdfId, connectivity);
    std::size_t length = 0;
    if (!variable || nc_inq_attlen(netcdfId, *variable, ATT_NAME_ELB, &length) != NC_NOERR) {
        return "NULL";
    }
    std::string type(length, '\0');
    if (length > 0 && nc_get_att_text(netcdfId, *variable, ATT_NAME_ELB, type.data()) != NC_NOERR) {
        return "";
    }
    type.erase(std::find(type.begin(), type.end(), '\0'), type.end());
    type.erase(type.find_last_not_of(' ') + 1);
    return type;
}

// The names blocks go by: the stored one, or block_<id> for a block without; unnamed_block_<id>
// where another block is stored under that name, so that a name chooses one block.
std::vector<std::string> namesToGoBy(const std::vector<std::int64_t>& ids, const std::vector<std::string>& stored)
{
    std::vector<std::string> names(stored);
    for (std::size_t b = 0; b < names.size(); ++b) {
        if (!names[b].empty()) {
            continue;
        }
        names[b] = "block_" + std::to_string(ids[b]);
        while (std::find(stored.begin(), stored.end(), names[b]) != stored.end()) {
            names[b] = "unnamed_" + names[b];
        }
    }
    return names;
}

// A block element refers to nodes 1 to numNodes; returns a description of the first that does not.
std::optional<std::string> findNodeOutside(const std::vector<int>& connectivity, std::int64_t nodesPerElement,
                                           int numNodes)
{
    const auto outside = std::find_if(connectivity.begin(), connectivity.end(),
                                      [numNodes](int node) { return node < 1 || node > numNodes; });
    if (outside == connectivity.end()) {
        return std::nullopt;
    }
    const auto position = static_cast<std::int64_t>(outside - connectivity.begin());
    return "element " + std::to_string(position / nodesPerElement + 1) + " refers to node " + std::to_string(*outside) +
           ", outside the file's nodes 1 to " + std::to_string(numNodes) + "; fix the block's connectivity";
}

}  // namespace

ExodusFileReader::ExodusFileReader(const std::string& path)
    : facts_(inspectNetcdfFile(path)), file_(ExodusFile::open(path))
{
    readDimensions();
    readVariableNames();
    readSteps();
    readBlocks();
}

ExodusFileReader::~ExodusFileReader() = default;

bool ExodusFileReader::storesDoubles() const
{
    return file_.storedWordSize() == 8;
}

void ExodusFileReader::fail(const std::string& what) const
{
    file_.fail(what);
}

const std::string& ExodusFileReader::blockDescription(std::size_t block) const
{
    return blocks_.at(block).description;
}

std::optional<SurfaceShape> ExodusFileReader::surfaceShape(std::size_t block) const
{
    return blocks_.at(block).shape;
}

void ExodusFileReader::readDimensions()
{
    const StorageLimit limit(file_, facts_);
    std::int64_t numNodes = 0;
    std::int64_t numSteps = 0;
    file_.locked([&](int netcdfId) {
        listing_.numDimensions = static_cast<int>(std::min<std::int64_t>(dimensionLength(netcdfId, DIM_NUM_DIM), 4));
        listing_.format = netcdfFormat(netcdfId);
        numNodes = dimensionLength(netcdfId, DIM_NUM_NODES);
        numSteps = dimensionLength(netcdfId, DIM_TIME);
        combinedCoordinates_ = !variableId(netcdfId, VAR_COORD_X) && variableId(netcdfId, VAR_COORD);
    });
    if (listing_.numDimensions < 1 || listing_.numDimensions > 3) {
        file_.fail("it has " + std::to_string(listing_.numDimensions) + " spatial dimensions; 1 to 3 are supported");
    }
    listing_.wordSize = file_.storedWordSize();
    limit.require(numNodes, static_cast<std::uint64_t>(listing_.numDimensions * listing_.wordSize), "nodes");
    requireIntRange(file_, numNodes, "nodes");
    listing_.numNodes = numNodes;
    limit.require(numSteps, static_cast<std::uint64_t>(listing_.wordSize), "time steps");
    requireIntRange(file_, numSteps, "time steps");
    listing_.stepTimes.resize(static_cast<std::size_t>(numSteps));
}

void ExodusFileReader::readVariableNames()
{
    const StorageLimit limit(file_, facts_);
    file_.locked([&](int netcdfId) {
        const std::int64_t numNodal = dimensionLength(netcdfId, DIM_NUM_NOD_VAR);
        const std::int64_t numElement = dimensionLength(netcdfId, DIM_NUM_ELE_VAR);
        limit.require(numNodal, 1, "nodal variables");
        limit.require(numElement, 1, "element variables");
        listing_.nodalVariables = readNames(netcdfId, VAR_NAME_NOD_VAR, static_cast<std::size_t>(numNodal));
        listing_.elementVariables = readNames(netcdfId, VAR_NAME_ELE_VAR, static_cast<std::size_t>(numElement));
        combinedNodalValues_ = !variableId(netcdfId, nodalValuesVariable(0)) && variableId(netcdfId, VAR_NOD_VAR);
    });
    nameUnnamed(listing_.nodalVariables, "nodal_variable_");
    nameUnnamed(listing_.elementVariables, "element_variable_");
    readNodalStorage();
}

// Each nodal variable must hold a value for every node, and its fill value tells unwritten
// values from data.
void ExodusFileReader::readNodalStorage()
{
    for (std::size_t v = 0; v < listing_.nodalVariables.size(); ++v) {
        const std::string name = combinedNodalValues_ ? std::string(VAR_NOD_VAR) : nodalValuesVariable(v);
        auto length = static_cast<std::size_t>(listing_.numNodes);  // no values at all: reading them says so
        double fill = NC_FILL_DOUBLE;
        file_.locked([&](int netcdfId) {
            if (const std::optional<int> variable = variableId(netcdfId, name)) {
                const std::vector<std::size_t> shape = shapeOf(netcdfId, *variable);
                length = shape.empty() ? 0 : shape.back();
                fill = fillValue(netcdfId, *variable);
            }
        });
        if (length < static_cast<std::size_t>(listing_.numNodes)) {
            file_.fail("nodal variable " + inQuotes(listing_.nodalVariables[v]) + " holds " + std::to_string(length) +
                       " values per step, fewer than its " + std::to_string(listing_.numNodes) + " nodes");
        }
        nodalFillValues_.push_back(fill);
    }
}

void ExodusFileReader::readSteps()
{
    if (!listing_.stepTimes.empty()) {
        const std::vector<double> times = readValues(VAR_WHOLE_TIME, {0}, {listing_.stepTimes.size()},
                                                     "its step times");
        listing_.stepTimes = times;
    }
}

void ExodusFileReader::readBlocks()
{
    std::int64_t numBlocks = 0;
    file_.locked([&](int netcdfId) { numBlocks = dimensionLength(netcdfId, DIM_NUM_EL_BLK); });
    StorageLimit(file_, facts_).require(numBlocks, sizeof(int), "element blocks");
    requireIntRange(file_, numBlocks, "element blocks");
    const auto count = static_cast<std::size_t>(numBlocks);
    std::vector<std::int64_t> ids = count == 0 ? std::vector<std::int64_t>{} : readBlockIds(count);
    std::vector<std::string> stored;
    file_.locked([&](int netcdfId) { stored = readNames(netcdfId, VAR_NAME_EL_BLK, count); });
    const std::vector<std::string> names = namesToGoBy(ids, stored);

    std::vector<int> marks(static_cast<std::size_t>(listing_.numNodes), -1);
    for (std::size_t b = 0; b < count; ++b) {
        readBlock(b + 1, ids[b], {names[b], stored[b]});
        countBlockNodes(b, marks);
    }
}

// One id per block, each its own: the variable that holds them must hold as many as the file has
// blocks, and a body's mesh location names its block by id.
std::vector<std::int64_t> ExodusFileReader::readBlockIds(std::size_t count) const
{
    for (const auto& [variable, what] : {std::pair{VAR_ID_EL_BLK, "id"}, std::pair{VAR_STAT_EL_BLK, "status"}}) {
        const std::optional<std::uint64_t> stored = file_.locked(
            [&](int netcdfId) { return variableValueCount(netcdfId, variable); });
        if (stored && *stored != count) {
            file_.fail(std::string("its element block ") + what + " variable " + inQuotes(variable) + " holds " +
                       std::to_string(*stored) + " values, not " + std::to_string(count) + ", one per element block");
        }
    }
    std::vector<std::int64_t> ids = readIds(VAR_ID_EL_BLK, 0, count, "its element block ids", false);
    std::vector<std::size_t> byId(count);
    std::iota(byId.begin(), byId.end(), std::size_t{0});
    std::ranges::stable_sort(byId, {}, [&](std::size_t b) { return ids[b]; });
    const auto shared = std::ranges::adjacent_find(byId, {}, [&](std::size_t b) { return ids[b]; });
    if (shared != byId.end()) {
        file_.fail("its element blocks " + std::to_string(*shared + 1) + " and " + std::to_string(*(shared + 1) + 1) +
                   " (in the file's order) share the id " + std::to_string(ids[*shared]) +
                   "; an id names one block in selections and mesh locations, so give each block its own");
    }
    return ids;
}

// The block's parameters, checked against the file's size before anything is sized by them. A
// block without elements has no dimensions of its own.
void ExodusFileReader::readBlock(std::size_t position, std::int64_t id, const std::array<std::string, 2>& names)
{
    ExodusBlockListing entry;
    entry.id = id;
    entry.name = names[0];
    entry.storedName = names[1];
    BlockStorage block;
    block.description = describeBlock(entry.name, id);
    block.position = position;
    block.firstElement = blocks_.empty() ? 0 : blocks_.back().firstElement + listing_.blocks.back().numElements;
    const std::string connectivity = connectivityVariable(position);
    file_.locked([&](int netcdfId) {
        entry.numElements = dimensionLength(netcdfId, "num_el_in_blk" + std::to_string(position));
        entry.nodesPerElement = dimensionLength(netcdfId, "num_nod_per_el" + std::to_string(position));
        entry.elementType = readElementType(netcdfId, connectivity);
    });
    const StorageLimit limit(file_, facts_);
    limit.require(entry.numElements, sizeof(int), "elements in " + block.description);
    limit.require(entry.nodesPerElement, 1, "nodes per element in " + block.description);
    if (entry.nodesPerElement > 0 && entry.numElements > INT64_MAX / entry.nodesPerElement) {
        file_.fail(block.description + ": its header gives more element corners than can be counted");
    }
    limit.require(entry.numElements * entry.nodesPerElement, sizeof(int), "element corners in " + block.description);
    const std::variant<SurfaceShape, std::string> kind = classifyElement(entry.elementType, entry.nodesPerElement);
    if (const auto* shape = std::get_if<SurfaceShape>(&kind)) {
        block.shape = *shape;
    } else {
        entry.skipReason = std::get<std::string>(kind);
    }
    listing_.blocks.push_back(std::move(entry));
    blocks_.push_back(std::move(block));
}

// marks holds, per file node, the last block that used it. Connectivity that cannot be used makes
// a surface block defective; another block counts only the nodes it names within the file.
void ExodusFileReader::countBlockNodes(std::size_t block, std::vector<int>& marks)
{
    ExodusBlockListing& entry = listing_.blocks[block];
    const std::variant<std::vector<int>, std::string> read = readConnectivity(block);
    std::optional<std::string> problem;
    if (const auto* reason = std::get_if<std::string>(&read)) {
        problem = *reason;
    } else {
        problem = findNodeOutside(std::get<std::vector<int>>(read), entry.nodesPerElement,
                                  static_cast<int>(listing_.numNodes));
    }
    if (problem && blocks_[block].shape) {
        entry.skipReason = *problem;
        blocks_[block].defect = blocks_[block].description + ": " + *problem;
    }
    if (read.index() != 0) {
        return;
    }
    std::int64_t count = 0;
    for (const int node : std::get<std::vector<int>>(read)) {
        if (node < 1 || node > listing_.numNodes) {
            continue;
        }
        int& mark = marks[static_cast<std::size_t>(node - 1)];
        if (mark != static_cast<int>(block)) {
            mark = static_cast<int>(block);
            ++count;
        }
    }
    entry.numNodes = count;
}

std::vector<int> ExodusFileReader::connectivity(std::size_t block) const
{
    if (!blocks_.at(block).defect.empty()) {
        file_.fail(blocks_[block].defect);
    }
    std::variant<std::vector<int>, std::string> read = readConnectivity(block);
    if (const auto* reason = std::get_if<std::string>(&read)) {
        file_.fail(blocks_[block].description + ": " + *reason);
    }
    std::vector<int> nodes = std::move(std::get<std::vector<int>>(read));
    for (int& node : nodes) {
        --node;
    }
    return nodes;
}

// The file's node numbers, from 1, nodesPerElement per element, as stored; or why they cannot be
// read. The variable must hold exactly the block's elements.
std::variant<std::vector<int>, std::string> ExodusFileReader::readConnectivity(std::size_t block) const
{
    const ExodusBlockListing& entry = listing_.blocks[block];
    const auto nodesPerElement = static_cast<std::size_t>(entry.nodesPerElement);
    std::vector<int> connectivity(static_cast<std::size_t>(entry.numElements) * nodesPerElement);
    if (connectivity.empty()) {
        return connectivity;
    }
    const std::string variable = connectivityVariable(blocks_[block].position);
    return file_.locked([&](int netcdfId) -> std::variant<std::vector<int>, std::string> {
        const std::optional<std::uint64_t> stored = variableValueCount(netcdfId, variable);
        if (stored && *stored != connectivity.size()) {
            return "its connectivity variable " + inQuotes(variable) + " holds " + std::to_string(*stored) +
                   " values, not " + std::to_string(connectivity.size()) + ", " + std::to_string(nodesPerElement) +
                   " per element";
        }
        const std::optional<int> id = variableId(netcdfId, variable);
        const int status = id ? nc_get_var_int(netcdfId, *id, connectivity.data()) : NC_ENOTVAR;
        if (status != NC_NOERR) {
            return "cannot read its connectivity: " + std::string(nc_strerror(status));
        }
        return std::move(connectivity);
    });
}

Positions ExodusFileReader::coordinates(NodeRange nodes) const
{
    Positions positions;
    for (std::size_t a = 0; a < 3; ++a) {
        if (a >= static_cast<std::size_t>(listing_.numDimensions)) {
            positions[a].assign(nodes.count, 0.0);
        } else if (combinedCoordinates_) {
            positions[a] = readValues(VAR_COORD, {a, nodes.first}, {1, nodes.count}, "its node coordinates");
        } else {
            const std::array<const char*, 3> axes{VAR_COORD_X, VAR_COORD_Y, VAR_COORD_Z};
            positions[a] = readValues(axes[a], {nodes.first}, {nodes.count}, "its node coordinates");
        }
    }
    return positions;
}

std::vector<double> ExodusFileReader::nodalValues(std::size_t variable, std::int64_t step, NodeRange nodes) const
{
    const std::string what = "nodal variable " + inQuotes(listing_.nodalVariables.at(variable)) + " at step " +
                             std::to_string(step);
    const auto record = static_cast<std::size_t>(step - 1);
    if (combinedNodalValues_) {
        return readValues(VAR_NOD_VAR, {record, variable, nodes.first}, {1, 1, nodes.count}, what);
    }
    return readValues(nodalValuesVariable(variable), {record, nodes.first}, {1, nodes.count}, what);
}

double ExodusFileReader::nodalFillValue(std::size_t variable) const
{
    return nodalFillValues_.at(variable);
}

std::string ExodusFileReader::elementValuesVariable(std::size_t block, std::size_t variable) const
{
    return "vals_elem_var" + std::to_string(variable + 1) + "eb" + std::to_string(blocks_.at(block).position);
}

bool ExodusFileReader::holdsElementValues(std::size_t block, std::size_t variable) const
{
    const std::string name = elementValuesVariable(block, variable);
    return file_.locked([&](int netcdfId) { return variableId(netcdfId, name).has_value(); });
}

std::vector<double> ExodusFileReader::elementValues(std::size_t block, std::size_t variable, std::int64_t step) const
{
    const auto numElements = static_cast<std::size_t>(listing_.blocks.at(block).numElements);
    return readValues(elementValuesVariable(block, variable), {static_cast<std::size_t>(step - 1), 0}, {1, numElements},
                      "element variable " + inQuotes(listing_.elementVariables.at(variable)) + " at step " +
                          std::to_string(step) + " for " + blocks_[block].description);
}

double ExodusFileReader::elementFillValue(std::size_t block, std::size_t variable) const
{
    const std::string name = elementValuesVariable(block, variable);
    return file_.locked([&](int netcdfId) {
        const std::optional<int> id = variableId(netcdfId, name);
        return id ? fillValue(netcdfId, *id) : NC_FILL_DOUBLE;
    });
}

std::vector<std::int64_t> ExodusFileReader::nodeIds(NodeRange nodes) const
{
    return readIds(VAR_NODE_NUM_MAP, nodes.first, nodes.count, "its node number map", true);
}

std::vector<std::int64_t> ExodusFileReader::elementIds(std::size_t block) const
{
    return readIds(VAR_ELEM_NUM_MAP, static_cast<std::size_t>(blocks_.at(block).firstElement),
                   static_cast<std::size_t>(listing_.blocks[block].numElements), "its element number map", true);
}

// Values of any stored type, as doubles. A variable the file lacks cannot be read.
std::vector<double> ExodusFileReader::readValues(const std::string& variable, const std::vector<std::size_t>& start,
                                                 const std::vector<std::size_t>& count, const std::string& what) const
{
    std::vector<double> values(count.back());
    if (values.empty()) {
        return values;
    }
    file_.netcdf("cannot read " + what, [&](int netcdfId) {
        const std::optional<int> id = variableId(netcdfId, variable);
        return id ? nc_get_vara_double(netcdfId, *id, start.data(), count.data(), values.data()) : NC_ENOTVAR;
    });
    return values;
}

// Ids of any stored width; a map the file lacks numbers in order from 1 when it may be left out.
std::vector<std::int64_t> ExodusFileReader::readIds(const char* variable, std::size_t first, std::size_t count,
                                                    const std::string& what, bool optional) const
{
    std::vector<std::int64_t> ids(count);
    if (ids.empty()) {
        return ids;
    }
    const bool stored = file_.locked([&](int netcdfId) { return variableId(netcdfId, variable).has_value(); });
    if (!stored && optional) {
        std::iota(ids.begin(), ids.end(), static_cast<std::int64_t>(first) + 1);
        return ids;
    }
    static_assert(sizeof(long long) == sizeof(std::int64_t));
    file_.netcdf("cannot read " + what, [&](int netcdfId) {
        const std::optional<int> id = variableId(netcdfId, variable);
        return id ? nc_get_vara_longlong(netcdfId, *id, &first, &count, reinterpret_cast<long long*>(ids.data()))
                  : NC_ENOTVAR;
    });
    return ids;
}

}  // namespace CoreIo

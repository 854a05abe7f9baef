#include "ExodusLoader.h"

#include "ExodusElements.h"
#include "ExodusFile.h"
#include "ExodusVariables.h"
#include "NetcdfExtent.h"
#include "QRVService_Logging.h"

#include <exodusII.h>
#include <exodusII_int.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <variant>

namespace CoreIo {

struct ExodusLoader::BlockFacts {
    std::string description;   // names the block in messages
    std::string connectivity;  // the netCDF variable that holds the block's connectivity
    std::optional<SurfaceShape> shape;  // empty: skipped
    std::int64_t firstElement = 0;      // among all the file's elements, from 0
};

struct ExodusLoader::Body {
    std::string label;  // names the body in messages
    ExodusBodyDescription description;
    std::vector<int> triangles;  // three body nodes per triangle
    int firstNode = 0;           // the smallest file node of the body
    std::size_t nodeSpan = 0;    // how many of the file's nodes lie from the smallest to the largest
    Columns reference;           // relative to the origin
    std::optional<std::array<int, 3>> displacement;
    InitialCoordinateSource initialCoordinates;
    std::array<int, 2> initialCoordinateVariables{};  // for InitialCoordinateSource::Kind::Variables
};

namespace {

constexpr const char* loggerName = "CoreIo.ExodusLoader";
constexpr int doubleWordSize = 8;
// netCDF-4 files may be deflated, which shrinks data by at most about this factor.
constexpr std::uint64_t deflateRatioLimit = 1032;
// Result slots per body beyond the file's nodal variables: the two initial coordinates.
constexpr std::size_t initialCoordinateSlots = 2;
const std::array<std::string, 2> initialCoordinateNames{"INITIALCOORD0", "INITIALCOORD1"};

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

// Records carry 32-bit node numbers and the library counts steps with an int.
void requireIntRange(const ExodusFile& file, std::int64_t count, const std::string& what)
{
    if (count > INT_MAX) {
        file.fail("it has " + std::to_string(count) + " " + what + ", more than " + std::to_string(INT_MAX) +
                  " are not supported");
    }
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
    const auto length = static_cast<std::size_t>(
        std::max<std::int64_t>(ex_inquire_int(file.id(), EX_INQ_MAX_READ_NAME_LENGTH), MAX_NAME_LENGTH));
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

// The library cuts names to 32 characters unless asked for more, and reads as many as it is
// asked for, so ask for what the variable holding the names stores per name.
void readNamesInFull(const ExodusFile& file, const char* namesVariable)
{
    int variable = 0;
    int rank = 0;
    std::array<int, NC_MAX_VAR_DIMS> dimensions{};
    std::size_t length = MAX_NAME_LENGTH + 1;
    if (nc_inq_varid(file.id(), namesVariable, &variable) == NC_NOERR &&
        nc_inq_varndims(file.id(), variable, &rank) == NC_NOERR && rank == 2 &&
        nc_inq_vardimid(file.id(), variable, dimensions.data()) == NC_NOERR) {
        nc_inq_dimlen(file.id(), dimensions[1], &length);
    }
    const auto stored = static_cast<int>(std::clamp<std::size_t>(length, 2, NC_MAX_NAME + 1) - 1);
    file.check(ex_set_max_name_length(file.id(), stored), "cannot read its names in full");
}

std::string nameOrId(const ExodusBlockListing& block)
{
    return block.name.empty() ? "block_" + std::to_string(block.id) : block.name;
}

// Every block with its id, full name and type, and why it is skipped, for messages that ask the
// user to choose.
std::string blockList(const ExodusListing& listing)
{
    std::string list;
    for (const ExodusBlockListing& block : listing.blocks) {
        list += (list.empty() ? "" : "; ") + std::string("id ") + std::to_string(block.id) + " " +
                inQuotes(block.name) + " (" + block.elementType +
                (block.skipReason.empty() ? "" : ", skipped: " + block.skipReason) + ")";
    }
    return list.empty() ? "none" : list;
}

bool isDecimalId(const std::string& text, std::int64_t id)
{
    return text == std::to_string(id);
}

template <typename Value>
std::vector<float> narrowed(const std::vector<Value>& values)
{
    return {values.begin(), values.end()};
}

}  // namespace

ExodusLoader::ExodusLoader(const std::string& path)
    : ExodusLoader(path, std::optional<ExodusBodyOptions>{}, Purpose::Bodies)
{
}

ExodusLoader::ExodusLoader(const std::string& path, const ExodusBodyOptions& options)
    : ExodusLoader(path, std::optional<ExodusBodyOptions>{options}, Purpose::Bodies)
{
}

ExodusLoader::ExodusLoader(const std::string& path, const std::optional<ExodusBodyOptions>& options, Purpose purpose)
    : path_(path), logger_(std::make_unique<Calvora::Logging>(loggerName))
{
    const NetcdfFileFacts facts = inspectNetcdfFile(path_);
    file_ = std::make_unique<ExodusFile>(ExodusFile::open(path_, doubleWordSize));
    readDimensions(facts);
    readVariables(facts);
    readSteps();
    readBlocks(facts);
    if (purpose == Purpose::ListingOnly)
        return;
    warnAboutSkippedBlocks();
    std::vector<int> localOf(static_cast<std::size_t>(numNodes_), -1);
    if (options) {
        addBody(selectBlocks(options->blocks), *options, localOf);
        return;
    }
    ExodusBodyOptions asStored;
    asStored.displacement = "none";
    asStored.origin = std::array<double, 3>{0.0, 0.0, 0.0};
    for (std::size_t b = 0; b < blockFacts_.size(); ++b) {
        if (blockFacts_[b].shape) {
            addBody({b}, asStored, localOf);
        }
    }
}

ExodusLoader::~ExodusLoader() = default;

ExodusListing listExodusFile(const std::string& path)
{
    return ExodusLoader(path, std::nullopt, ExodusLoader::Purpose::ListingOnly).listing();
}

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
    return file_->storedWordSize() == doubleWordSize;
}

const ExodusListing& ExodusLoader::listing() const
{
    return listing_;
}

const ExodusBodyDescription& ExodusLoader::description(std::size_t body) const
{
    if (body >= bodyData_.size()) {
        file_->fail("has no body " + std::to_string(body) + "; it has " + std::to_string(bodyData_.size()));
    }
    return bodyData_[body].description;
}

void ExodusLoader::readDimensions(const NetcdfFileFacts& facts)
{
    const StorageLimit limit(*file_, facts);
    ex_init_params init{};
    file_->check(ex_get_init_ext(file_->id(), &init), "cannot read its dimensions");
    if (init.num_dim < 1 || init.num_dim > 3) {
        file_->fail("it has " + std::to_string(init.num_dim) + " spatial dimensions; 1 to 3 are supported");
    }
    listing_.numDimensions = static_cast<int>(init.num_dim);
    listing_.wordSize = file_->storedWordSize();
    listing_.format = netcdfFormat(file_->id());
    limit.require(init.num_nodes, static_cast<std::uint64_t>(listing_.numDimensions * file_->storedWordSize()),
                  "nodes");
    requireIntRange(*file_, init.num_nodes, "nodes");
    numNodes_ = static_cast<int>(init.num_nodes);
    listing_.numNodes = numNodes_;

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
    for (const ex_entity_type type : {EX_NODAL, EX_ELEM_BLOCK}) {
        const std::string what = type == EX_NODAL ? "nodal variables" : "element variables";
        int count = 0;
        file_->check(ex_get_variable_param(file_->id(), type, &count), "cannot read its " + what);
        StorageLimit(*file_, facts).require(count, 1, what);
        readNamesInFull(*file_, type == EX_NODAL ? VAR_NAME_NOD_VAR : VAR_NAME_ELE_VAR);
        (type == EX_NODAL ? listing_.nodalVariables : listing_.elementVariables) = readNames(
            *file_, static_cast<std::size_t>(count),
            [&](char** names) { return ex_get_variable_names(file_->id(), type, count, names); }, what);
    }
    requireValuePerNode(*file_, listing_.nodalVariables, numNodes_);
    if (numSteps_ > 0) {
        normalVariables_ = findNormalVariables(listing_.nodalVariables);
    }
}

void ExodusLoader::readSteps()
{
    listing_.stepTimes.resize(static_cast<std::size_t>(numSteps_));
    if (numSteps_ > 0) {
        file_->check(ex_get_all_times(file_->id(), listing_.stepTimes.data()), "cannot read its step times");
    }
}

void ExodusLoader::readBlocks(const NetcdfFileFacts& facts)
{
    const std::int64_t numBlocks = ex_inquire_int(file_->id(), EX_INQ_ELEM_BLK);
    StorageLimit(*file_, facts).require(numBlocks, sizeof(int), "element blocks");
    const std::vector<int> ids = readBlockIds(*file_, static_cast<std::size_t>(numBlocks));
    readNamesInFull(*file_, VAR_NAME_EL_BLK);
    const std::vector<std::string> names = readNames(
        *file_, ids.size(), [&](char** buffers) { return ex_get_names(file_->id(), EX_ELEM_BLOCK, buffers); },
        "element blocks");

    std::vector<int> marks(static_cast<std::size_t>(numNodes_), -1);
    std::int64_t firstElement = 0;
    for (std::size_t b = 0; b < ids.size(); ++b) {
        readBlock(facts, ids, b, names[b], firstElement);
        firstElement += listing_.blocks.back().numElements;
        classifyBlock(b);
        countBlockNodes(b, marks);
    }
}

// The block's parameters, checked against the file's size before anything is sized by them.
void ExodusLoader::readBlock(const NetcdfFileFacts& facts, const std::vector<int>& ids, std::size_t b,
                             const std::string& name, std::int64_t firstElement)
{
    ExodusBlockListing entry;
    entry.id = ids[b];
    entry.name = name;
    BlockFacts block;
    block.description = describeBlock(nameOrId(entry), entry.id);
    block.connectivity = connectivityVariable(ids, ids[b]);
    block.firstElement = firstElement;
    requireElementTypeFits(*file_, block.connectivity, block.description);
    ex_block parameters{};
    parameters.id = entry.id;
    parameters.type = EX_ELEM_BLOCK;
    file_->check(ex_get_block_param(file_->id(), &parameters), "cannot read " + block.description);
    entry.elementType = parameters.topology;
    entry.numElements = parameters.num_entry;
    entry.nodesPerElement = parameters.num_nodes_per_entry;
    const StorageLimit limit(*file_, facts);
    limit.require(entry.numElements, sizeof(int), "elements in " + block.description);
    limit.require(entry.nodesPerElement, 1, "nodes per element in " + block.description);
    if (entry.nodesPerElement > 0 && entry.numElements > INT64_MAX / entry.nodesPerElement) {
        file_->fail(block.description + ": its header gives more element corners than can be counted");
    }
    limit.require(entry.numElements * entry.nodesPerElement, sizeof(int), "element corners in " + block.description);
    listing_.blocks.push_back(std::move(entry));
    blockFacts_.push_back(std::move(block));
}

// A block of other elements than surface ones is recorded as skipped.
void ExodusLoader::classifyBlock(std::size_t b)
{
    ExodusBlockListing& entry = listing_.blocks[b];
    const std::variant<SurfaceShape, std::string> kind = classifyElement(entry.elementType, entry.nodesPerElement);
    if (const auto* shape = std::get_if<SurfaceShape>(&kind)) {
        blockFacts_[b].shape = *shape;
        return;
    }
    entry.skipReason = std::get<std::string>(kind);
    skipped_.push_back({entry.id, nameOrId(entry), entry.elementType, entry.nodesPerElement});
}

// A listing names skipped blocks itself; a loader that makes bodies says what it leaves out.
void ExodusLoader::warnAboutSkippedBlocks() const
{
    for (std::size_t b = 0; b < blockFacts_.size(); ++b)
        if (!listing_.blocks[b].skipReason.empty())
            Calvora::logWarn(*logger_, aboutFile(path_, "skipping " + blockFacts_[b].description + ": " +
                                                            listing_.blocks[b].skipReason));
}

// marks holds, per file node, the last block that used it.
void ExodusLoader::countBlockNodes(std::size_t block, std::vector<int>& marks)
{
    std::int64_t count = 0;
    for (const int node : readConnectivity(block)) {
        int& mark = marks[static_cast<std::size_t>(node - 1)];
        if (mark != static_cast<int>(block)) {
            mark = static_cast<int>(block);
            ++count;
        }
    }
    listing_.blocks[block].numNodes = count;
}

// The chosen blocks in the file's order; every surface block when none is chosen.
std::vector<std::size_t> ExodusLoader::selectBlocks(const std::vector<std::string>& selection) const
{
    std::vector<bool> chosen(listing_.blocks.size(), selection.empty());
    for (const std::string& wanted : selection) {
        auto found = std::find_if(listing_.blocks.begin(), listing_.blocks.end(),
                                  [&](const ExodusBlockListing& block) { return block.name == wanted; });
        if (found == listing_.blocks.end()) {
            found = std::find_if(listing_.blocks.begin(), listing_.blocks.end(),
                                 [&](const ExodusBlockListing& block) { return isDecimalId(wanted, block.id); });
        }
        if (found == listing_.blocks.end()) {
            file_->fail("has no element block named or numbered " + inQuotes(wanted) +
                        "; choose among its blocks: " + blockList(listing_));
        }
        const auto b = static_cast<std::size_t>(found - listing_.blocks.begin());
        if (!blockFacts_[b].shape) {
            file_->fail(blockFacts_[b].description + " cannot be part of a body: " + found->skipReason +
                        "; choose among its blocks: " + blockList(listing_));
        }
        chosen[b] = true;
    }
    std::vector<std::size_t> blocks;
    for (std::size_t b = 0; b < chosen.size(); ++b) {
        if (chosen[b] && blockFacts_[b].shape) {
            blocks.push_back(b);
        }
    }
    if (blocks.empty()) {
        file_->fail("holds no surface block to make a body of; its blocks: " + blockList(listing_));
    }
    return blocks;
}

void ExodusLoader::addBody(const std::vector<std::size_t>& blocks, const ExodusBodyOptions& options,
                           std::vector<int>& localOf)
{
    Body body;
    std::string name;
    for (const std::size_t b : blocks) {
        name += (name.empty() ? "" : "+") + nameOrId(listing_.blocks[b]);
        body.label += (body.label.empty() ? "" : " and ") + blockFacts_[b].description;
    }
    body.description.blocks = blocks;
    const std::vector<std::vector<int>> corners = numberNodes(body, localOf);
    readReference(body, options.origin);
    cutElements(body, corners);
    readNumberMaps(body);
    body.description.step = resolveStep(options.step);
    if (body.description.step > 0) {
        body.description.time = listing_.stepTimes[static_cast<std::size_t>(body.description.step - 1)];
    }
    body.displacement = resolveDisplacement(options.displacement);
    if (body.displacement) {
        std::array<std::string, 3> names;
        for (std::size_t c = 0; c < 3; ++c) {
            const int index = (*body.displacement)[c];
            names[c] = index > 0 ? listing_.nodalVariables[static_cast<std::size_t>(index - 1)] : "";
        }
        body.description.displacement = names;
    }
    resolveInitialCoordinates(body, options.initialCoordinates);
    bodies_.push_back(SimBody{name, MeshLocation{path_, listing_.blocks[blocks.front()].id}, {}});
    bodyData_.push_back(std::move(body));
    addResults(bodies_.size() - 1);
}

// Numbers the body's nodes in order of first use and returns each block's connectivity in those
// numbers; localOf maps the file's nodes to them and is all -1 again on return.
std::vector<std::vector<int>> ExodusLoader::numberNodes(Body& body, std::vector<int>& localOf) const
{
    std::vector<int>& nodes = body.description.fileNodes;
    std::vector<std::vector<int>> corners;
    for (const std::size_t b : body.description.blocks) {
        std::vector<int> connectivity = readConnectivity(b);
        for (int& node : connectivity) {
            int& local = localOf[static_cast<std::size_t>(node - 1)];
            if (local < 0) {
                local = static_cast<int>(nodes.size());
                nodes.push_back(node - 1);
            }
            node = local;
        }
        corners.push_back(std::move(connectivity));
    }
    for (const int node : nodes) {
        localOf[static_cast<std::size_t>(node)] = -1;
    }
    if (!nodes.empty()) {
        const auto [first, last] = std::minmax_element(nodes.begin(), nodes.end());
        body.firstNode = *first;
        body.nodeSpan = static_cast<std::size_t>(*last - *first) + 1;
    }
    return corners;
}

// The reference shape, relative to the chosen origin or else to the centre of its bounding box.
void ExodusLoader::readReference(Body& body, const std::optional<std::array<double, 3>>& origin) const
{
    Columns span;
    std::array<double*, 3> targets{nullptr, nullptr, nullptr};  // null for axes the file lacks
    for (std::size_t a = 0; a < static_cast<std::size_t>(listing_.numDimensions); ++a) {
        span[a].resize(body.nodeSpan);
        targets[a] = span[a].data();
    }
    if (body.nodeSpan > 0) {
        file_->check(ex_get_partial_coord(file_->id(), body.firstNode + 1, static_cast<std::int64_t>(body.nodeSpan),
                                          targets[0], targets[1], targets[2]),
                     "cannot read the coordinates of " + body.label);
    }
    const std::vector<int>& nodes = body.description.fileNodes;
    for (std::size_t a = 0; a < 3; ++a) {
        body.reference[a] = span[a].empty() ? std::vector<double>(nodes.size(), 0.0)
                                            : pickNodes(span[a], nodes, body.firstNode);
        const auto bad = std::find_if(body.reference[a].begin(), body.reference[a].end(),
                                      [](double value) { return !std::isfinite(value); });
        if (bad != body.reference[a].end()) {
            file_->fail(body.label + ": node " +
                        std::to_string(nodes[static_cast<std::size_t>(bad - body.reference[a].begin())] + 1) +
                        " has a non-finite coordinate; fix the file's coordinates");
        }
    }
    placeAtOrigin(body, origin);
}

void ExodusLoader::placeAtOrigin(Body& body, const std::optional<std::array<double, 3>>& origin)
{
    for (std::size_t a = 0; a < 3; ++a) {
        std::vector<double>& axis = body.reference[a];
        double centre = 0.0;
        if (!axis.empty()) {
            const auto [lowest, highest] = std::minmax_element(axis.begin(), axis.end());
            centre = 0.5 * (*lowest + *highest);
        }
        body.description.origin[a] = origin ? (*origin)[a] : centre;
        for (double& value : axis) {
            value -= body.description.origin[a];
        }
    }
}

// Triangles that repeat a node (collapsed quadrilaterals) cover no area and are left out.
void ExodusLoader::cutElements(Body& body, const std::vector<std::vector<int>>& corners) const
{
    const Columns& reference = body.reference;
    for (std::size_t k = 0; k < corners.size(); ++k) {
        const std::size_t b = body.description.blocks[k];
        const auto perElement = static_cast<std::size_t>(listing_.blocks[b].nodesPerElement);
        const SurfaceShape shape = *blockFacts_[b].shape;
        for (std::size_t e = 0; e * perElement < corners[k].size(); ++e) {
            const int* nodes = corners[k].data() + e * perElement;
            const auto squaredDistance = [&](std::size_t i, std::size_t j) {
                double sum = 0.0;
                for (const std::vector<double>& axis : reference) {
                    const double d = axis[static_cast<std::size_t>(nodes[i])] -
                                     axis[static_cast<std::size_t>(nodes[j])];
                    sum += d * d;
                }
                return sum;
            };
            const ElementTriangles triangles = cutElement(shape, squaredDistance);
            for (std::size_t t = 0; t < triangles.count; ++t) {
                const auto [a, b2, c] = triangles.corners[t];
                if (nodes[a] == nodes[b2] || nodes[b2] == nodes[c] || nodes[c] == nodes[a]) {
                    continue;
                }
                body.triangles.insert(body.triangles.end(), {nodes[a], nodes[b2], nodes[c]});
                body.description.triangles.push_back({b, static_cast<std::int64_t>(e), 0});
            }
        }
    }
}

// Node ids from the node number map, element ids from the element number map; a file without
// maps numbers both in order, from 1.
void ExodusLoader::readNumberMaps(Body& body) const
{
    std::vector<int> nodeSpan(body.nodeSpan);
    if (!nodeSpan.empty()) {
        file_->check(ex_get_partial_id_map(file_->id(), EX_NODE_MAP, body.firstNode + 1,
                                           static_cast<std::int64_t>(nodeSpan.size()), nodeSpan.data()),
                     "cannot read its node number map");
    }
    const std::vector<int> nodeIds = pickNodes(nodeSpan, body.description.fileNodes, body.firstNode);
    body.description.nodeIds.assign(nodeIds.begin(), nodeIds.end());

    std::size_t next = 0;
    for (const std::size_t b : body.description.blocks) {
        std::vector<int> elementIds(static_cast<std::size_t>(listing_.blocks[b].numElements));
        if (!elementIds.empty()) {
            file_->check(ex_get_partial_id_map(file_->id(), EX_ELEM_MAP, blockFacts_[b].firstElement + 1,
                                               static_cast<std::int64_t>(elementIds.size()), elementIds.data()),
                         "cannot read its element number map");
        }
        std::vector<ExodusTriangleSource>& sources = body.description.triangles;
        for (; next < sources.size() && sources[next].block == b; ++next) {
            sources[next].elementId = elementIds[static_cast<std::size_t>(sources[next].element)];
        }
    }
}

std::int64_t ExodusLoader::resolveStep(const std::optional<std::int64_t>& step) const
{
    if (!step) {
        return numSteps_;
    }
    requireStep(*step);
    return *step;
}

std::optional<std::array<int, 3>> ExodusLoader::resolveDisplacement(const std::string& choice) const
{
    if (numSteps_ == 0 && choice != "auto" && choice != "none") {
        file_->fail("has no time step, so it holds no displacement " + inQuotes(choice));
    }
    if (numSteps_ == 0) {
        return std::nullopt;
    }
    try {
        return findDisplacement(listing_.nodalVariables, choice, listing_.numDimensions);
    } catch (const std::invalid_argument& error) {
        file_->fail(error.what());
    }
}

// Named variables count only when both exist and the file has a step to hold their values.
void ExodusLoader::resolveInitialCoordinates(Body& body, const InitialCoordinateSource& source) const
{
    body.initialCoordinates = source;
    if (source.kind != InitialCoordinateSource::Kind::Variables) {
        body.description.initialCoordinates = describeInitialCoordinateSource(source);
        return;
    }
    const std::optional<int> first = findVariable(listing_.nodalVariables, source.variables[0]);
    const std::optional<int> second = findVariable(listing_.nodalVariables, source.variables[1]);
    if (first && second && numSteps_ > 0) {
        body.initialCoordinateVariables = {*first, *second};
        body.description.initialCoordinates = listing_.nodalVariables[static_cast<std::size_t>(*first - 1)] + "," +
                                              listing_.nodalVariables[static_cast<std::size_t>(*second - 1)];
    }
}

// A result's id names the body and the slot: body * (variables + 2) + slot, where the last two
// slots hold the initial coordinates.
void ExodusLoader::addResults(std::size_t b)
{
    const std::size_t numVariables = listing_.nodalVariables.size();
    const std::size_t firstId = b * (numVariables + initialCoordinateSlots);
    const Body& body = bodyData_[b];
    std::vector<ResultEntry>& results = bodies_[b].results;
    if (body.description.initialCoordinates) {
        for (std::size_t k = 0; k < initialCoordinateSlots; ++k) {
            const auto id = static_cast<std::int64_t>(firstId + numVariables + k);
            results.push_back(ResultEntry{initialCoordinateNames[k], DataLocation{path_, id, body.description.step}});
        }
    }
    std::vector<std::int64_t> steps;
    if (body.description.step > 0) {
        steps.push_back(body.description.step);
    }
    for (std::int64_t step = numSteps_; step >= 1; --step) {
        if (step != body.description.step) {
            steps.push_back(step);
        }
    }
    results.reserve(results.size() + steps.size() * numVariables);
    for (const std::int64_t step : steps) {
        for (std::size_t v = 0; v < numVariables; ++v) {
            const auto id = static_cast<std::int64_t>(firstId + v);
            results.push_back(ResultEntry{listing_.nodalVariables[v], DataLocation{path_, id, step}});
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
                    (numSteps_ == 0
                         ? "; it has no time steps"
                         : "; it has " + std::to_string(numSteps_) + " steps, 1 to " + std::to_string(numSteps_)));
    }
}

const ExodusLoader::Body& ExodusLoader::bodyAt(const MeshLocation& where) const
{
    requireOwnSource(where.source);
    for (std::size_t b = 0; b < bodies_.size(); ++b) {
        if (bodies_[b].meshLocation.id == where.id) {
            return bodyData_[b];
        }
    }
    const auto skipped = std::find_if(skipped_.begin(), skipped_.end(),
                                      [&](const SkippedBlock& candidate) { return candidate.id == where.id; });
    if (skipped != skipped_.end()) {
        file_->fail(describeBlock(skipped->name, skipped->id) + " holds " + skipped->elementType +
                    " elements, which make no surface");
    }
    file_->fail("has no body at element block id " + std::to_string(where.id));
}

std::vector<int> ExodusLoader::blockConnectivity(std::size_t block) const
{
    if (block >= listing_.blocks.size()) {
        file_->fail("has no element block " + std::to_string(block) + "; it has " +
                    std::to_string(listing_.blocks.size()));
    }
    return readConnectivity(block);
}

std::vector<double> ExodusLoader::readElementVariable(std::size_t block, const std::string& name,
                                                      std::int64_t step) const
{
    if (block >= listing_.blocks.size()) {
        file_->fail("has no element block " + std::to_string(block) + "; it has " +
                    std::to_string(listing_.blocks.size()));
    }
    const std::optional<int> variable = findVariable(listing_.elementVariables, name);
    if (!variable) {
        file_->fail("has no element variable " + inQuotes(name));
    }
    requireStep(step);
    const ExodusBlockListing& entry = listing_.blocks[block];
    std::vector<double> values(static_cast<std::size_t>(entry.numElements));
    if (!values.empty()) {
        file_->check(ex_get_var(file_->id(), static_cast<int>(step), EX_ELEM_BLOCK, *variable, entry.id,
                                entry.numElements, values.data()),
                     "cannot read element variable " + inQuotes(name) + " at step " + std::to_string(step) + " for " +
                         blockFacts_[block].description);
    }
    return values;
}

void ExodusLoader::loadResult(const DataLocation& where, ResultBuilderInterface& builder,
                              std::optional<std::int64_t> step) const
{
    requireOwnSource(where.source);
    const std::size_t slots = listing_.nodalVariables.size() + initialCoordinateSlots;
    if (where.id < 0 || static_cast<std::uint64_t>(where.id) >= bodyData_.size() * slots) {
        file_->fail("has no result with id " + std::to_string(where.id));
    }
    const auto id = static_cast<std::size_t>(where.id);
    const Body& body = bodyData_[id / slots];
    const std::size_t slot = id % slots;
    const std::int64_t chosenStep = step.value_or(where.step);
    std::vector<double> values;
    if (slot < listing_.nodalVariables.size()) {
        requireStep(chosenStep);
        values = readVariable(body, chosenStep, static_cast<int>(slot) + 1);
    } else if (body.description.initialCoordinates) {
        values = readInitialCoordinate(body, slot - listing_.nodalVariables.size(), chosenStep);
    } else {
        file_->fail("has no result with id " + std::to_string(where.id));
    }
    if (storesDoubles()) {
        builder.build(values.size(), values.data());
        return;
    }
    const std::vector<float> floats = narrowed(values);
    builder.build(floats.size(), floats.data());
}

void ExodusLoader::loadCurve(const CurveLocation& where, CurveBuilderInterface&) const
{
    file_->fail("holds no curves, so it has no curve " + std::to_string(where.id));
}

void ExodusLoader::loadMesh(const MeshLocation& where, MeshBuilderInterface& builder) const
{
    const Body& body = bodyAt(where);
    MeshBuilderParamColMajor record;
    record.numNodes = body.description.fileNodes.size();
    record.numTriangles = body.triangles.size() / 3;
    record.triangles = body.triangles.data();

    if (builder.loadTopologyOnly()) {
        const std::vector<int> mapping = readSolverIndexMapping(body);
        record.solverIndexMapping = mapping.data();
        record.numNormals = record.numNodes;  // each node stands for a tool vertex, which has a normal
        builder.build(record);
        return;
    }
    const Columns positions = readPositions(body);
    const std::array<std::vector<float>, 3> coordinates{narrowed(positions[0]), narrowed(positions[1]),
                                                        narrowed(positions[2])};
    record.x = coordinates[0].data();
    record.y = coordinates[1].data();
    record.z = coordinates[2].data();
    if (!normalVariables_ || body.description.step == 0) {
        buildWithoutNormals(record, builder);
        return;
    }
    const std::array<std::vector<float>, 3> normals{readNormalComponent(body, 0), readNormalComponent(body, 1),
                                                    readNormalComponent(body, 2)};
    record.nx = normals[0].data();
    record.ny = normals[1].data();
    record.nz = normals[2].data();
    record.numNormals = record.numNodes;
    builder.build(record);
}

// A column-major record promises one normal per node; a file without normals hands its nodes
// over interleaved instead, the layout whose builders compute normals from the triangles.
void ExodusLoader::buildWithoutNormals(const MeshBuilderParamColMajor& columns, MeshBuilderInterface& builder) const
{
    std::vector<float> interleaved(3 * columns.numNodes);
    for (std::size_t i = 0; i < columns.numNodes; ++i) {
        interleaved[3 * i] = columns.x[i];
        interleaved[3 * i + 1] = columns.y[i];
        interleaved[3 * i + 2] = columns.z[i];
    }
    MeshBuilderParamRowMajor record;
    record.numNodes = columns.numNodes;
    record.coordinates = interleaved.data();
    record.numTriangles = columns.numTriangles;
    record.triangles = columns.triangles;
    builder.build(record);
}

// The file's node numbers, from 1, nodesPerElement per element. The library reads the whole
// connectivity variable, so its size must be the block's.
std::vector<int> ExodusLoader::readConnectivity(std::size_t block) const
{
    const ExodusBlockListing& entry = listing_.blocks[block];
    const BlockFacts& facts = blockFacts_[block];
    std::vector<int> connectivity(static_cast<std::size_t>(entry.numElements * entry.nodesPerElement));
    if (connectivity.empty()) {
        return connectivity;
    }
    requireValueCount(*file_, facts.connectivity, connectivity.size(),
                      facts.description + ": its connectivity variable",
                      std::to_string(entry.nodesPerElement) + " per element");
    file_->check(ex_get_conn(file_->id(), EX_ELEM_BLOCK, entry.id, connectivity.data(), nullptr, nullptr),
                 "cannot read the connectivity of " + facts.description);
    for (std::size_t k = 0; k < connectivity.size(); ++k) {
        const int node = connectivity[k];
        if (node < 1 || node > numNodes_) {
            file_->fail(facts.description + ": element " +
                        std::to_string(k / static_cast<std::size_t>(entry.nodesPerElement) + 1) + " refers to node " +
                        std::to_string(node) + ", outside the file's nodes 1 to " + std::to_string(numNodes_) +
                        "; fix the block's connectivity");
        }
    }
    return connectivity;
}

// The file's node number map gives each node its number in the solver's numbering, from 1.
std::vector<int> ExodusLoader::readSolverIndexMapping(const Body& body) const
{
    std::vector<int> mapping;
    mapping.reserve(std::max<std::size_t>(1, body.description.nodeIds.size()));  // never null, even when empty
    for (std::size_t i = 0; i < body.description.nodeIds.size(); ++i) {
        const std::int64_t id = body.description.nodeIds[i];
        if (id < 1) {
            file_->fail("its node number map numbers node " + std::to_string(body.description.fileNodes[i] + 1) + " " +
                        std::to_string(id) + "; numbers start at 1");
        }
        mapping.push_back(static_cast<int>(id - 1));
    }
    return mapping;
}

// The reference shape plus the displacement at the body's step.
ExodusLoader::Columns ExodusLoader::readPositions(const Body& body) const
{
    Columns positions = body.reference;
    if (!body.displacement) {
        return positions;
    }
    for (std::size_t a = 0; a < 3; ++a) {
        const int variable = (*body.displacement)[a];
        if (variable == 0) {
            continue;
        }
        const std::vector<double> displacement = readFiniteVariable(body, body.description.step, variable);
        for (std::size_t i = 0; i < displacement.size(); ++i) {
            positions[a][i] += displacement[i];
        }
    }
    return positions;
}

std::vector<float> ExodusLoader::readNormalComponent(const Body& body, std::size_t component) const
{
    return narrowed(readVariable(body, body.description.step, (*normalVariables_)[component]));
}

std::vector<double> ExodusLoader::readInitialCoordinate(const Body& body, std::size_t component,
                                                        std::int64_t step) const
{
    if (body.initialCoordinates.kind == InitialCoordinateSource::Kind::Variables) {
        requireStep(step);
        return readFiniteVariable(body, step, body.initialCoordinateVariables[component]);
    }
    return referenceInitialCoordinates(body.reference, body.initialCoordinates)[component];
}

std::vector<double> ExodusLoader::readVariable(const Body& body, std::int64_t step, int variable) const
{
    std::vector<double> span(body.nodeSpan);
    if (!span.empty()) {
        file_->check(ex_get_partial_var(file_->id(), static_cast<int>(step), EX_NODAL, variable, 1, body.firstNode + 1,
                                        static_cast<std::int64_t>(span.size()), span.data()),
                     "cannot read nodal variable " +
                         inQuotes(listing_.nodalVariables[static_cast<std::size_t>(variable - 1)]) + " at step " +
                         std::to_string(step) + " for " + body.label);
    }
    return pickNodes(span, body.description.fileNodes, body.firstNode);
}

// Values that move or place nodes must be numbers.
std::vector<double> ExodusLoader::readFiniteVariable(const Body& body, std::int64_t step, int variable) const
{
    std::vector<double> values = readVariable(body, step, variable);
    const auto bad = std::find_if(values.begin(), values.end(), [](double value) { return !std::isfinite(value); });
    if (bad != values.end()) {
        const auto i = static_cast<std::size_t>(bad - values.begin());
        file_->fail("nodal variable " + inQuotes(listing_.nodalVariables[static_cast<std::size_t>(variable - 1)]) +
                    " at step " + std::to_string(step) + " is not finite at node " +
                    std::to_string(body.description.fileNodes[i] + 1) + " of " + body.label +
                    "; fix the values or choose other variables");
    }
    return values;
}

}  // namespace CoreIo

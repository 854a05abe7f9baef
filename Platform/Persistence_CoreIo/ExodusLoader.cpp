#include "ExodusLoader.h"

#include "ExodusBodyAssembly.h"
#include "ExodusBodyChoice.h"
#include "ExodusBodyValues.h"
#include "ExodusFileReader.h"
#include "ExodusVariables.h"
#include "QRVService_Logging.h"

#include <algorithm>

namespace CoreIo {

namespace {

constexpr const char* loggerName = "CoreIo.ExodusLoader";
const std::array<std::string, 2> initialCoordinateNames{"INITIALCOORD0", "INITIALCOORD1"};

// Result ids name a body and a slot of it: slots 0 to (number of nodal variables - 1) hold the
// nodal variables, the two after them the initial coordinates.
struct ResultSlot {
    std::size_t body = 0;
    std::size_t slot = 0;
};

class ResultIds {
public:
    ResultIds(std::size_t numVariables, std::size_t numBodies) : numVariables_(numVariables), numBodies_(numBodies) {}

    std::int64_t nodalVariable(std::size_t body, std::size_t variable) const { return id(body, variable); }
    std::int64_t initialCoordinate(std::size_t body, std::size_t k) const { return id(body, numVariables_ + k); }
    std::optional<ResultSlot> slotOf(std::int64_t id) const
    {
        if (id < 0 || static_cast<std::uint64_t>(id) >= numBodies_ * slotsPerBody()) {
            return std::nullopt;
        }
        const auto value = static_cast<std::size_t>(id);
        return ResultSlot{value / slotsPerBody(), value % slotsPerBody()};
    }
    std::optional<std::size_t> initialCoordinateOf(const ResultSlot& slot) const
    {
        return slot.slot < numVariables_ ? std::nullopt : std::optional<std::size_t>(slot.slot - numVariables_);
    }

private:
    std::size_t slotsPerBody() const { return numVariables_ + initialCoordinateNames.size(); }
    std::int64_t id(std::size_t body, std::size_t slot) const
    {
        return static_cast<std::int64_t>(body * slotsPerBody() + slot);
    }

    std::size_t numVariables_;
    std::size_t numBodies_;
};

template <typename Value>
std::vector<float> narrowed(const std::vector<Value>& values)
{
    return {values.begin(), values.end()};
}

// A column-major record promises one normal per node; a file without normals hands its nodes
// over interleaved instead, the layout whose builders compute normals from the triangles.
void buildWithoutNormals(const MeshBuilderParamColMajor& columns, MeshBuilderInterface& builder)
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

// Every nodal variable at every step, the body's step first and then the others from the last
// down; before them the initial coordinates, when available.
std::vector<ResultEntry> resultsOf(const ExodusFileReader& file, const ExodusLoaderBody& body, std::size_t b,
                                   const ResultIds& ids)
{
    std::vector<ResultEntry> results;
    const std::string& path = file.path();
    const std::int64_t bodyStep = body.description.step;
    if (body.description.initialCoordinates) {
        for (std::size_t k = 0; k < initialCoordinateNames.size(); ++k) {
            results.push_back({initialCoordinateNames[k], {path, ids.initialCoordinate(b, k), bodyStep}});
        }
    }
    std::vector<std::int64_t> steps;
    if (bodyStep > 0) {
        steps.push_back(bodyStep);
    }
    for (std::int64_t step = numSteps(file); step >= 1; --step) {
        if (step != bodyStep) {
            steps.push_back(step);
        }
    }
    const std::vector<std::string>& names = file.listing().nodalVariables;
    results.reserve(results.size() + steps.size() * names.size());
    for (const std::int64_t step : steps) {
        for (std::size_t v = 0; v < names.size(); ++v) {
            results.push_back({names[v], {path, ids.nodalVariable(b, v), step}});
        }
    }
    return results;
}

void requireOwnSource(const ExodusFileReader& file, const std::string& source)
{
    if (source != file.path()) {
        file.fail("cannot load a location of another source, " + inQuotes(source));
    }
}

}  // namespace

ExodusLoader::ExodusLoader(const std::string& path)
    : file_(std::make_unique<ExodusFileReader>(path)), logger_(std::make_unique<Calvora::Logging>(loggerName))
{
    std::vector<std::size_t> surfaceBlocks;
    for (std::size_t b = 0; b < file_->listing().blocks.size(); ++b) {
        if (file_->surfaceShape(b)) {
            surfaceBlocks.push_back(b);
        }
    }
    if (numSteps(*file_) > 0) {
        normalVariables_ = findNormalVariables(file_->listing().nodalVariables);
    }
    ExodusBodyOptions asStored;
    asStored.displacement = "none";
    asStored.origin = std::array<double, 3>{0.0, 0.0, 0.0};
    asStored.materialOrigin = std::array<double, 2>{0.0, 0.0};
    for (const std::size_t b : surfaceBlocks) {
        addBody({b}, asStored);
    }
    logWarnings();
}

ExodusLoader::ExodusLoader(const std::string& path, const ExodusBodyOptions& options)
    : file_(std::make_unique<ExodusFileReader>(path)), logger_(std::make_unique<Calvora::Logging>(loggerName))
{
    const std::vector<std::size_t> chosen = selectBlocks(*file_, options.blocks);
    if (numSteps(*file_) > 0) {
        normalVariables_ = findNormalVariables(file_->listing().nodalVariables);
    }
    addBody(chosen, options);
    logWarnings();
}

ExodusLoader::~ExodusLoader() = default;

ExodusListing listExodusFile(const std::string& path)
{
    return ExodusFileReader(path).listing();
}

const std::vector<SimBody>& ExodusLoader::bodies() const
{
    return bodies_;
}

// A chosen block that cannot be used fails the body instead, so every unusable block is left out.
std::vector<std::string> ExodusLoader::warnings() const
{
    std::vector<std::string> warnings;
    const std::vector<ExodusBlockListing>& blocks = file_->listing().blocks;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        if (!blocks[b].skipReason.empty()) {
            warnings.push_back(
                aboutFile(file_->path(), "skipping " + file_->blockDescription(b) + ": " + blocks[b].skipReason));
        }
    }
    return warnings;
}

void ExodusLoader::logWarnings() const
{
    for (const std::string& warning : warnings()) {
        Calvora::logWarn(*logger_, warning);
    }
}

bool ExodusLoader::storesDoubles() const
{
    return file_->storesDoubles();
}

const ExodusListing& ExodusLoader::listing() const
{
    return file_->listing();
}

const ExodusBodyDescription& ExodusLoader::description(std::size_t body) const
{
    return bodyData_[checkedBody(body)].description;
}

void ExodusLoader::addBody(const std::vector<std::size_t>& blocks, const ExodusBodyOptions& options)
{
    const ExodusListing& listing = file_->listing();
    ExodusLoaderBody body;
    std::string name;
    std::vector<BodyBlock> elements;
    for (const std::size_t b : blocks) {
        name += (name.empty() ? "" : "+") + listing.blocks[b].name;
        body.label += (body.label.empty() ? "" : " and ") + file_->blockDescription(b);
        elements.push_back({b, *file_->surfaceShape(b), file_->connectivity(b)});
    }
    body.description.blocks = blocks;
    AssembledBody assembled = assembleBody(
        std::move(elements), [&](const std::vector<int>& fileNodes) { return readReference(*file_, fileNodes, body); },
        options.origin);
    body.description.fileNodes = std::move(assembled.fileNodes);
    body.reference = std::move(assembled.reference);
    body.description.origin = assembled.origin;
    body.triangles = std::move(assembled.triangles);
    body.description.triangles = std::move(assembled.sources);
    readNumberMaps(*file_, body);
    body.displacement = resolveDisplacement(*file_, options.displacement);
    if (body.displacement) {
        std::array<std::string, 3> names;
        for (std::size_t c = 0; c < 3; ++c) {
            const int index = (*body.displacement)[c];
            names[c] = index > 0 ? listing.nodalVariables[static_cast<std::size_t>(index - 1)] : "";
        }
        body.description.displacement = names;
    }
    resolveInitialCoordinates(*file_, body, options.initialCoordinates);
    if (options.step) {
        requireStep(*file_, *options.step);
        body.description.step = *options.step;
    } else {
        resolveLastWrittenStep(*file_, normalVariables_, body);
    }
    if (body.description.step > 0) {
        body.description.time = listing.stepTimes[static_cast<std::size_t>(body.description.step - 1)];
    }
    if (body.description.initialCoordinates) {
        // Read the initial coordinates for their centre only when no origin is given.
        body.description.materialOrigin = options.materialOrigin ? *options.materialOrigin
                                                                 : centreOfInitialCoordinates(*file_, body);
    }
    const ResultIds ids(listing.nodalVariables.size(), bodies_.size() + 1);
    bodies_.push_back(SimBody{name, MeshLocation{file_->path(), listing.blocks[blocks.front()].id},
                              resultsOf(*file_, body, bodies_.size(), ids)});
    bodyData_.push_back(std::move(body));
}

const ExodusLoaderBody& ExodusLoader::bodyAt(const MeshLocation& where) const
{
    requireOwnSource(*file_, where.source);
    for (std::size_t b = 0; b < bodies_.size(); ++b) {
        if (bodies_[b].meshLocation.id == where.id) {
            return bodyData_[b];
        }
    }
    const std::vector<ExodusBlockListing>& blocks = file_->listing().blocks;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        if (blocks[b].id == where.id && !file_->surfaceShape(b)) {
            file_->fail("element block " + inQuotes(blocks[b].name) + " (id " + std::to_string(blocks[b].id) +
                        ") holds " + blocks[b].elementType + " elements, which make no surface");
        }
    }
    file_->fail("has no body at element block id " + std::to_string(where.id));
}

std::vector<int> ExodusLoader::blockConnectivity(std::size_t block) const
{
    if (block >= file_->listing().blocks.size()) {
        file_->fail("has no element block " + std::to_string(block) + "; it has " +
                    std::to_string(file_->listing().blocks.size()));
    }
    std::vector<int> connectivity = file_->connectivity(block);
    for (int& node : connectivity) {
        ++node;
    }
    return connectivity;
}

std::vector<double> ExodusLoader::readElementVariable(std::size_t block, const std::string& name,
                                                      std::int64_t step) const
{
    const ExodusListing& listing = file_->listing();
    if (block >= listing.blocks.size()) {
        file_->fail("has no element block " + std::to_string(block) + "; it has " +
                    std::to_string(listing.blocks.size()));
    }
    const std::optional<int> variable = findVariable(listing.elementVariables, name);
    if (!variable) {
        file_->fail("has no element variable " + inQuotes(name));
    }
    requireStep(*file_, step);
    const auto index = static_cast<std::size_t>(*variable - 1);
    const std::string what = "element variable " + inQuotes(listing.elementVariables[index]);
    if (!file_->holdsElementValues(block, index)) {
        file_->fail(file_->blockDescription(block) + " holds no values of " + what);
    }
    std::vector<double> values = file_->elementValues(block, index, step);
    requireData(*file_, values, file_->elementFillValue(block, index), what + " at step " + std::to_string(step),
                "element", file_->blockDescription(block), file_->elementIds(block));
    return values;
}

std::vector<std::array<double, 3>> ExodusLoader::positions(std::size_t body) const
{
    const Positions columns = readPositions(*file_, bodyData_.at(checkedBody(body)), {0.0, 0.0, 0.0});
    std::vector<std::array<double, 3>> rows(columns[0].size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = {columns[0][i], columns[1][i], columns[2][i]};
    }
    return rows;
}

std::vector<std::array<double, 2>> ExodusLoader::initialCoordinates(std::size_t body) const
{
    const ExodusLoaderBody& data = bodyData_.at(checkedBody(body));
    if (!data.description.initialCoordinates) {
        file_->fail(data.label + " has no initial coordinates " +
                    inQuotes(describeInitialCoordinateSource(data.initialCoordinates)) +
                    "; name the two nodal variables that hold them, or derive them from the reference shape");
    }
    const std::array<std::vector<double>, 2> columns{readInitialCoordinate(*file_, data, 0, data.description.step),
                                                     readInitialCoordinate(*file_, data, 1, data.description.step)};
    std::vector<std::array<double, 2>> rows(columns[0].size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = {columns[0][i], columns[1][i]};
    }
    return rows;
}

std::vector<double> ExodusLoader::readNodalVariable(std::size_t body, const std::string& name) const
{
    const ExodusLoaderBody& data = bodyData_.at(checkedBody(body));
    const std::optional<int> variable = findVariable(file_->listing().nodalVariables, name);
    if (!variable) {
        file_->fail("has no nodal variable " + inQuotes(name));
    }
    requireStep(*file_, data.description.step);
    return readVariable(*file_, data, data.description.step, *variable);
}

std::size_t ExodusLoader::checkedBody(std::size_t body) const
{
    if (body >= bodyData_.size()) {
        file_->fail("has no body " + std::to_string(body) + "; it has " + std::to_string(bodyData_.size()));
    }
    return body;
}

void ExodusLoader::loadResult(const DataLocation& where, ResultBuilderInterface& builder,
                              std::optional<std::int64_t> step) const
{
    requireOwnSource(*file_, where.source);
    const ResultIds ids(file_->listing().nodalVariables.size(), bodyData_.size());
    const std::optional<ResultSlot> slot = ids.slotOf(where.id);
    if (!slot) {
        file_->fail("has no result with id " + std::to_string(where.id));
    }
    const ExodusLoaderBody& body = bodyData_[slot->body];
    const std::int64_t chosenStep = step.value_or(where.step);
    std::vector<double> values;
    if (const std::optional<std::size_t> component = ids.initialCoordinateOf(*slot)) {
        if (!body.description.initialCoordinates) {
            file_->fail("has no result with id " + std::to_string(where.id));
        }
        values = readInitialCoordinate(*file_, body, *component, chosenStep);
        for (double& value : values) {
            value -= body.description.materialOrigin[*component];
        }
    } else {
        requireStep(*file_, chosenStep);
        values = readVariable(*file_, body, chosenStep, static_cast<int>(slot->slot) + 1);
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
    const ExodusLoaderBody& body = bodyAt(where);
    MeshBuilderParamColMajor record;
    record.numNodes = body.description.fileNodes.size();
    record.numTriangles = body.triangles.size() / 3;
    record.triangles = body.triangles.data();

    if (builder.loadTopologyOnly()) {
        const std::vector<int> mapping = readSolverIndexMapping(*file_, body);
        record.solverIndexMapping = mapping.data();
        record.numNormals = record.numNodes;  // each node stands for a tool vertex, which has a normal
        builder.build(record);
        return;
    }
    const Positions positions = readPositions(*file_, body, body.description.origin);
    const std::array<std::vector<float>, 3> coordinates{narrowed(positions[0]), narrowed(positions[1]),
                                                        narrowed(positions[2])};
    record.x = coordinates[0].data();
    record.y = coordinates[1].data();
    record.z = coordinates[2].data();
    if (!normalVariables_ || body.description.step == 0) {
        buildWithoutNormals(record, builder);
        return;
    }
    std::array<std::vector<float>, 3> normals;
    for (std::size_t c = 0; c < 3; ++c) {
        normals[c] = narrowed(readVariable(*file_, body, body.description.step, (*normalVariables_)[c]));
    }
    record.nx = normals[0].data();
    record.ny = normals[1].data();
    record.nz = normals[2].data();
    record.numNormals = record.numNodes;
    builder.build(record);
}

}  // namespace CoreIo

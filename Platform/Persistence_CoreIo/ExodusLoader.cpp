#include "ExodusLoader.h"

#include "ExodusBodyAssembly.h"
#include "ExodusFileReader.h"
#include "ExodusVariables.h"
#include "QRVService_Logging.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace CoreIo {

// What the loader keeps of a body besides its description.
struct ExodusLoaderBody {
    std::string label;  // names the body in messages
    ExodusBodyDescription description;
    std::vector<int> triangles;  // three body nodes per triangle
    NodeRange span;              // the file's nodes from the body's smallest to its largest
    Positions reference;         // per body node, as the file places it
    std::optional<std::array<int, 3>> displacement;
    InitialCoordinateSource initialCoordinates;
    std::array<int, 2> initialCoordinateVariables{};  // for InitialCoordinateSource::Kind::Variables
};

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

// The chosen blocks in the file's order; every surface block when none is chosen.
std::vector<std::size_t> selectBlocks(const ExodusFileReader& file, const std::vector<std::string>& selection)
{
    const std::vector<ExodusBlockListing>& blocks = file.listing().blocks;
    std::vector<bool> chosen(blocks.size(), selection.empty());
    for (const std::string& wanted : selection) {
        const auto named = [&](const ExodusBlockListing& block) { return block.name == wanted; };
        auto found = std::find_if(blocks.begin(), blocks.end(), named);
        if (found != blocks.end() && std::find_if(found + 1, blocks.end(), named) != blocks.end()) {
            file.fail("has several element blocks named " + inQuotes(wanted) +
                      "; choose one by its id: " + blockList(file.listing()));
        }
        if (found == blocks.end()) {
            found = std::find_if(blocks.begin(), blocks.end(),
                                 [&](const ExodusBlockListing& block) { return wanted == std::to_string(block.id); });
        }
        if (found == blocks.end()) {
            file.fail("has no element block named or numbered " + inQuotes(wanted) +
                      "; choose among its blocks: " + blockList(file.listing()));
        }
        const auto b = static_cast<std::size_t>(found - blocks.begin());
        if (!file.surfaceShape(b)) {
            file.fail(file.blockDescription(b) + " cannot be part of a body: " + found->skipReason +
                      "; choose among its blocks: " + blockList(file.listing()));
        }
        chosen[b] = true;
    }
    std::vector<std::size_t> selected;
    for (std::size_t b = 0; b < chosen.size(); ++b) {
        if (chosen[b] && file.surfaceShape(b)) {
            selected.push_back(b);
        }
    }
    if (selected.empty()) {
        file.fail("holds no surface block to make a body of; its blocks: " + blockList(file.listing()));
    }
    return selected;
}

std::int64_t numSteps(const ExodusFileReader& file)
{
    return static_cast<std::int64_t>(file.listing().stepTimes.size());
}

void requireStep(const ExodusFileReader& file, std::int64_t step)
{
    const std::int64_t count = numSteps(file);
    if (step < 1 || step > count) {
        file.fail("has no time step " + std::to_string(step) +
                  (count == 0 ? "; it has no time steps"
                              : "; it has " + std::to_string(count) + " steps, 1 to " + std::to_string(count)));
    }
}

std::optional<std::array<int, 3>> resolveDisplacement(const ExodusFileReader& file, const std::string& choice)
{
    if (numSteps(file) == 0 && choice != "auto" && choice != "none") {
        file.fail("has no time step, so it holds no displacement " + inQuotes(choice));
    }
    if (numSteps(file) == 0) {
        return std::nullopt;
    }
    try {
        return findDisplacement(file.listing().nodalVariables, choice, file.listing().numDimensions);
    } catch (const std::invalid_argument& error) {
        file.fail(error.what());
    }
}

// Named variables count only when both exist and the file has a step to hold their values.
void resolveInitialCoordinates(const ExodusFileReader& file, ExodusLoaderBody& body,
                               const InitialCoordinateSource& source)
{
    body.initialCoordinates = source;
    if (source.kind != InitialCoordinateSource::Kind::Variables) {
        body.description.initialCoordinates = describeInitialCoordinateSource(source);
        return;
    }
    const std::vector<std::string>& names = file.listing().nodalVariables;
    const std::optional<int> first = findVariable(names, source.variables[0]);
    const std::optional<int> second = findVariable(names, source.variables[1]);
    if (first && second && numSteps(file) > 0) {
        body.initialCoordinateVariables = {*first, *second};
        body.description.initialCoordinates = names[static_cast<std::size_t>(*first - 1)] + "," +
                                              names[static_cast<std::size_t>(*second - 1)];
    }
}

// The body's values out of those read for the span of its nodes.
template <typename Value>
std::vector<Value> pickNodes(const std::vector<Value>& span, const std::vector<int>& nodes, std::size_t firstOfSpan)
{
    std::vector<Value> values(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        values[i] = span[static_cast<std::size_t>(nodes[i]) - firstOfSpan];
    }
    return values;
}

template <typename Value>
std::vector<Value> pickNodes(const std::vector<Value>& span, const ExodusLoaderBody& body)
{
    return pickNodes(span, body.description.fileNodes, body.span.first);
}

NodeRange spanOf(const std::vector<int>& nodes)
{
    if (nodes.empty()) {
        return {};
    }
    const auto [first, last] = std::minmax_element(nodes.begin(), nodes.end());
    return {static_cast<std::size_t>(*first), static_cast<std::size_t>(*last - *first) + 1};
}

// The reference positions of a body's nodes, which must be finite; the body's span of file nodes.
Positions readReference(const ExodusFileReader& file, const std::vector<int>& fileNodes, ExodusLoaderBody& body)
{
    body.span = spanOf(fileNodes);
    const Positions span = file.coordinates(body.span);
    Positions reference;
    for (std::size_t a = 0; a < 3; ++a) {
        reference[a] = pickNodes(span[a], fileNodes, body.span.first);
        const auto bad = std::find_if(reference[a].begin(), reference[a].end(),
                                      [](double value) { return !std::isfinite(value); });
        if (bad != reference[a].end()) {
            file.fail(body.label + ": node " +
                      std::to_string(fileNodes[static_cast<std::size_t>(bad - reference[a].begin())] + 1) +
                      " has a non-finite coordinate; fix the file's coordinates");
        }
    }
    return reference;
}

// Node ids from the node number map, element ids from the element number map.
void readNumberMaps(const ExodusFileReader& file, ExodusLoaderBody& body)
{
    body.description.nodeIds = pickNodes(file.nodeIds(body.span), body);
    std::size_t next = 0;
    for (const std::size_t b : body.description.blocks) {
        const std::vector<std::int64_t> elementIds = file.elementIds(b);
        std::vector<ExodusTriangleSource>& sources = body.description.triangles;
        for (; next < sources.size() && sources[next].block == b; ++next) {
            sources[next].elementId = elementIds[static_cast<std::size_t>(sources[next].element)];
        }
    }
}

// Values handed on must be data: a variable's fill value marks values never written (a step that
// a run stopped before), and values that are not finite are no numbers. items names what the
// values belong to ("nodes of element block ..."), ids their numbers in the file.
void requireData(const ExodusFileReader& file, const std::vector<double>& values, double fill, const std::string& what,
                 const std::string& item, const std::string& items, const std::vector<std::int64_t>& ids)
{
    for (const bool unwritten : {true, false}) {
        const auto isBad = [&](double value) { return unwritten ? value == fill : !std::isfinite(value); };
        const auto first = std::find_if(values.begin(), values.end(), isBad);
        if (first == values.end()) {
            continue;
        }
        const auto k = static_cast<std::size_t>(first - values.begin());
        const std::string where = " at " + item + " " + std::to_string(k + 1) + " (ID " + std::to_string(ids[k]) +
                                  ") of " + items + ", at " +
                                  std::to_string(std::count_if(first, values.end(), isBad)) + " of its " +
                                  std::to_string(values.size()) + " " + item + "s in all; ";
        if (unwritten) {
            std::ostringstream fillText;
            fillText << fill;
            file.fail(what + " was never written (it holds the fill value " + fillText.str() + ")" + where +
                      "choose a step that holds it");
        }
        file.fail(what + " is not finite" + where + "fix the values or choose other variables");
    }
}

std::string describeNodalVariable(const ExodusFileReader& file, int variable, std::int64_t step)
{
    return "nodal variable " + inQuotes(file.listing().nodalVariables[static_cast<std::size_t>(variable - 1)]) +
           " at step " + std::to_string(step);
}

// A nodal variable's values at the body's nodes, as stored.
std::vector<double> readStoredVariable(const ExodusFileReader& file, const ExodusLoaderBody& body, std::int64_t step,
                                       int variable)
{
    return pickNodes(file.nodalValues(static_cast<std::size_t>(variable - 1), step, body.span), body);
}

// A nodal variable's values at the body's nodes, which must be data.
std::vector<double> readVariable(const ExodusFileReader& file, const ExodusLoaderBody& body, std::int64_t step,
                                 int variable)
{
    std::vector<double> values = readStoredVariable(file, body, step, variable);
    requireData(file, values, file.nodalFillValue(static_cast<std::size_t>(variable - 1)),
                describeNodalVariable(file, variable, step), "node", body.label, body.description.nodeIds);
    return values;
}

// The nodal variables a body's shape and material coordinates come from, 1-based.
std::vector<int> usedVariables(const ExodusLoaderBody& body, const std::optional<std::array<int, 3>>& normals)
{
    std::vector<int> used;
    for (const std::optional<std::array<int, 3>>& triple : {body.displacement, normals}) {
        if (triple) {
            std::copy_if(triple->begin(), triple->end(), std::back_inserter(used), [](int v) { return v > 0; });
        }
    }
    if (body.initialCoordinates.kind == InitialCoordinateSource::Kind::Variables &&
        body.description.initialCoordinates) {
        used.insert(used.end(), body.initialCoordinateVariables.begin(), body.initialCoordinateVariables.end());
    }
    return used;
}

// The last step at which every variable the body uses was written, counting the later steps
// skipped; the last step if there is none, whose loads then say what is missing.
void resolveLastWrittenStep(const ExodusFileReader& file, const std::vector<int>& used, ExodusLoaderBody& body)
{
    const std::int64_t last = numSteps(file);
    body.description.step = last;
    for (std::int64_t step = last; step >= 1; --step) {
        const bool written = std::all_of(used.begin(), used.end(), [&](int variable) {
            const std::vector<double> values = readStoredVariable(file, body, step, variable);
            const double fill = file.nodalFillValue(static_cast<std::size_t>(variable - 1));
            return std::find(values.begin(), values.end(), fill) == values.end();
        });
        if (written) {
            body.description.step = step;
            body.description.unwrittenStepsSkipped = last - step;
            return;
        }
    }
}

// The reference shape plus the displacement at the body's step, less `shift` (the origin for
// records, zero for the file's coordinates).
Positions readPositions(const ExodusFileReader& file, const ExodusLoaderBody& body, const std::array<double, 3>& shift)
{
    Positions positions = body.reference;
    for (std::size_t a = 0; a < 3; ++a) {
        for (double& value : positions[a]) {
            value -= shift[a];
        }
        const int variable = body.displacement ? (*body.displacement)[a] : 0;
        if (variable == 0) {
            continue;
        }
        const std::vector<double> displacement = readVariable(file, body, body.description.step, variable);
        for (std::size_t i = 0; i < displacement.size(); ++i) {
            positions[a][i] += displacement[i];
        }
    }
    return positions;
}

// One initial coordinate of every body node at a step, as the file holds it or as the reference
// shape gives it.
std::vector<double> readInitialCoordinate(const ExodusFileReader& file, const ExodusLoaderBody& body,
                                          std::size_t component, std::int64_t step)
{
    if (body.initialCoordinates.kind == InitialCoordinateSource::Kind::Variables) {
        requireStep(file, step);
        return readVariable(file, body, step, body.initialCoordinateVariables[component]);
    }
    return referenceInitialCoordinates(body.reference, body.initialCoordinates)[component];
}

// The centre of the box of a body's initial coordinates at its step; values that are no data
// count for nothing here, and loads refuse them.
std::array<double, 2> centreOfInitialCoordinates(const ExodusFileReader& file, const ExodusLoaderBody& body)
{
    std::array<double, 2> centre{};
    for (std::size_t k = 0; k < 2; ++k) {
        const bool stored = body.initialCoordinates.kind == InitialCoordinateSource::Kind::Variables;
        const int variable = body.initialCoordinateVariables[k];
        const std::vector<double> values = stored ? readStoredVariable(file, body, body.description.step, variable)
                                                  : referenceInitialCoordinates(body.reference,
                                                                                body.initialCoordinates)[k];
        const double fill = stored ? file.nodalFillValue(static_cast<std::size_t>(variable - 1)) : 0.0;
        double lowest = std::numeric_limits<double>::infinity();
        double highest = -lowest;
        for (const double value : values) {
            if (std::isfinite(value) && (!stored || value != fill)) {
                lowest = std::min(lowest, value);
                highest = std::max(highest, value);
            }
        }
        centre[k] = lowest <= highest ? 0.5 * (lowest + highest) : 0.0;
    }
    return centre;
}

template <typename Value>
std::vector<float> narrowed(const std::vector<Value>& values)
{
    return {values.begin(), values.end()};
}

// The file's node number map gives each node its number in the solver's numbering, from 1.
std::vector<int> readSolverIndexMapping(const ExodusFileReader& file, const ExodusLoaderBody& body)
{
    std::vector<int> mapping;
    mapping.reserve(std::max<std::size_t>(1, body.description.nodeIds.size()));  // never null, even when empty
    for (std::size_t i = 0; i < body.description.nodeIds.size(); ++i) {
        const std::int64_t id = body.description.nodeIds[i];
        if (id < 1 || id - 1 > std::numeric_limits<int>::max()) {
            file.fail("its node number map numbers node " + std::to_string(body.description.fileNodes[i] + 1) + " " +
                      std::to_string(id) + "; a tool mesh's vertices are numbered from 1 to " +
                      std::to_string(std::int64_t{std::numeric_limits<int>::max()} + 1));
        }
        mapping.push_back(static_cast<int>(id - 1));
    }
    return mapping;
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

std::vector<SkippedBlock> skippedBlocksOf(const ExodusFileReader& file)
{
    std::vector<SkippedBlock> skipped;
    const std::vector<ExodusBlockListing>& blocks = file.listing().blocks;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        if (!file.surfaceShape(b)) {
            skipped.push_back({blocks[b].id, blocks[b].name, blocks[b].elementType, blocks[b].nodesPerElement});
        }
    }
    return skipped;
}

// A listing names skipped blocks itself; a loader that makes bodies says what it leaves out. A
// chosen block that cannot be used fails the body instead.
void warnAboutSkippedBlocks(const ExodusFileReader& file, const std::vector<std::size_t>& chosen,
                            const Calvora::Logging& logger)
{
    const std::vector<ExodusBlockListing>& blocks = file.listing().blocks;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        if (!blocks[b].skipReason.empty() && std::find(chosen.begin(), chosen.end(), b) == chosen.end()) {
            Calvora::logWarn(logger, aboutFile(file.path(),
                                               "skipping " + file.blockDescription(b) + ": " + blocks[b].skipReason));
        }
    }
}

}  // namespace

ExodusLoader::ExodusLoader(const std::string& path)
    : file_(std::make_unique<ExodusFileReader>(path)),
      logger_(std::make_unique<Calvora::Logging>(loggerName)),
      skipped_(skippedBlocksOf(*file_))
{
    std::vector<std::size_t> surfaceBlocks;
    for (std::size_t b = 0; b < file_->listing().blocks.size(); ++b) {
        if (file_->surfaceShape(b)) {
            surfaceBlocks.push_back(b);
        }
    }
    warnAboutSkippedBlocks(*file_, surfaceBlocks, *logger_);
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
}

ExodusLoader::ExodusLoader(const std::string& path, const ExodusBodyOptions& options)
    : file_(std::make_unique<ExodusFileReader>(path)),
      logger_(std::make_unique<Calvora::Logging>(loggerName)),
      skipped_(skippedBlocksOf(*file_))
{
    const std::vector<std::size_t> chosen = selectBlocks(*file_, options.blocks);
    warnAboutSkippedBlocks(*file_, chosen, *logger_);
    if (numSteps(*file_) > 0) {
        normalVariables_ = findNormalVariables(file_->listing().nodalVariables);
    }
    addBody(chosen, options);
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

const std::vector<SkippedBlock>& ExodusLoader::skippedBlocks() const
{
    return skipped_;
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
        resolveLastWrittenStep(*file_, usedVariables(body, normalVariables_), body);
    }
    if (body.description.step > 0) {
        body.description.time = listing.stepTimes[static_cast<std::size_t>(body.description.step - 1)];
    }
    if (body.description.initialCoordinates) {
        body.description.materialOrigin = options.materialOrigin.value_or(centreOfInitialCoordinates(*file_, body));
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
    const auto skipped = std::find_if(skipped_.begin(), skipped_.end(),
                                      [&](const SkippedBlock& candidate) { return candidate.id == where.id; });
    if (skipped != skipped_.end()) {
        file_->fail("element block " + inQuotes(skipped->name) + " (id " + std::to_string(skipped->id) + ") holds " +
                    skipped->elementType + " elements, which make no surface");
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

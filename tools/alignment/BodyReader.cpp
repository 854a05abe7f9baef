#include "BodyReader.h"

#include "Errors.h"
#include "ExodusLoader.h"
#include "Text.h"

#include <algorithm>
#include <limits>

namespace CoreIoAlign {
namespace {

using CoreIo::ExodusLoader;

// Collects one scalar result of a loader as doubles.
class ValuesBuilder : public CoreIo::ResultBuilderInterface {
public:
    std::vector<double> values;

    void setInterval(double, double) override {}
    void build(const CoreIo::ResultBuilderColMajorParam&, const CoreIo::ResultBuilderColMajorParam&) override {}
    void build(const CoreIo::ResultBuilderRowMajorParam&, const CoreIo::ResultBuilderRowMajorParam&) override {}
    void build(const CoreIo::ResultBuilderColMajorParam&) override {}
    void build(const CoreIo::ResultBuilderRowMajorParam&) override {}
    void build(std::size_t count, const int* data) override { values.assign(data, data + count); }
    void build(std::size_t count, const float* data) override { values.assign(data, data + count); }
    void build(std::size_t count, const double* data) override { values.assign(data, data + count); }
};

bool listed(const std::vector<std::string>& names, const std::string& name)
{
    return std::ranges::any_of(names, [&](const std::string& candidate) { return equalIgnoringCase(candidate, name); });
}

// Why a body has no initial coordinates, and what to do about it.
[[noreturn]] void failForInitialCoordinates(const ExodusLoader& loader, const BodyInFile& where)
{
    const CoreIo::ExodusListing& listing = loader.listing();
    const auto& names = where.options.initialCoordinates.variables;
    std::vector<std::string> missing;
    for (const std::string& name : names)
        if (!listed(listing.nodalVariables, name))
            missing.push_back(name);
    if (missing.empty())
        throw InputError(where.file + " holds the nodal variables " + names[0] + " and " + names[1] +
                         " but no time step, so they have no values; write at least one step");
    throw InputError(where.file + " lacks the nodal variables " + joined(missing, " and ") +
                     " (its initial coordinates); its nodal variables are: " + joined(listing.nodalVariables) +
                     "; name two with --ic NAME0,NAME1, or take them from the reference shape with --ic "
                     "reference-xy|yz|zx or reference-cylinder-x|y|z");
}

void requireVariables(const CoreIo::ExodusListing& listing, const VariableChoice& variables, const std::string& file)
{
    if (!variables)
        return;
    for (const std::string& wanted : *variables)
        if (!listed(listing.nodalVariables, wanted) && !listed(listing.elementVariables, wanted))
            throw InputError("--map: " + file + " has no variable " + wanted + "; its nodal variables are " +
                             joined(listing.nodalVariables) + ", its element variables " +
                             joined(listing.elementVariables));
}

// The variables of names (every one when the choice is unset) that the choice asks for.
std::vector<std::string> chosen(const std::vector<std::string>& names, const VariableChoice& variables)
{
    if (!variables)
        return names;
    std::vector<std::string> picked;
    for (const std::string& name : names)
        if (listed(*variables, name))
            picked.push_back(name);
    return picked;
}

BodySummary summarize(const ExodusLoader& loader, const std::string& file)
{
    const CoreIo::ExodusBodyDescription& body = loader.description(0);
    BodySummary summary;
    summary.file = file;
    std::vector<std::string> blocks;
    for (const std::size_t b : body.blocks) {
        const CoreIo::ExodusBlockListing& block = loader.listing().blocks[b];
        std::string text = '"' + block.name;
        text += "\" (id " + std::to_string(block.id) + ", " + block.elementType + ")";
        blocks.push_back(std::move(text));
    }
    summary.blocks = joined(blocks);
    summary.step = body.step;
    summary.time = body.time;
    summary.unwrittenSteps = static_cast<std::size_t>(body.unwrittenStepsSkipped);
    if (body.displacement) {
        std::vector<std::string> components;
        for (const std::string& component : *body.displacement)
            if (!component.empty())
                components.push_back(component);
        summary.displacement = joined(components);
    }
    // The loader spells the source as the options do, so the options' parser reads it back.
    if (body.initialCoordinates)
        summary.initialCoordinates = CoreIo::parseInitialCoordinateSource(*body.initialCoordinates);
    summary.warnings = loader.warnings();
    return summary;
}

// The blocks of the body with their connectivity in body vertices, and each element's id.
void readBlocks(const ExodusLoader& loader, Body& body)
{
    const CoreIo::ExodusBodyDescription& description = loader.description(0);
    std::vector<int> vertexOfFileNode(static_cast<std::size_t>(loader.listing().numNodes), -1);
    for (std::size_t vertex = 0; vertex < description.fileNodes.size(); ++vertex)
        vertexOfFileNode[static_cast<std::size_t>(description.fileNodes[vertex])] = static_cast<int>(vertex);
    std::vector<std::size_t> firstElementOfBlock(loader.listing().blocks.size(), 0);  // by the file's block index
    std::size_t elements = 0;
    for (const std::size_t b : description.blocks) {
        const CoreIo::ExodusBlockListing& listed = loader.listing().blocks[b];
        BodyBlock block{listed.id,
                        listed.storedName,
                        listed.name,
                        listed.elementType,
                        static_cast<int>(listed.nodesPerElement),
                        loader.blockConnectivity(b)};
        for (int& node : block.connectivity)
            node = vertexOfFileNode[static_cast<std::size_t>(node - 1)];
        firstElementOfBlock[b] = elements;
        elements += block.numElements();
        body.blocks.push_back(std::move(block));
    }
    body.elementIds.assign(elements, 0);
    for (const CoreIo::ExodusTriangleSource& source : description.triangles) {
        const std::size_t element = firstElementOfBlock[source.block] + static_cast<std::size_t>(source.element);
        body.elementOfTriangle.push_back(static_cast<int>(element));
        body.elementIds[element] = source.elementId;
    }
    // An element that made no triangle left no number to keep.
    if (std::ranges::find(body.elementIds, 0) != body.elementIds.end())
        body.elementIds.clear();
}

// A block that lacks the variable gives its elements no value.
std::vector<double> elementValues(const ExodusLoader& loader, const std::string& name)
{
    const CoreIo::ExodusBodyDescription& description = loader.description(0);
    std::vector<double> values;
    for (const std::size_t block : description.blocks) {
        const auto count = static_cast<std::size_t>(loader.listing().blocks[block].numElements);
        try {
            const std::vector<double> ofBlock = loader.readElementVariable(block, name, description.step);
            values.insert(values.end(), ofBlock.begin(), ofBlock.end());
        } catch (const CoreIo::LoadError&) {
            values.insert(values.end(), count, std::numeric_limits<double>::quiet_NaN());
        }
    }
    return values;
}

void readFields(const ExodusLoader& loader, const VariableChoice& variables, Body& body)
{
    const CoreIo::ExodusListing& listing = loader.listing();
    for (const std::string& name : chosen(listing.nodalVariables, variables))
        body.nodalFields.push_back({name, 1, loader.readNodalVariable(0, name)});
    for (const std::string& name : chosen(listing.elementVariables, variables))
        body.elementFields.push_back({name, 1, elementValues(loader, name)});
}

// The shape and initial coordinates in the file's precision, beside the library's 32-bit record.
void readShape(const ExodusLoader& loader, Body& body)
{
    const std::vector<std::array<double, 3>> positions = loader.positions(0);
    body.positions.reserve(3 * positions.size());
    for (const auto& position : positions)
        body.positions.insert(body.positions.end(), position.begin(), position.end());
    const std::vector<std::array<double, 2>> coordinates = loader.initialCoordinates(0);
    body.initialCoordinates.reserve(2 * coordinates.size());
    for (const auto& pair : coordinates)
        body.initialCoordinates.insert(body.initialCoordinates.end(), pair.begin(), pair.end());
}

}  // namespace

Body readBody(const BodyInFile& where, const VariableChoice& variables)
{
    const ExodusLoader loader(where.file, where.options);
    requireVariables(loader.listing(), variables, where.file);
    if (!loader.description(0).initialCoordinates)
        failForInitialCoordinates(loader, where);
    Body body;
    body.record = CoreIo::readMeshAndICs(loader, loader.bodies().front());
    const CoreIo::MeshAndCoord& record = body.record;
    const std::size_t vertices = record.mesh ? record.mesh->numberOfVertices() : 0;
    if (!record.isValid() || record.initCoord0->size() < vertices || record.initCoord1->size() < vertices)
        throw InputError("body '" + loader.bodies().front().name + "' in " + where.file +
                         " could not be read completely");
    const CoreIo::ExodusBodyDescription& description = loader.description(0);
    body.origin = description.origin;
    body.materialOrigin = description.materialOrigin;
    readShape(loader, body);
    readBlocks(loader, body);
    body.inputOrder = description.fileNodes;
    body.nodeIds = description.nodeIds;
    readFields(loader, variables, body);
    body.storesDoubles = loader.storesDoubles();
    body.wrapsAround = where.options.initialCoordinates.kind ==
                       CoreIo::InitialCoordinateSource::Kind::ReferenceCylinder;
    body.summary = summarize(loader, where.file);
    return body;
}

}  // namespace CoreIoAlign

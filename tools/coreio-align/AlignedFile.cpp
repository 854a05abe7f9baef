#include "AlignedFile.h"

#include "FieldTransfer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>
#include <numeric>
#include <unordered_map>

namespace CoreIoAlign {
namespace {

using Calvora::MatchStatus;
using Calvora::VertexLocation;

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

bool iequals(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::toupper(x) == std::toupper(y); });
}

// How the output relates to the after body: output node k is body vertex vertexOfNode[k], in
// the file's node order.
struct Numbering {
    std::vector<int> vertexOfNode;
    std::unordered_map<int, int> nodeOfFileNode;    // file node index from 0 -> output node
    std::unordered_map<int, int> vertexOfFileNode;  // file node index from 0 -> body vertex
};

Numbering numberNodes(const CoreIo::ExodusBodyDescription& body)
{
    Numbering numbering;
    numbering.vertexOfNode.resize(body.fileNodes.size());
    std::iota(numbering.vertexOfNode.begin(), numbering.vertexOfNode.end(), 0);
    std::sort(numbering.vertexOfNode.begin(), numbering.vertexOfNode.end(), [&](int a, int b) {
        return body.fileNodes[static_cast<std::size_t>(a)] < body.fileNodes[static_cast<std::size_t>(b)];
    });
    for (std::size_t node = 0; node < numbering.vertexOfNode.size(); ++node) {
        const int vertex = numbering.vertexOfNode[node];
        const int fileNode = body.fileNodes[static_cast<std::size_t>(vertex)];
        numbering.nodeOfFileNode.emplace(fileNode, static_cast<int>(node));
        numbering.vertexOfFileNode.emplace(fileNode, vertex);
    }
    return numbering;
}

std::vector<double> inNodeOrder(const std::vector<double>& perVertex, const Numbering& numbering, std::size_t column,
                                std::size_t columns)
{
    std::vector<double> values;
    values.reserve(numbering.vertexOfNode.size());
    for (const int vertex : numbering.vertexOfNode)
        values.push_back(perVertex[static_cast<std::size_t>(vertex) * columns + column]);
    return values;
}

void placeNodes(CoreIo::ExodusMesh& mesh, const FileAlignment& alignment, const Numbering& numbering)
{
    const Calvora::Mesh& aligned = *alignment.pair.result.alignedMesh;
    const std::vector<std::int64_t>& ids = alignment.after.description().nodeIds;
    for (const int vertex : numbering.vertexOfNode) {
        const Calvora::Vertex& position = aligned.getVertex(static_cast<unsigned>(vertex));
        mesh.x.push_back(position.x + alignment.origin[0]);
        mesh.y.push_back(position.y + alignment.origin[1]);
        mesh.z.push_back(position.z + alignment.origin[2]);
        mesh.nodeIds.push_back(static_cast<int>(ids[static_cast<std::size_t>(vertex)]));
    }
}

// Per block of the after body, its element numbers by element.
std::vector<std::vector<int>> elementIdsByBlock(const CoreIo::ExodusBodyDescription& body,
                                                const CoreIo::ExodusListing& listing)
{
    std::vector<std::vector<int>> ids;
    std::unordered_map<std::size_t, std::size_t> position;
    for (const std::size_t block : body.blocks) {
        position.emplace(block, ids.size());
        ids.emplace_back(static_cast<std::size_t>(listing.blocks[block].numElements), 0);
    }
    for (const CoreIo::ExodusTriangleSource& source : body.triangles)
        ids[position.at(source.block)][static_cast<std::size_t>(source.element)] = static_cast<int>(source.elementId);
    return ids;
}

void placeBlocks(CoreIo::ExodusMesh& mesh, const LoadedBody& after, const Numbering& numbering)
{
    const CoreIo::ExodusListing& listing = after.loader->listing();
    const std::vector<std::vector<int>> elementIds = elementIdsByBlock(after.description(), listing);
    bool everyElementNumbered = true;
    for (std::size_t k = 0; k < after.description().blocks.size(); ++k) {
        const std::size_t b = after.description().blocks[k];
        const CoreIo::ExodusBlockListing& block = listing.blocks[b];
        CoreIo::ExodusMesh::Block out{static_cast<int>(block.id), block.name, block.elementType,
                                      static_cast<int>(block.nodesPerElement), after.loader->blockConnectivity(b)};
        for (int& node : out.connectivity)
            node = numbering.nodeOfFileNode.at(node - 1);
        mesh.blocks.push_back(std::move(out));
        everyElementNumbered = everyElementNumbered && std::ranges::find(elementIds[k], 0) == elementIds[k].end();
        mesh.elementIds.insert(mesh.elementIds.end(), elementIds[k].begin(), elementIds[k].end());
    }
    if (!everyElementNumbered)
        mesh.elementIds.clear();  // an element that made no triangle left no number to keep
}

void addNodal(CoreIo::ExodusMesh& mesh, std::string name, std::vector<double> values)
{
    mesh.nodalVariables.push_back({std::move(name), {std::move(values)}});
}

// The before vertex matched, or the corner of the largest weight in the located triangle.
int matchedVertex(const VertexLocation& location)
{
    const auto largest = std::ranges::max_element(location.weights) - location.weights.begin();
    return location.vertices[static_cast<std::size_t>(largest)];
}

void addAlignmentFields(CoreIo::ExodusMesh& mesh, const FileAlignment& alignment, const Numbering& numbering)
{
    const Calvora::Mesh& aligned = *alignment.pair.result.alignedMesh;
    const Calvora::Mesh& after = *alignment.after.record.mesh;
    const std::vector<std::int64_t>& beforeIds = alignment.before.description().nodeIds;
    std::vector<double> dx, dy, dz, magnitude, first, second, status, matchedId;
    for (const int vertex : numbering.vertexOfNode) {
        const auto i = static_cast<unsigned>(vertex);
        const Calvora::Vertex& a = aligned.getVertex(i);
        const Calvora::Vertex& b = after.getVertex(i);
        dx.push_back(b.x - a.x);
        dy.push_back(b.y - a.y);
        dz.push_back(b.z - a.z);
        magnitude.push_back(std::sqrt(b.sqrDistance(a)));
        first.push_back((*alignment.after.record.initCoord0)[i]);
        second.push_back((*alignment.after.record.initCoord1)[i]);
        const VertexLocation& location = alignment.pair.locations[i];
        status.push_back(static_cast<double>(location.status));
        const bool outside = location.status == MatchStatus::Outside;
        matchedId.push_back(
            outside ? 0.0 : static_cast<double>(beforeIds[static_cast<std::size_t>(matchedVertex(location))]));
    }
    addNodal(mesh, "DISPL_X", std::move(dx));
    addNodal(mesh, "DISPL_Y", std::move(dy));
    addNodal(mesh, "DISPL_Z", std::move(dz));
    addNodal(mesh, "DISPL_MAG", std::move(magnitude));
    addNodal(mesh, "INITIALCOORD0", std::move(first));
    addNodal(mesh, "INITIALCOORD1", std::move(second));
    addNodal(mesh, "MATCH_STATUS", std::move(status));
    addNodal(mesh, "MATCHED_NODE_ID", std::move(matchedId));
}

// The variables of names (every one when choice is unset) that the choice asks for.
std::vector<std::string> chosen(const std::vector<std::string>& names,
                                const std::optional<std::vector<std::string>>& choice)
{
    if (!choice)
        return names;
    std::vector<std::string> picked;
    for (const std::string& name : names)
        if (std::ranges::any_of(*choice, [&](const std::string& wanted) { return iequals(wanted, name); }))
            picked.push_back(name);
    return picked;
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? "none" : text;
}

void requireKnown(const std::optional<std::vector<std::string>>& choice, const LoadedBody& before)
{
    if (!choice)
        return;
    const CoreIo::ExodusListing& listing = before.loader->listing();
    for (const std::string& wanted : *choice) {
        const auto matches = [&](const std::string& name) { return iequals(wanted, name); };
        if (std::ranges::none_of(listing.nodalVariables, matches) &&
            std::ranges::none_of(listing.elementVariables, matches))
            throw InputError("--map: " + before.file + " has no variable " + wanted + "; its nodal variables are " +
                             joined(listing.nodalVariables) + ", its element variables " +
                             joined(listing.elementVariables));
    }
}

std::vector<double> nodalValuesAtStep(const LoadedBody& body, const std::string& name)
{
    for (const CoreIo::ResultEntry& entry : body.loader->bodies().front().results)
        if (entry.name == name && entry.dataLocation.step == body.description().step) {
            ValuesBuilder builder;
            body.loader->loadResult(entry.dataLocation, builder, std::nullopt);
            return std::move(builder.values);
        }
    throw InputError(body.file + " holds no values of " + name + " at step " + std::to_string(body.description().step));
}

void addNodalMapping(CoreIo::ExodusMesh& mesh, const FileAlignment& alignment, const std::vector<std::string>& names,
                     const Numbering& numbering)
{
    if (names.empty())
        return;
    const std::size_t count = alignment.before.record.mesh->numberOfVertices();
    std::vector<double> table(count * names.size());
    for (std::size_t v = 0; v < names.size(); ++v) {
        const std::vector<double> values = nodalValuesAtStep(alignment.before, names[v]);
        for (std::size_t i = 0; i < count; ++i)
            table[i * names.size() + v] = values.at(i);
    }
    const std::vector<double> mapped = transferNodalValues(alignment.pair.locations, table, names.size());
    for (std::size_t v = 0; v < names.size(); ++v)
        addNodal(mesh, "BEFORE_" + names[v], inNodeOrder(mapped, numbering, v, names.size()));
}

// Per before triangle, its element among all elements of the before body's blocks in order.
std::vector<int> elementOfBeforeTriangle(const CoreIo::ExodusBodyDescription& body,
                                         const CoreIo::ExodusListing& listing)
{
    std::unordered_map<std::size_t, std::int64_t> firstElement;
    std::int64_t elements = 0;
    for (const std::size_t block : body.blocks) {
        firstElement.emplace(block, elements);
        elements += listing.blocks[block].numElements;
    }
    std::vector<int> element;
    element.reserve(body.triangles.size());
    for (const CoreIo::ExodusTriangleSource& source : body.triangles)
        element.push_back(static_cast<int>(firstElement.at(source.block) + source.element));
    return element;
}

// A block that lacks the variable gives its elements no value.
std::vector<double> elementValues(const LoadedBody& body, const std::string& name)
{
    std::vector<double> values;
    for (const std::size_t block : body.description().blocks) {
        const auto count = static_cast<std::size_t>(body.loader->listing().blocks[block].numElements);
        try {
            const std::vector<double> ofBlock = body.loader->readElementVariable(block, name, body.description().step);
            values.insert(values.end(), ofBlock.begin(), ofBlock.end());
        } catch (const CoreIo::LoadError&) {
            values.insert(values.end(), count, outsideValue);
        }
    }
    return values;
}

std::vector<VertexLocation> locateElementCentroids(const FileAlignment& alignment, const CoreIo::ExodusMesh& mesh)
{
    std::vector<std::size_t> firstCorner{0};
    std::vector<int> corners;
    const Numbering numbering = numberNodes(alignment.after.description());
    for (const CoreIo::ExodusMesh::Block& block : mesh.blocks)
        for (std::size_t e = 0; e < block.numElements(); ++e) {
            for (int c = 0; c < block.nodesPerElement; ++c) {
                const int node = block.connectivity[e * static_cast<std::size_t>(block.nodesPerElement) +
                                                    static_cast<std::size_t>(c)];
                corners.push_back(numbering.vertexOfNode[static_cast<std::size_t>(node)]);
            }
            firstCorner.push_back(corners.size());
        }
    return locateAfterElements(alignment.pair, firstCorner, corners);
}

void addElementMapping(CoreIo::ExodusMesh& mesh, const FileAlignment& alignment, const std::vector<std::string>& names)
{
    if (names.empty())
        return;
    const LoadedBody& before = alignment.before;
    const std::vector<int> elementOf = elementOfBeforeTriangle(before.description(), before.loader->listing());
    std::vector<std::vector<double>> columns;
    for (const std::string& name : names)
        columns.push_back(elementValues(before, name));
    const std::size_t beforeElements = columns.front().size();
    std::vector<double> table(beforeElements * names.size());
    for (std::size_t e = 0; e < beforeElements; ++e)
        for (std::size_t v = 0; v < names.size(); ++v)
            table[e * names.size() + v] = columns[v][e];
    const std::vector<double> mapped = transferElementValues(locateElementCentroids(alignment, mesh), elementOf, table,
                                                             names.size());
    for (std::size_t v = 0; v < names.size(); ++v) {
        std::vector<std::vector<double>> byBlock;
        std::size_t element = 0;
        for (const CoreIo::ExodusMesh::Block& block : mesh.blocks) {
            std::vector<double>& values = byBlock.emplace_back();
            for (std::size_t e = 0; e < block.numElements(); ++e)
                values.push_back(mapped[(element++) * names.size() + v]);
        }
        mesh.elementVariables.push_back({"BEFORE_" + names[v], {std::move(byBlock)}});
    }
}

std::string describe(const char* side, const LoadedBody& body)
{
    return std::string(side) + ": " + body.file + ", blocks " + body.summary.blocks + ", step " +
           std::to_string(body.summary.step);
}

CoreIo::ExodusMesh::QaRecord qaRecord()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[16];
    char time[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    return {"coreio-align", COREIO_VERSION, date, time};
}

}  // namespace

CoreIo::ExodusMesh alignedExodusMesh(const FileAlignment& alignment, const OutputChoices& choices)
{
    requireKnown(choices.mappedVariables, alignment.before);
    const Numbering numbering = numberNodes(alignment.after.description());
    CoreIo::ExodusMesh mesh;
    mesh.title = "aligned " + alignment.after.file;
    mesh.title.resize(std::min<std::size_t>(mesh.title.size(), 80));
    placeNodes(mesh, alignment, numbering);
    placeBlocks(mesh, alignment.after, numbering);
    mesh.times = {alignment.after.summary.time};
    addAlignmentFields(mesh, alignment, numbering);
    const CoreIo::ExodusListing& listing = alignment.before.loader->listing();
    addNodalMapping(mesh, alignment, chosen(listing.nodalVariables, choices.mappedVariables), numbering);
    addElementMapping(mesh, alignment, chosen(listing.elementVariables, choices.mappedVariables));
    mesh.qa = qaRecord();
    mesh.info = {"coreio-align " + choices.commandLine, describe("before", alignment.before),
                 describe("after", alignment.after)};
    return mesh;
}

}  // namespace CoreIoAlign

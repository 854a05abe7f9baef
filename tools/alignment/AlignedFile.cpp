#include "AlignedFile.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace CoreIoAlign {
namespace {

// Single precision keeps every integer up to 2^24 exactly.
constexpr double largestExactFloatInteger = 16777216.0;

// Output node k is body vertex vertexOfNode[k]: the nodes keep the input's order.
struct Numbering {
    std::vector<int> vertexOfNode;
    std::vector<int> nodeOfVertex;
    bool keepsVertexOrder = true;  // node k is vertex k, as in a body of all the input's nodes
};

Numbering numberNodes(const Body& body)
{
    Numbering numbering;
    numbering.vertexOfNode.resize(body.numVertices());
    for (std::size_t vertex = 0; vertex < body.numVertices(); ++vertex)
        numbering.vertexOfNode[vertex] = static_cast<int>(vertex);
    std::ranges::sort(numbering.vertexOfNode, [&](int a, int b) {
        return body.inputOrder[static_cast<std::size_t>(a)] < body.inputOrder[static_cast<std::size_t>(b)];
    });
    numbering.nodeOfVertex.resize(body.numVertices());
    for (std::size_t node = 0; node < numbering.vertexOfNode.size(); ++node) {
        numbering.nodeOfVertex[static_cast<std::size_t>(numbering.vertexOfNode[node])] = static_cast<int>(node);
        numbering.keepsVertexOrder &= numbering.vertexOfNode[node] == static_cast<int>(node);
    }
    return numbering;
}

// One value per vertex as one per node.
std::vector<double> inNodeOrder(std::vector<double> perVertex, const Numbering& numbering)
{
    if (numbering.keepsVertexOrder)
        return perVertex;
    std::vector<double> perNode;
    perNode.reserve(perVertex.size());
    for (const int vertex : numbering.vertexOfNode)
        perNode.push_back(perVertex[static_cast<std::size_t>(vertex)]);
    return perNode;
}

// A variable of one step.
template <typename Values>
std::vector<Values> oneStep(Values values)
{
    std::vector<Values> steps;
    steps.push_back(std::move(values));
    return steps;
}

void placeNodes(CoreIo::ExodusMesh& mesh, const Body& after, AlignedFields& fields, const Numbering& numbering)
{
    for (const int vertex : numbering.vertexOfNode) {
        const auto v = static_cast<std::size_t>(vertex);
        mesh.x.push_back(fields.alignedPositions[3 * v]);
        mesh.y.push_back(fields.alignedPositions[3 * v + 1]);
        mesh.z.push_back(fields.alignedPositions[3 * v + 2]);
        mesh.nodeIds.push_back(after.nodeIds[v]);
    }
    fields.alignedPositions = {};
}

void placeBlocks(CoreIo::ExodusMesh& mesh, const Body& after, const Numbering& numbering)
{
    for (const BodyBlock& block : after.blocks) {
        CoreIo::ExodusMesh::Block out{block.id, block.name, block.elementType, block.nodesPerElement,
                                      block.connectivity};
        if (!numbering.keepsVertexOrder)
            for (int& node : out.connectivity)
                node = numbering.nodeOfVertex[static_cast<std::size_t>(node)];
        mesh.blocks.push_back(std::move(out));
    }
    mesh.elementIds = after.elementIds;
}

// One file variable per component: NAME for a scalar, NAME_0, NAME_1, ... otherwise. Takes the
// field's values over.
template <typename Place>
void forEachComponent(BodyField& field, Place place)
{
    if (field.components == 1) {
        place(field.name, std::move(field.values));
        return;
    }
    for (std::size_t c = 0; c < field.components; ++c) {
        std::vector<double> values;
        values.reserve(field.values.size() / field.components);
        for (std::size_t k = c; k < field.values.size(); k += field.components)
            values.push_back(field.values[k]);
        place(field.name + "_" + std::to_string(c), std::move(values));
    }
    field.values = {};
}

void addNodalFields(CoreIo::ExodusMesh& mesh, AlignedFields& fields, const Numbering& numbering)
{
    for (BodyField& field : fields.nodal)
        forEachComponent(field, [&](std::string name, std::vector<double> perVertex) {
            mesh.nodalVariables.push_back({std::move(name), oneStep(inNodeOrder(std::move(perVertex), numbering))});
        });
}

void addElementFields(CoreIo::ExodusMesh& mesh, const Body& after, AlignedFields& fields)
{
    for (BodyField& field : fields.element)
        forEachComponent(field, [&](std::string name, std::vector<double> perElement) {
            std::vector<std::vector<double>> byBlock;
            if (after.blocks.size() == 1) {
                byBlock.push_back(std::move(perElement));
            } else {
                std::size_t first = 0;
                for (const BodyBlock& block : after.blocks) {
                    const auto begin = perElement.begin() + static_cast<std::ptrdiff_t>(first);
                    byBlock.emplace_back(begin, begin + static_cast<std::ptrdiff_t>(block.numElements()));
                    first += block.numElements();
                }
            }
            mesh.elementVariables.push_back({std::move(name), oneStep(std::move(byBlock))});
        });
}

std::string describe(const char* side, const Body& body)
{
    return std::string(side) + ": " + body.summary.file + ", blocks " + body.summary.blocks + ", step " +
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

CoreIo::ExodusMesh alignedExodusMesh(const Body& before, const Body& after, AlignedFields fields,
                                     const OutputInfo& info)
{
    const Numbering numbering = numberNodes(after);
    CoreIo::ExodusMesh mesh;
    mesh.title = "aligned " + after.summary.file;
    mesh.title.resize(std::min<std::size_t>(mesh.title.size(), 80));
    placeNodes(mesh, after, fields, numbering);
    placeBlocks(mesh, after, numbering);
    mesh.times = {after.summary.time};
    addNodalFields(mesh, fields, numbering);
    addElementFields(mesh, after, fields);
    mesh.qa = qaRecord();
    mesh.info = {info.commandLine, describe("before", before), describe("after", after)};
    return mesh;
}

CoreIo::ExodusPrecision outputPrecision(const Body& before, const Body& after, const AlignedFields& fields)
{
    if (before.storesDoubles || after.storesDoubles)
        return CoreIo::ExodusPrecision::Double;
    const bool exactInFloat = std::ranges::all_of(nodalField(fields, "MATCHED_NODE_ID").values,
                                                  [](double id) { return std::abs(id) <= largestExactFloatInteger; });
    return exactInFloat ? CoreIo::ExodusPrecision::Float : CoreIo::ExodusPrecision::Double;
}

void writeAlignedFile(const std::string& path, const Body& before, const Body& after, AlignedFields fields,
                      const OutputInfo& info)
{
    const CoreIo::ExodusPrecision precision = outputPrecision(before, after, fields);
    CoreIo::writeExodusMesh(path, alignedExodusMesh(before, after, std::move(fields), info), precision);
}

}  // namespace CoreIoAlign

#include "ExodusBodyAssembly.h"

#include <algorithm>
#include <limits>

namespace CoreIo {

namespace {

// Turns the blocks' connectivity into body nodes, numbered in order of first use. The table spans
// only the file nodes between the body's smallest and largest: a loader makes one body per block,
// and a block of a file of many uses a small stretch of its nodes.
void numberNodes(std::vector<BodyBlock>& blocks, std::vector<int>& fileNodes)
{
    int smallest = std::numeric_limits<int>::max();
    int largest = -1;
    for (const BodyBlock& block : blocks) {
        for (const int node : block.connectivity) {
            smallest = std::min(smallest, node);
            largest = std::max(largest, node);
        }
    }
    if (largest < 0) {
        return;
    }
    std::vector<int> bodyNodeOf(static_cast<std::size_t>(largest - smallest) + 1, -1);
    for (BodyBlock& block : blocks) {
        for (int& node : block.connectivity) {
            int& bodyNode = bodyNodeOf[static_cast<std::size_t>(node - smallest)];
            if (bodyNode < 0) {
                bodyNode = static_cast<int>(fileNodes.size());
                fileNodes.push_back(node);
            }
            node = bodyNode;
        }
    }
}

std::array<double, 3> centreOf(const Positions& positions)
{
    std::array<double, 3> centre{};
    for (std::size_t a = 0; a < 3; ++a) {
        if (!positions[a].empty()) {
            const auto [lowest, highest] = std::minmax_element(positions[a].begin(), positions[a].end());
            centre[a] = 0.5 * (*lowest + *highest);
        }
    }
    return centre;
}

// The block's connectivity is in body nodes.
void cutElements(const BodyBlock& block, AssembledBody& body)
{
    const std::vector<int>& corners = block.connectivity;
    const std::size_t perElement = nodeCount(block.shape);
    for (std::size_t e = 0; e * perElement < corners.size(); ++e) {
        const int* nodes = corners.data() + e * perElement;
        const auto squaredDistance = [&](std::size_t i, std::size_t j) {
            double sum = 0.0;
            for (std::size_t a = 0; a < 3; ++a) {
                const std::vector<double>& axis = body.reference[a];
                const double d = (axis[static_cast<std::size_t>(nodes[i])] - body.origin[a]) -
                                 (axis[static_cast<std::size_t>(nodes[j])] - body.origin[a]);
                sum += d * d;
            }
            return sum;
        };
        const ElementTriangles triangles = cutElement(block.shape, squaredDistance);
        for (std::size_t t = 0; t < triangles.count; ++t) {
            const auto [a, b, c] = triangles.corners[t];
            if (nodes[a] == nodes[b] || nodes[b] == nodes[c] || nodes[c] == nodes[a]) {
                continue;
            }
            body.triangles.insert(body.triangles.end(), {nodes[a], nodes[b], nodes[c]});
            body.sources.push_back({block.block, static_cast<std::int64_t>(e), 0});
        }
    }
}

// Room for every triangle the blocks' elements can give, collapsed ones included.
void reserveTriangles(const std::vector<BodyBlock>& blocks, AssembledBody& body)
{
    std::size_t triangles = 0;
    for (const BodyBlock& block : blocks) {
        const std::size_t perElement = cutElement(block.shape, [](std::size_t, std::size_t) { return 0.0; }).count;
        triangles += block.connectivity.size() / nodeCount(block.shape) * perElement;
    }
    body.triangles.reserve(3 * triangles);
    body.sources.reserve(triangles);
}

}  // namespace

AssembledBody assembleBody(std::vector<BodyBlock> blocks, const ReferenceReader& readReference,
                           const std::optional<std::array<double, 3>>& origin)
{
    AssembledBody body;
    numberNodes(blocks, body.fileNodes);
    reserveTriangles(blocks, body);
    body.reference = readReference(body.fileNodes);
    body.origin = origin ? *origin : centreOf(body.reference);
    for (const BodyBlock& block : blocks) {
        cutElements(block, body);
    }
    return body;
}

}  // namespace CoreIo

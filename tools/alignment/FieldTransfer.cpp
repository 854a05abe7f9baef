#include "FieldTransfer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace CoreIoAlign {
namespace {

using Calvora::MatchStatus;
using Calvora::VertexLocation;

std::size_t countRows(std::span<const double> values, std::size_t numVariables, const std::string& what)
{
    if (numVariables == 0) {
        return 0;
    }
    if (values.size() % numVariables != 0) {
        throw std::invalid_argument(what + " holds " + std::to_string(values.size()) +
                                    " values, not a whole number of rows of " + std::to_string(numVariables));
    }
    return values.size() / numVariables;
}

// Casting to unsigned folds the negative indices into the too-large ones.
bool isRowOf(int index, std::size_t numRows)
{
    return static_cast<std::size_t>(static_cast<unsigned>(index)) < numRows;
}

[[noreturn]] void throwBeyond(const std::string& point, std::size_t position, const std::string& what, int index,
                              std::size_t numRows)
{
    throw std::invalid_argument(point + " " + std::to_string(position) + " lies at " + what + " " +
                                std::to_string(index) + ", beyond the " + std::to_string(numRows) +
                                " of the before state");
}

std::size_t nearestCorner(const VertexLocation& location)
{
    const auto& w = location.weights;
    return static_cast<std::size_t>(std::max_element(w.begin(), w.end()) - w.begin());
}

void copyRow(const double* from, double* to, std::size_t numVariables)
{
    std::copy(from, from + numVariables, to);
}

}  // namespace

std::vector<double> transferNodalValues(std::span<const VertexLocation> locations, std::span<const double> beforeValues,
                                        std::size_t numVariables, double outsideFill)
{
    const std::size_t numBefore = countRows(beforeValues, numVariables, "the before nodal values");
    std::vector<double> after(locations.size() * numVariables);
    const double* before = beforeValues.data();
    for (std::size_t i = 0; i < locations.size(); ++i) {
        const VertexLocation& location = locations[i];
        double* row = after.data() + i * numVariables;
        if (location.status == MatchStatus::Outside) {
            std::fill(row, row + numVariables, outsideFill);
            continue;
        }
        if (location.status == MatchStatus::Near) {
            const int vertex = location.vertices[nearestCorner(location)];
            if (!isRowOf(vertex, numBefore)) {
                throwBeyond("after vertex", i, "before vertex", vertex, numBefore);
            }
            copyRow(before + static_cast<std::size_t>(vertex) * numVariables, row, numVariables);
            continue;
        }
        for (const int vertex : location.vertices) {
            if (!isRowOf(vertex, numBefore)) {
                throwBeyond("after vertex", i, "before vertex", vertex, numBefore);
            }
        }
        const double* a = before + static_cast<std::size_t>(location.vertices[0]) * numVariables;
        const double* b = before + static_cast<std::size_t>(location.vertices[1]) * numVariables;
        const double* c = before + static_cast<std::size_t>(location.vertices[2]) * numVariables;
        const auto [wa, wb, wc] = location.weights;
        for (std::size_t k = 0; k < numVariables; ++k) {
            row[k] = wa * a[k] + wb * b[k] + wc * c[k];
        }
    }
    return after;
}

std::vector<double> transferElementValues(std::span<const VertexLocation> centroidLocations,
                                          std::span<const int> elementOfBeforeTriangle,
                                          std::span<const double> beforeValues, std::size_t numVariables,
                                          double outsideFill)
{
    const std::size_t numBefore = countRows(beforeValues, numVariables, "the before element values");
    std::vector<double> after(centroidLocations.size() * numVariables);
    for (std::size_t i = 0; i < centroidLocations.size(); ++i) {
        const VertexLocation& location = centroidLocations[i];
        double* row = after.data() + i * numVariables;
        if (location.status == MatchStatus::Outside || location.triangle < 0) {
            std::fill(row, row + numVariables, outsideFill);
            continue;
        }
        if (!isRowOf(location.triangle, elementOfBeforeTriangle.size())) {
            throwBeyond("the centroid of after element", i, "before triangle", location.triangle,
                        elementOfBeforeTriangle.size());
        }
        const int element = elementOfBeforeTriangle[static_cast<std::size_t>(location.triangle)];
        if (!isRowOf(element, numBefore)) {
            throwBeyond("the centroid of after element", i, "before element", element, numBefore);
        }
        copyRow(beforeValues.data() + static_cast<std::size_t>(element) * numVariables, row, numVariables);
    }
    return after;
}

}  // namespace CoreIoAlign

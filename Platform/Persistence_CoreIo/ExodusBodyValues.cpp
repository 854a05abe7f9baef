#include "ExodusBodyValues.h"

#include "ExodusVariables.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

namespace CoreIo {

namespace {

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

std::string describeNodalVariable(const ExodusFileReader& file, int variable, std::int64_t step)
{
    return "nodal variable " + inQuotes(file.listing().nodalVariables[static_cast<std::size_t>(variable - 1)]) +
           " at step " + std::to_string(step);
}

}  // namespace

std::int64_t numSteps(const ExodusFileReader& file)
{
    return static_cast<std::int64_t>(file.listing().stepTimes.size());
}

void requireStep(const ExodusFileReader& file, std::int64_t step)
{
    const std::int64_t count = numSteps(file);
    if (step < 1 || step > count) {
        file.fail("has no time step " + std::to_string(step) +
                  (count == 0   ? "; it has no time steps"
                   : count == 1 ? "; it has one step, 1"
                                : "; it has " + std::to_string(count) + " steps, 1 to " + std::to_string(count)));
    }
}

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

std::vector<double> readStoredVariable(const ExodusFileReader& file, const ExodusLoaderBody& body, std::int64_t step,
                                       int variable)
{
    return pickNodes(file.nodalValues(static_cast<std::size_t>(variable - 1), step, body.span), body);
}

std::vector<double> readVariable(const ExodusFileReader& file, const ExodusLoaderBody& body, std::int64_t step,
                                 int variable)
{
    std::vector<double> values = readStoredVariable(file, body, step, variable);
    requireData(file, values, file.nodalFillValue(static_cast<std::size_t>(variable - 1)),
                describeNodalVariable(file, variable, step), "node", body.label, body.description.nodeIds);
    return values;
}

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

std::vector<double> readInitialCoordinate(const ExodusFileReader& file, const ExodusLoaderBody& body,
                                          std::size_t component, std::int64_t step)
{
    if (body.initialCoordinates.kind == InitialCoordinateSource::Kind::Variables) {
        requireStep(file, step);
        return readVariable(file, body, step, body.initialCoordinateVariables[component]);
    }
    return referenceInitialCoordinates(body.reference, body.initialCoordinates)[component];
}

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

}  // namespace CoreIo

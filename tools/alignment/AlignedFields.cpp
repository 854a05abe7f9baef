#include "AlignedFields.h"

#include "Errors.h"
#include "FieldTransfer.h"
#include "Text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace CoreIoAlign {
namespace {

using Calvora::MatchStatus;
using Calvora::VertexLocation;

constexpr double noValue = std::numeric_limits<double>::quiet_NaN();

std::vector<double> alignedPositions(const Body& before, const Body& after, const Alignment& alignment)
{
    std::vector<double> positions(3 * after.numVertices());
    for (std::size_t i = 0; i < after.numVertices(); ++i) {
        const VertexLocation& location = alignment.locations[i];
        double* placed = positions.data() + 3 * i;
        if (location.status == MatchStatus::Outside) {
            std::copy_n(after.positions.data() + 3 * i, 3, placed);
            continue;
        }
        for (std::size_t corner = 0; corner < 3; ++corner) {
            const double weight = location.weights[corner];
            if (weight == 0.0)
                continue;
            const double* shape = before.positions.data() + 3 * static_cast<std::size_t>(location.vertices[corner]);
            for (std::size_t axis = 0; axis < 3; ++axis)
                placed[axis] += weight * shape[axis];
        }
    }
    return positions;
}

// Weights this close count as equal: 32-bit material coordinates move a weight by about this much.
constexpr double weightTie = 1e-6;

// The before node id of the vertex matched, or of the corner of the largest weight in the located
// triangle; of corners with equal weights (a point halfway along an edge), the smaller id, so that
// rounding never decides.
std::int64_t matchedNodeId(const VertexLocation& location, const Body& before)
{
    const double largest = *std::ranges::max_element(location.weights);
    std::int64_t id = 0;
    bool found = false;
    for (std::size_t corner = 0; corner < 3; ++corner) {
        if (location.weights[corner] < largest - weightTie)
            continue;
        const std::int64_t candidate = before.nodeIds[static_cast<std::size_t>(location.vertices[corner])];
        if (!found || candidate < id)
            id = candidate;
        found = true;
    }
    return id;
}

void addAlignmentFields(AlignedFields& fields, const Body& before, const Body& after, const Alignment& alignment)
{
    const std::size_t count = after.numVertices();
    std::vector<double> dx(count), dy(count), dz(count), magnitude(count), first(count), second(count), status(count),
        matchedId(count);
    for (std::size_t i = 0; i < count; ++i) {
        const VertexLocation& location = alignment.locations[i];
        const bool outside = location.status == MatchStatus::Outside;
        const double* own = after.positions.data() + 3 * i;
        const double* aligned = fields.alignedPositions.data() + 3 * i;
        dx[i] = outside ? noValue : own[0] - aligned[0];
        dy[i] = outside ? noValue : own[1] - aligned[1];
        dz[i] = outside ? noValue : own[2] - aligned[2];
        magnitude[i] = std::sqrt(dx[i] * dx[i] + dy[i] * dy[i] + dz[i] * dz[i]);
        first[i] = after.initialCoordinates[2 * i];
        second[i] = after.initialCoordinates[2 * i + 1];
        status[i] = static_cast<double>(location.status);
        matchedId[i] = outside ? 0.0 : static_cast<double>(matchedNodeId(location, before));
    }
    for (auto& [name, values] :
         {std::pair{"DISPL_X", &dx}, std::pair{"DISPL_Y", &dy}, std::pair{"DISPL_Z", &dz},
          std::pair{"DISPL_MAG", &magnitude}, std::pair{"INITIALCOORD0", &first}, std::pair{"INITIALCOORD1", &second},
          std::pair{"MATCH_STATUS", &status}, std::pair{"MATCHED_NODE_ID", &matchedId}})
        fields.nodal.push_back({name, 1, std::move(*values)});
}

std::vector<const BodyField*> chosen(const std::vector<BodyField>& fields, const VariableChoice& map)
{
    std::vector<const BodyField*> picked;
    for (const BodyField& field : fields)
        if (!map ||
            std::ranges::any_of(*map, [&](const std::string& name) { return equalIgnoringCase(name, field.name); }))
            picked.push_back(&field);
    return picked;
}

void requireMappable(const Body& before, const VariableChoice& map)
{
    if (!map)
        return;
    for (const std::string& name : *map) {
        const auto named = [&](const BodyField& field) { return equalIgnoringCase(field.name, name); };
        if (std::ranges::none_of(before.nodalFields, named) && std::ranges::none_of(before.elementFields, named)) {
            std::vector<std::string> names;
            for (const auto* fields : {&before.nodalFields, &before.elementFields})
                for (const BodyField& field : *fields)
                    names.push_back(field.name);
            throw InputError("the before body has no field " + name + " to map; its fields are: " + joined(names));
        }
    }
}

// One table of every field's components side by side, row after row, as the transfer takes it.
std::vector<double> table(const std::vector<const BodyField*>& fields, std::size_t rows, std::size_t width)
{
    std::vector<double> values(rows * width);
    std::size_t column = 0;
    for (const BodyField* field : fields) {
        for (std::size_t row = 0; row < rows; ++row)
            std::copy_n(field->values.data() + row * field->components, field->components,
                        values.data() + row * width + column);
        column += field->components;
    }
    return values;
}

std::size_t widthOf(const std::vector<const BodyField*>& fields)
{
    std::size_t width = 0;
    for (const BodyField* field : fields)
        width += field->components;
    return width;
}

// The transferred table split back into one field per source field, named BEFORE_<NAME>.
void splitInto(std::vector<BodyField>& out, const std::vector<const BodyField*>& fields,
               const std::vector<double>& transferred, std::size_t rows, std::size_t width)
{
    std::size_t column = 0;
    for (const BodyField* field : fields) {
        BodyField mapped{"BEFORE_" + field->name, field->components, std::vector<double>(rows * field->components)};
        for (std::size_t row = 0; row < rows; ++row)
            std::copy_n(transferred.data() + row * width + column, field->components,
                        mapped.values.data() + row * field->components);
        column += field->components;
        out.push_back(std::move(mapped));
    }
}

void addNodalMapping(AlignedFields& fields, const Body& before, const Alignment& alignment, const VariableChoice& map)
{
    const std::vector<const BodyField*> picked = chosen(before.nodalFields, map);
    if (picked.empty())
        return;
    const std::size_t width = widthOf(picked);
    const std::vector<double> transferred = transferNodalValues(alignment.locations,
                                                                table(picked, before.numVertices(), width), width);
    splitInto(fields.nodal, picked, transferred, alignment.locations.size(), width);
}

void addElementMapping(AlignedFields& fields, const Body& before, const Body& after, const Alignment& alignment,
                       const VariableChoice& map)
{
    const std::vector<const BodyField*> picked = chosen(before.elementFields, map);
    if (picked.empty())
        return;
    const std::size_t width = widthOf(picked);
    const std::vector<VertexLocation> centroids = locateAfterElements(alignment, after);
    const std::vector<double> transferred = transferElementValues(centroids, before.elementOfTriangle,
                                                                  table(picked, before.numElements(), width), width);
    splitInto(fields.element, picked, transferred, centroids.size(), width);
}

}  // namespace

AlignedFields alignedFields(const Body& before, const Body& after, const Alignment& alignment,
                            const VariableChoice& map)
{
    requireMappable(before, map);
    AlignedFields fields;
    fields.alignedPositions = alignedPositions(before, after, alignment);
    addAlignmentFields(fields, before, after, alignment);
    addNodalMapping(fields, before, alignment, map);
    addElementMapping(fields, before, after, alignment, map);
    return fields;
}

const BodyField& nodalField(const AlignedFields& fields, const std::string& name)
{
    const auto found = std::ranges::find(fields.nodal, name, &BodyField::name);
    if (found == fields.nodal.end())
        throw std::out_of_range("no aligned field " + name);
    return *found;
}

DisplacementFigures displacementFigures(const AlignedFields& fields, const Alignment& alignment)
{
    DisplacementFigures figures;
    double sum = 0.0;
    double sumOfSquares = 0.0;
    const std::vector<double>& magnitude = nodalField(fields, "DISPL_MAG").values;
    for (std::size_t i = 0; i < alignment.locations.size(); ++i) {
        const MatchStatus status = alignment.locations[i].status;
        if (status != MatchStatus::Coincident && status != MatchStatus::Inside)
            continue;
        figures.max = std::max(figures.max, magnitude[i]);
        sum += magnitude[i];
        sumOfSquares += magnitude[i] * magnitude[i];
        ++figures.vertices;
    }
    if (figures.vertices > 0) {
        figures.mean = sum / static_cast<double>(figures.vertices);
        figures.rms = std::sqrt(sumOfSquares / static_cast<double>(figures.vertices));
    }
    return figures;
}

}  // namespace CoreIoAlign

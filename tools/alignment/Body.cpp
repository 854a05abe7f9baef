#include "Body.h"

#include "Errors.h"
#include "ExodusElements.h"
#include "MemoryLoader.h"
#include "Persistence_SkinBaseName.h"
#include "Text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <unordered_set>
#include <variant>

namespace CoreIoAlign {
namespace {

std::string rowText(std::span<const double> row)
{
    std::string text;
    for (const double value : row)
        text += (text.empty() ? "" : ", ") + std::to_string(value);
    return "(" + text + ")";
}

void requireRows(const std::string& name, std::size_t rows, const std::string& reference, std::size_t referenceRows)
{
    if (rows != referenceRows)
        throw InputError(name + " has " + std::to_string(rows) + " rows but " + reference + " has " +
                         std::to_string(referenceRows) + "; give one row per row of " + reference);
}

void requireFinite(const std::string& name, std::span<const double> values, std::size_t columns)
{
    for (std::size_t row = 0; row * columns < values.size(); ++row) {
        const std::span<const double> items = values.subspan(row * columns, columns);
        if (!std::ranges::all_of(items, [](double value) { return std::isfinite(value); }))
            throw InputError(name + " row " + std::to_string(row) + " " + rowText(items) +
                             " is not finite; every value must be a finite number");
    }
}

CoreIo::SurfaceShape shapeOf(const BodyBlock& block)
{
    const auto shape = CoreIo::classifyElement(block.elementType, block.nodesPerElement);
    if (const std::string* reason = std::get_if<std::string>(&shape))
        throw InputError(block.label + ": " + *reason + "; known cell types: " + joined(knownCellTypes()));
    return std::get<CoreIo::SurfaceShape>(shape);
}

void checkBlock(const BodyBlock& block, std::size_t numPoints)
{
    shapeOf(block);
    const auto perElement = static_cast<std::size_t>(block.nodesPerElement);
    if (block.connectivity.size() % perElement != 0)
        throw InputError(block.label + " holds " + std::to_string(block.connectivity.size()) +
                         " point numbers, not a whole number of cells of " + std::to_string(perElement));
    for (std::size_t k = 0; k < block.connectivity.size(); ++k) {
        const int point = block.connectivity[k];
        if (point < 0 || static_cast<std::size_t>(point) >= numPoints)
            throw InputError(block.label + " row " + std::to_string(k / perElement) + " names vertex " +
                             std::to_string(point) + ", outside 0 .. " + std::to_string(numPoints - 1));
    }
}

void requireUnique(const std::string& name, const std::vector<std::int64_t>& ids)
{
    std::unordered_set<std::int64_t> seen;
    for (std::size_t k = 0; k < ids.size(); ++k)
        if (!seen.insert(ids[k]).second)
            throw InputError(name + " row " + std::to_string(k) + " repeats the id " + std::to_string(ids[k]) +
                             "; ids must be unique");
}

void checkFields(const std::vector<BodyField>& fields, const std::string& items, std::size_t count)
{
    for (const BodyField& field : fields) {
        if (field.components == 0 || field.values.size() != count * field.components)
            throw InputError("the field " + field.name + " holds " + std::to_string(field.values.size()) +
                             " values, not " + std::to_string(field.components) + " per " + items + " of " +
                             std::to_string(count));
    }
}

std::size_t elementCount(const std::vector<BodyBlock>& blocks)
{
    std::size_t count = 0;
    for (const BodyBlock& block : blocks)
        count += block.numElements();
    return count;
}

void checkArrays(const BodyArrays& arrays)
{
    if (arrays.points.size() % 3 != 0 || arrays.initialCoordinates.size() % 2 != 0 || arrays.normals.size() % 3 != 0 ||
        arrays.referencePoints.size() % 3 != 0)
        throw InputError("points, reference points and normals need 3 values per row, initial coordinates 2");
    const std::size_t numPoints = arrays.points.size() / 3;
    requireRows("initial_coordinates", arrays.initialCoordinates.size() / 2, "points", numPoints);
    if (!arrays.normals.empty())
        requireRows("normals", arrays.normals.size() / 3, "points", numPoints);
    requireFinite("points", arrays.points, 3);
    requireFinite("initial_coordinates", arrays.initialCoordinates, 2);
    requireFinite("normals", arrays.normals, 3);
    if (!arrays.referencePoints.empty()) {
        requireRows("reference_points", arrays.referencePoints.size() / 3, "points", numPoints);
        requireFinite("reference_points", arrays.referencePoints, 3);
    }
    if (arrays.blocks.empty())
        throw InputError("the body has no cells; give at least one block of triangles or quadrilaterals");
    for (const BodyBlock& block : arrays.blocks)
        checkBlock(block, numPoints);
    if (!arrays.nodeIds.empty()) {
        requireRows("node_ids", arrays.nodeIds.size(), "points", numPoints);
        requireUnique("node_ids", arrays.nodeIds);
    }
    const std::size_t numElements = elementCount(arrays.blocks);
    if (!arrays.elementIds.empty()) {
        requireRows("element_ids", arrays.elementIds.size(), "the cells", numElements);
        requireUnique("element_ids", arrays.elementIds);
    }
    checkFields(arrays.nodalFields, "point", numPoints);
    checkFields(arrays.elementFields, "cell", numElements);
}

// The centre of the box around rows of `columns` values: subtracting it keeps 32-bit copies of
// coordinates far from zero accurate.
template <std::size_t columns>
std::array<double, columns> boxCentre(std::span<const double> values)
{
    std::array<double, columns> centre{};
    for (std::size_t c = 0; c < columns; ++c) {
        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        for (std::size_t k = c; k < values.size(); k += columns) {
            low = std::min(low, values[k]);
            high = std::max(high, values[k]);
        }
        centre[c] = values.empty() ? 0.0 : 0.5 * (low + high);
    }
    return centre;
}

// The triangles of the body's elements, three vertices each; fills elementOfTriangle. Triangles
// that repeat a point (collapsed quadrilaterals) cover no area and are left out, as a result
// file's reader leaves them out.
std::vector<int> cutElements(Body& body, std::span<const double> shape)
{
    std::vector<int> corners;
    int element = 0;
    for (const BodyBlock& block : body.blocks) {
        const CoreIo::SurfaceShape surface = shapeOf(block);
        const auto perElement = static_cast<std::size_t>(block.nodesPerElement);
        for (std::size_t e = 0; e < block.numElements(); ++e, ++element) {
            const int* nodes = block.connectivity.data() + e * perElement;
            const auto squaredDistance = [&](std::size_t i, std::size_t j) {
                double sum = 0.0;
                for (std::size_t axis = 0; axis < 3; ++axis) {
                    const double d = shape[3 * static_cast<std::size_t>(nodes[i]) + axis] -
                                     shape[3 * static_cast<std::size_t>(nodes[j]) + axis];
                    sum += d * d;
                }
                return sum;
            };
            const CoreIo::ElementTriangles cut = CoreIo::cutElement(surface, squaredDistance);
            for (std::size_t t = 0; t < cut.count; ++t) {
                const auto [a, b, c] = cut.corners[t];
                if (nodes[a] == nodes[b] || nodes[b] == nodes[c] || nodes[c] == nodes[a])
                    continue;
                corners.insert(corners.end(), {nodes[a], nodes[b], nodes[c]});
                body.elementOfTriangle.push_back(element);
            }
        }
    }
    return corners;
}

std::vector<float> relativeFloats(std::span<const double> values, std::span<const double> origin)
{
    std::vector<float> relative;
    relative.reserve(values.size());
    for (std::size_t k = 0; k < values.size(); ++k)
        relative.push_back(static_cast<float>(values[k] - origin[k % origin.size()]));
    return relative;
}

std::vector<float> relativeColumn(std::span<const double> rows, std::size_t column, std::size_t columns, double origin)
{
    std::vector<float> values;
    values.reserve(rows.size() / columns);
    for (std::size_t k = column; k < rows.size(); k += columns)
        values.push_back(static_cast<float>(rows[k] - origin));
    return values;
}

// The library's record, made as a loader hands any body over: through the mesh and results
// builders, from 32-bit arrays relative to the body's origins.
CoreIo::MeshAndCoord makeRecord(const Body& body, std::vector<int> triangles, std::span<const double> normals)
{
    CoreIo::MeshArrays mesh;
    mesh.layout = CoreIo::Layout::RowMajor;
    mesh.numNodes = body.numVertices();
    mesh.coordinates = relativeFloats(body.positions, body.origin);
    mesh.numNormals = normals.size() / 3;
    mesh.normals = relativeFloats(normals, std::array<double, 1>{0.0});
    mesh.numTriangles = triangles.size() / 3;
    mesh.triangles = std::move(triangles);
    CoreIo::MemoryLoader loader("arrays");
    loader.addBody("body", std::move(mesh));
    for (std::size_t k = 0; k < 2; ++k)
        loader.addResult("body", k == 0 ? Calvora::SkinBaseName::INITIALCOORD0 : Calvora::SkinBaseName::INITIALCOORD1,
                         relativeColumn(body.initialCoordinates, k, 2, body.materialOrigin[k]));
    return CoreIo::readMeshAndICs(loader, loader.bodies().front());
}

}  // namespace

std::size_t BodyBlock::numElements() const
{
    return nodesPerElement > 0 ? connectivity.size() / static_cast<std::size_t>(nodesPerElement) : 0;
}

std::string BodySummary::initialCoordinateText() const
{
    return initialCoordinates ? CoreIo::describeInitialCoordinateSource(*initialCoordinates) : "";
}

std::size_t Body::numElements() const
{
    return elementCount(blocks);
}

Body makeBody(const BodyArrays& arrays)
{
    checkArrays(arrays);
    Body body;
    body.positions.assign(arrays.points.begin(), arrays.points.end());
    body.initialCoordinates.assign(arrays.initialCoordinates.begin(), arrays.initialCoordinates.end());
    body.origin = boxCentre<3>(arrays.points);
    body.materialOrigin = boxCentre<2>(arrays.initialCoordinates);
    body.blocks = arrays.blocks;
    body.inputOrder.resize(body.numVertices());
    std::iota(body.inputOrder.begin(), body.inputOrder.end(), 0);
    body.nodeIds = arrays.nodeIds;
    if (body.nodeIds.empty()) {
        body.nodeIds.resize(body.numVertices());
        std::iota(body.nodeIds.begin(), body.nodeIds.end(), std::int64_t{1});
    }
    body.elementIds = arrays.elementIds;
    body.nodalFields = arrays.nodalFields;
    body.elementFields = arrays.elementFields;
    body.storesDoubles = arrays.storesDoubles;
    body.wrapsAround = arrays.wrapsAround;
    const std::span<const double> shape = arrays.referencePoints.empty() ? arrays.points : arrays.referencePoints;
    body.record = makeRecord(body, cutElements(body, shape), arrays.normals);
    return body;
}

std::vector<std::string> knownCellTypes()
{
    return {"triangle", "triangle6", "triangle7", "quad", "quad8", "quad9"};
}

std::string cellTypeName(const BodyBlock& block)
{
    switch (shapeOf(block)) {
    case CoreIo::SurfaceShape::Triangle3: return "triangle";
    case CoreIo::SurfaceShape::Triangle6: return "triangle6";
    case CoreIo::SurfaceShape::Triangle7: return "triangle7";
    case CoreIo::SurfaceShape::Quad4: return "quad";
    case CoreIo::SurfaceShape::Quad8: return "quad8";
    case CoreIo::SurfaceShape::Quad9: break;
    }
    return "quad9";
}

ElementCorners elementCorners(const Body& body)
{
    ElementCorners result;
    result.firstCorner.reserve(body.numElements() + 1);
    for (const BodyBlock& block : body.blocks) {
        const auto perElement = static_cast<std::size_t>(block.nodesPerElement);
        for (std::size_t e = 0; e < block.numElements(); ++e) {
            const auto first = block.connectivity.begin() + static_cast<std::ptrdiff_t>(e * perElement);
            const std::size_t start = result.corners.size();
            result.corners.insert(result.corners.end(), first, first + static_cast<std::ptrdiff_t>(perElement));
            const auto own = result.corners.begin() + static_cast<std::ptrdiff_t>(start);
            std::sort(own, result.corners.end());
            result.corners.erase(std::unique(own, result.corners.end()), result.corners.end());
            result.firstCorner.push_back(result.corners.size());
        }
    }
    return result;
}

}  // namespace CoreIoAlign

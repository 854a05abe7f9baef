#include "ArrayBody.h"

#include <cmath>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

namespace CoreIoPython {
namespace {

std::size_t rowsOf(std::span<const double> values, std::size_t columns)
{
    return values.size() / columns;
}

std::string rowText(std::span<const double> row)
{
    std::string text;
    for (const double value : row)
        text += (text.empty() ? "" : ", ") + std::to_string(value);
    return "(" + text + ")";
}

void requireRows(const char* name, std::size_t rows, const char* reference, std::size_t referenceRows)
{
    if (rows != referenceRows)
        throw std::invalid_argument(std::string(name) + " has " + std::to_string(rows) + " rows but " + reference +
                                    " has " + std::to_string(referenceRows) + "; give one row per row of " + reference);
}

void requireFinite(const char* name, std::span<const double> values, std::size_t columns)
{
    for (std::size_t row = 0; row < rowsOf(values, columns); ++row) {
        const std::span<const double> items = values.subspan(row * columns, columns);
        for (const double value : items)
            if (!std::isfinite(value))
                throw std::invalid_argument(std::string(name) + " row " + std::to_string(row) + " " + rowText(items) +
                                            " is not finite; every value must be a finite number");
    }
}

void requireIndices(const char* name, std::span<const std::int64_t> values, std::size_t columns, std::int64_t limit,
                    const char* what)
{
    for (std::size_t k = 0; k < values.size(); ++k)
        if (values[k] < 0 || values[k] >= limit)
            throw std::invalid_argument(std::string(name) + " row " + std::to_string(k / columns) + " names " + what +
                                        " " + std::to_string(values[k]) + ", outside 0 .. " +
                                        std::to_string(limit - 1));
}

class BodyMeshFiller : public Calvora::MeshModifier {
public:
    explicit BodyMeshFiller(Calvora::Mesh& mesh) : MeshModifier(mesh) {}

    void fill(const BodyArrays& arrays)
    {
        Calvora::Mesh::VertexContainer& vertexContainer = vertices();
        vertexContainer.resize(rowsOf(arrays.points, 3));
        std::size_t k = 0;
        for (Calvora::Vertex& vertex : vertexContainer) {
            vertex.set(arrays.points[3 * k], arrays.points[3 * k + 1], arrays.points[3 * k + 2]);
            if (!arrays.normals.empty())
                vertex.setNormal(arrays.normals[3 * k], arrays.normals[3 * k + 1], arrays.normals[3 * k + 2]);
            vertex.index = static_cast<std::int32_t>(k++);
        }
        Calvora::Mesh::TriangleContainer& triangleContainer = triangles();
        triangleContainer.resize(arrays.triangles.size() / 3);
        k = 0;
        for (Calvora::Triangle& triangle : triangleContainer) {
            for (std::size_t corner = 0; corner < 3; ++corner)
                triangle.corners[corner] = &vertexContainer[static_cast<std::size_t>(arrays.triangles[3 * k + corner])];
            triangle.index = static_cast<std::int32_t>(k++);
        }
        setHasNormals(!arrays.normals.empty());
    }
};

void checkArrays(const BodyArrays& arrays, std::int64_t numElements)
{
    const std::size_t numPoints = rowsOf(arrays.points, 3);
    requireRows("initial_coordinates", rowsOf(arrays.initialCoordinates, 2), "points", numPoints);
    if (!arrays.normals.empty())
        requireRows("normals", rowsOf(arrays.normals, 3), "points", numPoints);
    requireRows("elements", arrays.elements.size(), "triangles", arrays.triangles.size() / 3);
    requireFinite("points", arrays.points, 3);
    requireFinite("initial_coordinates", arrays.initialCoordinates, 2);
    requireFinite("normals", arrays.normals, 3);
    requireIndices("triangles", arrays.triangles, 3, static_cast<std::int64_t>(numPoints), "vertex");
    requireIndices("elements", arrays.elements, 1, numElements, "element");
}

}  // namespace

CoreIo::MeshAndCoord makeBody(const BodyArrays& arrays, std::int64_t numElements)
{
    checkArrays(arrays, numElements);
    auto mesh = std::make_shared<Calvora::Mesh>();
    BodyMeshFiller(*mesh).fill(arrays);
    if (arrays.normals.empty())
        mesh->computeNormals(false, true);
    auto initCoord0 = std::make_shared<std::vector<float>>();
    auto initCoord1 = std::make_shared<std::vector<float>>();
    initCoord0->reserve(mesh->numberOfVertices());
    initCoord1->reserve(mesh->numberOfVertices());
    for (std::size_t k = 0; k < arrays.initialCoordinates.size(); k += 2) {
        initCoord0->push_back(static_cast<float>(arrays.initialCoordinates[k]));
        initCoord1->push_back(static_cast<float>(arrays.initialCoordinates[k + 1]));
    }
    return {std::move(initCoord0), std::move(initCoord1), std::move(mesh)};
}

}  // namespace CoreIoPython

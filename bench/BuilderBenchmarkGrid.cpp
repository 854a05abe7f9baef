#include "BuilderBenchmarkGrid.h"

#include <cmath>

namespace CoreIoBench {
namespace {

struct Item {
    float x, y, z;
};

// Node (column, row) of the sheet z = 0.1 sin(x) cos(y) and its unit normal.
struct SheetNode {
    Item position;
    Item normal;
};

SheetNode sheetNode(std::size_t column, std::size_t row)
{
    const double x = 0.01 * static_cast<double>(column);
    const double y = 0.01 * static_cast<double>(row);
    const double z = 0.1 * std::sin(x) * std::cos(y);
    const double dzdx = 0.1 * std::cos(x) * std::cos(y);
    const double dzdy = -0.1 * std::sin(x) * std::sin(y);
    const double length = std::sqrt(dzdx * dzdx + dzdy * dzdy + 1.0);
    return {{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)},
            {static_cast<float>(-dzdx / length), static_cast<float>(-dzdy / length), static_cast<float>(1.0 / length)}};
}

void append(CoreIo::MeshArrays& mesh, const SheetNode& node)
{
    if (mesh.layout == CoreIo::Layout::ColumnMajor) {
        mesh.x.push_back(node.position.x);
        mesh.y.push_back(node.position.y);
        mesh.z.push_back(node.position.z);
        mesh.nx.push_back(node.normal.x);
        mesh.ny.push_back(node.normal.y);
        mesh.nz.push_back(node.normal.z);
    } else {
        mesh.coordinates.insert(mesh.coordinates.end(), {node.position.x, node.position.y, node.position.z});
        mesh.normals.insert(mesh.normals.end(), {node.normal.x, node.normal.y, node.normal.z});
    }
}

void appendTriangles(CoreIo::MeshArrays& mesh, std::size_t side)
{
    for (std::size_t row = 0; row + 1 < side; ++row)
        for (std::size_t column = 0; column + 1 < side; ++column) {
            const int corner = static_cast<int>(row * side + column);
            const int next = corner + 1, above = corner + static_cast<int>(side), aboveNext = above + 1;
            mesh.triangles.insert(mesh.triangles.end(), {corner, next, aboveNext, corner, aboveNext, above});
        }
    mesh.numTriangles = mesh.triangles.size() / 3;
}

}  // namespace

CoreIo::MeshArrays gridMesh(std::size_t minimumNodes, CoreIo::Layout layout)
{
    const auto side = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(minimumNodes))));
    CoreIo::MeshArrays mesh;
    mesh.layout = layout;
    mesh.numNodes = side * side;
    mesh.numNormals = mesh.numNodes;
    for (std::size_t row = 0; row < side; ++row)
        for (std::size_t column = 0; column < side; ++column)
            append(mesh, sheetNode(column, row));
    appendTriangles(mesh, side);
    return mesh;
}

}  // namespace CoreIoBench

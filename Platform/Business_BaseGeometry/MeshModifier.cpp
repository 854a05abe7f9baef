#include "Business_BaseGeometry.h"

#include "StorageBlocks.h"

#include <stdexcept>

namespace Calvora {

MeshModifier::MeshModifier(Mesh& mesh) : mesh_(mesh)
{
    if (mesh_.modifierOpen_)
        throw std::logic_error("MeshModifier: the mesh is already open in another modifier; close that one first");
    mesh_.modifierOpen_ = true;
}

MeshModifier::~MeshModifier()
{
    mesh_.modifierOpen_ = false;
}

Mesh::VertexContainer& MeshModifier::vertices()
{
    return mesh_.vertices_;
}

Mesh::TriangleContainer& MeshModifier::triangles()
{
    return mesh_.triangles_;
}

void MeshModifier::resizeVertices(std::size_t count)
{
    Mesh::VertexContainer& container = mesh_.vertices_;
    constexpr std::size_t blockSize = Mesh::VertexContainer::get_block_size();
    while (container.size() + blockSize < count) {
        container.resize(container.size() + blockSize);
        StorageBlocks::populateNextBlock(container);
    }
    container.resize(count);
}

void MeshModifier::setHasNormals(bool value)
{
    mesh_.hasNormals_ = value;
}

}  // namespace Calvora

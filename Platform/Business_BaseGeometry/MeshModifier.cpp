#include "Business_BaseGeometry.h"

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

void MeshModifier::setHasNormals(bool value)
{
    mesh_.hasNormals_ = value;
}

}  // namespace Calvora

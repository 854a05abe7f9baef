#include "FixedUntransformedMeshProvider.h"

namespace Calvora {

FixedUntransformedMeshProvider::FixedUntransformedMeshProvider(std::shared_ptr<Mesh> toolMesh)
    : toolMesh_(std::move(toolMesh))
{
}

FixedUntransformedMeshProvider::~FixedUntransformedMeshProvider() = default;

std::shared_ptr<Mesh> FixedUntransformedMeshProvider::getUntransformedMesh(const int*, std::size_t)
{
    ++requests_;
    return toolMesh_;
}

std::size_t FixedUntransformedMeshProvider::numberOfRequests() const
{
    return requests_;
}

}  // namespace Calvora

#include "Business_BaseGeometry.h"

namespace Calvora {

UntransformedMeshProvider::~UntransformedMeshProvider() = default;

}  // namespace Calvora

#include "Persistence_CoreIo.h"

namespace CoreIo {

LoaderInterface::LoaderInterface() = default;
LoaderInterface::~LoaderInterface() = default;

LoadError::LoadError(const std::string& message) : std::runtime_error(message)
{
}
LoadError::~LoadError() = default;

}  // namespace CoreIo

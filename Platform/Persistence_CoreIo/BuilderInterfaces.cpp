#include "Persistence_CoreIo.h"

namespace CoreIo {

MeshBuilderInterface::MeshBuilderInterface() = default;
MeshBuilderInterface::~MeshBuilderInterface() = default;

CurveBuilderInterface::CurveBuilderInterface() = default;
CurveBuilderInterface::~CurveBuilderInterface() = default;

ResultBuilderInterface::ResultBuilderInterface() = default;
ResultBuilderInterface::~ResultBuilderInterface() = default;

}  // namespace CoreIo

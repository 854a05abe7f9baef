#pragma once
// Names of the results that the solver stores on a body's skin.

#include "Persistence_SkinBaseName_export.h"

#include <string>

namespace Calvora::SkinBaseName {

PERSISTENCE_SKINBASENAME_EXPORT extern const std::string INITIALCOORD0;  // "INITIALCOORD0"
PERSISTENCE_SKINBASENAME_EXPORT extern const std::string INITIALCOORD1;  // "INITIALCOORD1"

}  // namespace Calvora::SkinBaseName

#include "Persistence_SkinBaseName.h"

namespace Calvora::SkinBaseName {

const std::string INITIALCOORD0 = "INITIALCOORD0";
const std::string INITIALCOORD1 = "INITIALCOORD1";

}  // namespace Calvora::SkinBaseName

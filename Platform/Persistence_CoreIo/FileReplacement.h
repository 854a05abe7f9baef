#pragma once
// Files written whole: a hidden temporary file beside the target, renamed over it once complete, so
// that a reader, or a program stopped halfway, never meets half a file under the target's name.

#include "Persistence_CoreIo_export.h"

#include <functional>
#include <string>

namespace CoreIo {

// Writes target through a temporary file.
// - kind: what the file is, for messages ("PNG file")
// - write(temporaryPath): writes the whole file there; returns false when that name is taken
//   (another name is then tried)
// Throws what write throws (the temporary is removed, the target unchanged), and
// std::runtime_error naming the target when no free temporary name is found or the temporary
// cannot take the target's place.
PERSISTENCE_COREIO_EXPORT void writeWhole(const std::string& target, const std::string& kind,
                                          const std::function<bool(const std::string& temporaryPath)>& write);

}  // namespace CoreIo

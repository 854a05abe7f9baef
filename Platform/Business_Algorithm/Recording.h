#pragma once
// Where the aligner leaves what it found: the record slot of the innermost AlignmentRecorder of
// the calling thread.

#include "Business_Algorithm.h"

#include <optional>

namespace Calvora {

// Null when no recorder lives on this thread.
std::optional<AlignmentRecord>* innermostRecordSlot();

}  // namespace Calvora

#pragma once
// Refuses an output path that would destroy an input or cannot be written, before any work.

#include <string>
#include <vector>

namespace CoreIoAlign {

// Throws UsageError when target is one of inputs (the same file however it is spelled, links
// included), is a folder, or lies in a folder that does not exist.
void requireSafeOutput(const std::string& target, const std::vector<std::string>& inputs);

}  // namespace CoreIoAlign

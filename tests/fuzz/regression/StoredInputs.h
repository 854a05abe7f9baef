#pragma once
// The inputs stored for a fuzz target in tests/data/fuzz/<target>/: seeds and crash regressions.

#include <cstdint>
#include <string>
#include <vector>

namespace CoreIoFuzz {

// File names, sorted.
std::vector<std::string> storedInputs(const std::string& target);
std::vector<std::uint8_t> storedInput(const std::string& target, const std::string& name);

}  // namespace CoreIoFuzz

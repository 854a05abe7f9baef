#pragma once
// Words as users type them: names compared without regard to case, lists joined for messages.

#include <string>
#include <vector>

namespace CoreIoAlign {

bool equalIgnoringCase(const std::string& a, const std::string& b);

// "a, b, c"; `empty` when there is nothing to join.
std::string joined(const std::vector<std::string>& words, const std::string& separator = ", ",
                   const std::string& empty = "none");

// "1 step", "3 steps".
std::string counted(std::size_t count, const std::string& singular, const std::string& plural);

}  // namespace CoreIoAlign

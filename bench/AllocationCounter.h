#pragma once
// Counts the heap bytes a benchmark program holds through the global operator new, so that a
// benchmark can report the extra memory at the peak of one call. Linking AllocationCounter.cpp
// into a program replaces the global operators new and delete with counting ones.

#include <cstddef>

namespace CoreIoBench {

// Measures from its construction on: the most bytes held beyond those held at the start.
// Only one measurement runs at a time; a new one restarts the peak.
class PeakMemory {
public:
    PeakMemory();

    std::size_t extraPeak() const;  // the most extra bytes held at any moment so far
    std::size_t extraHeld() const;  // the extra bytes held now

private:
    std::size_t baseline_;
};

}  // namespace CoreIoBench

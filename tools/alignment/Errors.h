#pragma once
// What the front ends report and how they end: bad input, bad usage, and the exit codes of a job.

#include <stdexcept>

namespace CoreIoAlign {

// Input that cannot be read or aligned as asked: the message says what, where and what to do.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A choice that makes no sense before any input is read: unknown option, malformed value,
// conflicting options, an output that would destroy an input.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr int exitDone = 0;
constexpr int exitBadInput = 1;       // nothing written
constexpr int exitBadUsage = 2;       // nothing written
constexpr int exitBelowCoverage = 3;  // output written, outside vertices flagged

}  // namespace CoreIoAlign

#pragma once
// The built-in sample cases: a formed sheet against its springback state, and a tube against its
// expanded state, each pair meshed differently. They are written as result files and aligned
// through those files, exactly as a user's files would be.

#include <iosfwd>
#include <string>

namespace CoreIoAlign {

// Writes the inputs, the aligned file and a picture of both cases below directory and prints what
// each alignment found; returns the worst exit code of the two cases.
int runDemo(const std::string& directory, std::ostream& out);

}  // namespace CoreIoAlign

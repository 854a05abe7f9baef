#pragma once
// coreio-align --list: what an Exodus II file holds, so that a user can choose blocks, steps,
// displacement and initial coordinates.

#include "ExodusBody.h"

#include <iosfwd>
#include <string>

namespace CoreIoAlign {

// Format and word size; every block with id, full name, type, counts, and used or skipped (why);
// the nodal and element variables; the steps with their times.
void printListing(std::ostream& out, const std::string& path, const CoreIo::ExodusListing& listing);

}  // namespace CoreIoAlign

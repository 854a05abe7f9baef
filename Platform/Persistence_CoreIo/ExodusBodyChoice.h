#pragma once
// A user's choices for a body (its blocks, displacement, initial coordinates and step) resolved
// against what its file holds. Refusals throw LoadError naming the file and what it holds instead.
// Internal to the Exodus loader.

#include "ExodusBody.h"
#include "ExodusBodyValues.h"
#include "ExodusFileReader.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace CoreIo {

// Every block with its id, name and type, and why it is skipped, for messages that ask the user
// to choose.
std::string blockList(const ExodusListing& listing);
// The chosen blocks (names or decimal ids) in the file's order; every surface block when none is
// chosen. Refuses a name or id the file lacks, a name several blocks share, a block that makes no
// surface, and a file without surface blocks.
std::vector<std::size_t> selectBlocks(const ExodusFileReader& file, const std::vector<std::string>& selection);
// The displacement's variables (1-based, 0 for an axis the file lacks) for "auto", "none" or a
// stem (findDisplacement); none for a file without steps.
std::optional<std::array<int, 3>> resolveDisplacement(const ExodusFileReader& file, const std::string& choice);
// The body's initial coordinates: named variables count only when both exist and the file has a
// step to hold their values.
void resolveInitialCoordinates(const ExodusFileReader& file, ExodusLoaderBody& body,
                               const InitialCoordinateSource& source);
// The last step at which every variable the body uses (displacement, normals, named initial
// coordinates) was written, counting the later steps it passes over; the last step if there is
// none, whose loads then say what is missing.
void resolveLastWrittenStep(const ExodusFileReader& file, const std::optional<std::array<int, 3>>& normals,
                            ExodusLoaderBody& body);

}  // namespace CoreIo

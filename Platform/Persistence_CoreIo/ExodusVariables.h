#pragma once
// Which of a file's nodal variables hold the displacement, the normals and the initial
// coordinates, and the initial coordinates that come from the reference shape instead (the one
// rule for every reader of bodies); indices are 1-based, as the library numbers variables.

#include "ExodusBody.h"
#include "Persistence_CoreIo_export.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace CoreIo {

using Positions = std::array<std::vector<double>, 3>;  // x, y, z per node

// The index of the variable named name, matched exactly or else without regard to case; empty
// when there is none.
std::optional<int> findVariable(const std::vector<std::string>& names, const std::string& name);

// The displacement triple for choice "auto" (the first stem of names that begin with DIS in any
// case and end in X, Y, Z, with or without "_") or a stem; "none" gives none. Only the first
// numDimensions components are required; a missing Z in a planar file is 0 (index 0).
// Throws std::invalid_argument naming what is there when a triple is incomplete or missing.
std::optional<std::array<int, 3>> findDisplacement(const std::vector<std::string>& names, const std::string& choice,
                                                   int numDimensions);

// NORMAL_X/Y/Z or else NX/NY/NZ; empty when neither triple is complete.
std::optional<std::array<int, 3>> findNormalVariables(const std::vector<std::string>& names);

// The two initial coordinates of every node from its reference position (relative to the run's
// origin) for a ReferencePlane or ReferenceCylinder source.
PERSISTENCE_COREIO_EXPORT std::array<std::vector<double>, 2>
referenceInitialCoordinates(const Positions& reference, const InitialCoordinateSource& source);

}  // namespace CoreIo

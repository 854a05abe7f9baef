#pragma once
// A body's values read from its checked file: picked out for the body's nodes from the run of file
// nodes the body spans, in the body's node order, and refused when they are no data. Internal to
// the Exodus loader.

#include "ExodusBody.h"
#include "ExodusFileReader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace CoreIo {

// What the loader keeps of a body besides its description.
struct ExodusLoaderBody {
    std::string label;  // names the body in messages
    ExodusBodyDescription description;
    std::vector<int> triangles;  // three body nodes per triangle
    NodeRange span;              // the file's nodes from the body's smallest to its largest
    Positions reference;         // per body node, as the file places it
    std::optional<std::array<int, 3>> displacement;
    InitialCoordinateSource initialCoordinates;
    std::array<int, 2> initialCoordinateVariables{};  // for InitialCoordinateSource::Kind::Variables
};

std::int64_t numSteps(const ExodusFileReader& file);
// Throws LoadError naming the steps the file has.
void requireStep(const ExodusFileReader& file, std::int64_t step);

// The reference positions of the given file nodes, as the file places them, which must be finite;
// sets the body's span of file nodes.
Positions readReference(const ExodusFileReader& file, const std::vector<int>& fileNodes, ExodusLoaderBody& body);
// The body's node ids and its triangles' element ids, from the file's number maps.
void readNumberMaps(const ExodusFileReader& file, ExodusLoaderBody& body);

// Values handed on must be data: a variable's fill value marks values never written (a step that
// a run stopped before), and values that are not finite are no numbers. Throws LoadError naming
// what (the variable at its step), the first bad item (an item of `items`, with its id), and how
// many there are.
void requireData(const ExodusFileReader& file, const std::vector<double>& values, double fill, const std::string& what,
                 const std::string& item, const std::string& items, const std::vector<std::int64_t>& ids);
// A nodal variable (1-based) at a step, at the body's nodes: as stored, or checked to be data.
std::vector<double> readStoredVariable(const ExodusFileReader& file, const ExodusLoaderBody& body, std::int64_t step,
                                       int variable);
std::vector<double> readVariable(const ExodusFileReader& file, const ExodusLoaderBody& body, std::int64_t step,
                                 int variable);

// The reference shape plus the displacement at the body's step, less `shift` (the origin for
// records, zero for the file's coordinates).
Positions readPositions(const ExodusFileReader& file, const ExodusLoaderBody& body, const std::array<double, 3>& shift);
// One initial coordinate (0 or 1) of every body node at a step, as the file holds it or as the
// reference shape gives it.
std::vector<double> readInitialCoordinate(const ExodusFileReader& file, const ExodusLoaderBody& body,
                                          std::size_t component, std::int64_t step);
// The centre of the box of the body's initial coordinates at its step; values that are no data
// count for nothing here, and loads refuse them.
std::array<double, 2> centreOfInitialCoordinates(const ExodusFileReader& file, const ExodusLoaderBody& body);
// The node number map from 0, as a tool mesh numbers its vertices; throws LoadError for an id
// outside 1 to 2^31.
std::vector<int> readSolverIndexMapping(const ExodusFileReader& file, const ExodusLoaderBody& body);

}  // namespace CoreIo

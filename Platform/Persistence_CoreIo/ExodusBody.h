#pragma once
// What a user chooses when reading a body from an Exodus II file, and what the file and the body
// read from it are made of. The textual forms are parsed here, so that every front end accepts the
// same words and explains a refusal in the same way.

#include "Persistence_CoreIo_export.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace CoreIo {

// Where a body's two initial (material) coordinates come from.
struct InitialCoordinateSource {
    enum class Kind {
        Variables,          // two nodal variables, named without regard to case
        ReferencePlane,     // the reference coordinates projected on a plane: a blank that starts flat
        ReferenceCylinder,  // (R * angle, axial position) around an axis: a tube that starts as a cylinder
    };
    Kind kind = Kind::Variables;
    std::array<std::string, 2> variables{"INITIALCOORD0", "INITIALCOORD1"};  // Variables only
    // ReferencePlane: the axis normal to the plane (0 x: yz, 1 y: zx, 2 z: xy), whose two other
    // axes in cyclic order give the two coordinates. ReferenceCylinder: the cylinder's axis.
    int axis = 2;
};

struct ExodusBodyOptions {
    // Block names (ExodusBlockListing::name) or block ids in decimal; empty: every surface block.
    std::vector<std::string> blocks;
    std::optional<std::int64_t> step;     // from 1; empty: the last step whose used values are written
    std::string displacement = "auto";    // "auto", "none", or the stem of a nodal triple (DISP: DISP_X ...)
    InitialCoordinateSource initialCoordinates;
    // Subtracted from every position handed on, so that coordinates far from the origin keep their
    // accuracy in 32-bit records; empty: the centre of the body's reference bounding box.
    std::optional<std::array<double, 3>> origin;
    // Subtracted from the initial coordinates handed on as results, for the same reason; empty:
    // the centre of the box of the body's initial coordinates. Two bodies to be aligned share one,
    // so that their material coordinates stay in one frame.
    std::optional<std::array<double, 2>> materialOrigin = std::nullopt;
};

// Parsers of the options' textual forms. Each throws std::invalid_argument saying what it accepts.
// - "a,b,7": block names or ids, in order; empty entries are refused.
PERSISTENCE_COREIO_EXPORT std::vector<std::string> parseBlockSelection(const std::string& text);
// - "last" (empty result) or a step number from 1.
PERSISTENCE_COREIO_EXPORT std::optional<std::int64_t> parseStep(const std::string& text);
// - "NAME0,NAME1", "reference-xy|yz|zx" or "reference-cylinder-x|y|z".
PERSISTENCE_COREIO_EXPORT InitialCoordinateSource parseInitialCoordinateSource(const std::string& text);
// The textual form of a source, as parseInitialCoordinateSource takes it.
PERSISTENCE_COREIO_EXPORT std::string describeInitialCoordinateSource(const InitialCoordinateSource& source);

struct ExodusBlockListing {
    std::int64_t id = 0;
    // The name the block goes by in every message and selection: its stored name in full, or
    // block_<id> when it has none (unnamed_block_<id> when another block is stored as block_<id>).
    std::string name;
    std::string elementType;  // as the file spells it
    std::int64_t numElements = 0;
    std::int64_t nodesPerElement = 0;
    std::int64_t numNodes = 0;  // distinct nodes its elements use
    std::string skipReason;     // empty: a surface block, which can be part of a body
    std::string storedName;     // as the file stores it; empty when it has none
};

struct ExodusListing {
    std::string format;  // the netCDF flavour: "classic", "64-bit offset", "CDF-5", "netCDF-4", ...
    int wordSize = 0;    // bytes per stored floating-point value
    int numDimensions = 0;
    std::int64_t numNodes = 0;
    std::vector<ExodusBlockListing> blocks;  // in the file's order
    std::vector<std::string> nodalVariables;
    std::vector<std::string> elementVariables;
    std::vector<double> stepTimes;  // entry k: the time of step k + 1
};

// The file element a triangle of a body was cut from.
struct ExodusTriangleSource {
    std::size_t block = 0;       // index into ExodusListing::blocks
    std::int64_t element = 0;    // within the block, from 0
    std::int64_t elementId = 0;  // the file's element number map
};

struct ExodusBodyDescription {
    std::vector<std::size_t> blocks;  // indices into ExodusListing::blocks, in the file's order
    std::int64_t step = 0;            // from 1; 0 for a file without steps
    double time = 0.0;                // of that step
    std::optional<std::array<std::string, 3>> displacement;  // the nodal triple applied; empty: none
    // The two nodal variables, as the file spells them, or the reference form; empty when the
    // named variables are missing or the file has no step to hold their values.
    std::optional<std::string> initialCoordinates;
    std::array<double, 3> origin{};  // add it back to a position to get the file's coordinates
    std::array<double, 2> materialOrigin{};  // add it back to an initial coordinate result likewise
    std::vector<int> fileNodes;      // body node -> the file's node index, from 0
    std::vector<std::int64_t> nodeIds;                // body node -> the file's node number map
    std::vector<ExodusTriangleSource> triangles;     // per triangle of the body's mesh
    // Steps after `step` that the file lists but at which a variable the body uses (displacement,
    // normals, initial coordinates) was never written, as when a run stopped early; skipped when
    // the step is left to the loader.
    std::int64_t unwrittenStepsSkipped = 0;
};

}  // namespace CoreIo

#pragma once
// A body as every front end holds it, whether read from a result file or handed over as arrays:
// the library's record of it, and what the output and the field mapping need besides, in the
// input's own precision. Element cutting and element numbering are done here, once.

#include "ExodusBody.h"
#include "MeshAndCoord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace CoreIoAlign {

// One block of elements as it came; the output writes it back as it was.
struct BodyBlock {
    std::int64_t id = 0;
    std::string name;         // as stored; may be empty
    std::string label;        // the name it goes by in messages and selections
    std::string elementType;  // as the input spells it: SHELL4, TRI6, quad9, ...
    int nodesPerElement = 0;
    std::vector<int> connectivity;  // body vertices, nodesPerElement per element

    std::size_t numElements() const;
};

// Values of one variable, one row of `components` per vertex (nodal) or per element; NaN where
// the input has none (an element of a block that lacks the variable).
struct BodyField {
    std::string name;
    std::size_t components = 1;
    std::vector<double> values;
};

// Where a file body came from, for the summary and the output's info records.
struct BodySummary {
    std::string file;
    std::string blocks;  // labels, ids and element types
    std::int64_t step = 0;  // from 1; 0: the input has no steps
    double time = 0.0;
    std::size_t unwrittenSteps = 0;  // later steps left out because their fields were never written
    std::string displacement;        // the triple applied; empty: none
    // The two variables as the file spells them, or the reference form; empty: none found.
    std::optional<CoreIo::InitialCoordinateSource> initialCoordinates;
    std::vector<std::string> warnings;  // what the reader left out of the file, one sentence each

    // initialCoordinates as the options spell them; empty when there are none.
    std::string initialCoordinateText() const;
};

struct Body {
    // The library's view: 32-bit records, positions relative to origin, initial coordinates
    // relative to materialOrigin.
    CoreIo::MeshAndCoord record;
    std::array<double, 3> origin{};
    std::array<double, 2> materialOrigin{};

    std::vector<double> positions;           // 3 per vertex, the shape in the input's precision
    std::vector<double> initialCoordinates;  // 2 per vertex, as the input holds them
    std::vector<BodyBlock> blocks;
    std::vector<int> elementOfTriangle;   // per triangle of record.mesh: its element, blocks in order
    std::vector<int> inputOrder;          // per vertex: its place among the input's nodes, from 0
    std::vector<std::int64_t> nodeIds;    // per vertex
    std::vector<std::int64_t> elementIds;  // per element; empty when the input numbers none
    std::vector<BodyField> nodalFields;
    std::vector<BodyField> elementFields;
    bool storesDoubles = false;  // whether the input stores 8-byte values
    bool wrapsAround = false;    // initial coordinates around a reference cylinder: a tube
    BodySummary summary;

    std::size_t numVertices() const { return positions.size() / 3; }
    std::size_t numElements() const;
};

// A body handed over as arrays: points, blocks of cells, initial coordinates and fields.
struct BodyArrays {
    std::span<const double> points;              // n x 3
    std::span<const double> initialCoordinates;  // n x 2
    std::span<const double> normals;             // n x 3, or empty: computed from the triangles
    // n x 3: the reference shape, which quadrilaterals are cut along the shorter diagonal of, as a
    // result file's are; empty: the points
    std::span<const double> referencePoints;
    std::vector<BodyBlock> blocks;  // connectivity in point rows; element types as knownCellTypes
    bool wrapsAround = false;       // the initial coordinates come from a reference cylinder
    std::vector<std::int64_t> nodeIds;           // n, or empty: 1 .. n
    std::vector<std::int64_t> elementIds;        // one per element, or empty
    std::vector<BodyField> nodalFields;
    std::vector<BodyField> elementFields;
    bool storesDoubles = true;
};

// The body of the arrays, its triangles cut from the elements as a file's are.
// Throws InputError naming the array and its first bad row: a value that is not finite, a cell
// naming a point that does not exist, an unknown cell type or a connectivity that is not whole
// cells, rows that do not match the points or elements, ids that repeat.
Body makeBody(const BodyArrays& arrays);

// Per element of the body, its distinct corners (vertices), elements in order.
// - firstCorner: n_elements + 1 offsets into corners
struct ElementCorners {
    std::vector<std::size_t> firstCorner{0};
    std::vector<int> corners;
};
ElementCorners elementCorners(const Body& body);

// The element types makeBody takes (as meshio names them and as result files spell them).
std::vector<std::string> knownCellTypes();

// The meshio name of a block's element type: "triangle", "quad8", ...
std::string cellTypeName(const BodyBlock& block);

}  // namespace CoreIoAlign

#pragma once
// The instructions the in-memory loader's fuzz target decodes from its input: bodies, results and
// curves to register, and alignments to run afterwards. Arrays are described by rules that generate
// them, so that a short input makes a large, well-formed mesh. Decoder and ProgramWriter share one
// description of each instruction, so seeds and test programs always speak the decoder's language.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace CoreIoFuzz {

// Bounds that keep one execution fast; counts read from the input are taken modulo bound + 1.
inline constexpr std::size_t maxInstructions = 32;
inline constexpr std::size_t maxNodes = 1024;
inline constexpr std::size_t maxRandomTriangles = 2048;
inline constexpr std::size_t maxCurvePoints = 1024;
inline constexpr std::size_t maxExplicitCount = 4096;

// Small tables, so that programs collide on names; they hold the empty name and near misses of the
// initial-coordinate names.
const std::string& bodyName(std::uint8_t code);
const std::string& resultName(std::uint8_t code);
const std::string& curveName(std::uint8_t code);

enum class ArrayLayout : std::uint8_t { ColumnMajor, RowMajor };

// A count relative to a base count (a mesh's nodes, a body's nodes).
struct CountRule {
    enum class Kind : std::uint8_t { Same, Zero, Offset, Explicit };
    Kind kind = Kind::Same;
    std::int8_t offset = 0;           // added to the base, not below 0
    std::uint16_t explicitCount = 0;  // modulo maxExplicitCount + 1

    std::size_t resolve(std::size_t base) const;
    bool operator==(const CountRule&) const = default;
};

// x, y, z per point: positions or normals.
struct PointRule {
    enum class Kind : std::uint8_t { Grid, Random, Pattern, Constant };
    Kind kind = Kind::Grid;
    std::uint8_t gridWidth = 0;       // width % 32 + 1 points per row, in the plane z = 0
    std::uint8_t gridSpacing = 15;    // (spacing + 1) / 16 between neighbours
    std::uint32_t seed = 0;           // components in [-8, 8)
    std::vector<float> pattern;       // repeated; zeros when empty
    std::array<float, 3> constant{};
    bool operator==(const PointRule&) const = default;
};

struct TriangleRule {
    enum class Kind : std::uint8_t { None, Grid, Random, Explicit };
    enum class Orientation : std::uint8_t { CounterClockwise, Clockwise, AlternatingRows };
    Kind kind = Kind::Grid;
    std::uint8_t gridWidth = 0;  // two triangles per cell of a grid of width % 32 + 1 nodes
    Orientation orientation = Orientation::CounterClockwise;
    bool closed = false;            // each row's last node joins its first: a tube
    std::uint16_t randomCount = 0;  // modulo maxRandomTriangles + 1, corners among the nodes
    std::uint32_t seed = 0;
    std::vector<std::int32_t> corners;  // three per triangle, as given
    bool operator==(const TriangleRule&) const = default;
};

struct MappingRule {
    enum class Kind : std::uint8_t { None, Identity, Reversed, Random, Pattern };
    Kind kind = Kind::Identity;
    std::uint16_t randomBound = 0;  // entries below randomBound + 1
    std::uint32_t seed = 0;
    std::vector<std::int32_t> pattern;
    bool operator==(const MappingRule&) const = default;
};

// One array made to break a rule the loader checks, or to bend one it allows (LongNormals).
enum class Damage : std::uint8_t {
    None,
    ShortCoordinates,    // one coordinate value missing
    LongNormals,         // normal arrays longer than numNormals asks
    TriangleOutOfRange,  // the last corner names node numNodes
    NegativeTriangle,    // the last corner is -1
    LongMapping,         // one mapping entry more than nodes
    NegativeMapping,     // the last mapping entry is -1
};

// What the tool mesh provider serves for a body (ServingToolMeshProvider::Serving).
enum class ToolMesh : std::uint8_t { Matching, Unavailable, WithoutNormals, OneVertexMore };

struct BodyInstruction {
    std::uint8_t name = 0;
    ArrayLayout layout = ArrayLayout::ColumnMajor;
    std::uint16_t numNodes = 0;  // modulo maxNodes + 1
    PointRule positions;
    CountRule normalCount;  // relative to numNodes
    PointRule normals;
    TriangleRule triangles;
    MappingRule mapping;
    Damage damage = Damage::None;
    ToolMesh toolMesh = ToolMesh::Matching;
    bool operator==(const BodyInstruction&) const = default;
};

struct ValueRule {
    enum class Kind : std::uint8_t { Axis, Random, Pattern, Constant };
    Kind kind = Kind::Axis;
    std::uint8_t axis = 0;  // the body's coordinate axis % 3 of each node
    std::uint32_t seed = 0;
    std::vector<float> pattern;
    float constant = 0.0f;
    bool operator==(const ValueRule&) const = default;
};

enum class ValueType : std::uint8_t { Int, Float, Double };

struct ResultInstruction {
    std::uint8_t body = 0;
    std::uint8_t name = 0;
    ValueType type = ValueType::Float;
    CountRule length;  // relative to the body's nodes
    ValueRule values;
    std::uint8_t step = 1;  // step % 4 - 1
    bool operator==(const ResultInstruction&) const = default;
};

enum class CurveDamage : std::uint8_t { None, ShortCoordinates, ShortNormals };

struct CurveInstruction {
    std::uint8_t name = 0;
    ArrayLayout layout = ArrayLayout::ColumnMajor;
    std::uint16_t numPoints = 0;  // modulo maxCurvePoints + 1
    PointRule positions;
    CountRule normalCount;  // relative to numPoints
    PointRule normals;
    CurveDamage damage = CurveDamage::None;
    bool operator==(const CurveInstruction&) const = default;
};

// getMeshAlignResult on two registered bodies, run after every registration.
struct AlignInstruction {
    std::uint8_t before = 0;
    std::uint8_t after = 0;
    std::uint8_t isTube = 0;  // isTube % 3 - 1
    bool completeMatching = false;
    bool operator==(const AlignInstruction&) const = default;
};

using Instruction = std::variant<BodyInstruction, ResultInstruction, CurveInstruction, AlignInstruction>;

// A flat grid of numNodes nodes, width per row, normals along +z, two counter-clockwise triangles
// per cell between full rows, the identity as solver mapping.
BodyInstruction gridBody(std::uint8_t name, std::uint8_t width, std::uint16_t numNodes);
// The body's x (axis 0) or y (axis 1) as INITIALCOORD0 or INITIALCOORD1 at step 0.
ResultInstruction initialCoordinate(std::uint8_t body, std::uint8_t axis, ValueType type);
AlignInstruction alignment(std::uint8_t before, std::uint8_t after, int isTube, bool completeMatching);

// Values are little-endian; once the input runs dry every value reads as zero, so any input decodes
// to a complete program. At most maxInstructions, until the input runs dry.
std::vector<Instruction> readProgram(const std::uint8_t* data, std::size_t size);

// Encodes instructions so that readProgram gives them back.
class ProgramWriter {
public:
    ProgramWriter& add(Instruction instruction);
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace CoreIoFuzz

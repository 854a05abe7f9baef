#include "MemoryLoaderProgram.h"

#include <algorithm>
#include <bit>
#include <concepts>
#include <type_traits>

namespace CoreIoFuzz {

namespace {

const std::string& pick(const std::vector<std::string>& table, std::uint8_t code)
{
    return table[code % table.size()];
}

// Reads the fields of an instruction. Enumerations are taken modulo their number of values.
class Decoder {
public:
    explicit Decoder(FuzzInput& input) : input_(input) {}

    void field(std::uint8_t& value) { value = input_.byte(); }
    void field(std::int8_t& value) { value = static_cast<std::int8_t>(input_.byte()); }
    void field(std::uint16_t& value) { value = input_.u16(); }
    void field(std::uint32_t& value) { value = input_.u32(); }
    void field(std::int32_t& value) { value = static_cast<std::int32_t>(input_.u32()); }
    void field(float& value) { value = input_.f32(); }
    void field(bool& value) { value = (input_.byte() & 1) != 0; }

    template <typename Enum>
    void choice(Enum& value, std::uint8_t count)
    {
        value = static_cast<Enum>(input_.byte() % count);
    }

    // A byte-long count, then that many values.
    template <typename T>
    void sequence(std::vector<T>& values)
    {
        values.resize(input_.byte());
        for (T& value : values)
            field(value);
    }

private:
    FuzzInput& input_;
};

// Writes the fields of an instruction in the order Decoder reads them.
class Encoder {
public:
    explicit Encoder(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    void field(std::uint8_t value) { bytes_.push_back(value); }
    void field(std::int8_t value) { bytes_.push_back(static_cast<std::uint8_t>(value)); }
    void field(std::uint16_t value) { little(value, 2); }
    void field(std::uint32_t value) { little(value, 4); }
    void field(std::int32_t value) { little(static_cast<std::uint32_t>(value), 4); }
    void field(float value) { little(std::bit_cast<std::uint32_t>(value), 4); }
    void field(bool value) { bytes_.push_back(value ? 1 : 0); }

    template <typename Enum>
    void choice(Enum value, std::uint8_t)
    {
        bytes_.push_back(static_cast<std::uint8_t>(value));
    }

    // At most 255 values: the count is one byte.
    template <typename T>
    void sequence(const std::vector<T>& values)
    {
        const std::size_t count = std::min<std::size_t>(values.size(), 0xff);
        bytes_.push_back(static_cast<std::uint8_t>(count));
        for (std::size_t i = 0; i < count; ++i)
            field(values[i]);
    }

private:
    void little(std::uint32_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }

    std::vector<std::uint8_t>& bytes_;
};

// One description per instruction part serves both directions: the part is const when encoding.
template <typename T, typename Part>
concept PartOf = std::same_as<std::remove_const_t<T>, Part>;

template <typename Coder>
void code(Coder& coder, PartOf<CountRule> auto& rule)
{
    coder.choice(rule.kind, 4);
    switch (rule.kind) {
    case CountRule::Kind::Offset: coder.field(rule.offset); break;
    case CountRule::Kind::Explicit: coder.field(rule.explicitCount); break;
    default: break;
    }
}

template <typename Coder>
void code(Coder& coder, PartOf<PointRule> auto& rule)
{
    coder.choice(rule.kind, 4);
    switch (rule.kind) {
    case PointRule::Kind::Grid:
        coder.field(rule.gridWidth);
        coder.field(rule.gridSpacing);
        break;
    case PointRule::Kind::Random: coder.field(rule.seed); break;
    case PointRule::Kind::Pattern: coder.sequence(rule.pattern); break;
    case PointRule::Kind::Constant:
        for (auto& component : rule.constant)
            coder.field(component);
        break;
    }
}

template <typename Coder>
void code(Coder& coder, PartOf<TriangleRule> auto& rule)
{
    coder.choice(rule.kind, 4);
    switch (rule.kind) {
    case TriangleRule::Kind::None: break;
    case TriangleRule::Kind::Grid:
        coder.field(rule.gridWidth);
        coder.choice(rule.orientation, 3);
        coder.field(rule.closed);
        break;
    case TriangleRule::Kind::Random:
        coder.field(rule.randomCount);
        coder.field(rule.seed);
        break;
    case TriangleRule::Kind::Explicit: coder.sequence(rule.corners); break;
    }
}

template <typename Coder>
void code(Coder& coder, PartOf<MappingRule> auto& rule)
{
    coder.choice(rule.kind, 5);
    switch (rule.kind) {
    case MappingRule::Kind::Random:
        coder.field(rule.randomBound);
        coder.field(rule.seed);
        break;
    case MappingRule::Kind::Pattern: coder.sequence(rule.pattern); break;
    default: break;
    }
}

template <typename Coder>
void code(Coder& coder, PartOf<ValueRule> auto& rule)
{
    coder.choice(rule.kind, 4);
    switch (rule.kind) {
    case ValueRule::Kind::Axis: coder.field(rule.axis); break;
    case ValueRule::Kind::Random: coder.field(rule.seed); break;
    case ValueRule::Kind::Pattern: coder.sequence(rule.pattern); break;
    case ValueRule::Kind::Constant: coder.field(rule.constant); break;
    }
}

template <typename Coder>
void code(Coder& coder, PartOf<BodyInstruction> auto& body)
{
    coder.field(body.name);
    coder.choice(body.layout, 2);
    coder.field(body.numNodes);
    code(coder, body.positions);
    code(coder, body.normalCount);
    code(coder, body.normals);
    code(coder, body.triangles);
    code(coder, body.mapping);
    coder.choice(body.damage, 7);
    coder.choice(body.toolMesh, 4);
}

template <typename Coder>
void code(Coder& coder, PartOf<ResultInstruction> auto& result)
{
    coder.field(result.body);
    coder.field(result.name);
    coder.choice(result.type, 3);
    code(coder, result.length);
    code(coder, result.values);
    coder.field(result.step);
}

template <typename Coder>
void code(Coder& coder, PartOf<CurveInstruction> auto& curve)
{
    coder.field(curve.name);
    coder.choice(curve.layout, 2);
    coder.field(curve.numPoints);
    code(coder, curve.positions);
    code(coder, curve.normalCount);
    code(coder, curve.normals);
    coder.choice(curve.damage, 3);
}

template <typename Coder>
void code(Coder& coder, PartOf<AlignInstruction> auto& align)
{
    coder.field(align.before);
    coder.field(align.after);
    coder.field(align.isTube);
    coder.field(align.completeMatching);
}

// The opcode is the instruction's position in the variant.
template <std::size_t Index = 0>
Instruction readInstruction(Decoder& decoder, std::size_t opcode)
{
    if constexpr (Index + 1 < std::variant_size_v<Instruction>) {
        if (opcode != Index)
            return readInstruction<Index + 1>(decoder, opcode);
    }
    std::variant_alternative_t<Index, Instruction> instruction;
    code(decoder, instruction);
    return instruction;
}

}  // namespace

const std::string& bodyName(std::uint8_t code)
{
    static const std::vector<std::string> names{"sheet", "blank", "part", "tool", "", "sheet "};
    return pick(names, code);
}

const std::string& resultName(std::uint8_t code)
{
    static const std::vector<std::string> names{"INITIALCOORD0", "INITIALCOORD1", "THICKNESS",
                                                "",              "initialcoord1", "INITIALCOORD0 "};
    return pick(names, code);
}

const std::string& curveName(std::uint8_t code)
{
    static const std::vector<std::string> names{"edge", "rim", ""};
    return pick(names, code);
}

std::size_t CountRule::resolve(std::size_t base) const
{
    switch (kind) {
    case Kind::Same: return base;
    case Kind::Zero: return 0;
    case Kind::Offset:
        return offset < 0 ? base - std::min<std::size_t>(base, static_cast<std::size_t>(-offset))
                          : base + static_cast<std::size_t>(offset);
    case Kind::Explicit: return explicitCount % (maxExplicitCount + 1);
    }
    return base;
}

BodyInstruction gridBody(std::uint8_t name, std::uint8_t width, std::uint16_t numNodes)
{
    BodyInstruction body;
    body.name = name;
    body.numNodes = numNodes;
    body.positions.kind = PointRule::Kind::Grid;
    body.positions.gridWidth = static_cast<std::uint8_t>(width - 1);
    body.normals.kind = PointRule::Kind::Constant;
    body.normals.constant = {0.0f, 0.0f, 1.0f};
    body.triangles.kind = TriangleRule::Kind::Grid;
    body.triangles.gridWidth = static_cast<std::uint8_t>(width - 1);
    return body;
}

ResultInstruction initialCoordinate(std::uint8_t body, std::uint8_t axis, ValueType type)
{
    ResultInstruction result;
    result.body = body;
    result.name = axis;
    result.type = type;
    result.values.kind = ValueRule::Kind::Axis;
    result.values.axis = axis;
    return result;
}

AlignInstruction alignment(std::uint8_t before, std::uint8_t after, int isTube, bool completeMatching)
{
    return {before, after, static_cast<std::uint8_t>(isTube + 1), completeMatching};
}

std::vector<Instruction> readProgram(FuzzInput& input)
{
    Decoder decoder(input);
    std::vector<Instruction> program;
    while (!input.exhausted() && program.size() < maxInstructions) {
        const std::size_t opcode = input.byte() % std::variant_size_v<Instruction>;
        program.push_back(readInstruction(decoder, opcode));
    }
    return program;
}

ProgramWriter& ProgramWriter::add(Instruction instruction)
{
    bytes_.push_back(static_cast<std::uint8_t>(instruction.index()));
    Encoder encoder(bytes_);
    std::visit([&](const auto& part) { code(encoder, part); }, instruction);
    return *this;
}

}  // namespace CoreIoFuzz

#include "MemoryLoaderProgram.h"

#include <algorithm>
#include <bit>
#include <concepts>
#include <type_traits>

namespace CoreIoFuzz {

namespace {

// Reads the fields of an instruction, little-endian; once the input runs dry every byte reads as 0.
class Decoder {
public:
    Decoder(const std::uint8_t* data, std::size_t size) : data_(data), size_(data == nullptr ? 0 : size) {}

    bool exhausted() const { return position_ == size_; }
    std::uint8_t byte() { return exhausted() ? 0 : data_[position_++]; }

    template <typename... T>
    void operator()(T&... values)
    {
        (field(values), ...);
    }

    // Enumerations are taken modulo their number of values.
    template <typename Enum>
    void choice(Enum& value, std::uint8_t count)
    {
        value = static_cast<Enum>(byte() % count);
    }

    // A byte-long count, then that many values.
    template <typename T>
    void sequence(std::vector<T>& values)
    {
        values.resize(byte());
        for (T& value : values)
            field(value);
    }

private:
    template <std::integral T>
    void field(T& value)
    {
        std::uint32_t bits = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            bits |= std::uint32_t{byte()} << (8 * i);
        if constexpr (std::same_as<T, bool>)
            value = (bits & 1) != 0;
        else
            value = static_cast<T>(bits);
    }
    void field(float& value)
    {
        std::uint32_t bits = 0;
        field(bits);
        value = std::bit_cast<float>(bits);  // NaNs, infinities and subnormals included
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// Writes the fields of an instruction as Decoder reads them.
class Encoder {
public:
    explicit Encoder(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    template <typename... T>
    void operator()(const T&... values)
    {
        (field(values), ...);
    }

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
    template <std::integral T>
    void field(T value)
    {
        const auto bits = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<T>>(value));
        for (std::size_t i = 0; i < sizeof(T); ++i)
            bytes_.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    }
    void field(bool value) { bytes_.push_back(value ? 1 : 0); }
    void field(float value) { field(std::bit_cast<std::uint32_t>(value)); }

    std::vector<std::uint8_t>& bytes_;
};

// One description per instruction part serves both directions: the part is const when encoding.
// The fields that follow a kind depend on the kind.
template <typename T, typename Part>
concept PartOf = std::same_as<std::remove_const_t<T>, Part>;

template <typename Coder>
void code(Coder& coder, PartOf<CountRule> auto& rule)
{
    coder.choice(rule.kind, 4);
    if (rule.kind == CountRule::Kind::Offset)
        coder(rule.offset);
    else if (rule.kind == CountRule::Kind::Explicit)
        coder(rule.explicitCount);
}

template <typename Coder>
void code(Coder& coder, PartOf<PointRule> auto& rule)
{
    coder.choice(rule.kind, 4);
    switch (rule.kind) {
    case PointRule::Kind::Grid: coder(rule.gridWidth, rule.gridSpacing); break;
    case PointRule::Kind::Random: coder(rule.seed); break;
    case PointRule::Kind::Pattern: coder.sequence(rule.pattern); break;
    case PointRule::Kind::Constant: coder(rule.constant[0], rule.constant[1], rule.constant[2]); break;
    }
}

template <typename Coder>
void code(Coder& coder, PartOf<TriangleRule> auto& rule)
{
    coder.choice(rule.kind, 4);
    switch (rule.kind) {
    case TriangleRule::Kind::None: break;
    case TriangleRule::Kind::Grid:
        coder(rule.gridWidth);
        coder.choice(rule.orientation, 3);
        coder(rule.closed);
        break;
    case TriangleRule::Kind::Random: coder(rule.randomCount, rule.seed); break;
    case TriangleRule::Kind::Explicit: coder.sequence(rule.corners); break;
    }
}

template <typename Coder>
void code(Coder& coder, PartOf<MappingRule> auto& rule)
{
    coder.choice(rule.kind, 5);
    if (rule.kind == MappingRule::Kind::Random)
        coder(rule.randomBound, rule.seed);
    else if (rule.kind == MappingRule::Kind::Pattern)
        coder.sequence(rule.pattern);
}

template <typename Coder>
void code(Coder& coder, PartOf<ValueRule> auto& rule)
{
    coder.choice(rule.kind, 4);
    switch (rule.kind) {
    case ValueRule::Kind::Axis: coder(rule.axis); break;
    case ValueRule::Kind::Random: coder(rule.seed); break;
    case ValueRule::Kind::Pattern: coder.sequence(rule.pattern); break;
    case ValueRule::Kind::Constant: coder(rule.constant); break;
    }
}

template <typename Coder>
void code(Coder& coder, PartOf<BodyInstruction> auto& body)
{
    coder(body.name);
    coder.choice(body.layout, 2);
    coder(body.numNodes);
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
    coder(result.body, result.name);
    coder.choice(result.type, 3);
    code(coder, result.length);
    code(coder, result.values);
    coder(result.step);
}

template <typename Coder>
void code(Coder& coder, PartOf<CurveInstruction> auto& curve)
{
    coder(curve.name);
    coder.choice(curve.layout, 2);
    coder(curve.numPoints);
    code(coder, curve.positions);
    code(coder, curve.normalCount);
    code(coder, curve.normals);
    coder.choice(curve.damage, 3);
}

template <typename Coder>
void code(Coder& coder, PartOf<AlignInstruction> auto& align)
{
    coder(align.before, align.after, align.isTube, align.completeMatching);
}

}  // namespace

const std::string& bodyName(std::uint8_t code)
{
    static const std::vector<std::string> names{"sheet", "blank", "part", "tool", "", "sheet "};
    return names[code % names.size()];
}

const std::string& resultName(std::uint8_t code)
{
    static const std::vector<std::string> names{"INITIALCOORD0", "INITIALCOORD1", "THICKNESS",
                                                "",              "initialcoord1", "INITIALCOORD0 "};
    return names[code % names.size()];
}

const std::string& curveName(std::uint8_t code)
{
    static const std::vector<std::string> names{"edge", "rim", ""};
    return names[code % names.size()];
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

std::vector<Instruction> readProgram(const std::uint8_t* data, std::size_t size)
{
    // The opcode is the instruction's position in the variant.
    static const std::array<Instruction, 4> blanks{BodyInstruction{}, ResultInstruction{}, CurveInstruction{},
                                                   AlignInstruction{}};
    static_assert(blanks.size() == std::variant_size_v<Instruction>);
    Decoder decoder(data, size);
    std::vector<Instruction> program;
    while (!decoder.exhausted() && program.size() < maxInstructions) {
        Instruction instruction = blanks[decoder.byte() % blanks.size()];
        std::visit([&](auto& part) { code(decoder, part); }, instruction);
        program.push_back(std::move(instruction));
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

#include "MemoryLoaderProgram.h"

#include "Persistence_SkinBaseName.h"

#include <gtest/gtest.h>

#include <vector>

using namespace CoreIoFuzz;

namespace {

std::vector<Instruction> decode(const std::vector<std::uint8_t>& bytes)
{
    return readProgram(bytes.data(), bytes.size());
}

// One instruction of each kind, each rule of a kind that carries data of its own.
std::vector<Instruction> everyKindOfInstruction()
{
    BodyInstruction body;
    body.name = 3;
    body.layout = ArrayLayout::RowMajor;
    body.numNodes = 517;
    body.positions.kind = PointRule::Kind::Pattern;
    body.positions.pattern = {1.5f, -2.0f, 0.0f, 7.25f};
    body.normalCount.kind = CountRule::Kind::Offset;
    body.normalCount.offset = -3;
    body.normals.kind = PointRule::Kind::Constant;
    body.normals.constant = {0.0f, -1.0f, 0.5f};
    body.triangles.kind = TriangleRule::Kind::Explicit;
    body.triangles.corners = {0, 1, 2, -7, 70000, 3};
    body.mapping.kind = MappingRule::Kind::Random;
    body.mapping.randomBound = 999;
    body.mapping.seed = 0xdeadbeef;
    body.damage = Damage::NegativeMapping;
    body.toolMesh = ToolMesh::WithoutNormals;

    ResultInstruction result;
    result.body = 1;
    result.name = 4;
    result.type = ValueType::Double;
    result.length.kind = CountRule::Kind::Explicit;
    result.length.explicitCount = 4000;
    result.values.kind = ValueRule::Kind::Constant;
    result.values.constant = -0.125f;
    result.step = 3;

    CurveInstruction curve;
    curve.name = 2;
    curve.numPoints = 1000;
    curve.positions.kind = PointRule::Kind::Grid;
    curve.positions.gridWidth = 9;
    curve.positions.gridSpacing = 3;
    curve.normals.kind = PointRule::Kind::Random;
    curve.normals.seed = 42;
    curve.damage = CurveDamage::ShortNormals;

    return {body, result, curve, AlignInstruction{5, 0, 2, true}};
}

}  // namespace

TEST(MemoryLoaderProgram, DecodesWhatTheWriterEncodes)
{
    const std::vector<Instruction> program = everyKindOfInstruction();
    ProgramWriter writer;
    for (const Instruction& instruction : program)
        writer.add(instruction);
    EXPECT_EQ(decode(writer.bytes()), program);
}

TEST(MemoryLoaderProgram, ReadsLittleEndianValuesAndZerosOnceTheInputRunsDry)
{
    // A curve named 1, row-major, 0x1234 points; then an alignment whose last two fields are missing.
    const std::vector<Instruction> program = decode({2, 1, 1, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 3, 7, 9});
    CurveInstruction curve;
    curve.name = 1;
    curve.layout = ArrayLayout::RowMajor;
    curve.numPoints = 0x1234;
    curve.positions.gridSpacing = 0;
    curve.normals.gridSpacing = 0;
    EXPECT_EQ(program, (std::vector<Instruction>{curve, AlignInstruction{7, 9, 0, false}}));
    EXPECT_EQ(readProgram(nullptr, 5).size(), 0u);
}

TEST(MemoryLoaderProgram, StopsAtTheInstructionLimit)
{
    ProgramWriter writer;
    for (std::size_t i = 0; i < maxInstructions + 3; ++i)
        writer.add(AlignInstruction{});
    EXPECT_EQ(decode(writer.bytes()).size(), maxInstructions);
    EXPECT_EQ(decode(std::vector<std::uint8_t>(5000, 0xff)).size(), maxInstructions);
    EXPECT_TRUE(decode({}).empty());
}

TEST(MemoryLoaderProgram, CountsResolveAgainstTheirBase)
{
    EXPECT_EQ((CountRule{CountRule::Kind::Same, 0, 0}.resolve(12)), 12u);
    EXPECT_EQ((CountRule{CountRule::Kind::Zero, 0, 0}.resolve(12)), 0u);
    EXPECT_EQ((CountRule{CountRule::Kind::Offset, 5, 0}.resolve(12)), 17u);
    EXPECT_EQ((CountRule{CountRule::Kind::Offset, -100, 0}.resolve(12)), 0u);
    EXPECT_EQ((CountRule{CountRule::Kind::Explicit, 0, 4097}.resolve(12)), 0u);
    EXPECT_EQ((CountRule{CountRule::Kind::Explicit, 0, 4096}.resolve(12)), 4096u);
}

TEST(MemoryLoaderProgram, ResultNamesZeroAndOneAreTheInitialCoordinates)
{
    EXPECT_EQ(resultName(0), Calvora::SkinBaseName::INITIALCOORD0);
    EXPECT_EQ(resultName(1), Calvora::SkinBaseName::INITIALCOORD1);
}

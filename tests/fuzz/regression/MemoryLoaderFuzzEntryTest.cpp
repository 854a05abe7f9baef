#include "MemoryLoaderFuzzEntry.h"

#include "MemoryLoaderProgram.h"

#include <gtest/gtest.h>

#include <vector>

using namespace CoreIoFuzz;

namespace {

MemoryFuzzOutcome run(const ProgramWriter& program)
{
    return fuzzMemoryLoader(program.bytes().data(), program.bytes().size());
}

MemoryFuzzOutcome runBody(const BodyInstruction& body)
{
    return run(ProgramWriter().add(body));
}

}  // namespace

TEST(MemoryLoaderFuzzEntry, WellFormedBodiesReachEveryBuilderAndTheAlignment)
{
    ProgramWriter program;
    program.add(gridBody(0, 6, 36)).add(gridBody(1, 6, 42));
    for (std::uint8_t body = 0; body < 2; ++body)
        program.add(initialCoordinate(body, 0, ValueType::Double)).add(initialCoordinate(body, 1, ValueType::Double));
    program.add(alignment(1, 0, -1, true)).add(alignment(0, 1, 0, false));

    const MemoryFuzzOutcome o = run(program);
    // bodies, results, refusals, meshes, tool meshes, result arrays, valid bodies, alignments
    EXPECT_EQ((std::vector<std::size_t>{o.bodies, o.results, o.refusals, o.meshes, o.toolMeshes, o.resultArrays,
                                        o.validBodies, o.alignments}),
              (std::vector<std::size_t>{2, 4, 0, 2, 2, 4, 2, 2}));
}

TEST(MemoryLoaderFuzzEntry, InitialCoordinatesOfMixedTypesLeaveTheBodyWithoutThem)
{
    ProgramWriter program;
    program.add(gridBody(0, 6, 36))
        .add(initialCoordinate(0, 0, ValueType::Float))
        .add(initialCoordinate(0, 1, ValueType::Double))
        .add(alignment(0, 0, -1, false));

    const MemoryFuzzOutcome outcome = run(program);
    EXPECT_EQ(outcome.resultArrays, 1u);  // the double array is unreachable behind the float one
    EXPECT_EQ(outcome.validBodies, 0u);
    EXPECT_EQ(outcome.alignments + outcome.failedAlignments, 0u);
}

TEST(MemoryLoaderFuzzEntry, EveryBrokenArrayIsRefusedAndALongerNormalArrayIsNot)
{
    for (const Damage damage : {Damage::ShortCoordinates, Damage::TriangleOutOfRange, Damage::NegativeTriangle,
                                Damage::LongMapping, Damage::NegativeMapping}) {
        BodyInstruction body = gridBody(0, 3, 9);
        body.damage = damage;
        const MemoryFuzzOutcome outcome = runBody(body);
        EXPECT_TRUE(outcome.refusals == 1 && outcome.bodies == 0) << "damage " << static_cast<int>(damage);
    }
    BodyInstruction longNormals = gridBody(0, 3, 9);
    longNormals.damage = Damage::LongNormals;
    EXPECT_EQ(runBody(longNormals).meshes, 1u);
}

TEST(MemoryLoaderFuzzEntry, NamesAndResultLengthsTheLoaderMustRefuse)
{
    ResultInstruction shortResult = initialCoordinate(0, 0, ValueType::Float);
    shortResult.length.kind = CountRule::Kind::Offset;
    shortResult.length.offset = -1;
    ProgramWriter program;
    program.add(gridBody(0, 3, 9))
        .add(gridBody(0, 3, 9))                          // taken name
        .add(gridBody(4, 3, 9))                          // empty name
        .add(shortResult)                                // one value short
        .add(initialCoordinate(1, 0, ValueType::Float))  // no such body
        .add(initialCoordinate(0, 3, ValueType::Float))  // empty result name
        .add(initialCoordinate(0, 0, ValueType::Int))
        .add(initialCoordinate(0, 0, ValueType::Float));  // taken at its step

    const MemoryFuzzOutcome outcome = run(program);
    EXPECT_EQ(outcome.bodies, 1u);
    EXPECT_EQ(outcome.results, 1u);
    EXPECT_EQ(outcome.refusals, 6u);
}

TEST(MemoryLoaderFuzzEntry, AColumnMajorBodyWithoutNormalsIsRefusedByTheMeshBuilderAlone)
{
    BodyInstruction columns = gridBody(0, 3, 9);
    columns.normalCount.kind = CountRule::Kind::Zero;
    const MemoryFuzzOutcome refused = runBody(columns);
    EXPECT_EQ(refused.bodies, 1u);
    EXPECT_EQ(refused.meshes, 0u);

    BodyInstruction rows = columns;
    rows.layout = ArrayLayout::RowMajor;
    EXPECT_EQ(runBody(rows).meshes, 1u);  // normals computed
}

TEST(MemoryLoaderFuzzEntry, OnlyAMatchingToolMeshWithNormalsGivesAToolMesh)
{
    BodyInstruction body = gridBody(0, 4, 16);
    body.mapping.kind = MappingRule::Kind::Reversed;
    EXPECT_EQ(runBody(body).toolMeshes, 1u);
    for (const ToolMesh toolMesh : {ToolMesh::Unavailable, ToolMesh::WithoutNormals, ToolMesh::OneVertexMore}) {
        body.toolMesh = toolMesh;
        EXPECT_EQ(runBody(body).toolMeshes, 0u) << "tool mesh " << static_cast<int>(toolMesh);
    }
    body.toolMesh = ToolMesh::Matching;
    body.mapping.kind = MappingRule::Kind::None;  // "Solver index mapping is missing"
    EXPECT_EQ(runBody(body).toolMeshes, 0u);
}

TEST(MemoryLoaderFuzzEntry, CurvesBecomePolyLinesOfBothKinds)
{
    CurveInstruction curve;
    curve.numPoints = 10;
    curve.normalCount.kind = CountRule::Kind::Offset;
    curve.normalCount.offset = -4;
    CurveInstruction broken = curve;
    broken.name = 1;
    broken.damage = CurveDamage::ShortCoordinates;

    const MemoryFuzzOutcome outcome = run(ProgramWriter().add(curve).add(broken));
    EXPECT_EQ(outcome.curves, 1u);
    EXPECT_EQ(outcome.refusals, 1u);
    EXPECT_EQ(outcome.polyLines, 2u);
}

// What an alignment gives the after body: its aligned shape in the input's precision, the
// displacement that flags what was not located, the matched node ids, and the before body's fields.
#include "AlignedFields.h"
#include "AlignedFile.h"
#include "AlignmentSamples.h"
#include "Errors.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Calvora::MatchStatus;
using CoreIoAlign::AlignedFields;
using CoreIoAlign::Body;
using CoreIoAlign::BodyField;
using CoreIoAlign::TubeMode;
using CoreIoSamples::alignmentBody;

const CoreIoSamples::SampleBody sheet = CoreIoSamples::makeSheet({}, {8, 8, 0.0, 1});

const BodyField& field(const AlignedFields& fields, const std::string& name)
{
    for (const auto* list : {&fields.nodal, &fields.element})
        for (const BodyField& candidate : *list)
            if (candidate.name == name)
                return candidate;
    throw std::out_of_range("no field " + name);
}

CoreIoSamples::SampleBody halfOutside()
{
    CoreIoSamples::SampleBody moved = CoreIoSamples::makeSheet({}, {6, 5, 0.1, 4});
    for (float& u : moved.initCoord0)
        u += 0.5f;
    return moved;
}

}  // namespace

// A pair far from the origin aligned with itself: in 32 bits its positions would be off by
// hundredths, in the input's precision the displacement is zero.
TEST(AlignedFields, KeepTheInputsPrecisionFarFromTheOrigin)
{
    const std::array<double, 3> far{1.0e6, -2.0e6, 5.0e5};
    const Body body = alignmentBody(sheet, {}, {}, far);
    const auto alignment = alignBodies(body, body, TubeMode::No, false);
    const AlignedFields fields = alignedFields(body, body, alignment);
    for (const char* name : {"DISPL_X", "DISPL_Y", "DISPL_Z", "DISPL_MAG"})
        for (const double value : field(fields, name).values)
            ASSERT_EQ(value, 0.0) << name;
    EXPECT_EQ(fields.alignedPositions, body.positions);
}

TEST(AlignedFields, FlagWhatWasNotLocatedInsteadOfShowingNoDisplacement)
{
    const Body before = alignmentBody(sheet);
    const Body after = alignmentBody(halfOutside());
    const auto alignment = alignBodies(before, after, TubeMode::No, false);
    ASSERT_GT(alignment.count(MatchStatus::Outside), 0u);
    const AlignedFields fields = alignedFields(before, after, alignment);
    for (std::size_t i = 0; i < after.numVertices(); ++i) {
        const bool outside = alignment.locations[i].status == MatchStatus::Outside;
        EXPECT_EQ(std::isnan(field(fields, "DISPL_MAG").values[i]), outside) << i;
        EXPECT_EQ(std::isnan(field(fields, "DISPL_X").values[i]), outside) << i;
        EXPECT_EQ(field(fields, "MATCHED_NODE_ID").values[i] == 0.0, outside) << i;
        EXPECT_EQ(field(fields, "MATCH_STATUS").values[i], static_cast<double>(alignment.locations[i].status));
        if (!outside)
            continue;
        for (std::size_t axis = 0; axis < 3; ++axis)
            EXPECT_EQ(fields.alignedPositions[3 * i + axis], after.positions[3 * i + axis]);
    }
    EXPECT_EQ(displacementFigures(fields, alignment).vertices,
              alignment.count(MatchStatus::Coincident) + alignment.count(MatchStatus::Inside));
}

// Node ids beyond 2^24 do not survive single precision: the output keeps them whole.
TEST(AlignedFields, NameMatchedNodesByTheirIdsExactly)
{
    Body before = alignmentBody(sheet);
    before.storesDoubles = false;
    for (std::size_t i = 0; i < before.nodeIds.size(); ++i)
        before.nodeIds[i] = 16'777'217 + 2 * static_cast<std::int64_t>(i);
    const auto alignment = alignBodies(before, before, TubeMode::No, false);
    const AlignedFields fields = alignedFields(before, before, alignment);
    for (std::size_t i = 0; i < before.numVertices(); ++i)
        ASSERT_EQ(field(fields, "MATCHED_NODE_ID").values[i], static_cast<double>(before.nodeIds[i]));
    EXPECT_EQ(CoreIoAlign::outputPrecision(before, before, fields), CoreIo::ExodusPrecision::Double);
    before.nodeIds.assign(before.nodeIds.size(), 7);
    EXPECT_EQ(CoreIoAlign::outputPrecision(before, before, alignedFields(before, before, alignment)),
              CoreIo::ExodusPrecision::Float);
}

// After nodes halfway along before edges: weights equal but for rounding, which must not decide.
TEST(AlignedFields, NameTheSmallerIdWhereTwoCornersWeighTheSame)
{
    const CoreIoSamples::SampleBody grid = CoreIoSamples::makeSheet({}, {6, 6, 0.0, 1});
    CoreIoSamples::SampleBody halfway = grid;
    for (float& u : halfway.initCoord0)
        u += 1.0f / 12.0f;
    const Body before = alignmentBody(grid), after = alignmentBody(halfway);
    const auto alignment = alignBodies(before, after, TubeMode::No, false);
    const AlignedFields fields = alignedFields(before, after, alignment);
    const std::vector<double>& matched = field(fields, "MATCHED_NODE_ID").values;
    // node k lies between before nodes k and k + 1, or near node k beyond the last column
    for (std::size_t k = 0; k < after.numVertices(); ++k)
        ASSERT_EQ(matched[k], static_cast<double>(before.nodeIds[k])) << "after node " << k;
}

TEST(AlignedFields, CarryTheBeforeBodysFieldsByName)
{
    std::vector<double> height, perTriangle;
    for (std::size_t i = 0; i < sheet.numNodes(); ++i)
        height.push_back(sheet.z[i]);
    for (std::size_t t = 0; t < sheet.numTriangles(); ++t)
        perTriangle.push_back(static_cast<double>(t));
    const Body before = alignmentBody(sheet, {{"HEIGHT", 1, height}, {"OTHER", 1, height}}, {{"ID", 1, perTriangle}});
    const auto alignment = alignBodies(before, before, TubeMode::No, false);
    const AlignedFields all = alignedFields(before, before, alignment);
    EXPECT_EQ(field(all, "BEFORE_HEIGHT").values, height);
    EXPECT_EQ(field(all, "BEFORE_ID").values, perTriangle);
    const AlignedFields chosen = alignedFields(before, before, alignment, std::vector<std::string>{"height"});
    EXPECT_NO_THROW(field(chosen, "BEFORE_HEIGHT"));
    EXPECT_THROW(field(chosen, "BEFORE_OTHER"), std::out_of_range);
    EXPECT_THROW(alignedFields(before, before, alignment, std::vector<std::string>{"DEPTH"}), CoreIoAlign::InputError);
}

#include "AlignmentPicture.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace {

using Source = CoreIo::InitialCoordinateSource;
using Kind = Source::Kind;
using Seam = Calvora::TubeInitialCoordinatesConverter::Seam;
using SeamAxis = Calvora::TubeInitialCoordinatesConverter::Axis;

TEST(AlignmentPicture, NamesTheAxesAfterTheInitialCoordinatesAndMarksWhichRunsAroundATube)
{
    const std::vector<std::tuple<std::optional<Source>, std::optional<SeamAxis>, std::array<std::string, 2>>> cases = {
        {std::nullopt, std::nullopt, {"initial coordinate 0", "initial coordinate 1"}},
        {Source{Kind::Variables, {"ic_u", "ic_v"}}, std::nullopt, {"ic_u", "ic_v"}},
        {Source{Kind::ReferencePlane, {}, 2}, std::nullopt, {"reference x", "reference y"}},
        {Source{Kind::ReferencePlane, {}, 0}, std::nullopt, {"reference y", "reference z"}},
        {Source{Kind::ReferencePlane, {}, 1}, std::nullopt, {"reference z", "reference x"}},
        {Source{Kind::ReferenceCylinder, {}, 1}, SeamAxis::U, {"R * angle about y (around)", "reference y (along)"}},
        {Source{Kind::Variables, {"AXIAL", "CIRC"}}, SeamAxis::V, {"AXIAL (along)", "CIRC (around)"}},
    };
    for (const auto& [source, seamAxis, expected] : cases) {
        CoreIoAlign::BodySummary after;
        after.initialCoordinates = source;
        CoreIoAlign::Alignment alignment;
        if (seamAxis)
            alignment.seam = std::make_shared<Seam>(Seam{*seamAxis, 0.0, {}, 0, {}, {}});
        EXPECT_EQ(CoreIoAlign::materialAxisNames(after, alignment), expected) << after.initialCoordinateText();
    }
}

}  // namespace

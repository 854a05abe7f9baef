#include "AlignmentPicture.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using CoreIo::InitialCoordinateSource;
using CoreIoAlign::materialAxisNames;
using Kind = InitialCoordinateSource::Kind;
using Seam = Calvora::TubeInitialCoordinatesConverter::Seam;
using SeamAxis = Calvora::TubeInitialCoordinatesConverter::Axis;

TEST(AlignmentPicture, NamesTheAxesAfterTheInitialCoordinatesAndMarksWhichRunsAroundATube)
{
    struct Case {
        std::optional<InitialCoordinateSource> source;
        std::optional<SeamAxis> seam;
        std::array<std::string, 2> expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, std::nullopt, {"initial coordinate 0", "initial coordinate 1"}},
        {InitialCoordinateSource{Kind::Variables, {"ic_u", "ic_v"}}, std::nullopt, {"ic_u", "ic_v"}},
        {InitialCoordinateSource{Kind::ReferencePlane, {}, 2}, std::nullopt, {"reference x", "reference y"}},
        {InitialCoordinateSource{Kind::ReferencePlane, {}, 0}, std::nullopt, {"reference y", "reference z"}},
        {InitialCoordinateSource{Kind::ReferencePlane, {}, 1}, std::nullopt, {"reference z", "reference x"}},
        {InitialCoordinateSource{Kind::ReferenceCylinder, {}, 1},
         SeamAxis::U,
         {"R * angle about y (around)", "reference y (along)"}},
        {InitialCoordinateSource{Kind::Variables, {"AXIAL", "CIRC"}}, SeamAxis::V, {"AXIAL (along)", "CIRC (around)"}},
    };
    for (const Case& c : cases) {
        CoreIoAlign::BodySummary after;
        after.initialCoordinates = c.source;
        CoreIoAlign::Alignment alignment;
        if (c.seam) {
            auto seam = std::make_shared<Seam>();
            seam->axis = *c.seam;
            alignment.seam = seam;
        }
        EXPECT_EQ(materialAxisNames(after, alignment), c.expected) << after.initialCoordinateText();
    }
}

}  // namespace

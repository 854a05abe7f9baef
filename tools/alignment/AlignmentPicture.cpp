#include "AlignmentPicture.h"

#include "Picture.h"

#include <array>
#include <filesystem>

namespace CoreIoAlign {
namespace {

std::string stateText(const BodySummary& body)
{
    const std::string file = std::filesystem::path(body.file).filename().string();
    return body.step > 0 ? file + " step " + std::to_string(body.step) : file;
}

}  // namespace

std::array<std::string, 2> materialAxisNames(const BodySummary& after, const Alignment& alignment)
{
    using Kind = CoreIo::InitialCoordinateSource::Kind;
    std::array<std::string, 2> names{"initial coordinate 0", "initial coordinate 1"};
    if (after.initialCoordinates) {
        const CoreIo::InitialCoordinateSource& source = *after.initialCoordinates;
        const auto axis = [&](int offset) { return std::string(1, "xyz"[(source.axis + offset) % 3]); };
        switch (source.kind) {
        case Kind::Variables: names = source.variables; break;
        case Kind::ReferencePlane: names = {"reference " + axis(1), "reference " + axis(2)}; break;
        case Kind::ReferenceCylinder: names = {"R * angle about " + axis(0), "reference " + axis(0)}; break;
        }
    }
    if (alignment.seam) {
        const bool firstAround = alignment.seam->axis == Calvora::TubeInitialCoordinatesConverter::Axis::U;
        names[0] += firstAround ? " (around)" : " (along)";
        names[1] += firstAround ? " (along)" : " (around)";
    }
    return names;
}

void drawAlignment(const std::string& path, const Body& before, const Body& after, const Alignment& alignment,
                   std::span<const double> displacementMagnitude)
{
    const MaterialPlane plane = afterMaterialPlane(alignment, after);
    PictureMesh picture;
    picture.points = plane.points;
    picture.triangles = plane.triangles;
    for (const int vertex : plane.vertexOf) {
        const auto v = static_cast<std::size_t>(vertex);
        const bool outside = alignment.locations[v].status == Calvora::MatchStatus::Outside;
        picture.outside.push_back(outside);
        picture.values.push_back(displacementMagnitude[v]);
    }
    const PictureText text{stateText(before.summary) + " -> " + stateText(after.summary),
                           "displacement magnitude [file length unit]", materialAxisNames(after.summary, alignment)};
    drawPicture(path, picture, text);
}

}  // namespace CoreIoAlign

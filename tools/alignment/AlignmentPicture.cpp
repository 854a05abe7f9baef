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

// The material plane's axes by the names the after body's initial coordinates came from, and for
// a tube which of them runs around it.
std::array<std::string, 2> materialAxisNames(const BodySummary& after, const Alignment& alignment)
{
    const std::string& source = after.initialCoordinates;
    const std::string cylinder = "reference-cylinder-";
    const std::string plane = "reference-";
    std::array<std::string, 2> names;
    if (source.starts_with(cylinder)) {
        names = {"R * angle about " + source.substr(cylinder.size()), "reference " + source.substr(cylinder.size())};
    } else if (source.starts_with(plane) && source.size() == plane.size() + 2) {
        names = {"reference " + source.substr(plane.size(), 1), "reference " + source.substr(plane.size() + 1)};
    } else if (!source.empty()) {
        const std::size_t comma = source.find(',');
        names = {source.substr(0, comma), comma == std::string::npos ? "" : source.substr(comma + 1)};
    } else {
        names = {"initial coordinate 0", "initial coordinate 1"};
    }
    if (alignment.seam) {
        const bool firstAround = alignment.seam->axis == Calvora::TubeInitialCoordinatesConverter::Axis::U;
        names[0] += firstAround ? " (around)" : " (along)";
        names[1] += firstAround ? " (along)" : " (around)";
    }
    return names;
}

}  // namespace

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

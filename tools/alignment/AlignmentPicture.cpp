#include "AlignmentPicture.h"

#include "Picture.h"

#include <cmath>
#include <filesystem>

namespace CoreIoAlign {
namespace {

std::string stateText(const BodySummary& body)
{
    const std::string file = std::filesystem::path(body.file).filename().string();
    return body.step > 0 ? file + " step " + std::to_string(body.step) : file;
}

}  // namespace

void drawAlignment(const std::string& path, const Body& before, const Body& after, const Alignment& alignment,
                   const AlignedFields& fields)
{
    const MaterialPlane plane = afterMaterialPlane(alignment, after);
    PictureMesh picture;
    picture.points = plane.points;
    picture.triangles = plane.triangles;
    for (const int vertex : plane.vertexOf) {
        const auto v = static_cast<std::size_t>(vertex);
        const bool outside = alignment.locations[v].status == Calvora::MatchStatus::Outside;
        picture.outside.push_back(outside);
        double squared = 0.0;
        for (std::size_t axis = 0; axis < 3; ++axis) {
            const double d = after.positions[3 * v + axis] - fields.alignedPositions[3 * v + axis];
            squared += d * d;
        }
        picture.values.push_back(outside ? std::nan("") : std::sqrt(squared));
    }
    const PictureText text{stateText(before.summary) + " -> " + stateText(after.summary),
                           "displacement magnitude [file length unit]"};
    drawPicture(path, picture, text);
}

}  // namespace CoreIoAlign

#pragma once
// A picture of a body in its material plane: every triangle shaded by a value per vertex on the
// viridis colour map, a colour bar with the value's caption, a title, and the vertices that found
// no material point marked in red. Written as PNG.

#include <array>
#include <string>
#include <vector>

namespace CoreIoAlign {

struct PictureMesh {
    std::vector<std::array<double, 2>> points;  // per vertex, its position in the material plane
    std::vector<double> values;                 // per vertex; NaN shades grey and is left off the colour bar
    std::vector<bool> outside;                  // empty, or per vertex: true marks it in red
    std::vector<int> triangles;                 // three 0-based vertex numbers per triangle
};

struct PictureText {
    std::string title;    // e.g. the files and steps compared; shrunk to fit the width
    std::string caption;  // the colour bar's, with the unit: "displacement magnitude [mm]"
};

struct PictureSize {
    int width = 1600;  // pixels, 200 to 10000 each
    int height = 1000;
};

// Draws the mesh to a PNG file at path, the material plane's aspect ratio kept.
// Throws std::invalid_argument when the arrays do not fit each other (a vertex without a finite
// position, a triangle naming a missing vertex) or the size is out of range, and
// std::runtime_error naming the path when the file cannot be written.
void drawPicture(const std::string& path, const PictureMesh& mesh, const PictureText& text, PictureSize size = {});

}  // namespace CoreIoAlign

#pragma once
// A picture of a body in its material plane, written as PNG: every triangle shaded by a value per
// vertex on the viridis colour map, inside axes that carry the material coordinates (one scale for
// both); a colour bar with the value's caption and a bracket over the span the values take; a
// title; the vertices that found no material point marked in red; and a key line below that names
// the red marks, the grey of vertices without a value and the span of the values in numbers.

#include <array>
#include <string>
#include <vector>

namespace CoreIoAlign {

// Where the colour bar starts.
enum class ColourScale {
    FromZero,   // at 0 (the bar reaches from 0 to the largest value, or down to a negative one): for
                // magnitudes, whose small spread around a large value must look small
    ValueSpan,  // at the smallest value; the key line says that the bar does not start at 0
};

struct PictureMesh {
    std::vector<std::array<double, 2>> points;  // per vertex, its position in the material plane
    std::vector<double> values;                 // per vertex; NaN shades grey and is left off the colour bar
    std::vector<bool> outside;                  // empty, or per vertex: true marks it in red
    std::vector<int> triangles;                 // three 0-based vertex numbers per triangle
    ColourScale scale = ColourScale::FromZero;
};

struct PictureText {
    std::string title;                // short: the files' base names and steps; shrunk to fit the width
    std::string caption;              // the colour bar's, with the unit: "displacement magnitude [mm]"
    std::array<std::string, 2> axes;  // the material coordinates' names, horizontal first:
                                      // "INITIALCOORD0 (around)", "INITIALCOORD1 (along)"
};

struct PictureSize {
    int width = 1600;  // pixels, 200 to 10000 each
    int height = 1000;
};

// Draws the mesh to a PNG file at path.
// Throws std::invalid_argument when the arrays do not fit each other (a vertex without a finite
// position, a triangle naming a missing vertex) or the size is out of range, and
// std::runtime_error naming the path when the file cannot be written.
void drawPicture(const std::string& path, const PictureMesh& mesh, const PictureText& text, PictureSize size = {});

}  // namespace CoreIoAlign

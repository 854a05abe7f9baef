#include "Picture.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>

namespace CoreIoAlign {
namespace {

struct Rgb {
    double r, g, b;
};

// Viridis at 17 evenly spaced points from 0 to 1; colours in between are interpolated.
constexpr std::array<Rgb, 17> viridis{{
    {0.267, 0.005, 0.329},
    {0.282, 0.095, 0.417},
    {0.279, 0.175, 0.483},
    {0.259, 0.252, 0.525},
    {0.230, 0.322, 0.546},
    {0.199, 0.388, 0.555},
    {0.173, 0.449, 0.558},
    {0.149, 0.508, 0.557},
    {0.128, 0.567, 0.551},
    {0.121, 0.626, 0.533},
    {0.158, 0.684, 0.502},
    {0.246, 0.739, 0.452},
    {0.369, 0.789, 0.383},
    {0.516, 0.831, 0.294},
    {0.678, 0.864, 0.190},
    {0.846, 0.887, 0.100},
    {0.993, 0.906, 0.144},
}};
constexpr Rgb noValueColour{0.78, 0.78, 0.78};
constexpr Rgb outsideColour{0.89, 0.10, 0.11};
constexpr int minimumSide = 200;
constexpr int maximumSide = 10000;

Rgb colourAt(double fraction)
{
    const double position = std::clamp(fraction, 0.0, 1.0) * (viridis.size() - 1);
    const auto below = std::min(static_cast<std::size_t>(position), viridis.size() - 2);
    const double t = position - static_cast<double>(below);
    const Rgb& a = viridis[below];
    const Rgb& b = viridis[below + 1];
    return {a.r + t * (b.r - a.r), a.g + t * (b.g - a.g), a.b + t * (b.b - a.b)};
}

struct Range {
    double low, high;

    double fraction(double value) const { return (value - low) / (high - low); }
};

// The finite values' span, widened when they are all alike, so that every value has a colour.
Range valueRange(const std::vector<double>& values)
{
    Range range{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (const double value : values) {
        if (std::isfinite(value)) {
            range.low = std::min(range.low, value);
            range.high = std::max(range.high, value);
        }
    }
    if (range.low > range.high) {
        return {0.0, 1.0};
    }
    if (range.low == range.high) {
        const double half = std::max(std::abs(range.low) * 0.05, 0.5);
        return {range.low - half, range.high + half};
    }
    return range;
}

// Where things go, in pixels; the base unit scales the fonts and gaps with the picture.
struct Layout {
    double unit, width, height;
    double plotLeft, plotTop, plotRight, plotBottom;
    double barLeft, barWidth;

    explicit Layout(PictureSize size)
        : unit(std::min(size.width, size.height) / 50.0),
          width(size.width),
          height(size.height),
          plotLeft(2 * unit),
          plotTop(4 * unit),
          plotRight(width - 14 * unit),
          plotBottom(height - 3 * unit),
          barLeft(width - 11 * unit),
          barWidth(1.5 * unit)
    {
    }
};

// Material-plane positions to pixels: scaled alike in both directions, centred, y up.
class PlaneToPixels {
public:
    PlaneToPixels(const std::vector<std::array<double, 2>>& points, const Layout& layout)
    {
        std::array<double, 2> low{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
        std::array<double, 2> high{-low[0], -low[1]};
        for (const auto& point : points) {
            for (std::size_t axis = 0; axis < 2; ++axis) {
                low[axis] = std::min(low[axis], point[axis]);
                high[axis] = std::max(high[axis], point[axis]);
            }
        }
        const double spanX = std::max(high[0] - low[0], std::numeric_limits<double>::min());
        const double spanY = std::max(high[1] - low[1], std::numeric_limits<double>::min());
        scale_ = std::min((layout.plotRight - layout.plotLeft) / spanX, (layout.plotBottom - layout.plotTop) / spanY);
        originX_ = (layout.plotLeft + layout.plotRight - scale_ * (low[0] + high[0])) / 2;
        originY_ = (layout.plotTop + layout.plotBottom + scale_ * (low[1] + high[1])) / 2;
    }

    std::array<double, 2> operator()(const std::array<double, 2>& point) const
    {
        return {originX_ + scale_ * point[0], originY_ - scale_ * point[1]};
    }

private:
    double scale_ = 1.0;
    double originX_ = 0.0;
    double originY_ = 0.0;
};

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;
using Pattern = std::unique_ptr<cairo_pattern_t, decltype(&cairo_pattern_destroy)>;

void setColour(cairo_t* cr, const Rgb& colour)
{
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
}

void checkMesh(const PictureMesh& mesh)
{
    const std::size_t numPoints = mesh.points.size();
    if (mesh.values.size() != numPoints || (!mesh.outside.empty() && mesh.outside.size() != numPoints)) {
        throw std::invalid_argument("picture: " + std::to_string(numPoints) + " points, " +
                                    std::to_string(mesh.values.size()) + " values and " +
                                    std::to_string(mesh.outside.size()) + " outside flags; each needs one per vertex");
    }
    for (std::size_t i = 0; i < numPoints; ++i) {
        if (!std::isfinite(mesh.points[i][0]) || !std::isfinite(mesh.points[i][1])) {
            throw std::invalid_argument("picture: vertex " + std::to_string(i) + " has no finite position");
        }
    }
    if (mesh.triangles.size() % 3 != 0) {
        throw std::invalid_argument("picture: " + std::to_string(mesh.triangles.size()) +
                                    " vertex numbers do not make whole triangles");
    }
    for (std::size_t k = 0; k < mesh.triangles.size(); ++k) {
        if (mesh.triangles[k] < 0 || static_cast<std::size_t>(mesh.triangles[k]) >= numPoints) {
            throw std::invalid_argument("picture: triangle " + std::to_string(k / 3) + " names vertex " +
                                        std::to_string(mesh.triangles[k]) + " of " + std::to_string(numPoints));
        }
    }
}

// One Gouraud-shaded patch per triangle, so colours run on across shared edges without seams.
void drawTriangles(cairo_t* cr, const PictureMesh& mesh, const PlaneToPixels& toPixels, const Range& range)
{
    if (mesh.triangles.empty()) {
        return;
    }
    const Pattern pattern(cairo_pattern_create_mesh(), cairo_pattern_destroy);
    for (std::size_t t = 0; t < mesh.triangles.size(); t += 3) {
        cairo_mesh_pattern_begin_patch(pattern.get());
        for (unsigned corner = 0; corner < 3; ++corner) {
            const auto vertex = static_cast<std::size_t>(mesh.triangles[t + corner]);
            const auto [x, y] = toPixels(mesh.points[vertex]);
            (corner == 0 ? cairo_mesh_pattern_move_to : cairo_mesh_pattern_line_to)(pattern.get(), x, y);
            const double value = mesh.values[vertex];
            const Rgb colour = std::isfinite(value) ? colourAt(range.fraction(value)) : noValueColour;
            cairo_mesh_pattern_set_corner_color_rgb(pattern.get(), corner, colour.r, colour.g, colour.b);
        }
        cairo_mesh_pattern_end_patch(pattern.get());
    }
    cairo_set_source(cr, pattern.get());
    cairo_paint(cr);
}

void drawOutsideVertices(cairo_t* cr, const PictureMesh& mesh, const PlaneToPixels& toPixels, const Layout& layout)
{
    const double radius = std::max(1.5, 0.22 * layout.unit);
    for (std::size_t i = 0; i < mesh.outside.size(); ++i) {
        if (mesh.outside[i]) {
            const auto [x, y] = toPixels(mesh.points[i]);
            cairo_new_sub_path(cr);
            cairo_arc(cr, x, y, radius, 0, 2 * M_PI);
        }
    }
    setColour(cr, outsideColour);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, std::max(0.5, 0.06 * layout.unit));
    cairo_stroke(cr);
}

void selectFont(cairo_t* cr, double size, cairo_font_weight_t weight = CAIRO_FONT_WEIGHT_NORMAL)
{
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, weight);
    cairo_set_font_size(cr, size);
}

// Shrinks the font until the title fits between the margins.
void drawTitle(cairo_t* cr, const std::string& title, const Layout& layout)
{
    double size = 1.3 * layout.unit;
    selectFont(cr, size, CAIRO_FONT_WEIGHT_BOLD);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, title.c_str(), &extents);
    const double available = layout.width - 4 * layout.unit;
    if (extents.x_advance > available) {
        size *= available / extents.x_advance;
        selectFont(cr, size, CAIRO_FONT_WEIGHT_BOLD);
        cairo_text_extents(cr, title.c_str(), &extents);
    }
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_move_to(cr, (layout.width - extents.x_advance) / 2, 2.4 * layout.unit);
    cairo_show_text(cr, title.c_str());
}

std::string tickLabel(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// Round values 1, 2 or 5 times a power of ten apart, about five over the range.
std::vector<double> tickValues(const Range& range)
{
    const double rough = (range.high - range.low) / 5;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (const double factor : {2.0, 5.0, 10.0}) {
        if (factor * power <= 1.5 * rough) {
            step = factor * power;
        }
    }
    std::vector<double> ticks;
    for (double k = std::ceil(range.low / step); k * step <= range.high * (1 + 1e-12); ++k) {
        ticks.push_back(k * step == 0.0 ? 0.0 : k * step);
    }
    return ticks;
}

void drawColourBar(cairo_t* cr, const Range& range, const std::string& caption, const Layout& layout)
{
    const double top = layout.plotTop + layout.unit;
    const double bottom = layout.plotBottom - layout.unit;
    const Pattern gradient(cairo_pattern_create_linear(0, bottom, 0, top), cairo_pattern_destroy);
    for (std::size_t i = 0; i < viridis.size(); ++i) {
        const Rgb& colour = viridis[i];
        cairo_pattern_add_color_stop_rgb(gradient.get(), static_cast<double>(i) / (viridis.size() - 1), colour.r,
                                         colour.g, colour.b);
    }
    cairo_rectangle(cr, layout.barLeft, top, layout.barWidth, bottom - top);
    cairo_set_source(cr, gradient.get());
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);

    selectFont(cr, 0.9 * layout.unit);
    const double right = layout.barLeft + layout.barWidth;
    for (const double tick : tickValues(range)) {
        const double y = bottom - range.fraction(tick) * (bottom - top);
        cairo_move_to(cr, right, y);
        cairo_line_to(cr, right + 0.4 * layout.unit, y);
        cairo_stroke(cr);
        const std::string label = tickLabel(tick);
        cairo_text_extents_t extents;
        cairo_text_extents(cr, label.c_str(), &extents);
        cairo_move_to(cr, right + 0.7 * layout.unit, y - extents.y_bearing - extents.height / 2);
        cairo_show_text(cr, label.c_str());
    }

    selectFont(cr, layout.unit);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, caption.c_str(), &extents);
    cairo_save(cr);
    cairo_move_to(cr, layout.width - 1.2 * layout.unit, (top + bottom + extents.x_advance) / 2);
    cairo_rotate(cr, -M_PI / 2);
    cairo_show_text(cr, caption.c_str());
    cairo_restore(cr);
}

void drawOutsideLegend(cairo_t* cr, const PictureMesh& mesh, const Layout& layout)
{
    if (std::find(mesh.outside.begin(), mesh.outside.end(), true) == mesh.outside.end()) {
        return;
    }
    const double y = layout.height - 1.2 * layout.unit;
    cairo_arc(cr, layout.plotLeft + 0.4 * layout.unit, y - 0.3 * layout.unit, 0.3 * layout.unit, 0, 2 * M_PI);
    setColour(cr, outsideColour);
    cairo_fill(cr);
    selectFont(cr, 0.9 * layout.unit);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_move_to(cr, layout.plotLeft + layout.unit, y);
    cairo_show_text(cr, "vertices outside the before body");
}

}  // namespace

void drawPicture(const std::string& path, const PictureMesh& mesh, const PictureText& text, PictureSize size)
{
    checkMesh(mesh);
    if (std::min(size.width, size.height) < minimumSide || std::max(size.width, size.height) > maximumSide) {
        throw std::invalid_argument("PNG file \"" + path + "\": " + std::to_string(size.width) + " x " +
                                    std::to_string(size.height) + " pixels; each side takes " +
                                    std::to_string(minimumSide) + " to " + std::to_string(maximumSide));
    }
    const Layout layout(size);
    const Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, size.width, size.height),
                          cairo_surface_destroy);
    const Context context(cairo_create(surface.get()), cairo_destroy);
    cairo_t* cr = context.get();
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);

    const Range range = valueRange(mesh.values);
    const PlaneToPixels toPixels(mesh.points, layout);
    drawTriangles(cr, mesh, toPixels, range);
    drawOutsideVertices(cr, mesh, toPixels, layout);
    drawTitle(cr, text.title, layout);
    drawColourBar(cr, range, text.caption, layout);
    drawOutsideLegend(cr, mesh, layout);

    cairo_surface_flush(surface.get());
    const cairo_status_t status = cairo_surface_write_to_png(surface.get(), path.c_str());
    if (status != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("PNG file \"" + path + "\" cannot be written: " + cairo_status_to_string(status) +
                                 "; check that its folder exists and is writable");
    }
}

}  // namespace CoreIoAlign

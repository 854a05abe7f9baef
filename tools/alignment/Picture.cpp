#include "Picture.h"

#include "FileReplacement.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
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
constexpr Rgb inkColour{0.1, 0.1, 0.1};
constexpr Rgb frameColour{0.2, 0.2, 0.2};
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
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    bool empty() const { return low > high; }
    void include(double value)
    {
        low = std::min(low, value);
        high = std::max(high, value);
    }
    double fraction(double value) const { return (value - low) / (high - low); }
};

Range finiteSpan(const std::vector<double>& values)
{
    Range span;
    for (const double value : values) {
        if (std::isfinite(value)) {
            span.include(value);
        }
    }
    return span;
}

// A range that every value of span lies in with room to tell them apart: values alike to nine
// digits get a width around them, no values at all the unit range.
Range widened(Range span)
{
    if (span.empty()) {
        return {0.0, 1.0};
    }
    if (span.high - span.low <= 1e-9 * std::max(std::abs(span.low), std::abs(span.high))) {
        const double half = std::max(std::abs(span.low) * 0.05, 0.5);
        return {span.low - half, span.high + half};
    }
    return span;
}

Range colourRange(Range span, ColourScale scale)
{
    if (scale == ColourScale::FromZero && !span.empty()) {
        span.include(0.0);
        if (span.low == span.high) {
            return {0.0, 1.0};
        }
    }
    return widened(span);
}

// The largest of 1, 2 or 5 times a power of ten that is at most 1.5 times rough.
double tickStep(double rough)
{
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (const double factor : {2.0, 5.0, 10.0}) {
        if (factor * power <= 1.5 * rough) {
            step = factor * power;
        }
    }
    return step;
}

// The multiples of step within range; none where a step is too fine for the numbers to tell apart.
std::vector<double> ticksWithin(const Range& range, double step)
{
    const double tolerance = 1e-9 * step;
    const double first = std::ceil((range.low - tolerance) / step);
    const double last = std::floor((range.high + tolerance) / step);
    std::vector<double> ticks;
    if (!(last - first <= 100) || std::abs(first) > 1e15) {
        return ticks;
    }
    for (double k = first; k <= last; ++k) {
        ticks.push_back(k == 0.0 ? 0.0 : k * step);
    }
    return ticks;
}

std::string formatted(const char* format, int precision, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, precision, value);
    return text;
}

// As many digits as tell ticks step apart: decimals, or for large numbers significant digits.
std::string tickLabel(double value, double step)
{
    const int stepDigit = static_cast<int>(std::floor(std::log10(step) + 1e-9));
    if (std::abs(value) < 1e9) {
        return formatted("%.*f", std::clamp(-stepDigit, 0, 12), value);
    }
    const int leadingDigit = static_cast<int>(std::floor(std::log10(std::abs(value))));
    return formatted("%.*g", std::clamp(leadingDigit - stepDigit + 1, 1, 15), value);
}

// The span's ends with four significant digits, or as many more as tell them apart.
std::string spanText(const Range& span)
{
    int precision = 4;
    while (precision < 15 && formatted("%.*g", precision, span.low) == formatted("%.*g", precision, span.high)) {
        ++precision;
    }
    return formatted("%.*g", precision, span.low) + " to " + formatted("%.*g", precision, span.high);
}

struct Box {
    double left, top, right, bottom;
};

// Where things go, in pixels; the base unit scales the fonts and gaps with the picture.
struct Layout {
    double unit, width, height;
    Box plot;  // the area the material plane is fitted into; the axes' tick labels lie left of it
    double barLeft, barWidth;  // the bar spans the plot's height
    double tickLength, fontSize;

    Layout(PictureSize size, double tickLabelWidth)
        : unit(std::min(size.width, size.height) / 50.0),
          width(size.width),
          height(size.height),
          plot{std::min(tickLabelWidth, width / 4) + 3.2 * unit, 4 * unit, width - 14 * unit, height - 6 * unit},
          barLeft(width - 11 * unit),
          barWidth(1.5 * unit),
          tickLength(0.4 * unit),
          fontSize(0.9 * unit)
    {
    }
};

// Each material coordinate's span, widened where the points do not spread along it.
std::array<Range, 2> planeBounds(const std::vector<std::array<double, 2>>& points)
{
    std::array<Range, 2> bounds;
    for (const auto& point : points) {
        bounds[0].include(point[0]);
        bounds[1].include(point[1]);
    }
    return {widened(bounds[0]), widened(bounds[1])};
}

// Material-plane positions to pixels: one scale for both coordinates, centred in the plot, y up.
class PlaneToPixels {
public:
    PlaneToPixels(const std::array<Range, 2>& bounds, const Box& plot)
        : scale_(std::min((plot.right - plot.left) / (bounds[0].high - bounds[0].low),
                          (plot.bottom - plot.top) / (bounds[1].high - bounds[1].low))),
          originX_((plot.left + plot.right - scale_ * (bounds[0].low + bounds[0].high)) / 2),
          originY_((plot.top + plot.bottom + scale_ * (bounds[1].low + bounds[1].high)) / 2)
    {
    }

    std::array<double, 2> operator()(const std::array<double, 2>& point) const
    {
        return {originX_ + scale_ * point[0], originY_ - scale_ * point[1]};
    }

    double scale() const { return scale_; }

private:
    double scale_;
    double originX_;
    double originY_;
};

// One step for both axes, so that equal lengths look equal: about one tick per seven units.
double axisStep(const PlaneToPixels& toPixels, const Layout& layout)
{
    return tickStep(7 * layout.unit / toPixels.scale());
}

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;
using Pattern = std::unique_ptr<cairo_pattern_t, decltype(&cairo_pattern_destroy)>;

void setColour(cairo_t* cr, const Rgb& colour)
{
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
}

void selectFont(cairo_t* cr, double size, cairo_font_weight_t weight = CAIRO_FONT_WEIGHT_NORMAL)
{
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, weight);
    cairo_set_font_size(cr, size);
}

double textWidth(cairo_t* cr, const std::string& text)
{
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
}

// Writes text with its left edge at x plus alignment times its width (0 left, -0.5 centred, -1
// right) and its middle at y.
void showText(cairo_t* cr, const std::string& text, double x, double y, double alignment)
{
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x + alignment * extents.x_advance, y - extents.y_bearing - extents.height / 2);
    cairo_show_text(cr, text.c_str());
}

// A coordinate at a pixel's centre, where a line one pixel wide is drawn sharp.
double sharp(double coordinate)
{
    return std::floor(coordinate) + 0.5;
}

void drawLine(cairo_t* cr, double x0, double y0, double x1, double y1)
{
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
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

void checkSize(const std::string& path, PictureSize size)
{
    if (std::min(size.width, size.height) < minimumSide || std::max(size.width, size.height) > maximumSide) {
        throw std::invalid_argument("PNG file \"" + path + "\": " + std::to_string(size.width) + " x " +
                                    std::to_string(size.height) + " pixels; each side takes " +
                                    std::to_string(minimumSide) + " to " + std::to_string(maximumSide));
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

void drawOutsideMark(cairo_t* cr, double x, double y, const Layout& layout)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, std::max(1.5, 0.22 * layout.unit), 0, 2 * M_PI);
    setColour(cr, outsideColour);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, std::max(0.5, 0.06 * layout.unit));
    cairo_stroke(cr);
}

void drawOutsideVertices(cairo_t* cr, const PictureMesh& mesh, const PlaneToPixels& toPixels, const Layout& layout)
{
    for (std::size_t i = 0; i < mesh.outside.size(); ++i) {
        if (mesh.outside[i]) {
            const auto [x, y] = toPixels(mesh.points[i]);
            drawOutsideMark(cr, x, y, layout);
        }
    }
}

// Shrinks the font until the title fits between the margins.
void drawTitle(cairo_t* cr, const std::string& title, const Layout& layout)
{
    double size = 1.3 * layout.unit;
    selectFont(cr, size, CAIRO_FONT_WEIGHT_BOLD);
    const double available = layout.width - 4 * layout.unit;
    if (const double width = textWidth(cr, title); width > available) {
        size *= available / width;
        selectFont(cr, size, CAIRO_FONT_WEIGHT_BOLD);
    }
    setColour(cr, inkColour);
    showText(cr, title, layout.width / 2, 2 * layout.unit, -0.5);
}

double widestLabel(cairo_t* cr, const std::vector<double>& ticks, double step)
{
    double widest = 0.0;
    for (const double tick : ticks) {
        widest = std::max(widest, textWidth(cr, tickLabel(tick, step)));
    }
    return widest;
}

// The frame around the material plane's extent, ticks outwards with their coordinates, and the
// coordinates' names along the bottom and the left.
void drawAxes(cairo_t* cr, const std::array<Range, 2>& bounds, const PlaneToPixels& toPixels,
              const std::array<std::string, 2>& names, const Layout& layout)
{
    const auto [leftEdge, topEdge] = toPixels({bounds[0].low, bounds[1].high});
    const auto [rightEdge, bottomEdge] = toPixels({bounds[0].high, bounds[1].low});
    const double left = sharp(leftEdge);
    const double top = sharp(topEdge);
    const double right = sharp(rightEdge);
    const double bottom = sharp(bottomEdge);
    setColour(cr, frameColour);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, left, top, right - left, bottom - top);
    cairo_stroke(cr);

    const double step = axisStep(toPixels, layout);
    const double tick = layout.tickLength;
    const double gap = 0.3 * layout.unit;
    selectFont(cr, layout.fontSize);
    for (const double u : ticksWithin(bounds[0], step)) {
        const double x = sharp(toPixels({u, 0.0})[0]);
        drawLine(cr, x, bottom, x, bottom + tick);
        showText(cr, tickLabel(u, step), x, bottom + tick + gap + layout.fontSize / 2, -0.5);
    }
    const std::vector<double> verticalTicks = ticksWithin(bounds[1], step);
    for (const double v : verticalTicks) {
        const double y = sharp(toPixels({0.0, v})[1]);
        drawLine(cr, left, y, left - tick, y);
        showText(cr, tickLabel(v, step), left - tick - gap, y, -1.0);
    }

    selectFont(cr, layout.unit);
    setColour(cr, inkColour);
    showText(cr, names[0], (left + right) / 2, bottom + tick + 2 * gap + layout.fontSize + layout.unit, -0.5);
    cairo_save(cr);
    cairo_translate(cr, left - tick - 2 * gap - widestLabel(cr, verticalTicks, step) - layout.unit / 2,
                    (top + bottom) / 2);
    cairo_rotate(cr, -M_PI / 2);
    showText(cr, names[1], 0.0, 0.0, -0.5);
    cairo_restore(cr);
}

// The gradient with its ticks and caption, and a bracket beside it over the span the values take.
void drawColourBar(cairo_t* cr, const Range& range, const Range& values, const std::string& caption,
                   const Layout& layout)
{
    const double top = layout.plot.top;
    const double bottom = layout.plot.bottom;
    const auto barY = [&](double value) { return bottom - range.fraction(value) * (bottom - top); };
    const Pattern gradient(cairo_pattern_create_linear(0, bottom, 0, top), cairo_pattern_destroy);
    for (std::size_t i = 0; i < viridis.size(); ++i) {
        const Rgb& colour = viridis[i];
        cairo_pattern_add_color_stop_rgb(gradient.get(), static_cast<double>(i) / (viridis.size() - 1), colour.r,
                                         colour.g, colour.b);
    }
    cairo_rectangle(cr, layout.barLeft, top, layout.barWidth, bottom - top);
    cairo_set_source(cr, gradient.get());
    cairo_fill_preserve(cr);
    setColour(cr, frameColour);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);

    selectFont(cr, layout.fontSize);
    const double right = layout.barLeft + layout.barWidth;
    const double step = tickStep((range.high - range.low) / 5);
    for (const double tick : ticksWithin(range, step)) {
        const double y = barY(tick);
        drawLine(cr, right, y, right + layout.tickLength, y);
        showText(cr, tickLabel(tick, step), right + layout.tickLength + 0.3 * layout.unit, y, 0.0);
    }

    if (!values.empty()) {
        const double x = layout.barLeft - 0.5 * layout.unit;
        const double reach = 0.35 * layout.unit;
        cairo_set_line_width(cr, std::max(1.0, 0.12 * layout.unit));
        setColour(cr, inkColour);
        cairo_move_to(cr, x + reach, barY(values.low));
        cairo_line_to(cr, x, barY(values.low));
        cairo_line_to(cr, x, barY(values.high));
        cairo_line_to(cr, x + reach, barY(values.high));
        cairo_stroke(cr);
    }

    selectFont(cr, layout.unit);
    cairo_save(cr);
    cairo_translate(cr, layout.width - 1.2 * layout.unit, (top + bottom) / 2);
    cairo_rotate(cr, -M_PI / 2);
    showText(cr, caption, 0.0, 0.0, -0.5);
    cairo_restore(cr);
}

std::string outsideEntry(const std::vector<bool>& outside)
{
    const auto count = std::count(outside.begin(), outside.end(), true);
    if (count == 0) {
        return "no vertex outside the before body";
    }
    return std::to_string(count) + (count == 1 ? " vertex" : " vertices") + " outside the before body";
}

std::string valuesEntry(const Range& values, ColourScale scale)
{
    if (values.empty()) {
        return "no values";
    }
    std::string entry = values.low == values.high ? "all values " + formatted("%.*g", 15, values.low)
                                                  : "values " + spanText(values);
    if (scale == ColourScale::ValueSpan) {
        entry += "; the colour bar starts at the smallest, not at 0";
    }
    return entry;
}

// The key line below the axes: what red and grey mean, and the values' span in numbers.
void drawKey(cairo_t* cr, const PictureMesh& mesh, const Range& values, const Layout& layout)
{
    const double y = layout.height - 1.2 * layout.unit;
    const double swatch = 0.7 * layout.unit;
    double x = layout.plot.left;
    selectFont(cr, layout.fontSize);
    const auto entry = [&](const std::string& text) {
        setColour(cr, inkColour);
        showText(cr, text, x, y, 0.0);
        x += textWidth(cr, text) + 2 * layout.unit;
    };
    if (!mesh.outside.empty()) {
        drawOutsideMark(cr, x + swatch / 2, y, layout);
        x += swatch + 0.4 * layout.unit;
        entry(outsideEntry(mesh.outside));
    }
    if (std::any_of(mesh.values.begin(), mesh.values.end(), [](double value) { return std::isnan(value); })) {
        cairo_rectangle(cr, x, y - swatch / 2, swatch, swatch);
        setColour(cr, noValueColour);
        cairo_fill(cr);
        x += swatch + 0.4 * layout.unit;
        entry("no value");
    }
    entry(valuesEntry(values, mesh.scale));
}

// The plot's left edge leaves room for the widest tick label of the vertical axis; that label
// depends on the scale, which the plot's width sets in turn, so a first fit with the narrowest
// room finds the labels, and a second leaves their room: narrower plots get no finer steps.
Layout fittedLayout(cairo_t* cr, PictureSize size, const std::array<Range, 2>& bounds)
{
    const Layout first(size, 0.0);
    const PlaneToPixels toPixels(bounds, first.plot);
    selectFont(cr, first.fontSize);
    const double step = axisStep(toPixels, first);
    return Layout(size, widestLabel(cr, ticksWithin(bounds[1], step), step));
}

}  // namespace

void drawPicture(const std::string& path, const PictureMesh& mesh, const PictureText& text, PictureSize size)
{
    checkMesh(mesh);
    checkSize(path, size);
    const Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, size.width, size.height),
                          cairo_surface_destroy);
    const Context context(cairo_create(surface.get()), cairo_destroy);
    cairo_t* cr = context.get();
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);

    const std::array<Range, 2> bounds = planeBounds(mesh.points);
    const Layout layout = fittedLayout(cr, size, bounds);
    const PlaneToPixels toPixels(bounds, layout.plot);
    const Range values = finiteSpan(mesh.values);
    const Range range = colourRange(values, mesh.scale);
    drawTriangles(cr, mesh, toPixels, range);
    drawOutsideVertices(cr, mesh, toPixels, layout);
    drawAxes(cr, bounds, toPixels, text.axes, layout);
    drawTitle(cr, text.title, layout);
    drawColourBar(cr, range, values, text.caption, layout);
    drawKey(cr, mesh, values, layout);

    cairo_surface_flush(surface.get());
    CoreIo::writeWhole(path, "PNG file", [&](const std::string& temporaryPath) {
        if (std::filesystem::exists(temporaryPath))
            return false;
        const cairo_status_t status = cairo_surface_write_to_png(surface.get(), temporaryPath.c_str());
        if (status != CAIRO_STATUS_SUCCESS)
            throw std::runtime_error("PNG file \"" + path + "\" cannot be written: " + cairo_status_to_string(status) +
                                     "; check that its folder exists and is writable");
        return true;
    });
}

}  // namespace CoreIoAlign

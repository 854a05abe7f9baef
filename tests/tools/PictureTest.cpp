#include "Picture.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

using CoreIoAlign::ColourScale;
using CoreIoAlign::PictureMesh;
using CoreIoAlign::PictureSize;

struct Rgb {
    double r, g, b;
};
constexpr Rgb lowestColour{0.267, 0.005, 0.329};  // the ends of the viridis map
constexpr Rgb highestColour{0.993, 0.906, 0.144};

bool near(const Rgb& a, const Rgb& b)
{
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}) < 0.08;
}

// A file of the running test's own: ctest runs the tests side by side.
std::string picturePath()
{
    const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    return (std::filesystem::temp_directory_path() / ("coreio-picture-" + test + ".png")).string();
}

// The picture at picturePath() read back (and removed), pixel by pixel.
class Image {
public:
    Image() : surface_(cairo_image_surface_create_from_png(picturePath().c_str()), cairo_surface_destroy)
    {
        std::filesystem::remove(picturePath());
    }

    bool readable() const { return cairo_surface_status(surface_.get()) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface_.get()); }
    int height() const { return cairo_image_surface_get_height(surface_.get()); }

    Rgb at(int x, int y) const
    {
        const unsigned char* row = cairo_image_surface_get_data(surface_.get()) +
                                   static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface_.get());
        const std::uint32_t p = reinterpret_cast<const std::uint32_t*>(row)[x];
        return {((p >> 16) & 0xff) / 255.0, ((p >> 8) & 0xff) / 255.0, (p & 0xff) / 255.0};
    }

private:
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface_;
};

// Every viridis colour is far from grey; lines and text are black or grey, the page white.
bool coloured(const Rgb& c)
{
    return std::max({c.r, c.g, c.b}) - std::min({c.r, c.g, c.b}) > 0.25;
}
bool dark(const Rgb& c)
{
    return std::max({c.r, c.g, c.b}) < 0.75;
}

struct PixelRun {
    int first, last;
    double centre() const { return (first + last) / 2.0; }
};

// The runs of pixels that pass along a row (or a column) from first to last.
std::vector<PixelRun> runs(const Image& image, int fixed, bool column, int first, int last,
                           const std::function<bool(const Rgb&)>& passes)
{
    std::vector<PixelRun> found;
    for (int i = first; i <= last; ++i) {
        if (!passes(column ? image.at(fixed, i) : image.at(i, fixed)))
            continue;
        if (found.empty() || found.back().last != i - 1)
            found.push_back({i, i});
        found.back().last = i;
    }
    return found;
}

// The rectangle [0, 2] x [0, 1] in two squares, each of one value, apart where u = 1.
PictureMesh twoSquares(double left, double right, ColourScale scale = ColourScale::FromZero)
{
    PictureMesh mesh;
    mesh.points = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {1, 0}, {2, 0}, {2, 1}, {1, 1}};
    mesh.values = {left, left, left, left, right, right, right, right};
    mesh.triangles = {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7};
    mesh.scale = scale;
    return mesh;
}

}  // namespace

TEST(Picture, WritesAPngOfTheRequestedSizeAndRefusesAMissingFolder)
{
    CoreIoAlign::drawPicture(picturePath(), twoSquares(0, 1), {"sheet", "u [length unit]", {"u", "v"}}, {640, 400});
    const Image image;
    ASSERT_TRUE(image.readable());
    EXPECT_EQ(image.width(), 640);
    EXPECT_EQ(image.height(), 400);
    EXPECT_THROW(CoreIoAlign::drawPicture("/nonexistent-folder/picture.png", twoSquares(0, 1), {}, {640, 400}),
                 std::runtime_error);
}

TEST(Picture, RefusesArraysThatDoNotFitAndSizesOutOfRangeWritingNothing)
{
    const struct {
        const char* what;
        std::function<void(PictureMesh&, PictureSize&)> spoil;
    } cases[] = {
        {"a vertex without a value", [](PictureMesh& mesh, PictureSize&) { mesh.values.pop_back(); }},
        {"too few outside flags", [](PictureMesh& mesh, PictureSize&) { mesh.outside = {true}; }},
        {"a vertex at NaN", [](PictureMesh& mesh, PictureSize&) { mesh.points[5][0] = std::nan(""); }},
        {"a vertex at infinity", [](PictureMesh& mesh, PictureSize&) { mesh.points[5][1] = INFINITY; }},
        {"a triangle naming a missing vertex", [](PictureMesh& mesh, PictureSize&) { mesh.triangles[4] = 8; }},
        {"a triangle naming vertex -1", [](PictureMesh& mesh, PictureSize&) { mesh.triangles[4] = -1; }},
        {"part of a triangle", [](PictureMesh& mesh, PictureSize&) { mesh.triangles.pop_back(); }},
        {"a side below 200 pixels", [](PictureMesh&, PictureSize& size) { size.height = 199; }},
        {"a side above 10000 pixels", [](PictureMesh&, PictureSize& size) { size.width = 10001; }},
    };
    for (const auto& bad : cases) {
        PictureMesh mesh = twoSquares(0, 1);
        PictureSize size;
        bad.spoil(mesh, size);
        EXPECT_THROW(CoreIoAlign::drawPicture(picturePath(), mesh, {}, size), std::invalid_argument) << bad.what;
        EXPECT_FALSE(std::filesystem::exists(picturePath())) << bad.what;
    }
}

TEST(Picture, StartsTheColoursOfMagnitudesAtZeroAndOtherwiseSpansTheValues)
{
    const struct {
        const char* what;
        double left, right;
        ColourScale scale;
        Rgb leftColour, rightColour;
    } cases[] = {
        {"a 2 % ripple of magnitudes looks flat", 0.0802, 0.0821, ColourScale::FromZero, highestColour, highestColour},
        {"the same ripple over its own span", 0.0802, 0.0821, ColourScale::ValueSpan, lowestColour, highestColour},
        {"magnitudes from 0", 0.0, 3.0, ColourScale::FromZero, lowestColour, highestColour},
        {"a body that did not move has the colour of 0", 0.0, 0.0, ColourScale::FromZero, lowestColour, lowestColour},
    };
    for (const auto& scale : cases) {
        CoreIoAlign::drawPicture(picturePath(), twoSquares(scale.left, scale.right, scale.scale), {});
        const Image image;
        const int row = image.height() / 2;
        const std::vector<PixelRun> shaded = runs(image, row, false, 0, image.width() - 1, coloured);
        ASSERT_FALSE(shaded.empty()) << scale.what;
        const PixelRun body = shaded.front();
        ASSERT_GT(body.last - body.first, image.width() / 3) << scale.what;
        const int quarter = (body.last - body.first) / 4;
        EXPECT_TRUE(near(image.at(body.first + quarter, row), scale.leftColour)) << scale.what;
        EXPECT_TRUE(near(image.at(body.last - quarter, row), scale.rightColour)) << scale.what;
    }
}

TEST(Picture, TicksBothAxesAtTheSameRoundMaterialCoordinatesFromTheBodysEdge)
{
    CoreIoAlign::drawPicture(picturePath(), twoSquares(0, 1), {"", "", {"u", "v"}});
    const Image image;
    // The body spans u from 0 to 2 and v from 0 to 1; the ticks stand outside its frame.
    const std::vector<PixelRun> rows = runs(image, image.height() / 2, false, 0, image.width() - 1, coloured);
    ASSERT_FALSE(rows.empty());
    const PixelRun across = rows.front();
    const std::vector<PixelRun> columns = runs(image, static_cast<int>(across.centre()), true, 0, image.height() - 1,
                                               coloured);
    ASSERT_FALSE(columns.empty());
    const PixelRun up = columns.front();
    const auto material = [](const std::vector<PixelRun>& ticks, double zero, double one, double extent) {
        std::vector<double> coordinates;
        for (const PixelRun& tick : ticks)
            coordinates.push_back((tick.centre() - zero) / (one - zero) * extent);
        std::sort(coordinates.begin(), coordinates.end());
        return coordinates;
    };
    const struct {
        const char* name;
        std::vector<double> ticks;
        double extent;
    } axes[] = {
        {"u",
         material(runs(image, up.last + 4, false, across.first - 3, across.last + 3, dark), across.first, across.last,
                  2.0),
         2.0},
        {"v", material(runs(image, across.first - 4, true, up.first - 3, up.last + 3, dark), up.last, up.first, 1.0),
         1.0},
    };
    ASSERT_GE(axes[0].ticks.size(), 3u);
    const double step = axes[0].ticks[1] - axes[0].ticks[0];
    const double factor = step / std::pow(10.0, std::floor(std::log10(step) + 0.01));
    EXPECT_TRUE(std::abs(factor - 1) < 0.03 || std::abs(factor - 2) < 0.06 || std::abs(factor - 5) < 0.15) << step;
    for (const auto& axis : axes) {
        EXPECT_EQ(axis.ticks.size(), static_cast<std::size_t>(std::floor(axis.extent / step + 0.01)) + 1) << axis.name;
        for (std::size_t k = 0; k < axis.ticks.size(); ++k)
            EXPECT_NEAR(axis.ticks[k], static_cast<double>(k) * step, 0.01 * axis.extent) << axis.name << k;
    }
}

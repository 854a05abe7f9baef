#include "Picture.h"
#include "SampleBodies.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <stdexcept>

TEST(Picture, WritesAPngOfTheRequestedSizeShowingTheBodyAndRefusesAMissingFolder)
{
    const CoreIoSamples::SampleBody sheet = CoreIoSamples::makeSheet({}, {8, 6, 0.0, 1});
    CoreIoAlign::PictureMesh mesh;
    for (std::size_t i = 0; i < sheet.numNodes(); ++i) {
        mesh.points.push_back({sheet.initCoord0[i], sheet.initCoord1[i]});
        mesh.values.push_back(sheet.initCoord0[i]);
        mesh.outside.push_back(i == 0);
    }
    mesh.triangles = sheet.triangles;
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "coreio-picture-test.png";
    CoreIoAlign::drawPicture(path.string(), mesh, {"sheet", "u [length unit]"}, {640, 400});

    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image), 640);
    EXPECT_EQ(cairo_image_surface_get_height(image), 400);
    // The plot's middle row runs through the colour map: many distinct colours, not a blank page.
    const unsigned char* row = cairo_image_surface_get_data(image) + 200 * cairo_image_surface_get_stride(image);
    std::set<std::uint32_t> colours;
    for (int x = 0; x < 640; ++x) {
        colours.insert(reinterpret_cast<const std::uint32_t*>(row)[x] & 0xffffffu);
    }
    EXPECT_GT(colours.size(), 50u);
    cairo_surface_destroy(image);
    std::filesystem::remove(path);

    EXPECT_THROW(CoreIoAlign::drawPicture("/nonexistent-folder/picture.png", mesh, {}, {640, 400}), std::runtime_error);
}

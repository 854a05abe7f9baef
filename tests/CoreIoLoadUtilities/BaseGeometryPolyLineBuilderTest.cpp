#include "BaseGeometryPolyLineBuilder.h"
#include "Business_BaseGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace {

using Calvora::PolyLine;
using PlainPoint = Calvora::Point<double, 3>;
using Normal = Calvora::Vector<double, 3>;

template <typename PolyLineT, typename Record>
std::shared_ptr<PolyLineT> build(const Record& record)
{
    Calvora::BaseGeometryPolyLineBuilder<PolyLineT> builder;
    static_cast<CoreIo::CurveBuilderInterface&>(builder).build(record);
    return builder.getPolyLine();
}

TEST(BaseGeometryPolyLineBuilder, BuildsPointsFromEitherLayoutAndNormalsForTheFirstNumNormalsOnly)
{
    // Four points with a normal each; only the first numNormals normals are there to be read.
    const std::vector<float> x{0.1f, 1.0f, 2.0f, 3.0f}, y{0.0f, 0.3f, 0.0f, -0.3f}, z{0.7f, 0.0f, 0.5f, 0.0f};
    const std::vector<float> nx{0.0f, 0.6f, 0.0f, 0.1f}, ny{0.0f, 0.0f, 1.0f, 0.0f}, nz{1.0f, 0.8f, 0.0f, 0.9f};
    const std::vector<float> coordinates{0.1f, 0.0f, 0.7f, 1.0f, 0.3f, 0.0f, 2.0f, 0.0f, 0.5f, 3.0f, -0.3f, 0.0f};
    const std::vector<float> normals{0.0f, 0.0f, 1.0f, 0.6f, 0.0f, 0.8f, 0.0f, 1.0f, 0.0f, 0.1f, 0.0f, 0.9f};
    const struct {
        std::size_t numPoints, numNormals;
    } cases[] = {{4, 4}, {4, 2}, {4, 0}, {2, 9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.numNormals);
        const std::size_t read = std::min(c.numPoints, c.numNormals);
        const auto copy = [&](const std::vector<float>& values, std::size_t count) {
            return std::vector<float>(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count));
        };
        const std::vector<float> cnx = copy(nx, read), cny = copy(ny, read), cnz = copy(nz, read);
        const std::vector<float> rowNormals = copy(normals, 3 * read);  // a sanitizer build catches reads past them
        const CoreIo::CurveBuilderParamColMajor columns{c.numPoints, x.data(), y.data(), z.data(),
                                                        cnx.data(),  cny.data(), cnz.data(), c.numNormals};
        const CoreIo::CurveBuilderParamRowMajor rows{c.numPoints, coordinates.data(), rowNormals.data(), c.numNormals};

        for (const auto& polyLine : {build<PolyLine<Calvora::Point3N>>(columns), build<PolyLine<Calvora::Point3N>>(rows)}) {
            ASSERT_EQ(polyLine->size(), c.numPoints);
            EXPECT_EQ(polyLine->getTolerance(), 0.1);
            for (std::size_t i = 0; i < c.numPoints; ++i) {
                const auto& point = polyLine->getPoints()[i];
                EXPECT_EQ(static_cast<const PlainPoint&>(point), (PlainPoint{x[i], y[i], z[i]}));
                EXPECT_EQ(point.getNormal(), (i < read ? Normal{nx[i], ny[i], nz[i]} : Normal{})) << i;
            }
        }
        const auto plain = build<PolyLine<PlainPoint>>(columns);
        ASSERT_EQ(plain->size(), c.numPoints);
        EXPECT_EQ(plain->getPoints()[0].x, 0.100000001490116119384765625);
    }
}

}  // namespace

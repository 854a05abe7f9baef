#include "Business_Algorithm.h"

#include "MaterialPlane.h"

#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace Calvora {

MaterialPointLocator::MaterialPointLocator(std::shared_ptr<const MaterialPlane> plane) : plane_(std::move(plane))
{
}

MaterialPointLocator::~MaterialPointLocator() = default;

std::vector<VertexLocation> MaterialPointLocator::locate(const std::vector<Point<double, 3>>& points) const
{
    if (points.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw std::invalid_argument("MaterialPointLocator: " + std::to_string(points.size()) +
                                    " points are more than a location order can number");
    const auto pointAt = [&](std::size_t k) -> const Point<double, 3>& { return points[k]; };
    std::vector<VertexLocation> locations(points.size());
    plane_->locateEach(
        plane_->locationOrder(points.size(), pointAt), pointAt,
        [&](std::size_t k) { return std::array<const void*, 1>{&locations[k]}; },
        [&](std::size_t k, const MaterialPlane::Hit& hit) { locations[k] = plane_->locationOf(hit); });
    return locations;
}

}  // namespace Calvora

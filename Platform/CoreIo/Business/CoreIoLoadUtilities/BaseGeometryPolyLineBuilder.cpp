#include "BaseGeometryPolyLineBuilder.h"

#include "MeshBuildPhases.h"

#include <type_traits>

namespace Calvora {
namespace {

constexpr double polyLineTolerance = 0.1;

template <typename PolyLineT>
constexpr bool hasPointNormals = std::is_same_v<PolyLineT, PolyLine<Point3N>>;

// A new polyline of numPoints points, point i set by setPoint(point, i).
template <typename PolyLineT, typename SetPoint>
std::shared_ptr<PolyLineT> makePolyLine(std::size_t numPoints, const SetPoint& setPoint)
{
    auto polyLine = std::make_shared<PolyLineT>(polyLineTolerance);
    polyLine->resize(numPoints);
    std::size_t i = 0;
    for (auto& point : *polyLine)
        setPoint(point, i++);
    return polyLine;
}

// Sets a plain point from positions(i), its coordinates written directly.
template <typename Items>
auto plainPoints(const Items& positions)
{
    return [positions](Point<double, 3>& point, std::size_t i) {
        const FloatTriple position = positions(i);
        point.x = static_cast<double>(position.x);
        point.y = static_cast<double>(position.y);
        point.z = static_cast<double>(position.z);
    };
}

// Sets a point from positions(i), with the normal normals(i) for the first numNormals points.
template <typename Items>
auto pointsWithNormals(const Items& positions, const Items& normals, std::size_t numNormals)
{
    return [positions, normals, numNormals](Point3N& point, std::size_t i) {
        const FloatTriple position = positions(i);
        const double x = static_cast<double>(position.x);
        const double y = static_cast<double>(position.y);
        const double z = static_cast<double>(position.z);
        if (i < numNormals) {
            const FloatTriple normal = normals(i);
            point.set(x, y, z, static_cast<double>(normal.x), static_cast<double>(normal.y),
                      static_cast<double>(normal.z));
        } else {
            point.set(x, y, z);
        }
    };
}

}  // namespace

template <typename PolyLineT>
BaseGeometryPolyLineBuilder<PolyLineT>::BaseGeometryPolyLineBuilder() = default;

template <typename PolyLineT>
BaseGeometryPolyLineBuilder<PolyLineT>::~BaseGeometryPolyLineBuilder() = default;

// A plain polyline reads no normal field of the record.
template <typename PolyLineT>
void BaseGeometryPolyLineBuilder<PolyLineT>::build(const CoreIo::CurveBuilderParamColMajor& param)
{
    const ColumnMajorItems positions{param.x, param.y, param.z};
    if constexpr (hasPointNormals<PolyLineT>)
        polyLine = makePolyLine<PolyLineT>(param.numPoints,
                                           pointsWithNormals(positions, ColumnMajorItems{param.nx, param.ny, param.nz},
                                                             param.numNormals));
    else
        polyLine = makePolyLine<PolyLineT>(param.numPoints, plainPoints(positions));
}

template <typename PolyLineT>
void BaseGeometryPolyLineBuilder<PolyLineT>::build(const CoreIo::CurveBuilderParamRowMajor& param)
{
    const RowMajorItems positions{param.coordinates};
    if constexpr (hasPointNormals<PolyLineT>)
        polyLine = makePolyLine<PolyLineT>(param.numPoints, pointsWithNormals(positions, RowMajorItems{param.normals},
                                                                              param.numNormals));
    else
        polyLine = makePolyLine<PolyLineT>(param.numPoints, plainPoints(positions));
}

template <typename PolyLineT>
std::shared_ptr<PolyLineT> BaseGeometryPolyLineBuilder<PolyLineT>::getPolyLine() const
{
    return polyLine;
}

template class BaseGeometryPolyLineBuilder<PolyLine<Point<double, 3>>>;
template class BaseGeometryPolyLineBuilder<PolyLine<Point3N>>;

}  // namespace Calvora

#pragma once
// Plain-value views of what the builders make, and records that hand a sample body to a builder:
// the failure-safety and thread tests compare a product with the body it was built from.

#include "BaseGeometryPolyLineBuilder.h"
#include "Business_BaseGeometry.h"
#include "SampleBodies.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace Reliability {

struct MeshContent {
    struct VertexContent {
        std::array<double, 6> positionAndNormal;
        std::int32_t index;
        bool operator==(const VertexContent&) const = default;
    };
    struct TriangleContent {
        std::array<std::int64_t, 3> corners;  // positions in the mesh's vertex container; -1: not a vertex of it
        std::int32_t index;
        bool operator==(const TriangleContent&) const = default;
    };
    std::vector<VertexContent> vertices;
    std::vector<TriangleContent> triangles;
    bool hasNormals = false;
    bool operator==(const MeshContent&) const = default;
};

MeshContent contentOf(const Calvora::Mesh& mesh);
// The mesh a builder makes from `body`, vertex i standing for node mapping[i] (identity if empty).
MeshContent expectedMesh(const CoreIoSamples::SampleBody& body, const std::vector<int>& mapping = {});

// Position and normal of a polyline point; points without a normal show a zero one.
using PointContent = std::array<double, 6>;

template <typename PolyLineT>
constexpr bool pointsHaveNormals = std::is_same_v<PolyLineT, Calvora::PolyLine<Calvora::Point3N>>;

template <typename PolyLineT>
std::vector<PointContent> pointsOf(const PolyLineT& polyLine)
{
    std::vector<PointContent> points;
    for (const auto& point : polyLine.getPoints()) {
        if constexpr (pointsHaveNormals<PolyLineT>)
            points.push_back({point.x, point.y, point.z, point.getNormal().x, point.getNormal().y, point.getNormal().z});
        else
            points.push_back({point.x, point.y, point.z, 0.0, 0.0, 0.0});
    }
    return points;
}

// The points a polyline builder makes from the nodes of `body`.
template <typename PolyLineT>
std::vector<PointContent> expectedPoints(const CoreIoSamples::SampleBody& body)
{
    std::vector<PointContent> points;
    for (std::size_t i = 0; i < body.numNodes(); ++i) {
        const bool normal = pointsHaveNormals<PolyLineT>;
        points.push_back({body.x[i], body.y[i], body.z[i], normal ? body.nx[i] : 0.0, normal ? body.ny[i] : 0.0,
                          normal ? body.nz[i] : 0.0});
    }
    return points;
}

// A sample body's records in both layouts, pointing into the body and into row-major copies.
class BodyRecords {
public:
    explicit BodyRecords(CoreIoSamples::SampleBody sampleBody);

    template <typename Builder>
    void buildMesh(Builder& builder, CoreIo::Layout layout, const std::vector<int>& solverIndexMapping = {}) const
    {
        if (layout == CoreIo::Layout::ColumnMajor)
            builder.build(withTriangles(withColumns(CoreIo::MeshBuilderParamColMajor{}), solverIndexMapping));
        else
            builder.build(withTriangles(withRows(CoreIo::MeshBuilderParamRowMajor{}), solverIndexMapping));
    }

    // The body's nodes as the points of a curve, each with its normal.
    template <typename Builder>
    void buildCurve(Builder& builder, CoreIo::Layout layout) const
    {
        if (layout == CoreIo::Layout::ColumnMajor)
            builder.build(withColumns(CoreIo::CurveBuilderParamColMajor{}));
        else
            builder.build(withRows(CoreIo::CurveBuilderParamRowMajor{}));
    }

    CoreIoSamples::SampleBody body;

private:
    template <typename Record>
    Record withColumns(Record record) const
    {
        setCounts(record);
        record.x = body.x.data(), record.y = body.y.data(), record.z = body.z.data();
        record.nx = body.nx.data(), record.ny = body.ny.data(), record.nz = body.nz.data();
        return record;
    }

    template <typename Record>
    Record withRows(Record record) const
    {
        setCounts(record);
        record.coordinates = coordinates.data();
        record.normals = normals.data();
        return record;
    }

    template <typename Record>
    void setCounts(Record& record) const
    {
        if constexpr (requires { record.numPoints; })
            record.numPoints = record.numNormals = body.numNodes();
        else
            record.numNodes = record.numNormals = body.numNodes();
    }

    template <typename Record>
    Record withTriangles(Record record, const std::vector<int>& solverIndexMapping) const
    {
        record.numTriangles = body.numTriangles();
        record.triangles = body.triangles.data();
        record.solverIndexMapping = solverIndexMapping.data();
        return record;
    }

    std::vector<float> coordinates;
    std::vector<float> normals;
};

}  // namespace Reliability

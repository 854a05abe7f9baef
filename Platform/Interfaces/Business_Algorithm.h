#pragma once
// Relates two states of a body through their material (initial) coordinates: locates each vertex
// of the later state in the earlier state's initial-coordinate mesh and interpolates its shape.

#include "Business_Algorithm_export.h"
#include "Business_BaseGeometry.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace Calvora {

// How a material point was found in the before state.
enum class MatchStatus : std::uint8_t {
    Coincident = 0,  // on a before vertex: the matching's vertexIndex is not negative
    Inside = 1,      // in a before triangle
    Near = 2,        // outside the before body, within searchDistance of its nearest triangle
    Outside = 3,     // not located
};

// Where a material point lies in the before state, as weights of a before triangle's corners.
struct VertexLocation {
    MatchStatus status = MatchStatus::Outside;
    int triangle = -1;  // the triangle of initCoordMeshBefore (and of meshBefore) that holds the
                        // point, or the nearest one for Near; -1 for Outside
    std::array<int, 3> vertices{-1, -1, -1};  // its corners as vertices of meshBefore (through the
                                              // before vertex map); -1 for Outside
    std::array<double, 3> weights{};  // of those corners at the point (at its nearest point in the
                                      // triangle for Near): non-negative, summing to 1; 1 on the
                                      // corner for Coincident; all 0 for Outside
};

class BUSINESS_ALGORITHM_EXPORT MaterialFixedMeshAligner {
public:
    // Element i stands for vertex i of meshAfter.
    struct MatchingEl {
        int vertexIndex;    // the before vertex at the same material point; negative: none
        int triangleIndex;  // the triangle of initCoordMeshBefore that holds it; negative: none
    };

    MaterialFixedMeshAligner();
    ~MaterialFixedMeshAligner();
    MaterialFixedMeshAligner(const MaterialFixedMeshAligner&) = delete;
    MaterialFixedMeshAligner& operator=(const MaterialFixedMeshAligner&) = delete;

    const Mesh* meshBefore = nullptr;  // not owned
    const Mesh* initCoordMeshBefore = nullptr;
    const Mesh* meshAfter = nullptr;
    const Mesh* initCoordMeshAfter = nullptr;

    // How far outside the before mesh a point may lie and still take the nearest triangle;
    // negative: half the mean edge length of initCoordMeshBefore.
    double searchDistance = -1.0;

    // Initial-coordinate vertex -> 3D vertex; without a map, vertex k stands for 3D vertex k.
    void setInitCoordVertexTo3dVertexBefore(std::shared_ptr<const std::vector<int>> map);
    void setInitCoordVertexTo3dVertexAfter(std::shared_ptr<const std::vector<int>> map);

    // The before shape with the after topology; biggestSquareError is the largest squared
    // distance of a located point outside the before mesh.
    std::shared_ptr<Mesh> computeMeshBeforeWithTopologyOfMeshAfter(double& biggestSquareError,
                                                                   std::vector<MatchingEl>* matching) const;

    // Wall-clock seconds spent in each phase of one computation.
    struct PhaseTimings {
        double indexBuild = 0.0;   // compact copies of the before state and its spatial index
        double location = 0.0;     // locating every after vertex and interpolating its position
        double alignedMesh = 0.0;  // copying meshAfter and computing the normals
    };

    // As above; also reports the phase timings when timings is not null. Every overload takes a
    // null matching when only the mesh is wanted, and throws std::invalid_argument for missing
    // meshes and for vertex counts or maps that do not fit.
    std::shared_ptr<Mesh> computeMeshBeforeWithTopologyOfMeshAfter(double& biggestSquareError,
                                                                   std::vector<MatchingEl>* matching,
                                                                   PhaseTimings* timings) const;

    // As above; also fills locations, one per vertex of meshAfter, when it is not null. Null
    // costs nothing.
    std::shared_ptr<Mesh> computeMeshBeforeWithTopologyOfMeshAfter(double& biggestSquareError,
                                                                   std::vector<MatchingEl>* matching,
                                                                   PhaseTimings* timings,
                                                                   std::vector<VertexLocation>* locations) const;

    // Locates arbitrary material points in the before state by the rules of the call above
    // (searchDistance, and one period either way across the seam of an unrolled tube).
    // - points: x, y = the two initial coordinates in the after body's (unrolled) frame; z is
    //   ignored. Points that are not numbers come out Outside.
    // - returns one location per point, in order.
    // - needs meshBefore and initCoordMeshBefore (and the before vertex map, if any), not the after
    //   meshes; throws std::invalid_argument when they are missing or do not fit, or when there
    //   are more points than an int can number.
    // Builds the before state's index once per call: pass all points of a stage in one call.
    std::vector<VertexLocation> locateMaterialPoints(const std::vector<Point<double, 3>>& points) const;

private:
    std::shared_ptr<const std::vector<int>> mapBefore_;
    std::shared_ptr<const std::vector<int>> mapAfter_;
};

}  // namespace Calvora

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

    // As above; also reports the phase timings when timings is not null. Either overload takes a
    // null matching when only the mesh is wanted, and throws std::invalid_argument for missing
    // meshes and for vertex counts or maps that do not fit.
    std::shared_ptr<Mesh> computeMeshBeforeWithTopologyOfMeshAfter(double& biggestSquareError,
                                                                  std::vector<MatchingEl>* matching,
                                                                  PhaseTimings* timings) const;

private:
    std::shared_ptr<const std::vector<int>> mapBefore_;
    std::shared_ptr<const std::vector<int>> mapAfter_;
};

// How a point of the later state found its material point in the earlier state.
enum class MatchStatus : std::uint8_t { Coincident = 0, Inside = 1, Near = 2, Outside = 3 };

// Where a point of the later state lies in the earlier state.
struct VertexLocation {
    MatchStatus status;
    int triangle;                   // the earlier triangle that holds the point; -1 when outside
    std::array<int, 3> vertices;    // that triangle's earlier 3D vertices; -1 when outside
    std::array<double, 3> weights;  // barycentric weights of the vertices, summing to 1
};

}  // namespace Calvora

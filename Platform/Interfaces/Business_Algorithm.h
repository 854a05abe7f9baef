#pragma once
// Relates two states of a body through their material (initial) coordinates: locates each vertex
// of the later state in the earlier state's initial-coordinate mesh and interpolates its shape.
// A caller that wants more than the results of a call (where each vertex lies, the seam, the
// folds) keeps an AlignmentRecorder while the call runs, also when another library makes it.

#include "Business_Algorithm_export.h"
#include "Business_BaseGeometry.h"
#include "Business_EvaluationGeometry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
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

    friend bool operator==(const VertexLocation&, const VertexLocation&) = default;
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

    // Initial-coordinate vertex -> 3D vertex; without a map, vertex k stands for 3D vertex k. A map
    // handed out by TubeInitialCoordinatesConverter brings the seam of its cut: across the seam of
    // the before body, points are located one period either way.
    void setInitCoordVertexTo3dVertexBefore(std::shared_ptr<const std::vector<int>> map);
    void setInitCoordVertexTo3dVertexAfter(std::shared_ptr<const std::vector<int>> map);

    // The before shape with the after topology.
    // - matching: null when only the mesh is wanted; else one element per vertex of meshAfter.
    //   A vertex at the same material point as a before vertex gets that vertex, whichever before
    //   triangle holds the point (also a node hanging on a neighbour's edge).
    // - biggestSquareError: the largest squared distance of a point located outside the before
    //   mesh (Near); 0 when there is none.
    // - returns a new mesh: vertex i at the before shape at the material point of after vertex i,
    //   or at its own position where that is not located; the after triangles; normals computed.
    // - hands its AlignmentRecord to the innermost AlignmentRecorder of this thread, if any.
    // - throws std::invalid_argument for missing meshes and for vertex counts or maps that do
    //   not fit.
    std::shared_ptr<Mesh> computeMeshBeforeWithTopologyOfMeshAfter(double& biggestSquareError,
                                                                   std::vector<MatchingEl>* matching) const;

private:
    std::shared_ptr<const std::vector<int>> mapBefore_;
    std::shared_ptr<const std::vector<int>> mapAfter_;
};

// Wall-clock seconds spent in each phase of one alignment.
struct PhaseTimings {
    double indexBuild = 0.0;   // the before state's plane and its point index
    double location = 0.0;     // locating every after vertex and placing it
    double alignedMesh = 0.0;  // the aligned mesh's vertices, triangles and normals
};

class MaterialPlane;

// Locates material points in the before state of an alignment, by the rules of the alignment
// (search distance; one period either way across the seam of an unrolled tube). Owns all it
// needs: it outlives the meshes and the aligner of the call that made it (the library frees its
// initial-coordinate meshes when it returns). Made by the aligner for its record.
class BUSINESS_ALGORITHM_EXPORT MaterialPointLocator {
public:
    explicit MaterialPointLocator(std::shared_ptr<const MaterialPlane> plane);
    ~MaterialPointLocator();

    // points: x, y = initial coordinates in the after body's frame (z ignored); NaN -> Outside.
    // Returns one location per point, in order. Throws std::invalid_argument when there are more
    // points than an int can number. Pass all points of a stage in one call: the order in which
    // they are located is chosen per call.
    std::vector<VertexLocation> locate(const std::vector<Point<double, 3>>& points) const;

private:
    std::shared_ptr<const MaterialPlane> plane_;
};

// What one computeMeshBeforeWithTopologyOfMeshAfter call found besides its results.
struct AlignmentRecord {
    std::vector<VertexLocation> locations;  // one per vertex of meshAfter
    double biggestSquareError = 0.0;        // as returned
    double searchDistance = 0.0;            // the one used
    std::shared_ptr<const TubeInitialCoordinatesConverter::Seam> seamBefore, seamAfter;  // null: not cut
    // Triangles of each initial-coordinate mesh (as aligned: unrolled for a tube) that wind
    // against the prevailing winding: a material plane that folds over itself. Degenerate
    // triangles count for neither winding; a correctly unrolled tube has none.
    std::size_t foldedBefore = 0, foldedAfter = 0;
    std::shared_ptr<Mesh> alignedMesh;  // the mesh the call returned (shared, not copied)
    std::shared_ptr<const MaterialPointLocator> before;
    PhaseTimings timings;
};

// While one lives, every computeMeshBeforeWithTopologyOfMeshAfter call on the same thread hands
// its record to it, also when the caller is another library. Recorders nest (the innermost
// records) and end in the reverse order of their making, on the thread that made them, as local
// variables do. Not copyable.
class BUSINESS_ALGORITHM_EXPORT AlignmentRecorder {
public:
    AlignmentRecorder();
    ~AlignmentRecorder();
    AlignmentRecorder(const AlignmentRecorder&) = delete;
    AlignmentRecorder& operator=(const AlignmentRecorder&) = delete;

    // The record of the latest call on this thread since construction (or since the last take);
    // empty when none ran or that call threw.
    std::optional<AlignmentRecord> take();

private:
    friend std::optional<AlignmentRecord>* innermostRecordSlot();

    AlignmentRecorder* outer_;
    std::optional<AlignmentRecord> record_;
};

}  // namespace Calvora

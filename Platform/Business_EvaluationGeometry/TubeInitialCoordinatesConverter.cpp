#include "Business_EvaluationGeometry.h"

#include "TubeSeam.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <stdexcept>

namespace Calvora {
namespace {

// Cuts a mesh along a seam: appends one copy, moved up by the period, of every low corner of a
// crossing triangle and re-points the crossing triangles at the copies. Appending to the deque
// leaves every vertex in place, so the mesh's triangles stay valid.
class SeamCutter : public MeshModifier {
public:
    explicit SeamCutter(Mesh& mesh) : MeshModifier(mesh) {}

    void cut(const TubeSeam& seam)
    {
        std::vector<SeamVertex> seamVertices = lowCornersOf(seam);
        appendMovedCopies(seamVertices, seam);
        for (const SeamCrossing& crossing : seam.crossings) {
            Triangle& triangle = triangles()[crossing.triangle];
            for (unsigned i = 0; i < 3; ++i)
                if (isLow(crossing, i))
                    triangle.corners[i] = find(seamVertices, triangle.corners[i]).copy;
        }
    }

    // Entry k: the 3D vertex that vertex k stands for, i.e. its index; copies keep their original's.
    std::shared_ptr<const std::vector<int>> vertexMap()
    {
        auto map = std::make_shared<std::vector<int>>();
        map->reserve(vertices().size());
        for (const Vertex& vertex : vertices())
            map->push_back(vertex.index);
        return map;
    }

private:
    struct SeamVertex {
        const Vertex* original;
        std::size_t firstUse;  // rank among the low corners, in the order of the crossings
        Vertex* copy;
    };

    static bool isLow(const SeamCrossing& crossing, unsigned corner) { return (crossing.lowCorners >> corner) & 1u; }

    // Sorted by address, one entry per vertex however many crossings share it.
    std::vector<SeamVertex> lowCornersOf(const TubeSeam& seam)
    {
        std::vector<SeamVertex> corners;
        corners.reserve(3 * seam.crossings.size());
        for (const SeamCrossing& crossing : seam.crossings)
            for (unsigned i = 0; i < 3; ++i)
                if (isLow(crossing, i))
                    corners.push_back({triangles()[crossing.triangle].corners[i], corners.size(), nullptr});
        std::sort(corners.begin(), corners.end(), [](const SeamVertex& a, const SeamVertex& b) {
            return a.original != b.original ? std::less<>{}(a.original, b.original) : a.firstUse < b.firstUse;
        });
        corners.erase(std::unique(corners.begin(), corners.end(),
                                  [](const SeamVertex& a, const SeamVertex& b) { return a.original == b.original; }),
                      corners.end());
        return corners;
    }

    // The copies follow the order in which the crossings first use their originals, so that the
    // result does not depend on where the vertices happen to lie in memory.
    void appendMovedCopies(std::vector<SeamVertex>& seamVertices, const TubeSeam& seam)
    {
        std::vector<SeamVertex*> byFirstUse;
        byFirstUse.reserve(seamVertices.size());
        for (SeamVertex& seamVertex : seamVertices)
            byFirstUse.push_back(&seamVertex);
        std::sort(byFirstUse.begin(), byFirstUse.end(),
                  [](const SeamVertex* a, const SeamVertex* b) { return a->firstUse < b->firstUse; });
        for (SeamVertex* seamVertex : byFirstUse) {
            Vertex copy = *seamVertex->original;
            (seam.axis == PlaneAxis::U ? copy.x : copy.y) += seam.period;
            vertices().push_back(copy);
            seamVertex->copy = &vertices().back();
        }
    }

    static const SeamVertex& find(const std::vector<SeamVertex>& seamVertices, const Vertex* original)
    {
        return *std::lower_bound(seamVertices.begin(), seamVertices.end(), original,
                                 [](const SeamVertex& entry, const Vertex* vertex) {
                                     return std::less<>{}(entry.original, vertex);
                                 });
    }
};

}  // namespace

TubeInitialCoordinatesConverter::TubeInitialCoordinatesConverter() = default;

TubeInitialCoordinatesConverter::~TubeInitialCoordinatesConverter() = default;

void TubeInitialCoordinatesConverter::setTubeSize(double circumference)
{
    if (!(std::isfinite(circumference) && circumference > 0.0)) {
        std::ostringstream message;
        message
            << "TubeInitialCoordinatesConverter::setTubeSize: the circumference must be a positive finite number, got "
            << circumference;
        throw std::invalid_argument(message.str());
    }
    circumference_ = circumference;
}

bool TubeInitialCoordinatesConverter::wrapsAround(const Mesh& initCoordMesh)
{
    bool facesUp = false;
    bool facesDown = false;
    const auto end = initCoordMesh.endTriangle();
    for (auto triangle = initCoordMesh.beginTriangle(); triangle != end && !(facesUp && facesDown); ++triangle) {
        const double z = triangle->getNormal().z;
        facesUp = facesUp || z > 0.0;
        facesDown = facesDown || z < 0.0;
    }
    return facesUp && facesDown;
}

std::optional<TubeInitialCoordinatesConverter::Seam>
TubeInitialCoordinatesConverter::findSeam(const Mesh& initCoordMesh) const
{
    const TubeSeam seam = findTubeSeam(initCoordMesh, circumference_);
    if (seam.crossings.empty())
        return std::nullopt;
    return Seam{seam.axis, seam.period};
}

void TubeInitialCoordinatesConverter::cut3dTubeAtSeamAndUnrollWithInitCoords(
    std::shared_ptr<Mesh> initCoordMesh, std::shared_ptr<const std::vector<int>>& initCoordVertexTo3dVertex) const
{
    if (!initCoordMesh)
        throw std::invalid_argument(
            "TubeInitialCoordinatesConverter: no initial-coordinate mesh given (empty pointer)");
    // Everything is checked before the mesh changes, so a refused mesh stays as it was.
    const TubeSeam seam = findTubeSeam(*initCoordMesh, circumference_);
    SeamCutter cutter(*initCoordMesh);
    cutter.cut(seam);
    initCoordVertexTo3dVertex = cutter.vertexMap();
}

}  // namespace Calvora

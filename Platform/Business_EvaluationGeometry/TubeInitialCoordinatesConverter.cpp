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

    // Also fills the seam's originalVertices and copies.
    void cut(Seam& seam)
    {
        seam.originalVertices = vertices().size();
        std::vector<SeamVertex> seamVertices = lowCornersOf(seam);
        findPositions(seamVertices);
        appendMovedCopies(seamVertices, seam);
        for (const SeamCrossing& crossing : seam.crossings) {
            Triangle& triangle = triangles()[crossing.triangle];
            for (unsigned i = 0; i < 3; ++i)
                if (isLow(crossing, i))
                    triangle.corners[i] = find(seamVertices, triangle.corners[i]).copy;
        }
        seam.copies.reserve(seamVertices.size());
        for (const SeamVertex& seamVertex : seamVertices)
            seam.copies.emplace_back(seamVertex.position, seamVertex.copyPosition);
        std::sort(seam.copies.begin(), seam.copies.end());
    }

private:
    struct SeamVertex {
        const Vertex* original;
        std::size_t firstUse;  // rank among the low corners, in the order of the crossings
        int position = -1;     // the original's
        Vertex* copy = nullptr;
        int copyPosition = -1;
    };

    static bool isLow(const SeamCrossing& crossing, unsigned corner) { return (crossing.lowCorners >> corner) & 1u; }

    // Sorted by address, one entry per vertex however many crossings share it.
    std::vector<SeamVertex> lowCornersOf(const Seam& seam)
    {
        std::vector<SeamVertex> corners;
        corners.reserve(3 * seam.crossings.size());
        for (const SeamCrossing& crossing : seam.crossings)
            for (unsigned i = 0; i < 3; ++i)
                if (isLow(crossing, i))
                    corners.push_back({triangles()[crossing.triangle].corners[i], corners.size()});
        std::sort(corners.begin(), corners.end(), [](const SeamVertex& a, const SeamVertex& b) {
            return a.original != b.original ? std::less<>{}(a.original, b.original) : a.firstUse < b.firstUse;
        });
        corners.erase(std::unique(corners.begin(), corners.end(),
                                  [](const SeamVertex& a, const SeamVertex& b) { return a.original == b.original; }),
                      corners.end());
        return corners;
    }

    // Each original's position in the mesh. A vertex's index is its position in meshes made by
    // the builders; only when it is not are the vertices walked in search of the others.
    void findPositions(std::vector<SeamVertex>& seamVertices)
    {
        const PositionalAccess<Mesh::VertexContainer> byPosition(vertices().begin(), vertices().size());
        bool misnumbered = false;
        for (SeamVertex& seamVertex : seamVertices) {
            const auto hinted = static_cast<std::size_t>(static_cast<unsigned>(seamVertex.original->index));
            if (hinted < byPosition.size() && &byPosition[hinted] == seamVertex.original)
                seamVertex.position = static_cast<int>(hinted);
            else
                misnumbered = true;
        }
        if (!misnumbered)
            return;
        int position = 0;
        for (const Vertex& vertex : vertices()) {
            const auto found = findEntry(seamVertices, &vertex);
            if (found != seamVertices.end() && found->original == &vertex)
                found->position = position;
            ++position;
        }
    }

    // The copies follow the order in which the crossings first use their originals, so that the
    // result does not depend on where the vertices happen to lie in memory.
    void appendMovedCopies(std::vector<SeamVertex>& seamVertices, const Seam& seam)
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
            seamVertex->copyPosition = static_cast<int>(vertices().size());
            vertices().push_back(copy);
            seamVertex->copy = &vertices().back();
        }
    }

    static std::vector<SeamVertex>::iterator findEntry(std::vector<SeamVertex>& seamVertices, const Vertex* original)
    {
        return std::lower_bound(seamVertices.begin(), seamVertices.end(), original,
                                [](const SeamVertex& entry, const Vertex* vertex) {
                                    return std::less<>{}(entry.original, vertex);
                                });
    }

    static const SeamVertex& find(std::vector<SeamVertex>& seamVertices, const Vertex* original)
    {
        return *findEntry(seamVertices, original);
    }
};

// The deleter of a map handed out after a cut: the map lies inside its seam, and the map's
// control block keeps the seam alive, so that seamOf finds it through any copy of the map.
struct SeamKeeper {
    std::shared_ptr<const Seam> seam;

    void operator()(const std::vector<int>*) const noexcept {}
};

std::shared_ptr<const std::vector<int>> mapKeeping(std::shared_ptr<const Seam> seam)
{
    const std::vector<int>* map = &seam->vertexMap;
    return {map, SeamKeeper{std::move(seam)}};
}

// Entry k: the 3D vertex that vertex k stands for, i.e. its index; a seam's copies keep their original's.
std::vector<int> vertexIndices(const Mesh& mesh)
{
    std::vector<int> indices;
    indices.reserve(mesh.numberOfVertices());
    for (auto vertex = mesh.beginVertex(), end = mesh.endVertex(); vertex != end; ++vertex)
        indices.push_back(vertex->index);
    return indices;
}

}  // namespace

int TubeInitialCoordinatesConverter::Seam::copyOf(int original) const
{
    const auto found = std::lower_bound(copies.begin(), copies.end(), original,
                                        [](const std::pair<int, int>& entry, int v) { return entry.first < v; });
    return found != copies.end() && found->first == original ? found->second : -1;
}

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

void TubeInitialCoordinatesConverter::cut3dTubeAtSeamAndUnrollWithInitCoords(
    std::shared_ptr<Mesh> initCoordMesh, std::shared_ptr<const std::vector<int>>& initCoordVertexTo3dVertex) const
{
    if (!initCoordMesh)
        throw std::invalid_argument(
            "TubeInitialCoordinatesConverter: no initial-coordinate mesh given (empty pointer)");
    // Everything is checked before the mesh changes, so a refused mesh stays as it was.
    auto seam = std::make_shared<Seam>(findTubeSeam(*initCoordMesh, circumference_));
    if (seam->crossings.empty()) {
        initCoordVertexTo3dVertex = std::make_shared<const std::vector<int>>(vertexIndices(*initCoordMesh));
        return;
    }
    SeamCutter(*initCoordMesh).cut(*seam);
    seam->vertexMap = vertexIndices(*initCoordMesh);
    initCoordVertexTo3dVertex = mapKeeping(std::move(seam));
}

std::shared_ptr<const TubeInitialCoordinatesConverter::Seam>
TubeInitialCoordinatesConverter::seamOf(const std::shared_ptr<const std::vector<int>>& vertexMap)
{
    const auto* keeper = std::get_deleter<SeamKeeper>(vertexMap);
    if (keeper == nullptr || vertexMap.get() != &keeper->seam->vertexMap)
        return nullptr;
    return keeper->seam;
}

std::size_t TubeInitialCoordinatesConverter::foldedTriangles(const Mesh& initCoordMesh)
{
    return countFoldedTriangles(initCoordMesh);
}

}  // namespace Calvora

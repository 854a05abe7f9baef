#include "MeshAndCoord.h"

#include "BaseGeometryMeshBuilder.h"
#include "Persistence_SkinBaseName.h"
#include "ScalarResultsBuilder.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

namespace CoreIo {
namespace {

// The first of the body's results named exactly `name`, or nullptr.
const ResultEntry* findResult(const SimBody& body, const std::string& name)
{
    const auto found = std::find_if(body.results.begin(), body.results.end(),
                                    [&name](const ResultEntry& entry) { return entry.name == name; });
    return found == body.results.end() ? nullptr : &*found;
}

// Loads both initial-coordinate results into one builder; the arrays are told apart by the order
// of delivery. Leaves both outputs as they are when either result is missing.
void readICs(const LoaderInterface& loader, const SimBody& body, std::shared_ptr<std::vector<float>>& initCoord0,
             std::shared_ptr<std::vector<float>>& initCoord1)
{
    const ResultEntry* entry0 = findResult(body, Calvora::SkinBaseName::INITIALCOORD0);
    const ResultEntry* entry1 = findResult(body, Calvora::SkinBaseName::INITIALCOORD1);
    if (entry0 == nullptr || entry1 == nullptr)
        return;

    ScalarResultsBuilder resultsBuilder;
    loader.loadResult(entry0->dataLocation, resultsBuilder, std::nullopt);
    loader.loadResult(entry1->dataLocation, resultsBuilder, std::nullopt);
    initCoord0 = resultsBuilder.getFloatVector(0);
    initCoord1 = resultsBuilder.getFloatVector(1);
}

// Write access to the vertices of an initial-coordinate mesh while they are copied.
class InitialCoordinateVertices : public Calvora::MeshModifier {
public:
    explicit InitialCoordinateVertices(Calvora::Mesh& mesh) : MeshModifier(mesh) {}

    using MeshModifier::setHasNormals;
    using MeshModifier::vertices;
};

// Throws what reading both arrays entry by entry up to `count` would: std::out_of_range at the
// first entry that one of them lacks, the first array's before the second's.
void checkLength(const std::vector<float>& initCoord0, const std::vector<float>& initCoord1, std::size_t count)
{
    const std::size_t missing = std::min(initCoord0.size(), initCoord1.size());
    if (missing < count)
        static_cast<void>(initCoord0.size() <= initCoord1.size() ? initCoord0.at(missing) : initCoord1.at(missing));
}

}  // namespace

MeshAndCoord::MeshAndCoord() = default;

MeshAndCoord::MeshAndCoord(std::shared_ptr<std::vector<float>> initCoord0,
                           std::shared_ptr<std::vector<float>> initCoord1, std::shared_ptr<Calvora::Mesh> mesh)
    : initCoord0(std::move(initCoord0)), initCoord1(std::move(initCoord1)), mesh(std::move(mesh))
{
}

MeshAndCoord::MeshAndCoord(const MeshAndCoord& other) = default;

MeshAndCoord::MeshAndCoord(MeshAndCoord&& other) noexcept = default;

MeshAndCoord& MeshAndCoord::operator=(const MeshAndCoord& other) = default;

MeshAndCoord& MeshAndCoord::operator=(MeshAndCoord&& other) noexcept = default;

// Members go in reverse order of declaration: mesh, then initCoord1, then initCoord0.
MeshAndCoord::~MeshAndCoord() = default;

bool MeshAndCoord::isValid() const
{
    return mesh && initCoord0 && initCoord1;
}

MeshAndCoord readMeshAndICs(const LoaderInterface& loader, const SimBody& body)
{
    Calvora::BaseGeometryMeshBuilder meshBuilder;
    loader.loadMesh(body.meshLocation, meshBuilder);
    std::shared_ptr<std::vector<float>> initCoord0;
    std::shared_ptr<std::vector<float>> initCoord1;
    readICs(loader, body, initCoord0, initCoord1);
    return MeshAndCoord(std::move(initCoord0), std::move(initCoord1), meshBuilder.getMesh());
}

// Copied a storage block at a time, each block's vertices moved while it is in the cache: one
// pass over their memory instead of two.
std::shared_ptr<Calvora::Mesh> initialCoordinateMesh(const MeshAndCoord& record)
{
    if (!record.isValid())
        return nullptr;
    const Calvora::Mesh& mesh = *record.mesh;
    const std::vector<float>& initCoord0 = *record.initCoord0;
    const std::vector<float>& initCoord1 = *record.initCoord1;
    const std::size_t count = mesh.numberOfVertices();
    checkLength(initCoord0, initCoord1, count);

    auto icMesh = std::make_shared<Calvora::Mesh>();
    {
        InitialCoordinateVertices access(*icMesh);
        Calvora::Mesh::VertexContainer& copies = access.vertices();
        const auto originals = Calvora::verticesByPosition(mesh);
        for (std::size_t first = 0; first < count;) {
            const std::size_t last = originals.blockAround(first).second;
            copies.insert(copies.end(), &originals[first], &originals[first] + (last - first));
            const Calvora::PositionalAccess<Calvora::Mesh::VertexContainer> placed(copies.begin(), copies.size());
            for (; first < last; ++first) {
                Calvora::Vertex& vertex = placed[first];
                vertex.x = initCoord0[first];
                vertex.y = initCoord1[first];
                vertex.z = 0.0;
            }
        }
        access.setHasNormals(mesh.hasNormals());
    }
    icMesh->copyTopologyOf(mesh);
    return icMesh;
}

}  // namespace CoreIo

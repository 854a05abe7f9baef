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

std::shared_ptr<Calvora::Mesh> initialCoordinateMesh(const MeshAndCoord& record)
{
    if (!record.isValid())
        return nullptr;
    const std::vector<float>& initCoord0 = *record.initCoord0;
    const std::vector<float>& initCoord1 = *record.initCoord1;
    auto icMesh = std::make_shared<Calvora::Mesh>(*record.mesh);
    std::size_t i = 0;
    for (auto vertex = icMesh->beginVertex(), end = icMesh->endVertex(); vertex != end; ++vertex) {
        vertex->set(static_cast<double>(initCoord0.at(i)), static_cast<double>(initCoord1.at(i)), 0.0);
        ++i;
    }
    return icMesh;
}

}  // namespace CoreIo

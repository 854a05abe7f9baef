#include "ExodusLoaderFuzzEntry.h"

#include "BaseGeometryMeshBuilder.h"
#include "ExodusLoader.h"
#include "MeshAndCoord.h"
#include "QRVService_ExceptionHandling.h"
#include "ScalarResultsBuilder.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace CoreIoFuzz {

namespace {

// Bounds that keep one execution fast on a file that holds many blocks or many steps.
constexpr std::size_t maxBodies = 16;
constexpr std::size_t maxResultsPerBody = 16;

// True if operation returned, false if it threw LoadError or CvException; anything else passes on.
template <typename Operation>
bool completes(Operation&& operation)
{
    try {
        operation();
        return true;
    } catch (const CoreIo::LoadError&) {
        return false;
    } catch (const Calvora::CvException&) {
        return false;
    }
}

void expect(bool kept, const std::string& promise)
{
    if (!kept)
        throw BrokenPromise("broken promise: " + promise);
}

void exercise(const CoreIo::ExodusLoader& loader, const CoreIo::SimBody& body, ExodusFuzzOutcome& outcome)
{
    Calvora::BaseGeometryMeshBuilder builder;
    if (!completes([&] { loader.loadMesh(body.meshLocation, builder); }))
        return;
    const std::shared_ptr<Calvora::Mesh> mesh = builder.getMesh();
    expect(mesh != nullptr, "a mesh load that returns delivers a mesh");
    for (auto triangle = mesh->beginTriangle(); triangle != mesh->endTriangle(); ++triangle)
        for (const Calvora::Vertex* corner : triangle->corners)
            expect(corner != nullptr && corner->index >= 0 &&
                       static_cast<std::size_t>(corner->index) < mesh->numberOfVertices() &&
                       &mesh->getVertex(static_cast<unsigned>(corner->index)) == corner,
                   "every triangle corner is a vertex of its mesh");
    ++outcome.meshes;

    CoreIo::ScalarResultsBuilder results;
    const std::size_t count = std::min(body.results.size(), maxResultsPerBody);
    for (std::size_t i = 0; i < count; ++i)
        completes([&] { loader.loadResult(body.results[i].dataLocation, results, std::nullopt); });
    for (std::size_t i = 0; i < count; ++i) {
        if (const auto values = results.getFloatVector(static_cast<int>(i))) {
            expect(values->size() == mesh->numberOfVertices(), "a result holds one value per node of its body");
            ++outcome.resultArrays;
        }
    }

    CoreIo::MeshAndCoord record;
    if (!completes([&] { record = CoreIo::readMeshAndICs(loader, body); }) || !record.isValid())
        return;
    const std::size_t numNodes = record.mesh->numberOfVertices();
    expect(record.initCoord0->size() == numNodes && record.initCoord1->size() == numNodes,
           "a valid body has one initial coordinate per node in each array");
    ++outcome.validBodies;
}

}  // namespace

ExodusFuzzOutcome fuzzExodusLoader(const std::uint8_t* data, std::size_t size)
{
    // The loader reads only from paths; one name per process, so parallel test processes do not share it.
    const std::string path =
        (std::filesystem::temp_directory_path() / ("coreio-fuzz-" + std::to_string(getpid()) + ".exo")).string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    ExodusFuzzOutcome outcome;
    std::optional<CoreIo::ExodusLoader> loader;
    outcome.opened = completes([&] { loader.emplace(path); });
    for (std::size_t b = 0; outcome.opened && b < std::min(loader->bodies().size(), maxBodies); ++b)
        exercise(*loader, loader->bodies()[b], outcome);
    std::filesystem::remove(path);
    return outcome;
}

}  // namespace CoreIoFuzz

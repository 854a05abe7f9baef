#include "ExodusLoaderFuzzEntry.h"

#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
#include "ExodusLoader.h"
#include "FuzzChecks.h"
#include "MeshAndCoord.h"
#include "QRVService_ExceptionHandling.h"
#include "ScalarResultsBuilder.h"
#include "ServingToolMeshProvider.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

namespace CoreIoFuzz {

namespace {

// Bounds that keep one execution fast on a file that holds many blocks or many steps.
constexpr std::size_t maxBodies = 16;
constexpr std::size_t maxResultsPerBody = 16;

// The input as a file, since the loader reads only from paths; removed again afterwards. The name
// is unique per process, so that parallel test processes do not share it.
class ScratchFile {
public:
    ScratchFile(const std::uint8_t* data, std::size_t size)
        : path_((std::filesystem::temp_directory_path() / ("coreio-fuzz-" + std::to_string(getpid()) + ".exo"))
                    .string())
    {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        if (!out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size)).flush())
            throw std::runtime_error("cannot write the fuzz input to " + path_);
    }
    ~ScratchFile()
    {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The tool mesh builder gets the body's topology and the file's node numbers as mapping.
void loadTopology(const CoreIo::ExodusLoader& loader, const CoreIo::SimBody& body, std::size_t numNodes,
                  ExodusFuzzOutcome& outcome)
{
    const auto provider =
        std::make_shared<ServingToolMeshProvider>(ServingToolMeshProvider::Serving::Covering, numNodes, 0);
    Calvora::BaseGeometryToolMeshBuilder builder(provider);
    const bool loaded =
        completes<CoreIo::LoadError, Calvora::CvException>([&] { loader.loadMesh(body.meshLocation, builder); });
    if (const auto product = builder.getMesh()) {
        checkMeshStructure(*product);
        provider->checkBuild(*product);
    }
    outcome.topologies += loaded ? 1 : 0;
}

void loadResults(const CoreIo::ExodusLoader& loader, const CoreIo::SimBody& body, std::size_t numNodes,
                 ExodusFuzzOutcome& outcome)
{
    CoreIo::ScalarResultsBuilder builder;
    const std::size_t count = std::min(body.results.size(), maxResultsPerBody);
    for (std::size_t i = 0; i < count; ++i) {
        completes<CoreIo::LoadError>(
            [&] { loader.loadResult(body.results[i].dataLocation, builder, std::nullopt); });
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (const auto values = builder.getFloatVector(static_cast<int>(i))) {
            expect(values->size() == numNodes, "a result holds one value per node of its body", i);
            ++outcome.resultArrays;
        }
    }
}

void readMeshAndInitialCoordinates(const CoreIo::ExodusLoader& loader, const CoreIo::SimBody& body,
                                   ExodusFuzzOutcome& outcome)
{
    CoreIo::MeshAndCoord record;
    if (!completes<CoreIo::LoadError>([&] { record = CoreIo::readMeshAndICs(loader, body); }) || !record.isValid())
        return;
    const std::size_t numNodes = record.mesh->numberOfVertices();
    expect(record.initCoord0->size() == numNodes && record.initCoord1->size() == numNodes,
           "a valid body has one initial coordinate per node in each array");
    ++outcome.validBodies;
}

void exercise(const CoreIo::ExodusLoader& loader, const CoreIo::SimBody& body, ExodusFuzzOutcome& outcome)
{
    Calvora::BaseGeometryMeshBuilder builder;
    if (!completes<CoreIo::LoadError>([&] { loader.loadMesh(body.meshLocation, builder); }))
        return;
    const auto mesh = builder.getMesh();
    expect(mesh != nullptr, "a mesh load that returns delivers a mesh");
    checkMeshStructure(*mesh);
    ++outcome.meshes;
    loadTopology(loader, body, mesh->numberOfVertices(), outcome);
    loadResults(loader, body, mesh->numberOfVertices(), outcome);
    readMeshAndInitialCoordinates(loader, body, outcome);
}

}  // namespace

ExodusFuzzOutcome fuzzExodusLoader(const std::uint8_t* data, std::size_t size)
{
    ExodusFuzzOutcome outcome;
    const ScratchFile file(data, size);
    std::optional<CoreIo::ExodusLoader> loader;
    if (!completes<CoreIo::LoadError>([&] { loader.emplace(file.path()); }))
        return outcome;
    outcome.opened = true;
    const std::vector<CoreIo::SimBody>& bodies = loader->bodies();
    outcome.bodies = bodies.size();
    for (std::size_t b = 0; b < std::min(bodies.size(), maxBodies); ++b)
        exercise(*loader, bodies[b], outcome);
    return outcome;
}

}  // namespace CoreIoFuzz

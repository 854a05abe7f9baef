#include "ExodusLoaderFuzzEntry.h"

#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
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

// Runs operation; true if it returned, false if it threw LoadError or, with builders, CvException.
// Any other exception passes through to the fuzzer.
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

void expectSoundStructure(const Calvora::Mesh& mesh)
{
    std::size_t position = 0;
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex) {
        expect(vertex->index >= 0 && static_cast<std::size_t>(vertex->index) == position,
               "vertex " + std::to_string(position) + " carries its position as index");
        ++position;
    }
    position = 0;
    for (auto triangle = mesh.beginTriangle(); triangle != mesh.endTriangle(); ++triangle) {
        expect(triangle->index >= 0 && static_cast<std::size_t>(triangle->index) == position,
               "triangle " + std::to_string(position) + " carries its position as index");
        for (const Calvora::Vertex* corner : triangle->corners) {
            const bool known = corner != nullptr && corner->index >= 0 &&
                               static_cast<std::size_t>(corner->index) < mesh.numberOfVertices() &&
                               &mesh.getVertex(static_cast<unsigned>(corner->index)) == corner;
            expect(known, "every corner of triangle " + std::to_string(position) + " is a vertex of its mesh");
        }
        ++position;
    }
}

// Serves a tool mesh with normals that holds every vertex the mapping names, as the tool mesh
// builder requires of its provider; for a mapping with negative or too many vertices, none.
class CoveringToolMeshProvider : public Calvora::UntransformedMeshProvider {
public:
    explicit CoveringToolMeshProvider(std::size_t numNodes) : numNodes_(numNodes) {}

    std::shared_ptr<Calvora::Mesh> getUntransformedMesh(const int* mapping, std::size_t) override
    {
        const auto [smallest, largest] = std::minmax_element(mapping, mapping + numNodes_);
        const std::size_t numVertices = numNodes_ == 0 ? 0 : static_cast<std::size_t>(*largest) + 1;
        if (numNodes_ > 0 && (*smallest < 0 || numVertices > maxVertices))
            return nullptr;
        const std::vector<float> zeros(numVertices, 0.0f);
        const std::vector<float> ones(numVertices, 1.0f);
        CoreIo::MeshBuilderParamColMajor record;
        record.numNodes = numVertices;
        record.numNormals = numVertices;
        record.x = record.y = record.z = record.nx = record.ny = zeros.data();
        record.nz = ones.data();
        Calvora::BaseGeometryMeshBuilder builder;
        builder.build(record);
        return builder.getMesh();
    }

private:
    static constexpr std::size_t maxVertices = std::size_t{1} << 16;
    std::size_t numNodes_;
};

// The tool mesh builder gets the body's topology and the file's node numbers as mapping.
void loadTopology(const CoreIo::ExodusLoader& loader, const CoreIo::SimBody& body, std::size_t numNodes,
                  ExodusFuzzOutcome& outcome)
{
    Calvora::BaseGeometryToolMeshBuilder builder(std::make_shared<CoveringToolMeshProvider>(numNodes));
    outcome.topologies += completes([&] { loader.loadMesh(body.meshLocation, builder); }) ? 1 : 0;
    if (const auto product = builder.getMesh())
        expectSoundStructure(*product);
}

void loadResults(const CoreIo::ExodusLoader& loader, const CoreIo::SimBody& body, std::size_t numNodes,
                 ExodusFuzzOutcome& outcome)
{
    CoreIo::ScalarResultsBuilder builder;
    const std::size_t count = std::min(body.results.size(), maxResultsPerBody);
    for (std::size_t i = 0; i < count; ++i)
        completes([&] { loader.loadResult(body.results[i].dataLocation, builder, std::nullopt); });
    for (std::size_t i = 0; i < count; ++i) {
        if (const auto values = builder.getFloatVector(static_cast<int>(i))) {
            expect(values->size() == numNodes, "a result holds one value per node of its body");
            ++outcome.resultArrays;
        }
    }
}

void readMeshAndInitialCoordinates(const CoreIo::ExodusLoader& loader, const CoreIo::SimBody& body,
                                   ExodusFuzzOutcome& outcome)
{
    CoreIo::MeshAndCoord record;
    if (!completes([&] { record = CoreIo::readMeshAndICs(loader, body); }) || !record.isValid())
        return;
    const std::size_t numNodes = record.mesh->numberOfVertices();
    expect(record.initCoord0->size() == numNodes && record.initCoord1->size() == numNodes,
           "a valid body has one initial coordinate per node in each array");
    ++outcome.validBodies;
}

void exercise(const CoreIo::ExodusLoader& loader, const CoreIo::SimBody& body, ExodusFuzzOutcome& outcome)
{
    Calvora::BaseGeometryMeshBuilder builder;
    if (!completes([&] { loader.loadMesh(body.meshLocation, builder); }))
        return;
    const std::shared_ptr<Calvora::Mesh> mesh = builder.getMesh();
    expect(mesh != nullptr, "a mesh load that returns delivers a mesh");
    expectSoundStructure(*mesh);
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
    if (!completes([&] { loader.emplace(file.path()); }))
        return outcome;
    outcome.opened = true;
    const std::vector<CoreIo::SimBody>& bodies = loader->bodies();
    outcome.bodies = bodies.size();
    for (std::size_t b = 0; b < std::min(bodies.size(), maxBodies); ++b)
        exercise(*loader, bodies[b], outcome);
    return outcome;
}

}  // namespace CoreIoFuzz

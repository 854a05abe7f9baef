#include "FileAlignment.h"

#include "AlignmentLog.h"
#include "ExodusLoader.h"
#include "ExodusWriter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>

namespace CoreIoAlign {
namespace {

bool iequals(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::toupper(x) == std::toupper(y);
    });
}

class Stopwatch {
public:
    double lap()
    {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - start_).count();
        start_ = now;
        return seconds;
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

std::string joined(const std::vector<std::string>& names, const std::string& separator)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : separator) + name;
    return text;
}

// Why a body has no initial coordinates, and what to do about it.
[[noreturn]] void failForInitialCoordinates(const CoreIo::ExodusLoader& loader, const BodyInFile& where)
{
    const CoreIo::ExodusListing& listing = loader.listing();
    const auto& names = where.options.initialCoordinates.variables;
    std::vector<std::string> missing;
    for (const std::string& name : names) {
        const bool present = std::any_of(listing.nodalVariables.begin(), listing.nodalVariables.end(),
                                         [&](const std::string& candidate) { return iequals(candidate, name); });
        if (!present)
            missing.push_back(name);
    }
    if (missing.empty())
        throw InputError(where.file + " holds the nodal variables " + joined({names[0], names[1]}, " and ") +
                         " but no time step, so they have no values; write at least one step");
    throw InputError(where.file + " lacks the nodal variables " + joined(missing, " and ") +
                     " (its initial coordinates); its nodal variables are: " +
                     (listing.nodalVariables.empty() ? "none" : joined(listing.nodalVariables, ", ")) +
                     "; name two with --ic NAME0,NAME1, or take them from the reference shape with --ic "
                     "reference-xy|yz|zx or reference-cylinder-x|y|z");
}

BodySummary summarize(const CoreIo::ExodusLoader& loader)
{
    const CoreIo::ExodusBodyDescription& body = loader.description(0);
    BodySummary summary;
    std::vector<std::string> blocks;
    for (const std::size_t b : body.blocks) {
        const CoreIo::ExodusBlockListing& block = loader.listing().blocks[b];
        const std::string name = block.name.empty() ? "" : "\"" + block.name + "\" ";
        blocks.push_back(name + "(id " + std::to_string(block.id) + ", " + block.elementType + ")");
    }
    summary.blocks = joined(blocks, ", ");
    summary.step = body.step;
    summary.time = body.time;
    if (body.displacement) {
        std::vector<std::string> components;
        for (const std::string& component : *body.displacement)
            if (!component.empty())
                components.push_back(component);
        summary.displacement = joined(components, ", ");
    }
    summary.initialCoordinates = body.initialCoordinates.value_or("");
    return summary;
}

// Reference initial coordinates around a cylinder wrap around.
int tubeArgument(TubeMode tube, const CoreIo::InitialCoordinateSource& source)
{
    if (tube == TubeMode::Auto && source.kind == CoreIo::InitialCoordinateSource::Kind::ReferenceCylinder)
        return isTubeArgument(TubeMode::Yes);
    return isTubeArgument(tube);
}

CoreIo::ExodusWriter::Body alignedBody(const Calvora::Mesh& mesh, const std::array<double, 3>& origin)
{
    CoreIo::ExodusWriter::Body body;
    for (auto* array : {&body.x, &body.y, &body.z, &body.nx, &body.ny, &body.nz})
        array->reserve(mesh.numberOfVertices());
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex) {
        const auto& normal = vertex->getNormal();
        body.x.push_back(vertex->x + origin[0]);
        body.y.push_back(vertex->y + origin[1]);
        body.z.push_back(vertex->z + origin[2]);
        body.nx.push_back(normal.x);
        body.ny.push_back(normal.y);
        body.nz.push_back(normal.z);
    }
    body.triangles.reserve(3 * mesh.numberOfTriangles());
    for (auto triangle = mesh.beginTriangle(); triangle != mesh.endTriangle(); ++triangle)
        for (const Calvora::Vertex* corner : triangle->corners)
            body.triangles.push_back(corner->index);
    return body;
}

// A nodal variable with one step, for the file's only body.
std::vector<CoreIo::ExodusWriter::StepValues> oneStep(std::vector<double> values)
{
    return {CoreIo::ExodusWriter::StepValues{std::move(values)}};
}

}  // namespace

LoadedBody readBody(const BodyInFile& where)
{
    const CoreIo::ExodusLoader loader(where.file, where.options);
    const CoreIo::SimBody& body = loader.bodies().front();
    if (!loader.description(0).initialCoordinates)
        failForInitialCoordinates(loader, where);
    LoadedBody loaded{CoreIo::readMeshAndICs(loader, body), loader.description(0), summarize(loader)};
    const CoreIo::MeshAndCoord& record = loaded.record;
    if (!record.isValid())
        throw InputError("body '" + body.name + "' in " + where.file + " could not be read completely");
    if (record.initCoord0->size() < record.mesh->numberOfVertices() ||
        record.initCoord1->size() < record.mesh->numberOfVertices())
        throw InputError("body '" + body.name + "' in " + where.file + " has fewer initial coordinates than vertices");
    return loaded;
}

FileAlignment alignFiles(const BodyInFile& before, const BodyInFile& after, TubeMode tube, bool complete)
{
    FileAlignment alignment;
    Stopwatch stopwatch;
    LoadedBody first = readBody(before);
    BodyInFile afterAtOrigin = after;
    afterAtOrigin.options.origin = first.description.origin;
    LoadedBody second = readBody(afterAtOrigin);
    alignment.before = std::move(first.record);
    alignment.after = std::move(second.record);
    alignment.origin = first.description.origin;
    const double readSeconds = stopwatch.lap();

    AlignmentLog log;
    try {
        alignment.result = CoreIo::getMeshAlignResult(alignment.before, alignment.after,
                                                       tubeArgument(tube, after.options.initialCoordinates), complete);
    } catch (const std::runtime_error& error) {
        throw InputError(std::string("alignment failed: ") + error.what());
    }
    const double alignSeconds = stopwatch.lap();
    if (!alignment.result.vertexMatching)
        throw InputError("the two bodies share no material points: no vertex could be matched");

    alignment.report = describeAlignment(alignment.before, alignment.after, alignment.result);
    const int tubeChoice = tubeArgument(tube, after.options.initialCoordinates);
    alignment.report.tube = tubeChoice < 0 ? log.tubeDetected() : std::optional<bool>(tubeChoice == 1);
    alignment.report.beforeBody = std::move(first.summary);
    alignment.report.afterBody = std::move(second.summary);
    alignment.report.biggestSquareError = log.biggestSquareError();
    alignment.report.phases = {{"read", readSeconds}, {"align", alignSeconds}};
    return alignment;
}

void writeAlignment(const std::string& path, FileAlignment& alignment)
{
    Stopwatch stopwatch;
    const Calvora::Mesh& aligned = *alignment.result.alignedMesh;
    const Calvora::Mesh& after = *alignment.after.mesh;
    const std::vector<int>& matching = *alignment.result.vertexMatching;
    const std::size_t count = aligned.numberOfVertices();
    std::vector<double> dx(count), dy(count), dz(count), magnitude(count), matched(count, -1.0);
    for (std::size_t i = 0; i < count; ++i) {
        const auto& a = aligned.getVertex(static_cast<unsigned>(i));
        const auto& b = after.getVertex(static_cast<unsigned>(i));
        dx[i] = b.x - a.x;
        dy[i] = b.y - a.y;
        dz[i] = b.z - a.z;
        magnitude[i] = std::sqrt(dx[i] * dx[i] + dy[i] * dy[i] + dz[i] * dz[i]);
        if (i < matching.size())
            matched[i] = matching[i];
    }
    CoreIo::ExodusWriter writer(path);
    writer.addBody("aligned", alignedBody(aligned, alignment.origin));
    writer.addNodalVariable("DISPL_X", oneStep(std::move(dx)));
    writer.addNodalVariable("DISPL_Y", oneStep(std::move(dy)));
    writer.addNodalVariable("DISPL_Z", oneStep(std::move(dz)));
    writer.addNodalVariable("DISPL_MAG", oneStep(std::move(magnitude)));
    writer.addNodalVariable("MATCHED_VERTEX", oneStep(std::move(matched)));
    writer.write();
    alignment.report.phases.push_back({"write", stopwatch.lap()});
}

}  // namespace CoreIoAlign

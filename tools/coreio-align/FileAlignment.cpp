#include "FileAlignment.h"

#include "AlignmentLog.h"
#include "ExodusLoader.h"
#include "ExodusWriter.h"
#include "Persistence_SkinBaseName.h"
#include "Stopwatch.h"

#include <algorithm>
#include <cmath>

namespace CoreIoAlign {
namespace {

using CoreIoInternal::Stopwatch;

std::string bodyNames(const std::vector<CoreIo::SimBody>& bodies)
{
    std::string names;
    for (const CoreIo::SimBody& body : bodies)
        names += (names.empty() ? "" : ", ") + body.name;
    return names.empty() ? "none" : names;
}

const CoreIo::SimBody& chooseBody(const CoreIo::LoaderInterface& loader, const BodyInFile& where)
{
    const auto& bodies = loader.bodies();
    if (!where.body) {
        if (bodies.size() == 1)
            return bodies.front();
        if (bodies.empty())
            throw InputError(where.file + " holds no triangle body");
        throw UsageError(where.file + " holds several bodies (" + bodyNames(bodies) +
                         "); name one with --body, --before-body or --after-body");
    }
    const auto found = std::find_if(bodies.begin(), bodies.end(),
                                     [&](const CoreIo::SimBody& body) { return body.name == *where.body; });
    if (found == bodies.end())
        throw InputError(where.file + " has no body named '" + *where.body + "' (it has: " + bodyNames(bodies) + ")");
    return *found;
}

void requireInitialCoordinates(const CoreIo::SimBody& body, const std::string& file)
{
    std::string missing;
    for (const std::string* name : {&Calvora::SkinBaseName::INITIALCOORD0, &Calvora::SkinBaseName::INITIALCOORD1}) {
        const bool present = std::any_of(body.results.begin(), body.results.end(),
                                         [&](const CoreIo::ResultEntry& entry) { return entry.name == *name; });
        if (!present)
            missing += (missing.empty() ? "" : " and ") + *name;
    }
    if (!missing.empty())
        throw InputError("body '" + body.name + "' in " + file + " lacks the nodal variables " + missing +
                         " (its initial coordinates)");
}

CoreIo::MeshAndCoord readBody(const BodyInFile& where)
{
    const CoreIo::ExodusLoader loader(where.file);
    const CoreIo::SimBody& body = chooseBody(loader, where);
    requireInitialCoordinates(body, where.file);
    CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(loader, body);
    if (!record.isValid())
        throw InputError("body '" + body.name + "' in " + where.file + " could not be read completely");
    if (record.initCoord0->size() < record.mesh->numberOfVertices() ||
        record.initCoord1->size() < record.mesh->numberOfVertices())
        throw InputError("body '" + body.name + "' in " + where.file + " has fewer initial coordinates than vertices");
    return record;
}

CoreIo::ExodusWriter::Body alignedBody(const Calvora::Mesh& mesh)
{
    CoreIo::ExodusWriter::Body body;
    for (auto* array : {&body.x, &body.y, &body.z, &body.nx, &body.ny, &body.nz})
        array->reserve(mesh.numberOfVertices());
    for (auto vertex = mesh.beginVertex(); vertex != mesh.endVertex(); ++vertex) {
        const auto& normal = vertex->getNormal();
        body.x.push_back(vertex->x), body.y.push_back(vertex->y), body.z.push_back(vertex->z);
        body.nx.push_back(normal.x), body.ny.push_back(normal.y), body.nz.push_back(normal.z);
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

FileAlignment alignFiles(const BodyInFile& before, const BodyInFile& after, TubeMode tube, bool complete)
{
    FileAlignment alignment;
    Stopwatch stopwatch;
    alignment.before = readBody(before);
    alignment.after = readBody(after);
    const double readSeconds = stopwatch.lap();

    AlignmentLog log;
    try {
        alignment.result = CoreIo::getMeshAlignResult(alignment.before, alignment.after, isTubeArgument(tube), complete);
    } catch (const std::runtime_error& error) {
        throw InputError(std::string("alignment failed: ") + error.what());
    }
    const double alignSeconds = stopwatch.lap();
    if (!alignment.result.vertexMatching)
        throw InputError("the two bodies share no material points: no vertex could be matched");

    alignment.report = describeAlignment(alignment.before, alignment.after, alignment.result);
    alignment.report.tube = tube == TubeMode::Auto ? log.tubeDetected() : std::optional<bool>(tube == TubeMode::Yes);
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
        dx[i] = b.x - a.x, dy[i] = b.y - a.y, dz[i] = b.z - a.z;
        magnitude[i] = std::sqrt(dx[i] * dx[i] + dy[i] * dy[i] + dz[i] * dz[i]);
        if (i < matching.size())
            matched[i] = matching[i];
    }
    CoreIo::ExodusWriter writer(path);
    writer.addBody("aligned", alignedBody(aligned));
    writer.addNodalVariable("DISPL_X", oneStep(std::move(dx)));
    writer.addNodalVariable("DISPL_Y", oneStep(std::move(dy)));
    writer.addNodalVariable("DISPL_Z", oneStep(std::move(dz)));
    writer.addNodalVariable("DISPL_MAG", oneStep(std::move(magnitude)));
    writer.addNodalVariable("MATCHED_VERTEX", oneStep(std::move(matched)));
    writer.write();
    alignment.report.phases.push_back({"write", stopwatch.lap()});
}

}  // namespace CoreIoAlign

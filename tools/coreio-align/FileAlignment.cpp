#include "FileAlignment.h"

#include "AlignedFile.h"
#include "Picture.h"
#include "Stopwatch.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <unordered_map>

namespace CoreIoAlign {
namespace {

bool iequals(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::toupper(x) == std::toupper(y); });
}

using CoreIoInternal::Stopwatch;

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
TubeMode tubeMode(TubeMode tube, const CoreIo::InitialCoordinateSource& source)
{
    if (tube == TubeMode::Auto && source.kind == CoreIo::InitialCoordinateSource::Kind::ReferenceCylinder)
        return TubeMode::Yes;
    return tube;
}

// Per after vertex its position in the material plane: the unrolled copy where a seam cut it.
std::vector<std::array<double, 2>> materialPoints(const PairAlignment& pair, std::size_t count)
{
    std::vector<std::array<double, 2>> points;
    points.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Calvora::Vertex& vertex = pair.afterMaterialPlane->getVertex(static_cast<unsigned>(i));
        points.push_back({vertex.x, vertex.y});
    }
    return points;
}

// The material plane's axes by the names the after body's initial coordinates came from, and for
// a tube which of them runs around it.
std::array<std::string, 2> materialAxisNames(const FileAlignment& alignment)
{
    const std::string& source = alignment.report.afterBody.initialCoordinates;
    const std::string cylinder = "reference-cylinder-";
    const std::string plane = "reference-";
    std::array<std::string, 2> names;
    if (source.starts_with(cylinder)) {
        names = {"R * angle about " + source.substr(cylinder.size()), "reference " + source.substr(cylinder.size())};
    } else if (source.starts_with(plane) && source.size() == plane.size() + 2) {
        names = {"reference " + source.substr(plane.size(), 1), "reference " + source.substr(plane.size() + 1)};
    } else {
        const std::size_t comma = source.find(',');
        names = {source.substr(0, comma), comma == std::string::npos ? "" : source.substr(comma + 1)};
    }
    if (const auto& seam = alignment.pair.seam) {
        const bool firstAround = seam->axis == Calvora::TubeInitialCoordinatesConverter::Axis::U;
        names[0] += firstAround ? " (around)" : " (along)";
        names[1] += firstAround ? " (along)" : " (around)";
    }
    return names;
}

std::string fileAndStep(const LoadedBody& body)
{
    return std::filesystem::path(body.file).filename().string() + " step " + std::to_string(body.summary.step);
}

}  // namespace

LoadedBody readBody(const BodyInFile& where)
{
    auto loader = std::make_shared<const CoreIo::ExodusLoader>(where.file, where.options);
    const CoreIo::SimBody& body = loader->bodies().front();
    if (!loader->description(0).initialCoordinates)
        failForInitialCoordinates(*loader, where);
    LoadedBody loaded{where.file, loader, CoreIo::readMeshAndICs(*loader, body), summarize(*loader)};
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
    alignment.before = readBody(before);
    alignment.origin = alignment.before.description().origin;
    BodyInFile afterAtOrigin = after;
    afterAtOrigin.options.origin = alignment.origin;
    alignment.after = readBody(afterAtOrigin);
    const double readSeconds = stopwatch.lap();

    alignment.pair = alignPair(alignment.before.record, alignment.after.record,
                               tubeMode(tube, after.options.initialCoordinates), complete);
    const double alignSeconds = stopwatch.lap();

    alignment.report = describeAlignment(alignment.before.record, alignment.after.record, alignment.pair);
    alignment.report.beforeBody = alignment.before.summary;
    alignment.report.afterBody = alignment.after.summary;
    alignment.report.phases = {{"read", readSeconds}, {"align", alignSeconds}};
    return alignment;
}

void writeAlignment(const std::string& path, FileAlignment& alignment, const OutputChoices& choices)
{
    Stopwatch stopwatch;
    const bool doubles = alignment.before.loader->storesDoubles() || alignment.after.loader->storesDoubles();
    CoreIo::writeExodusMesh(path, alignedExodusMesh(alignment, choices),
                            doubles ? CoreIo::ExodusPrecision::Double : CoreIo::ExodusPrecision::Float);
    alignment.report.phases.push_back({"write", stopwatch.lap()});
}

void drawAlignment(const std::string& path, const FileAlignment& alignment)
{
    const Calvora::Mesh& after = *alignment.after.record.mesh;
    const Calvora::Mesh& aligned = *alignment.pair.result.alignedMesh;
    const std::vector<Calvora::VertexLocation>& locations = alignment.pair.locations;
    PictureMesh picture;
    picture.points = materialPoints(alignment.pair, after.numberOfVertices());
    for (std::size_t i = 0; i < locations.size(); ++i) {
        const auto vertex = static_cast<unsigned>(i);
        const bool outside = locations[i].status == Calvora::MatchStatus::Outside;
        picture.outside.push_back(outside);
        picture.values.push_back(outside ? std::nan("")
                                         : std::sqrt(after.getVertex(vertex).sqrDistance(aligned.getVertex(vertex))));
    }
    // Triangles of an unrolled tube name seam copies (which keep their original's index); those
    // carry their original's value.
    const Calvora::Mesh& plane = *alignment.pair.afterMaterialPlane;
    std::unordered_map<const Calvora::Vertex*, int> position;
    int next = 0;
    for (auto vertex = plane.beginVertex(), end = plane.endVertex(); vertex != end; ++vertex, ++next) {
        position.emplace(&*vertex, next);
        if (static_cast<std::size_t>(next) < locations.size())
            continue;
        const auto original = static_cast<std::size_t>(vertex->index);
        picture.points.push_back({vertex->x, vertex->y});
        picture.values.push_back(picture.values[original]);
        picture.outside.push_back(picture.outside[original]);
    }
    for (auto triangle = plane.beginTriangle(), end = plane.endTriangle(); triangle != end; ++triangle)
        for (const Calvora::Vertex* corner : triangle->corners)
            picture.triangles.push_back(position.at(corner));
    picture.scale = ColourScale::FromZero;
    const PictureText text{fileAndStep(alignment.before) + " -> " + fileAndStep(alignment.after),
                           "displacement magnitude [file length unit]", materialAxisNames(alignment)};
    drawPicture(path, picture, text);
}

}  // namespace CoreIoAlign

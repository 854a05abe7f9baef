#pragma once
// A loader over one Exodus II file. Surface elements (3-node triangles, 4-node quadrilaterals and
// their higher-order forms) make bodies; a body's shape at a step is the file's coordinates plus
// the displacement at that step, and its results are the file's nodal variables plus the chosen
// initial coordinates. The file's description, connectivity and reference coordinates are
// checked when the loader is made; values of steps are read when a mesh or result is loaded.
// Loaders may be used on several threads at once, each its own or one shared for its const calls:
// every call into the file libraries is serialised.

#include "ExodusBody.h"
#include "Persistence_CoreIo.h"
#include "Persistence_CoreIo_export.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Calvora {
class Logging;
}

namespace CoreIo {

class ExodusFileReader;
struct ExodusLoaderBody;

class PERSISTENCE_COREIO_EXPORT ExodusLoader : public LoaderInterface {
public:
    // One body per surface block, in the file's order, named by the block's name; its mesh
    // location holds the block id. Each body is the file's coordinates as stored (no displacement,
    // origin and material origin 0) at the last step whose used values are written, with the
    // default initial coordinates.
    // Throws LoadError naming the file when it is missing, no Exodus II file, truncated, or
    // promises data it cannot hold; when it stores other than 4 or 8 bytes per floating-point
    // value or holds several values in a header attribute of one number; when its block ids
    // disagree in size with the count its header gives or two blocks share an id; when a nodal
    // variable holds fewer values than the file has nodes; when a surface block's connectivity
    // disagrees in size with its counts or refers to a node the file lacks; when a body's
    // reference coordinates are not finite.
    // Blocks of other elements are skipped with a warning to the logger "CoreIo.ExodusLoader",
    // whatever their connectivity holds.
    explicit ExodusLoader(const std::string& path);
    // One body of the chosen blocks, a node shared by blocks being one vertex; its mesh location
    // holds the first block's id. Throws LoadError as above, but only for the chosen blocks'
    // connectivity, and also when a selected block is unknown (the message lists the file's blocks)
    // or makes no surface, when the file has no surface block at all, when the step lies past the
    // file's steps, or when the displacement triple is incomplete or, when named, missing.
    ExodusLoader(const std::string& path, const ExodusBodyOptions& options);
    ~ExodusLoader() override;

    // A body's results are every nodal variable at every step, the body's step first and then the
    // others from the last down, so that a lookup by name finds the body's state; before them come
    // the chosen initial coordinates as results named INITIALCOORD0 and INITIALCOORD1, when
    // available (see ExodusBodyDescription::initialCoordinates), less the body's material origin.
    // Steps are numbered from 1.
    const std::vector<SimBody>& bodies() const override;
    // What the bodies leave out of the file, one sentence each naming the file, as the loader
    // also logs them: every block that makes no surface or whose connectivity is broken, with the
    // reason.
    std::vector<std::string> warnings() const;
    // Whether results arrive as doubles, as the file stores them, rather than as floats.
    bool storesDoubles() const;

    // The file as a whole: format, blocks (used or skipped, and why), variables and steps.
    const ExodusListing& listing() const;
    // What body i of bodies() is made of; the order of its nodes and triangles is the mesh's.
    const ExodusBodyDescription& description(std::size_t body) const;
    // A block of the listing's connectivity: nodesPerElement file node numbers, from 1, per
    // element. Throws LoadError for a block index the listing lacks.
    std::vector<int> blockConnectivity(std::size_t block) const;
    // An element variable of a block of the listing at a step from 1, one value per element.
    // Throws LoadError for an unknown block, variable or step, or a variable the block lacks.
    std::vector<double> readElementVariable(std::size_t block, const std::string& name, std::int64_t step) const;

    // The values behind the records in double precision, per node of body i of bodies(), in the
    // body's node order; each throws LoadError for a body it lacks and as loadMesh or loadResult do
    // for values that cannot be read or are no data.
    // - The body's shape at its step in the file's coordinates (the origin added back): the
    //   reference coordinates plus the displacement.
    std::vector<std::array<double, 3>> positions(std::size_t body) const;
    // - Its two initial coordinates at its step, as the file holds them or as the reference shape
    //   gives them, without the material origin subtracted; throws LoadError for a body without.
    std::vector<std::array<double, 2>> initialCoordinates(std::size_t body) const;
    // - A nodal variable, named in any case, at the body's step.
    std::vector<double> readNodalVariable(std::size_t body, const std::string& name) const;

    // Meshes come in the body's node order, positions relative to the body's origin. Locations that
    // do not come from bodies(), steps the file lacks and data that cannot be read or is not finite
    // throw LoadError; nothing reaches the builder then. Meshes carry node normals when the file has
    // nodal variables NORMAL_X/Y/Z or NX/NY/NZ (at the body's step), column-major; without them the
    // nodes come interleaved (row-major), so the normals are computed. A topology-only builder gets
    // the file's node number map, from 0, as solver index mapping, and numNormals equal to
    // numNodes, since each node stands for a tool vertex that carries a normal; it gets no
    // coordinate or normal arrays.
    void loadResult(const DataLocation& where, ResultBuilderInterface& builder,
                    std::optional<std::int64_t> step) const override;
    void loadCurve(const CurveLocation& where, CurveBuilderInterface& builder) const override;  // no curves
    void loadMesh(const MeshLocation& where, MeshBuilderInterface& builder) const override;

private:
    void addBody(const std::vector<std::size_t>& blocks, const ExodusBodyOptions& options);
    const ExodusLoaderBody& bodyAt(const MeshLocation& where) const;
    std::size_t checkedBody(std::size_t body) const;
    void logWarnings() const;

    std::unique_ptr<ExodusFileReader> file_;
    std::unique_ptr<Calvora::Logging> logger_;
    std::optional<std::array<int, 3>> normalVariables_;  // 1-based indices of the normal's components
    std::vector<SimBody> bodies_;
    std::vector<ExodusLoaderBody> bodyData_;  // parallel to bodies_
};

// What a file holds (see ExodusLoader::listing): a block that cannot be used, whatever is wrong with
// its elements, is listed with the reason. Throws LoadError as ExodusLoader(path) does for the file
// as a whole.
PERSISTENCE_COREIO_EXPORT ExodusListing listExodusFile(const std::string& path);

}  // namespace CoreIo

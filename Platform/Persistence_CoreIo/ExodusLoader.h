#pragma once
// A loader over one Exodus II file: each element block of 3-node triangles is a body, whose
// results are the file's nodal variables at every time step. The file's description and
// connectivity are checked when the loader is made; coordinates and values are read when a mesh
// or result is loaded. Not for use from several threads at once.

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

class ExodusFile;
struct NetcdfFileFacts;

// An element block that holds something else than 3-node triangles, and so gives no body.
struct SkippedBlock {
    std::int64_t id = 0;
    std::string name;
    std::string elementType;  // as the file spells it
    std::int64_t nodesPerElement = 0;
};

class PERSISTENCE_COREIO_EXPORT ExodusLoader : public LoaderInterface {
public:
    // Throws LoadError naming the file when it is missing, no Exodus II file, truncated, or
    // promises data it cannot hold; when it stores other than 4 or 8 bytes per floating-point
    // value, holds several values in a header attribute of one number, or names an element type
    // longer than 32 characters; when its block ids or a block's connectivity disagree in size with
    // the counts its header gives for them; when a triangle refers to a node the file lacks; or when
    // a nodal variable holds fewer values than the file has nodes.
    // Blocks of other elements are skipped with a warning to the logger "CoreIo.ExodusLoader".
    explicit ExodusLoader(const std::string& path);
    ~ExodusLoader() override;

    // One body per triangle block, in the file's order, named by the block's name or
    // "block_<id>"; its mesh location holds the block id. Its results are every nodal variable
    // at every step, the last step first, so that a lookup by name finds the final state. Steps
    // are numbered from 1, as in the file.
    const std::vector<SimBody>& bodies() const override;
    const std::vector<SkippedBlock>& skippedBlocks() const;
    // Whether results arrive as doubles, as the file stores them, rather than as floats.
    bool storesDoubles() const;

    // A body's nodes are the block's nodes in order of first use in its connectivity; meshes and
    // results follow that order. Locations that do not come from bodies(), steps the file lacks
    // and data that cannot be read throw LoadError; nothing reaches the builder then. Meshes carry
    // node normals when the file has nodal variables NORMAL_X/Y/Z or NX/NY/NZ (their last step),
    // column-major; without them the nodes come interleaved (row-major), so the normals are computed.
    // A topology-only builder gets the file's node number map, from 0, as solver index mapping, and
    // numNormals equal to numNodes, since each node stands for a tool vertex that carries a normal;
    // it gets no coordinate or normal arrays.
    void loadResult(const DataLocation& where, ResultBuilderInterface& builder,
                    std::optional<std::int64_t> step) const override;
    void loadCurve(const CurveLocation& where, CurveBuilderInterface& builder) const override;  // no curves
    void loadMesh(const MeshLocation& where, MeshBuilderInterface& builder) const override;

private:
    struct TriangleBlock {
        std::int64_t id = 0;
        std::string description;   // names the block in messages
        std::string connectivity;  // the netCDF variable that holds the block's connectivity
        std::size_t numTriangles = 0;
        std::vector<int> nodes;    // the file's 0-based numbers of the body's nodes
        int firstNode = 0;         // the smallest of them
        std::size_t nodeSpan = 0;  // how many of the file's nodes lie from the smallest to the largest
    };
    using FloatColumns = std::array<std::vector<float>, 3>;  // x, y, z per body node

    void readDimensions(const NetcdfFileFacts& facts);
    void readVariables(const NetcdfFileFacts& facts);
    void readBlocks(const NetcdfFileFacts& facts);
    std::optional<std::int64_t> readTriangleCount(const TriangleBlock& block, const std::string& name);
    TriangleBlock numberNodes(TriangleBlock block, std::vector<int>& localOf) const;
    void addResults();
    void requireOwnSource(const std::string& source) const;
    void requireStep(std::int64_t step) const;
    const TriangleBlock& blockAt(const MeshLocation& where) const;

    std::vector<int> readConnectivity(const TriangleBlock& block) const;
    std::vector<int> readTriangles(const TriangleBlock& block) const;
    std::vector<int> readSolverIndexMapping(const TriangleBlock& block) const;
    FloatColumns readCoordinates(const TriangleBlock& block) const;
    FloatColumns readNormals(const TriangleBlock& block) const;
    void buildWithoutNormals(const MeshBuilderParamColMajor& columns, const FloatColumns& coordinates,
                             MeshBuilderInterface& builder) const;
    template <typename Value>
    std::vector<Value> readVariable(const ExodusFile& file, const TriangleBlock& block, std::int64_t step,
                                    int variable) const;

    std::string path_;
    std::unique_ptr<Calvora::Logging> logger_;
    std::unique_ptr<ExodusFile> file_;        // floats cross the API
    std::unique_ptr<ExodusFile> doubleFile_;  // doubles cross the API; only for files that store them
    int numDimensions_ = 0;
    int numNodes_ = 0;
    int numSteps_ = 0;
    std::vector<std::string> variableNames_;
    std::optional<std::array<int, 3>> normalVariables_;  // 1-based indices of the normal's components
    std::vector<SimBody> bodies_;
    std::vector<TriangleBlock> blocks_;  // parallel to bodies_
    std::vector<SkippedBlock> skipped_;
};

}  // namespace CoreIo

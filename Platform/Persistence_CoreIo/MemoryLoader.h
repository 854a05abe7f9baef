#pragma once
// A loader over arrays that a program registers in memory: bodies (mesh, results per state) and
// curves. It hands them to builders through the same records a file-reading loader would use,
// pointing into its own storage, and checks every array when it is registered.

#include "Persistence_CoreIo.h"
#include "Persistence_CoreIo_export.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <variant>
#include <vector>

namespace CoreIo {

// How a loader lays out items with three components.
enum class Layout {
    ColumnMajor,  // one array per component: x, y, z
    RowMajor,     // components next to each other: x0 y0 z0 x1 y1 z1 ...
};

// A body's mesh as registered. The layout decides which arrays are read: x/y/z and nx/ny/nz for
// ColumnMajor, coordinates and normals for RowMajor; the others stay empty.
struct MeshArrays {
    Layout layout = Layout::ColumnMajor;
    std::size_t numNodes = 0;
    std::vector<float> x, y, z;
    std::vector<float> coordinates;
    std::size_t numNormals = 0;  // may differ from numNodes; the builder decides what that means
    std::vector<float> nx, ny, nz;
    std::vector<float> normals;
    std::size_t numTriangles = 0;
    std::vector<int> triangles;           // 3 node numbers per triangle
    std::vector<int> solverIndexMapping;  // empty, or one tool-mesh vertex per node
};

// A curve as registered; the same rules as MeshArrays.
struct CurveArrays {
    Layout layout = Layout::ColumnMajor;
    std::size_t numPoints = 0;
    std::vector<float> x, y, z;
    std::vector<float> coordinates;
    std::size_t numNormals = 0;
    std::vector<float> nx, ny, nz;
    std::vector<float> normals;
};

// One scalar result array, in the element type the loader delivers it in.
using ResultValues = std::variant<std::vector<int>, std::vector<float>, std::vector<double>>;

class PERSISTENCE_COREIO_EXPORT MemoryLoader : public LoaderInterface {
public:
    explicit MemoryLoader(std::string sourceName = "memory");
    ~MemoryLoader() override;

    // Registration. Each refuses bad input with std::invalid_argument naming the body (or curve)
    // and the array, and then leaves the loader as it was. Body and curve names are non-empty and
    // unique; a result's name is unique per body and step.
    void addBody(const std::string& name, MeshArrays mesh);
    void addResult(const std::string& bodyName, const std::string& resultName, ResultValues values,
                   std::int64_t step = 0);
    CurveLocation addCurve(const std::string& name, CurveArrays curve);

    // The registered bodies; each body's results list the latest step first.
    const std::vector<SimBody>& bodies() const override;
    const SimBody& body(const std::string& name) const;  // std::out_of_range if not registered

    // Locations it did not hand out throw LoadError naming them (see LoaderInterface).
    void loadResult(const DataLocation& where, ResultBuilderInterface& builder,
                    std::optional<std::int64_t> step) const override;
    void loadCurve(const CurveLocation& where, CurveBuilderInterface& builder) const override;
    void loadMesh(const MeshLocation& where, MeshBuilderInterface& builder) const override;

private:
    struct StoredResult {
        std::string name;
        std::int64_t step;
        ResultValues values;
    };
    struct StoredBody {
        MeshArrays mesh;
        std::vector<StoredResult> results;  // in registration order
    };
    // Where the values of one result id lie: storedBodies_[body].results[index].
    struct ResultSlot {
        std::size_t body;
        std::size_t index;
    };

    const StoredBody& storedBodyAt(const MeshLocation& where) const;
    const ResultSlot& resultSlotAt(const DataLocation& where) const;
    const ResultSlot& resultSlotAtStep(const ResultSlot& slot, std::int64_t step) const;

    std::string sourceName_;
    std::vector<SimBody> bodies_;
    std::vector<StoredBody> storedBodies_;  // parallel to bodies_
    std::unordered_map<std::string, std::size_t> bodyIndex_;  // body name -> position in bodies_
    std::vector<ResultSlot> resultSlots_;                     // indexed by DataLocation::id
    std::vector<std::pair<std::string, CurveArrays>> curves_;  // indexed by CurveLocation::id
    std::unordered_set<std::string> curveNames_;
};

}  // namespace CoreIo

#pragma once
// The persistence library's boundary: the records in which a loader hands decoded arrays to a
// builder, the three builder interfaces, and the loader interface over a result source.

#include "Persistence_CoreIo_export.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace CoreIo {

// Records cross a binary boundary: every field is 8 bytes wide, in the order given. Arrays are
// owned by the loader and valid only during the build call that receives the record.

struct MeshBuilderParamColMajor {
    std::size_t numNodes = 0;
    const float* x = nullptr;
    const float* y = nullptr;
    const float* z = nullptr;
    const float* nx = nullptr;
    const float* ny = nullptr;
    const float* nz = nullptr;
    std::size_t numTriangles = 0;
    const int* triangles = nullptr;  // three node numbers per triangle
    std::uint64_t opaque1 = 0;
    std::size_t numNormals = 0;
    std::uint64_t opaque2 = 0;
    const int* solverIndexMapping = nullptr;  // node -> vertex of the untransformed tool mesh
};

struct MeshBuilderParamRowMajor {
    std::size_t numNodes = 0;
    const float* coordinates = nullptr;  // x, y, z per node
    const float* normals = nullptr;      // x, y, z per normal
    std::size_t numTriangles = 0;
    const int* triangles = nullptr;
    std::uint64_t opaque1 = 0;
    std::size_t numNormals = 0;
    std::uint64_t opaque2 = 0;
    const int* solverIndexMapping = nullptr;
};

struct CurveBuilderParamColMajor {
    std::size_t numPoints = 0;
    const float* x = nullptr;
    const float* y = nullptr;
    const float* z = nullptr;
    const float* nx = nullptr;
    const float* ny = nullptr;
    const float* nz = nullptr;
    std::size_t numNormals = 0;  // points 0 .. numNormals-1 have a normal
};

struct CurveBuilderParamRowMajor {
    std::size_t numPoints = 0;
    const float* coordinates = nullptr;
    const float* normals = nullptr;
    std::size_t numNormals = 0;
};

// A vector-valued result, one array per component.
struct ResultBuilderColMajorParam {
    std::size_t numValues = 0;
    std::size_t numComponents = 0;
    const float* const* components = nullptr;
};

// A vector-valued result, components interleaved per value.
struct ResultBuilderRowMajorParam {
    std::size_t numValues = 0;
    std::size_t numComponents = 0;
    const float* values = nullptr;
};

static_assert(offsetof(MeshBuilderParamColMajor, numNodes) == 0);
static_assert(offsetof(MeshBuilderParamColMajor, x) == 8);
static_assert(offsetof(MeshBuilderParamColMajor, y) == 16);
static_assert(offsetof(MeshBuilderParamColMajor, z) == 24);
static_assert(offsetof(MeshBuilderParamColMajor, nx) == 32);
static_assert(offsetof(MeshBuilderParamColMajor, ny) == 40);
static_assert(offsetof(MeshBuilderParamColMajor, nz) == 48);
static_assert(offsetof(MeshBuilderParamColMajor, numTriangles) == 56);
static_assert(offsetof(MeshBuilderParamColMajor, triangles) == 64);
static_assert(offsetof(MeshBuilderParamColMajor, opaque1) == 72);
static_assert(offsetof(MeshBuilderParamColMajor, numNormals) == 80);
static_assert(offsetof(MeshBuilderParamColMajor, opaque2) == 88);
static_assert(offsetof(MeshBuilderParamColMajor, solverIndexMapping) == 96);

static_assert(offsetof(MeshBuilderParamRowMajor, numNodes) == 0);
static_assert(offsetof(MeshBuilderParamRowMajor, coordinates) == 8);
static_assert(offsetof(MeshBuilderParamRowMajor, normals) == 16);
static_assert(offsetof(MeshBuilderParamRowMajor, numTriangles) == 24);
static_assert(offsetof(MeshBuilderParamRowMajor, triangles) == 32);
static_assert(offsetof(MeshBuilderParamRowMajor, opaque1) == 40);
static_assert(offsetof(MeshBuilderParamRowMajor, numNormals) == 48);
static_assert(offsetof(MeshBuilderParamRowMajor, opaque2) == 56);
static_assert(offsetof(MeshBuilderParamRowMajor, solverIndexMapping) == 64);

static_assert(offsetof(CurveBuilderParamColMajor, numPoints) == 0);
static_assert(offsetof(CurveBuilderParamColMajor, x) == 8);
static_assert(offsetof(CurveBuilderParamColMajor, y) == 16);
static_assert(offsetof(CurveBuilderParamColMajor, z) == 24);
static_assert(offsetof(CurveBuilderParamColMajor, nx) == 32);
static_assert(offsetof(CurveBuilderParamColMajor, ny) == 40);
static_assert(offsetof(CurveBuilderParamColMajor, nz) == 48);
static_assert(offsetof(CurveBuilderParamColMajor, numNormals) == 56);

static_assert(offsetof(CurveBuilderParamRowMajor, numPoints) == 0);
static_assert(offsetof(CurveBuilderParamRowMajor, coordinates) == 8);
static_assert(offsetof(CurveBuilderParamRowMajor, normals) == 16);
static_assert(offsetof(CurveBuilderParamRowMajor, numNormals) == 24);

// Receives one mesh from a loader.
class PERSISTENCE_COREIO_EXPORT MeshBuilderInterface {
public:
    MeshBuilderInterface();
    virtual ~MeshBuilderInterface();
    virtual void build(const MeshBuilderParamColMajor& param) = 0;
    virtual void build(const MeshBuilderParamRowMajor& param) = 0;
    virtual bool needNormals() const = 0;
    virtual bool loadTopologyOnly() const = 0;  // true: only counts, triangles and solver mapping
};

// Receives one curve from a loader.
class PERSISTENCE_COREIO_EXPORT CurveBuilderInterface {
public:
    CurveBuilderInterface();
    virtual ~CurveBuilderInterface();
    virtual void build(const CurveBuilderParamColMajor& param) = 0;
    virtual void build(const CurveBuilderParamRowMajor& param) = 0;
};

// Receives result arrays from a loader.
class PERSISTENCE_COREIO_EXPORT ResultBuilderInterface {
public:
    ResultBuilderInterface();
    virtual ~ResultBuilderInterface();
    virtual void setInterval(double start, double end) = 0;
    virtual void build(const ResultBuilderColMajorParam& first, const ResultBuilderColMajorParam& second) = 0;
    virtual void build(const ResultBuilderRowMajorParam& first, const ResultBuilderRowMajorParam& second) = 0;
    virtual void build(const ResultBuilderColMajorParam& param) = 0;
    virtual void build(const ResultBuilderRowMajorParam& param) = 0;
    virtual void build(std::size_t count, const int* values) = 0;
    virtual void build(std::size_t count, const float* values) = 0;
    virtual void build(std::size_t count, const double* values) = 0;
};

struct MeshLocation {
    std::string source;
    std::int64_t id = 0;
};

struct CurveLocation {
    std::string source;
    std::int64_t id = 0;
};

struct DataLocation {
    std::string source;
    std::int64_t id = 0;
    std::int64_t step = 0;
};

// One stored result of a body: its name and where its values lie.
struct ResultEntry {
    std::string name;
    DataLocation dataLocation;
};

// One simulation body: where its mesh lies and its stored results.
struct SimBody {
    std::string name;
    MeshLocation meshLocation;
    std::vector<ResultEntry> results;
};

// A source of simulation data that hands its contents to builders.
// Every loader fails the same way, so that callers handle any loader alike:
// - a location it did not hand out (another source, an id it lacks, a step its entry lacks):
//   LoadError naming the loader's source and the location; nothing reaches the builder;
// - a source that cannot be read (missing, malformed, or its data behind a location unreadable):
//   LoadError naming the source and what is wrong; from a load, nothing reaches the builder;
// - whatever the builder throws passes through unchanged.
class PERSISTENCE_COREIO_EXPORT LoaderInterface {
public:
    LoaderInterface();
    virtual ~LoaderInterface();
    // step empty: the entry's own step.
    virtual void loadResult(const DataLocation& where, ResultBuilderInterface& builder,
                            std::optional<std::int64_t> step) const = 0;
    virtual void loadCurve(const CurveLocation& where, CurveBuilderInterface& builder) const = 0;
    virtual void loadMesh(const MeshLocation& where, MeshBuilderInterface& builder) const = 0;
    virtual const std::vector<SimBody>& bodies() const = 0;

protected:
    LoaderInterface(const LoaderInterface&) = default;
    LoaderInterface& operator=(const LoaderInterface&) = default;
};

// A loader's failure: a location it does not hold, or a source that cannot be read. The message
// names the source and what is wrong.
class PERSISTENCE_COREIO_EXPORT LoadError : public std::runtime_error {
public:
    explicit LoadError(const std::string& message);
    ~LoadError() override;
};

}  // namespace CoreIo

#include "MemoryLoader.h"

#include "MakeRoomForOne.h"
#include "MessageText.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace CoreIo {

namespace {

// The body or curve whose arrays are checked; every refusal message starts with it.
struct Owner {
    const char* kind;
    const std::string& name;

    std::string prefix() const { return std::string(kind) + " " + inQuotes(name) + ": "; }
};

// The number of values an array of `count` items with `components` values each must hold.
// Refuses counts whose value count cannot be represented.
std::size_t requiredLength(const Owner& owner, const char* array, std::size_t count, const char* countName,
                           std::size_t components)
{
    if (count > std::numeric_limits<std::size_t>::max() / components) {
        throw std::invalid_argument(owner.prefix() + "array \"" + array + "\" cannot hold " +
                                    std::to_string(components) + " values per item for " + countName + " = " +
                                    std::to_string(count) + ": too large");
    }
    return count * components;
}

template <typename T>
void requireLength(const Owner& owner, const char* array, const std::vector<T>& values, std::size_t count,
                   const char* countName, std::size_t components)
{
    const std::size_t needed = requiredLength(owner, array, count, countName, components);
    if (values.size() < needed) {
        throw std::invalid_argument(owner.prefix() + "array \"" + array + "\" holds " + std::to_string(values.size()) +
                                    " values, fewer than the " + std::to_string(needed) + " that " + countName + " = " +
                                    std::to_string(count) + " demands");
    }
}

void requireNewName(const Owner& owner, bool taken)
{
    if (owner.name.empty()) {
        throw std::invalid_argument(std::string("a ") + owner.kind + " needs a non-empty name");
    }
    if (taken) {
        throw std::invalid_argument(std::string(owner.kind) + " " + inQuotes(owner.name) + " is already registered");
    }
}

// Positions and normals, shared by meshes and curves: which arrays hold them depends on the layout.
template <typename Arrays>
void checkPointsAndNormals(const Owner& owner, const Arrays& arrays, std::size_t numPoints, const char* countName)
{
    if (arrays.layout == Layout::ColumnMajor) {
        requireLength(owner, "x", arrays.x, numPoints, countName, 1);
        requireLength(owner, "y", arrays.y, numPoints, countName, 1);
        requireLength(owner, "z", arrays.z, numPoints, countName, 1);
        requireLength(owner, "nx", arrays.nx, arrays.numNormals, "numNormals", 1);
        requireLength(owner, "ny", arrays.ny, arrays.numNormals, "numNormals", 1);
        requireLength(owner, "nz", arrays.nz, arrays.numNormals, "numNormals", 1);
    } else {
        requireLength(owner, "coordinates", arrays.coordinates, numPoints, countName, 3);
        requireLength(owner, "normals", arrays.normals, arrays.numNormals, "numNormals", 3);
    }
}

void checkTriangles(const Owner& owner, const MeshArrays& mesh)
{
    requireLength(owner, "triangles", mesh.triangles, mesh.numTriangles, "numTriangles", 3);
    const auto end = mesh.triangles.begin() + static_cast<std::ptrdiff_t>(3 * mesh.numTriangles);
    const auto outside = std::find_if(mesh.triangles.begin(), end, [&](int node) {
        return node < 0 || static_cast<std::size_t>(node) >= mesh.numNodes;
    });
    if (outside != end) {
        const auto entry = static_cast<std::size_t>(outside - mesh.triangles.begin());
        throw std::invalid_argument(owner.prefix() + "array \"triangles\" entry " + std::to_string(entry) +
                                    " (triangle " + std::to_string(entry / 3) + ") is node " +
                                    std::to_string(*outside) +
                                    ", outside [0, numNodes = " + std::to_string(mesh.numNodes) + ")");
    }
}

void checkSolverIndexMapping(const Owner& owner, const std::vector<int>& mapping, std::size_t numNodes)
{
    if (!mapping.empty() && mapping.size() != numNodes) {
        throw std::invalid_argument(owner.prefix() + "array \"solverIndexMapping\" holds " +
                                    std::to_string(mapping.size()) +
                                    " values; it must be empty or hold numNodes = " + std::to_string(numNodes));
    }
    const auto negative = std::find_if(mapping.begin(), mapping.end(), [](int vertex) { return vertex < 0; });
    if (negative != mapping.end()) {
        throw std::invalid_argument(owner.prefix() + "array \"solverIndexMapping\" entry " +
                                    std::to_string(negative - mapping.begin()) + " is negative (" +
                                    std::to_string(*negative) + ")");
    }
}

void checkMesh(const Owner& owner, const MeshArrays& mesh)
{
    checkPointsAndNormals(owner, mesh, mesh.numNodes, "numNodes");
    checkTriangles(owner, mesh);
    checkSolverIndexMapping(owner, mesh.solverIndexMapping, mesh.numNodes);
}

std::size_t lengthOf(const ResultValues& values)
{
    return std::visit([](const auto& array) { return array.size(); }, values);
}

// The entries of `step` in a body's results, which are ordered by step, latest first.
using ResultIterator = std::vector<ResultEntry>::const_iterator;
std::pair<ResultIterator, ResultIterator> stepRange(const std::vector<ResultEntry>& results, std::int64_t step)
{
    const auto first = std::partition_point(results.begin(), results.end(),
                                            [&](const ResultEntry& e) { return e.dataLocation.step > step; });
    const auto last = std::partition_point(first, results.end(),
                                           [&](const ResultEntry& e) { return e.dataLocation.step == step; });
    return {first, last};
}

bool holdsId(std::int64_t id, std::size_t size)
{
    return id >= 0 && static_cast<std::uint64_t>(id) < size;
}

// The failure of a load from a location that this loader did not hand out.
LoadError unknownLocation(const std::string& sourceName, const std::string& what)
{
    return LoadError("memory source " + inQuotes(sourceName) + ": " + what);
}

template <typename T>
const T* dataOrNull(const std::vector<T>& values)
{
    return values.empty() ? nullptr : values.data();
}

template <typename Record>
void pointAtTopology(Record& record, const MeshArrays& mesh)
{
    record.numNodes = mesh.numNodes;
    record.numTriangles = mesh.numTriangles;
    record.triangles = dataOrNull(mesh.triangles);
    record.numNormals = mesh.numNormals;
    record.solverIndexMapping = dataOrNull(mesh.solverIndexMapping);
}

template <typename Record, typename Arrays>
void pointAtColumns(Record& record, const Arrays& arrays)
{
    record.x = dataOrNull(arrays.x);
    record.y = dataOrNull(arrays.y);
    record.z = dataOrNull(arrays.z);
    record.nx = dataOrNull(arrays.nx);
    record.ny = dataOrNull(arrays.ny);
    record.nz = dataOrNull(arrays.nz);
}

template <typename Record, typename Arrays>
void pointAtRows(Record& record, const Arrays& arrays)
{
    record.coordinates = dataOrNull(arrays.coordinates);
    record.normals = dataOrNull(arrays.normals);
}

}  // namespace

MemoryLoader::MemoryLoader(std::string sourceName) : sourceName_(std::move(sourceName))
{
}

MemoryLoader::~MemoryLoader() = default;

void MemoryLoader::addBody(const std::string& name, MeshArrays mesh)
{
    const Owner owner{"body", name};
    requireNewName(owner, bodyIndex_.contains(name));
    checkMesh(owner, mesh);

    const std::size_t index = bodies_.size();
    SimBody body{name, MeshLocation{sourceName_, static_cast<std::int64_t>(index)}, {}};
    makeRoomForOne(bodies_);
    makeRoomForOne(storedBodies_);
    bodyIndex_.emplace(name, index);
    bodies_.push_back(std::move(body));
    storedBodies_.push_back(StoredBody{std::move(mesh), {}});
}

void MemoryLoader::addResult(const std::string& bodyName, const std::string& resultName, ResultValues values,
                             std::int64_t step)
{
    const auto found = bodyIndex_.find(bodyName);
    if (found == bodyIndex_.end()) {
        throw std::invalid_argument("result " + inQuotes(resultName) + ": no body " + inQuotes(bodyName) +
                                    " is registered");
    }
    const std::size_t bodyIndex = found->second;
    SimBody& body = bodies_[bodyIndex];
    StoredBody& stored = storedBodies_[bodyIndex];
    const Owner owner{"body", bodyName};
    const std::string atStep = " at step " + std::to_string(step);
    if (resultName.empty()) {
        throw std::invalid_argument(owner.prefix() + "a result" + atStep + " needs a non-empty name");
    }
    const auto [first, last] = stepRange(body.results, step);
    if (std::any_of(first, last, [&](const ResultEntry& e) { return e.name == resultName; })) {
        throw std::invalid_argument(owner.prefix() + "result " + inQuotes(resultName) + atStep +
                                    " is already registered");
    }
    if (lengthOf(values) != stored.mesh.numNodes) {
        throw std::invalid_argument(owner.prefix() + "result " + inQuotes(resultName) + atStep + " holds " +
                                    std::to_string(lengthOf(values)) +
                                    " values but the body has numNodes = " + std::to_string(stored.mesh.numNodes));
    }

    const auto position = last - body.results.cbegin();
    const auto id = static_cast<std::int64_t>(resultSlots_.size());
    ResultEntry entry{resultName, DataLocation{sourceName_, id, step}};
    StoredResult result{resultName, step, std::move(values)};
    makeRoomForOne(body.results);
    makeRoomForOne(stored.results);
    makeRoomForOne(resultSlots_);
    body.results.insert(body.results.begin() + position, std::move(entry));
    stored.results.push_back(std::move(result));
    resultSlots_.push_back(ResultSlot{bodyIndex, stored.results.size() - 1});
}

CurveLocation MemoryLoader::addCurve(const std::string& name, CurveArrays curve)
{
    const Owner owner{"curve", name};
    requireNewName(owner, curveNames_.contains(name));
    checkPointsAndNormals(owner, curve, curve.numPoints, "numPoints");

    CurveLocation location{sourceName_, static_cast<std::int64_t>(curves_.size())};
    std::pair<std::string, CurveArrays> entry{name, std::move(curve)};
    makeRoomForOne(curves_);
    curveNames_.insert(name);
    curves_.push_back(std::move(entry));
    return location;
}

const std::vector<SimBody>& MemoryLoader::bodies() const
{
    return bodies_;
}

const SimBody& MemoryLoader::body(const std::string& name) const
{
    const auto found = bodyIndex_.find(name);
    if (found == bodyIndex_.end()) {
        throw std::out_of_range("no body " + inQuotes(name) + " is registered in source " + inQuotes(sourceName_));
    }
    return bodies_[found->second];
}

void MemoryLoader::loadResult(const DataLocation& where, ResultBuilderInterface& builder,
                              std::optional<std::int64_t> step) const
{
    const ResultSlot& slot = step ? resultSlotAtStep(resultSlotAt(where), *step) : resultSlotAt(where);
    const ResultValues& values = storedBodies_[slot.body].results[slot.index].values;
    std::visit([&](const auto& array) { builder.build(array.size(), dataOrNull(array)); }, values);
}

void MemoryLoader::loadCurve(const CurveLocation& where, CurveBuilderInterface& builder) const
{
    if (where.source != sourceName_ || !holdsId(where.id, curves_.size())) {
        throw unknownLocation(sourceName_, "no curve is registered at source " + inQuotes(where.source) + ", id " +
                                               std::to_string(where.id));
    }
    const CurveArrays& curve = curves_[static_cast<std::size_t>(where.id)].second;
    if (curve.layout == Layout::ColumnMajor) {
        CurveBuilderParamColMajor record;
        record.numPoints = curve.numPoints;
        record.numNormals = curve.numNormals;
        pointAtColumns(record, curve);
        builder.build(record);
    } else {
        CurveBuilderParamRowMajor record;
        record.numPoints = curve.numPoints;
        record.numNormals = curve.numNormals;
        pointAtRows(record, curve);
        builder.build(record);
    }
}

void MemoryLoader::loadMesh(const MeshLocation& where, MeshBuilderInterface& builder) const
{
    const MeshArrays& mesh = storedBodyAt(where).mesh;
    const bool withGeometry = !builder.loadTopologyOnly();
    if (mesh.layout == Layout::ColumnMajor) {
        MeshBuilderParamColMajor record;
        pointAtTopology(record, mesh);
        if (withGeometry) {
            pointAtColumns(record, mesh);
        }
        builder.build(record);
    } else {
        MeshBuilderParamRowMajor record;
        pointAtTopology(record, mesh);
        if (withGeometry) {
            pointAtRows(record, mesh);
        }
        builder.build(record);
    }
}

const MemoryLoader::StoredBody& MemoryLoader::storedBodyAt(const MeshLocation& where) const
{
    if (where.source != sourceName_ || !holdsId(where.id, storedBodies_.size())) {
        throw unknownLocation(sourceName_, "no mesh is registered at source " + inQuotes(where.source) + ", id " +
                                               std::to_string(where.id));
    }
    return storedBodies_[static_cast<std::size_t>(where.id)];
}

const MemoryLoader::ResultSlot& MemoryLoader::resultSlotAt(const DataLocation& where) const
{
    const bool registered = where.source == sourceName_ && holdsId(where.id, resultSlots_.size());
    const ResultSlot* slot = registered ? &resultSlots_[static_cast<std::size_t>(where.id)] : nullptr;
    if (slot == nullptr || storedBodies_[slot->body].results[slot->index].step != where.step) {
        throw unknownLocation(sourceName_, "no result is registered at source " + inQuotes(where.source) + ", id " +
                                               std::to_string(where.id) + ", step " + std::to_string(where.step));
    }
    return *slot;
}

const MemoryLoader::ResultSlot& MemoryLoader::resultSlotAtStep(const ResultSlot& slot, std::int64_t step) const
{
    const std::string& name = storedBodies_[slot.body].results[slot.index].name;
    const SimBody& body = bodies_[slot.body];
    const auto [first, last] = stepRange(body.results, step);
    const auto entry = std::find_if(first, last, [&](const ResultEntry& e) { return e.name == name; });
    if (entry == last) {
        throw unknownLocation(sourceName_, "body " + inQuotes(body.name) + " has no result " + inQuotes(name) +
                                               " at step " + std::to_string(step));
    }
    return resultSlots_[static_cast<std::size_t>(entry->dataLocation.id)];
}

}  // namespace CoreIo

#include "MemoryLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace CoreIo;

namespace {

template <typename T>
std::vector<T> copyOf(const T* values, std::size_t count)
{
    return values == nullptr ? std::vector<T>{} : std::vector<T>(values, values + count);
}

// Column arrays as x0 y0 z0 x1 ..., so that both layouts compare alike.
std::vector<float> interleave(const float* x, const float* y, const float* z, std::size_t count)
{
    if (x == nullptr || y == nullptr || z == nullptr) {
        return {};
    }
    std::vector<float> rows;
    rows.reserve(3 * count);
    for (std::size_t i = 0; i < count; ++i) {
        rows.insert(rows.end(), {x[i], y[i], z[i]});
    }
    return rows;
}

bool allNull(const std::vector<const void*>& pointers)
{
    return std::all_of(pointers.begin(), pointers.end(), [](const void* p) { return p == nullptr; });
}

// What a mesh builder received, positions and normals in row-major form whatever the record.
struct ReceivedMesh {
    int builds = 0;
    Layout layout = Layout::ColumnMajor;
    std::size_t numNodes = 0;
    std::size_t numNormals = 0;
    std::size_t numTriangles = 0;
    std::vector<float> coordinates;
    std::vector<float> normals;
    std::vector<int> triangles;
    std::vector<int> solverIndexMapping;
    std::vector<const void*> geometryArrays;  // coordinate and normal pointers of the record
    std::vector<const void*> topologyArrays;  // triangles and solverIndexMapping
};

class RecordingMeshBuilder : public MeshBuilderInterface {
public:
    explicit RecordingMeshBuilder(bool topologyOnly = false)
        : topologyOnly_(topologyOnly)
    {
    }

    void build(const MeshBuilderParamColMajor& record) override
    {
        receiveTopology(Layout::ColumnMajor, record);
        received.coordinates = interleave(record.x, record.y, record.z, record.numNodes);
        received.normals = interleave(record.nx, record.ny, record.nz, record.numNormals);
        received.geometryArrays = {record.x, record.y, record.z, record.nx, record.ny, record.nz};
    }
    void build(const MeshBuilderParamRowMajor& record) override
    {
        receiveTopology(Layout::RowMajor, record);
        received.coordinates = copyOf(record.coordinates, 3 * record.numNodes);
        received.normals = copyOf(record.normals, 3 * record.numNormals);
        received.geometryArrays = {record.coordinates, record.normals};
    }
    bool needNormals() const override { return true; }
    bool loadTopologyOnly() const override { return topologyOnly_; }

    ReceivedMesh received;

private:
    template <typename Record>
    void receiveTopology(Layout layout, const Record& record)
    {
        ++received.builds;
        received.layout = layout;
        received.numNodes = record.numNodes;
        received.numNormals = record.numNormals;
        received.numTriangles = record.numTriangles;
        received.triangles = copyOf(record.triangles, 3 * record.numTriangles);
        received.solverIndexMapping = copyOf(record.solverIndexMapping, record.numNodes);
        received.topologyArrays = {record.triangles, record.solverIndexMapping};
    }

    bool topologyOnly_;
};

struct ReceivedCurve {
    int builds = 0;
    Layout layout = Layout::ColumnMajor;
    std::size_t numPoints = 0;
    std::size_t numNormals = 0;
    std::vector<float> coordinates;
    std::vector<float> normals;
};

class RecordingCurveBuilder : public CurveBuilderInterface {
public:
    void build(const CurveBuilderParamColMajor& record) override
    {
        receiveCounts(Layout::ColumnMajor, record);
        received.coordinates = interleave(record.x, record.y, record.z, record.numPoints);
        received.normals = interleave(record.nx, record.ny, record.nz, record.numNormals);
    }
    void build(const CurveBuilderParamRowMajor& record) override
    {
        receiveCounts(Layout::RowMajor, record);
        received.coordinates = copyOf(record.coordinates, 3 * record.numPoints);
        received.normals = copyOf(record.normals, 3 * record.numNormals);
    }

    ReceivedCurve received;

private:
    template <typename Record>
    void receiveCounts(Layout layout, const Record& record)
    {
        ++received.builds;
        received.layout = layout;
        received.numPoints = record.numPoints;
        received.numNormals = record.numNormals;
    }
};

class RecordingResultBuilder : public ResultBuilderInterface {
public:
    void setInterval(double, double) override { unexpected(); }
    void build(const ResultBuilderColMajorParam&, const ResultBuilderColMajorParam&) override { unexpected(); }
    void build(const ResultBuilderRowMajorParam&, const ResultBuilderRowMajorParam&) override { unexpected(); }
    void build(const ResultBuilderColMajorParam&) override { unexpected(); }
    void build(const ResultBuilderRowMajorParam&) override { unexpected(); }
    void build(std::size_t count, const int* values) override { received.emplace_back(copyOf(values, count)); }
    void build(std::size_t count, const float* values) override { received.emplace_back(copyOf(values, count)); }
    void build(std::size_t count, const double* values) override { received.emplace_back(copyOf(values, count)); }

    std::vector<ResultValues> received;  // one entry per typed build call

private:
    static void unexpected() { ADD_FAILURE() << "a result arrives as one plain typed array only"; }
};

const std::vector<float> quadCoordinates{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0.5f};
const std::vector<float> quadNormals{0, 0, 1, 0, 0.5f, 1, 0, 0, -1};
const std::vector<int> quadTriangles{0, 1, 2, 0, 2, 3};
const std::vector<int> quadMapping{3, 2, 1, 0};

// Four nodes, two triangles, three normals: the same quad in both layouts.
MeshArrays rowMajorQuad()
{
    MeshArrays mesh;
    mesh.layout = Layout::RowMajor;
    mesh.numNodes = 4;
    mesh.coordinates = quadCoordinates;
    mesh.numNormals = 3;
    mesh.normals = quadNormals;
    mesh.numTriangles = 2;
    mesh.triangles = quadTriangles;
    mesh.solverIndexMapping = quadMapping;
    return mesh;
}

MeshArrays columnMajorQuad()
{
    MeshArrays mesh;
    mesh.layout = Layout::ColumnMajor;
    mesh.numNodes = 4;
    mesh.x = {0, 1, 1, 0};
    mesh.y = {0, 0, 1, 1};
    mesh.z = {0, 0, 0, 0.5f};
    mesh.numNormals = 3;
    mesh.nx = {0, 0, 0};
    mesh.ny = {0, 0.5f, 0};
    mesh.nz = {1, 1, -1};
    mesh.numTriangles = 2;
    mesh.triangles = quadTriangles;
    mesh.solverIndexMapping = quadMapping;
    return mesh;
}

MeshArrays nodesOnly(std::size_t numNodes)
{
    MeshArrays mesh;
    mesh.numNodes = numNodes;
    mesh.x = mesh.y = mesh.z = std::vector<float>(numNodes);
    return mesh;
}

ReceivedMesh loadMesh(const MemoryLoader& loader, const std::string& body, bool topologyOnly = false)
{
    RecordingMeshBuilder builder(topologyOnly);
    loader.loadMesh(loader.body(body).meshLocation, builder);
    return builder.received;
}

std::vector<ResultValues> loadResult(const MemoryLoader& loader, const DataLocation& where,
                                     std::optional<std::int64_t> step = std::nullopt)
{
    RecordingResultBuilder builder;
    loader.loadResult(where, builder, step);
    return builder.received;
}

const ResultEntry& entry(const MemoryLoader& loader, const std::string& body, const std::string& result,
                         std::int64_t step)
{
    const auto& results = loader.body(body).results;
    const auto found = std::find_if(results.begin(), results.end(), [&](const ResultEntry& e) {
        return e.name == result && e.dataLocation.step == step;
    });
    if (found == results.end()) {
        throw std::logic_error("test setup: no result " + result + " at step " + std::to_string(step));
    }
    return *found;
}

// Everything a caller can see of the registered bodies, to tell whether a refusal changed any of it.
std::string describe(const MemoryLoader& loader)
{
    std::ostringstream text;
    for (const SimBody& body : loader.bodies()) {
        text << body.name << '@' << body.meshLocation.source << '#' << body.meshLocation.id << ':';
        for (const ResultEntry& result : body.results) {
            const DataLocation& where = result.dataLocation;
            text << ' ' << result.name << '@' << where.source << '#' << where.id << '/' << where.step;
        }
        text << '\n';
    }
    return text.str();
}

template <typename Exception>
void expectThrowNaming(const std::function<void()>& action, const std::vector<std::string>& fragments)
{
    try {
        action();
        ADD_FAILURE() << "nothing was thrown";
    } catch (const Exception& error) {
        const std::string message = error.what();
        for (const std::string& fragment : fragments) {
            EXPECT_NE(message.find(fragment), std::string::npos) << "\"" << message << "\" should name " << fragment;
        }
    }
}

constexpr std::size_t tooManyForThree = std::numeric_limits<std::size_t>::max() / 3 + 1;

}  // namespace

TEST(MemoryLoader, HandsAMeshInTheLayoutItWasRegisteredIn)
{
    MemoryLoader loader;
    loader.addBody("columns", columnMajorQuad());
    loader.addBody("rows", rowMajorQuad());

    const ReceivedMesh columns = loadMesh(loader, "columns");
    const ReceivedMesh rows = loadMesh(loader, "rows");

    EXPECT_EQ(columns.layout, Layout::ColumnMajor);
    EXPECT_EQ(rows.layout, Layout::RowMajor);
    for (const ReceivedMesh& mesh : {columns, rows}) {
        EXPECT_EQ(mesh.builds, 1);
        EXPECT_EQ(mesh.numNodes, 4u);
        EXPECT_EQ(mesh.numNormals, 3u);
        EXPECT_EQ(mesh.numTriangles, 2u);
        EXPECT_EQ(mesh.coordinates, quadCoordinates);
        EXPECT_EQ(mesh.normals, quadNormals);
        EXPECT_EQ(mesh.triangles, quadTriangles);
        EXPECT_EQ(mesh.solverIndexMapping, quadMapping);
    }
}

TEST(MemoryLoader, HandsOutItsOwnStorageRatherThanACopyPerLoad)
{
    // A load nested inside another keeps both records alive: copies made per load would differ in address.
    class NestingBuilder : public RecordingMeshBuilder {
    public:
        NestingBuilder(const MemoryLoader& loader, RecordingMeshBuilder& inner)
            : loader_(loader), inner_(inner)
        {
        }
        using RecordingMeshBuilder::build;
        void build(const MeshBuilderParamRowMajor& record) override
        {
            RecordingMeshBuilder::build(record);
            loader_.loadMesh(loader_.body("rows").meshLocation, inner_);
        }

    private:
        const MemoryLoader& loader_;
        RecordingMeshBuilder& inner_;
    };
    MemoryLoader loader;
    loader.addBody("rows", rowMajorQuad());
    RecordingMeshBuilder inner;
    NestingBuilder outer(loader, inner);

    loader.loadMesh(loader.body("rows").meshLocation, outer);

    ASSERT_EQ(inner.received.builds, 1);
    EXPECT_FALSE(allNull(outer.received.geometryArrays));
    EXPECT_EQ(outer.received.geometryArrays, inner.received.geometryArrays);
    EXPECT_EQ(outer.received.topologyArrays, inner.received.topologyArrays);
}

TEST(MemoryLoader, GivesATopologyOnlyBuilderCountsAndTopologyButNoCoordinatesOrNormals)
{
    MemoryLoader loader;
    loader.addBody("columns", columnMajorQuad());
    loader.addBody("rows", rowMajorQuad());

    for (const char* body : {"columns", "rows"}) {
        const ReceivedMesh mesh = loadMesh(loader, body, true);
        EXPECT_EQ(mesh.builds, 1) << body;
        EXPECT_EQ(mesh.numNodes, 4u) << body;
        EXPECT_EQ(mesh.numNormals, 3u) << body;
        EXPECT_EQ(mesh.triangles, quadTriangles) << body;
        EXPECT_EQ(mesh.solverIndexMapping, quadMapping) << body;
        EXPECT_TRUE(allNull(mesh.geometryArrays)) << body;
    }
}

TEST(MemoryLoader, HandsArraysThatWereNotRegisteredAsNullPointers)
{
    MemoryLoader loader;
    MeshArrays empty;
    empty.layout = Layout::RowMajor;
    loader.addBody("empty", empty);
    loader.addBody("unmapped", nodesOnly(2));

    const ReceivedMesh emptyMesh = loadMesh(loader, "empty");
    EXPECT_EQ(emptyMesh.builds, 1);
    EXPECT_EQ(emptyMesh.numNodes, 0u);
    EXPECT_EQ(emptyMesh.numTriangles, 0u);
    EXPECT_TRUE(allNull(emptyMesh.geometryArrays));
    EXPECT_TRUE(allNull(emptyMesh.topologyArrays));

    const ReceivedMesh unmapped = loadMesh(loader, "unmapped");
    EXPECT_EQ(unmapped.coordinates, std::vector<float>(6, 0.0f));
    EXPECT_TRUE(allNull(unmapped.topologyArrays)) << "no triangles and no solver index mapping were registered";
}

TEST(MemoryLoader, HandsCurvesInTheirRegisteredLayout)
{
    MemoryLoader loader;
    CurveArrays columns;
    columns.numPoints = 3;
    columns.x = {1, 2, 3};
    columns.y = {4, 5, 6};
    columns.z = {7, 8, 9};
    columns.numNormals = 1;
    columns.nx = {0};
    columns.ny = {1};
    columns.nz = {0};
    CurveArrays rows;
    rows.layout = Layout::RowMajor;
    rows.numPoints = 2;
    rows.coordinates = {1, 4, 7, 2, 5, 8};

    const CurveLocation columnsAt = loader.addCurve("columns", columns);
    const CurveLocation rowsAt = loader.addCurve("rows", rows);
    RecordingCurveBuilder fromColumns;
    RecordingCurveBuilder fromRows;
    loader.loadCurve(columnsAt, fromColumns);
    loader.loadCurve(rowsAt, fromRows);

    EXPECT_EQ(fromColumns.received.builds, 1);
    EXPECT_EQ(fromColumns.received.layout, Layout::ColumnMajor);
    EXPECT_EQ(fromColumns.received.numPoints, 3u);
    EXPECT_EQ(fromColumns.received.coordinates, (std::vector<float>{1, 4, 7, 2, 5, 8, 3, 6, 9}));
    EXPECT_EQ(fromColumns.received.numNormals, 1u);
    EXPECT_EQ(fromColumns.received.normals, (std::vector<float>{0, 1, 0}));

    EXPECT_EQ(fromRows.received.builds, 1);
    EXPECT_EQ(fromRows.received.layout, Layout::RowMajor);
    EXPECT_EQ(fromRows.received.numPoints, 2u);
    EXPECT_EQ(fromRows.received.coordinates, rows.coordinates);
    EXPECT_EQ(fromRows.received.numNormals, 0u);
    EXPECT_TRUE(fromRows.received.normals.empty());
}

TEST(MemoryLoader, DeliversEachResultOnceInItsStoredElementType)
{
    MemoryLoader loader;
    loader.addBody("plate", nodesOnly(2));
    const ResultValues ints = std::vector<int>{-1, 7};
    const ResultValues floats = std::vector<float>{0.5f, 2.25f};
    const ResultValues doubles = std::vector<double>{0.1, 1e300};
    loader.addResult("plate", "ELEMENT", ints);
    loader.addResult("plate", "THICKNESS", floats);
    loader.addResult("plate", "STRAIN", doubles);

    EXPECT_EQ(loadResult(loader, entry(loader, "plate", "ELEMENT", 0).dataLocation), std::vector{ints});
    EXPECT_EQ(loadResult(loader, entry(loader, "plate", "THICKNESS", 0).dataLocation), std::vector{floats});
    EXPECT_EQ(loadResult(loader, entry(loader, "plate", "STRAIN", 0).dataLocation), std::vector{doubles});
}

TEST(MemoryLoader, LoadsTheSameResultOfTheSameBodyAtTheStepAsked)
{
    MemoryLoader loader;
    loader.addBody("plate", nodesOnly(1));
    loader.addBody("punch", nodesOnly(1));
    loader.addResult("plate", "STRESS", std::vector<float>{10}, 0);
    loader.addResult("plate", "STRESS", std::vector<float>{11}, 1);
    loader.addResult("plate", "STRAIN", std::vector<float>{21}, 2);
    loader.addResult("plate", "STRESS", std::vector<float>{12}, 2);
    loader.addResult("punch", "STRESS", std::vector<float>{31}, 3);
    const DataLocation& first = entry(loader, "plate", "STRESS", 0).dataLocation;

    EXPECT_EQ(loadResult(loader, first), std::vector<ResultValues>{std::vector<float>{10}});
    EXPECT_EQ(loadResult(loader, first, 0), std::vector<ResultValues>{std::vector<float>{10}});
    EXPECT_EQ(loadResult(loader, first, 2), std::vector<ResultValues>{std::vector<float>{12}});
    EXPECT_EQ(loadResult(loader, first, 1), std::vector<ResultValues>{std::vector<float>{11}});
    expectThrowNaming<std::out_of_range>([&] { loadResult(loader, first, 3); }, {"plate", "STRESS", "3"});
}

TEST(MemoryLoader, ListsBodiesInRegistrationOrderAtTheirOwnMeshLocations)
{
    MemoryLoader loader("run-7");
    const std::vector<std::string> names{"plate", "punch", "die"};
    const std::vector<std::size_t> numNodes{3, 1, 2};
    for (std::size_t i = 0; i < names.size(); ++i) {
        loader.addBody(names[i], nodesOnly(numNodes[i]));
    }

    const std::vector<SimBody>& bodies = loader.bodies();
    ASSERT_EQ(bodies.size(), names.size());
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        EXPECT_EQ(bodies[i].name, names[i]);
        EXPECT_EQ(bodies[i].meshLocation.source, "run-7");
        EXPECT_EQ(&loader.body(names[i]), &bodies[i]);
        RecordingMeshBuilder builder;
        loader.loadMesh(bodies[i].meshLocation, builder);
        EXPECT_EQ(builder.received.numNodes, numNodes[i]) << "the location leads to the body's own mesh";
    }
}

TEST(MemoryLoader, ListsResultsLatestStepFirstAndInRegistrationOrderWithinAStep)
{
    MemoryLoader loader("run-7");
    loader.addBody("plate", nodesOnly(1));
    const std::vector<std::pair<std::string, std::int64_t>> registered{
        {"A", 1}, {"B", 3}, {"C", 1}, {"D", 2}, {"E", 3}, {"A", 3}, {"A", -4}};
    for (const auto& [name, step] : registered) {
        loader.addResult("plate", name, std::vector<double>{static_cast<double>(step)}, step);
    }

    std::vector<std::pair<std::string, std::int64_t>> listed;
    std::vector<std::int64_t> ids;
    for (const ResultEntry& result : loader.body("plate").results) {
        listed.emplace_back(result.name, result.dataLocation.step);
        ids.push_back(result.dataLocation.id);
        EXPECT_EQ(result.dataLocation.source, "run-7");
        EXPECT_EQ(loadResult(loader, result.dataLocation),
                  std::vector<ResultValues>{std::vector<double>{static_cast<double>(result.dataLocation.step)}});
    }
    EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::int64_t>>{
                          {"B", 3}, {"E", 3}, {"A", 3}, {"D", 2}, {"A", 1}, {"C", 1}, {"A", -4}}));
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "every stored result has its own id";
}

TEST(MemoryLoader, RefusesMeshArraysThatDoNotHoldWhatTheirCountsDemand)
{
    struct Case {
        std::string array;
        std::function<MeshArrays()> make;
    };
    const std::vector<Case> cases{
        {"\"x\"", [] { auto m = columnMajorQuad(); m.x.pop_back(); return m; }},
        {"\"y\"", [] { auto m = columnMajorQuad(); m.y.clear(); return m; }},
        {"\"z\"", [] { auto m = columnMajorQuad(); m.z.pop_back(); return m; }},
        {"\"nx\"", [] { auto m = columnMajorQuad(); m.numNormals = 4; return m; }},
        {"\"nz\"", [] { auto m = columnMajorQuad(); m.nz.pop_back(); return m; }},
        {"\"coordinates\"", [] { auto m = rowMajorQuad(); m.coordinates.pop_back(); return m; }},
        {"\"normals\"", [] { auto m = rowMajorQuad(); m.numNormals = 4; return m; }},
        {"\"coordinates\"", [] { auto m = rowMajorQuad(); m.numNodes = tooManyForThree; return m; }},
        {"\"normals\"", [] { auto m = rowMajorQuad(); m.numNormals = tooManyForThree; return m; }},
        {"\"x\"", [] { auto m = columnMajorQuad(); m.numNodes = tooManyForThree; return m; }},
        {"\"triangles\"", [] { auto m = rowMajorQuad(); m.triangles.pop_back(); return m; }},
        {"\"triangles\"", [] { auto m = rowMajorQuad(); m.numTriangles = tooManyForThree; return m; }},
        {"\"triangles\"", [] { auto m = rowMajorQuad(); m.triangles[4] = 4; return m; }},
        {"\"triangles\"", [] { auto m = columnMajorQuad(); m.triangles[0] = -1; return m; }},
        {"\"solverIndexMapping\"", [] { auto m = rowMajorQuad(); m.solverIndexMapping.pop_back(); return m; }},
        {"\"solverIndexMapping\"", [] { auto m = rowMajorQuad(); m.solverIndexMapping.push_back(0); return m; }},
        {"\"solverIndexMapping\"", [] { auto m = rowMajorQuad(); m.solverIndexMapping[2] = -5; return m; }},
    };
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.array);
        MemoryLoader loader;
        loader.addBody("kept", rowMajorQuad());
        loader.addResult("kept", "STRESS", std::vector<float>(4), 1);
        const std::string before = describe(loader);

        expectThrowNaming<std::invalid_argument>([&] { loader.addBody("broken", refused.make()); },
                                                 {"\"broken\"", refused.array});

        EXPECT_EQ(describe(loader), before);
        EXPECT_NO_THROW(loader.addBody("broken", columnMajorQuad())) << "a refused name stays free";
    }
}

TEST(MemoryLoader, RefusesBodyNamesThatAreEmptyOrTaken)
{
    MemoryLoader loader;
    loader.addBody("plate", nodesOnly(1));
    const std::string before = describe(loader);

    expectThrowNaming<std::invalid_argument>([&] { loader.addBody("", nodesOnly(1)); }, {"body", "name"});
    expectThrowNaming<std::invalid_argument>([&] { loader.addBody("plate", nodesOnly(2)); },
                                             {"\"plate\"", "already registered"});

    EXPECT_EQ(describe(loader), before);
    EXPECT_EQ(loadMesh(loader, "plate").numNodes, 1u) << "the first registration stays in place";
}

TEST(MemoryLoader, RefusesResultsThatDoNotFitTheirBody)
{
    MemoryLoader loader;
    loader.addBody("plate", nodesOnly(3));
    loader.addResult("plate", "STRESS", std::vector<float>(3), 1);
    const std::string before = describe(loader);

    expectThrowNaming<std::invalid_argument>([&] { loader.addResult("punch", "STRESS", std::vector<float>(3)); },
                                             {"\"punch\"", "\"STRESS\""});
    expectThrowNaming<std::invalid_argument>([&] { loader.addResult("plate", "", std::vector<float>(3)); },
                                             {"\"plate\"", "name"});
    expectThrowNaming<std::invalid_argument>([&] { loader.addResult("plate", "STRESS", std::vector<int>(3), 1); },
                                             {"\"plate\"", "\"STRESS\"", "step 1", "already registered"});
    expectThrowNaming<std::invalid_argument>([&] { loader.addResult("plate", "STRAIN", std::vector<double>(2)); },
                                             {"\"plate\"", "\"STRAIN\"", "2 values", "numNodes = 3"});

    EXPECT_EQ(describe(loader), before);
    EXPECT_NO_THROW(loader.addResult("plate", "STRESS", std::vector<float>(3), 2)) << "another step is free";
    EXPECT_NO_THROW(loader.addResult("plate", "STRAIN", std::vector<double>(3)));
}

TEST(MemoryLoader, RefusesCurvesWithShortArraysOrBadNamesWithoutTakingALocation)
{
    MemoryLoader loader;
    CurveArrays curve;
    curve.layout = Layout::RowMajor;
    curve.numPoints = 2;
    curve.coordinates = std::vector<float>(6);
    loader.addCurve("edge", curve);

    CurveArrays shortNormals = curve;
    shortNormals.numNormals = 1;
    shortNormals.normals = {0, 0};
    CurveArrays shortColumn;
    shortColumn.numPoints = 2;
    shortColumn.x = shortColumn.y = {0, 0};
    shortColumn.z = {0};
    expectThrowNaming<std::invalid_argument>([&] { loader.addCurve("rim", shortNormals); },
                                             {"curve", "\"rim\"", "\"normals\""});
    expectThrowNaming<std::invalid_argument>([&] { loader.addCurve("rim", shortColumn); },
                                             {"curve", "\"rim\"", "\"z\""});
    expectThrowNaming<std::invalid_argument>([&] { loader.addCurve("edge", curve); }, {"\"edge\""});
    expectThrowNaming<std::invalid_argument>([&] { loader.addCurve("", curve); }, {"curve", "name"});

    EXPECT_EQ(loader.addCurve("rim", curve).id, 1) << "refused curves took no location";
}

TEST(MemoryLoader, RefusesToLoadLocationsItNeverRegistered)
{
    MemoryLoader loader("run-7");
    loader.addBody("plate", nodesOnly(1));
    loader.addResult("plate", "STRESS", std::vector<float>{1}, 4);
    const CurveLocation curve = loader.addCurve("edge", CurveArrays{});
    RecordingMeshBuilder meshBuilder;
    RecordingCurveBuilder curveBuilder;
    RecordingResultBuilder resultBuilder;

    for (const MeshLocation& where : {MeshLocation{"run-7", 1}, MeshLocation{"run-7", -1}, MeshLocation{"run-8", 0}}) {
        expectThrowNaming<std::out_of_range>([&] { loader.loadMesh(where, meshBuilder); },
                                             {"mesh", '"' + where.source + '"', std::to_string(where.id)});
    }
    expectThrowNaming<std::out_of_range>([&] { loader.loadCurve({"run-7", curve.id + 1}, curveBuilder); },
                                         {"curve", "\"run-7\"", std::to_string(curve.id + 1)});
    expectThrowNaming<std::out_of_range>([&] { loader.loadCurve({"other", curve.id}, curveBuilder); },
                                         {"curve", "\"other\""});
    const DataLocation stored = loader.body("plate").results.front().dataLocation;
    for (const DataLocation& where : {DataLocation{"run-7", stored.id + 1, 4}, DataLocation{"run-7", stored.id, 3},
                                      DataLocation{"run-8", stored.id, 4}}) {
        expectThrowNaming<std::out_of_range>([&] { loader.loadResult(where, resultBuilder, std::nullopt); },
                                             {"result", '"' + where.source + '"', std::to_string(where.id)});
    }
    expectThrowNaming<std::out_of_range>([&] { loader.body("punch"); }, {"\"punch\""});

    EXPECT_EQ(meshBuilder.received.builds + curveBuilder.received.builds, 0);
    EXPECT_TRUE(resultBuilder.received.empty());
}

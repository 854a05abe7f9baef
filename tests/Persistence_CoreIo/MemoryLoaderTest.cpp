#include "MemoryLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    std::vector<float> rows;
    for (std::size_t i = 0; x != nullptr && y != nullptr && z != nullptr && i < count; ++i)
        rows.insert(rows.end(), {x[i], y[i], z[i]});
    return rows;
}

bool allNull(const std::vector<const void*>& pointers)
{
    return std::all_of(pointers.begin(), pointers.end(), [](const void* p) { return p == nullptr; });
}

// What a mesh or curve builder received, positions and normals row-major whatever the record.
struct Received {
    int builds = 0;
    Layout layout = Layout::ColumnMajor;
    std::size_t count = 0, numNormals = 0, numTriangles = 0;  // count: nodes or points
    std::vector<float> coordinates, normals;
    std::vector<int> triangles, solverIndexMapping;
    std::vector<const void*> geometryArrays, topologyArrays;  // the record's pointers
};

template <typename Record>
void receiveGeometry(Received& received, const Record& record, std::size_t count)
{
    ++received.builds;
    received.count = count;
    received.numNormals = record.numNormals;
    if constexpr (requires { record.coordinates; }) {
        received.layout = Layout::RowMajor;
        received.coordinates = copyOf(record.coordinates, 3 * count);
        received.normals = copyOf(record.normals, 3 * record.numNormals);
        received.geometryArrays = {record.coordinates, record.normals};
    } else {
        received.coordinates = interleave(record.x, record.y, record.z, count);
        received.normals = interleave(record.nx, record.ny, record.nz, record.numNormals);
        received.geometryArrays = {record.x, record.y, record.z, record.nx, record.ny, record.nz};
    }
}

class MeshRecorder : public MeshBuilderInterface {
public:
    explicit MeshRecorder(bool topologyOnly = false, std::function<void()> duringBuild = {})
        : topologyOnly_(topologyOnly), duringBuild_(std::move(duringBuild)) {}
    void build(const MeshBuilderParamColMajor& record) override { receive(record); }
    void build(const MeshBuilderParamRowMajor& record) override { receive(record); }
    bool needNormals() const override { return true; }
    bool loadTopologyOnly() const override { return topologyOnly_; }

    Received received;

private:
    template <typename Record> void receive(const Record& record)
    {
        receiveGeometry(received, record, record.numNodes);
        received.numTriangles = record.numTriangles;
        received.triangles = copyOf(record.triangles, 3 * record.numTriangles);
        received.solverIndexMapping = copyOf(record.solverIndexMapping, record.numNodes);
        received.topologyArrays = {record.triangles, record.solverIndexMapping};
        if (duringBuild_)
            duringBuild_();
    }
    bool topologyOnly_;
    std::function<void()> duringBuild_;
};

class CurveRecorder : public CurveBuilderInterface {
public:
    void build(const CurveBuilderParamColMajor& record) override { receiveGeometry(received, record, record.numPoints); }
    void build(const CurveBuilderParamRowMajor& record) override { receiveGeometry(received, record, record.numPoints); }
    Received received;
};

class ResultRecorder : public ResultBuilderInterface {
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

// Four nodes, two triangles, three normals: the same quad in either layout.
MeshArrays quad(Layout layout)
{
    MeshArrays mesh;
    mesh.layout = layout;
    mesh.numNodes = 4;
    mesh.numNormals = 3;
    mesh.numTriangles = 2;
    mesh.triangles = quadTriangles;
    mesh.solverIndexMapping = quadMapping;
    if (layout == Layout::RowMajor) {
        mesh.coordinates = quadCoordinates;
        mesh.normals = quadNormals;
        return mesh;
    }
    mesh.x = {0, 1, 1, 0};
    mesh.y = {0, 0, 1, 1};
    mesh.z = {0, 0, 0, 0.5f};
    mesh.nx = {0, 0, 0};
    mesh.ny = {0, 0.5f, 0};
    mesh.nz = {1, 1, -1};
    return mesh;
}

MeshArrays nodesOnly(std::size_t numNodes)
{
    MeshArrays mesh;
    mesh.numNodes = numNodes;
    mesh.x = mesh.y = mesh.z = std::vector<float>(numNodes);
    return mesh;
}

CurveArrays curveOf(Layout layout, std::size_t numPoints, std::vector<float> coordinates)
{
    CurveArrays curve;
    curve.layout = layout;
    curve.numPoints = numPoints;
    curve.coordinates = std::move(coordinates);
    return curve;
}

Received loadMesh(const MemoryLoader& loader, const std::string& body, bool topologyOnly = false)
{
    MeshRecorder builder(topologyOnly);
    loader.loadMesh(loader.body(body).meshLocation, builder);
    return builder.received;
}

std::vector<ResultValues> loadResult(const MemoryLoader& loader, const DataLocation& where,
                                     std::optional<std::int64_t> step = std::nullopt)
{
    ResultRecorder builder;
    loader.loadResult(where, builder, step);
    return builder.received;
}

// Everything a caller can see of the registered bodies, to tell whether a refusal changed any of it.
std::string describe(const MemoryLoader& loader)
{
    std::ostringstream text;
    for (const SimBody& body : loader.bodies()) {
        text << body.name << '@' << body.meshLocation.source << '#' << body.meshLocation.id << ':';
        for (const ResultEntry& result : body.results)
            text << ' ' << result.name << '@' << result.dataLocation.source << '#' << result.dataLocation.id << '/'
                 << result.dataLocation.step;
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
        for (const std::string& fragment : fragments)
            EXPECT_NE(message.find(fragment), std::string::npos) << "\"" << message << "\" should name " << fragment;
    }
}

constexpr std::size_t tooManyForThree = std::numeric_limits<std::size_t>::max() / 3 + 1;

}  // namespace

TEST(MemoryLoader, HandsAMeshInItsRegisteredLayoutPointingIntoItsOwnStorage)
{
    MemoryLoader loader;
    loader.addBody("columns", quad(Layout::ColumnMajor));
    loader.addBody("rows", quad(Layout::RowMajor));

    for (const auto& [body, layout] : {std::pair{"columns", Layout::ColumnMajor}, std::pair{"rows", Layout::RowMajor}}) {
        SCOPED_TRACE(body);
        // A load nested inside another keeps both records alive: copies made per load would differ in address.
        MeshRecorder inner;
        MeshRecorder outer(false, [&] { loader.loadMesh(loader.body(body).meshLocation, inner); });
        loader.loadMesh(loader.body(body).meshLocation, outer);
        const Received& mesh = outer.received;

        EXPECT_EQ(mesh.builds, 1);
        EXPECT_EQ(mesh.layout, layout);
        EXPECT_EQ(mesh.count, 4u);
        EXPECT_EQ(mesh.numNormals, 3u);
        EXPECT_EQ(mesh.numTriangles, 2u);
        EXPECT_EQ(mesh.coordinates, quadCoordinates);
        EXPECT_EQ(mesh.normals, quadNormals);
        EXPECT_EQ(mesh.triangles, quadTriangles);
        EXPECT_EQ(mesh.solverIndexMapping, quadMapping);
        EXPECT_FALSE(allNull(mesh.geometryArrays));
        EXPECT_EQ(inner.received.geometryArrays, mesh.geometryArrays);
        EXPECT_EQ(inner.received.topologyArrays, mesh.topologyArrays);

        const Received topology = loadMesh(loader, body, true);
        EXPECT_EQ(topology.count, 4u);
        EXPECT_EQ(topology.numNormals, 3u);
        EXPECT_EQ(topology.triangles, quadTriangles);
        EXPECT_EQ(topology.solverIndexMapping, quadMapping);
        EXPECT_TRUE(allNull(topology.geometryArrays)) << "a topology-only builder gets no coordinates or normals";
    }
}

TEST(MemoryLoader, HandsArraysThatWereNotRegisteredAsNullPointers)
{
    MemoryLoader loader;
    MeshArrays empty;
    empty.layout = Layout::RowMajor;
    loader.addBody("empty", empty);
    loader.addBody("unmapped", nodesOnly(2));

    const Received nothing = loadMesh(loader, "empty");
    EXPECT_EQ(nothing.builds, 1);
    EXPECT_TRUE(allNull(nothing.geometryArrays));
    EXPECT_TRUE(allNull(nothing.topologyArrays));
    const Received unmapped = loadMesh(loader, "unmapped");
    EXPECT_EQ(unmapped.coordinates, std::vector<float>(6, 0.0f));
    EXPECT_TRUE(allNull(unmapped.topologyArrays)) << "no triangles and no solver index mapping were registered";
}

TEST(MemoryLoader, HandsCurvesInTheirRegisteredLayout)
{
    MemoryLoader loader;
    CurveArrays columnCurve;
    columnCurve.numPoints = 3;
    columnCurve.x = {1, 2, 3};
    columnCurve.y = {4, 5, 6};
    columnCurve.z = {7, 8, 9};
    columnCurve.numNormals = 1;
    columnCurve.nx = columnCurve.nz = {0};
    columnCurve.ny = {1};
    const CurveLocation columns = loader.addCurve("columns", columnCurve);
    const CurveLocation rows = loader.addCurve("rows", curveOf(Layout::RowMajor, 2, {1, 4, 7, 2, 5, 8}));
    CurveRecorder fromColumns, fromRows;
    loader.loadCurve(columns, fromColumns);
    loader.loadCurve(rows, fromRows);

    EXPECT_EQ(fromColumns.received.builds, 1);
    EXPECT_EQ(fromColumns.received.layout, Layout::ColumnMajor);
    EXPECT_EQ(fromColumns.received.coordinates, (std::vector<float>{1, 4, 7, 2, 5, 8, 3, 6, 9}));
    EXPECT_EQ(fromColumns.received.normals, (std::vector<float>{0, 1, 0}));
    EXPECT_EQ(fromRows.received.builds, 1);
    EXPECT_EQ(fromRows.received.layout, Layout::RowMajor);
    EXPECT_EQ(fromRows.received.coordinates, (std::vector<float>{1, 4, 7, 2, 5, 8}));
    EXPECT_EQ(fromRows.received.numNormals, 0u);
    EXPECT_TRUE(fromRows.received.normals.empty());
}

TEST(MemoryLoader, DeliversEachResultOnceInItsStoredTypeAtTheStepAsked)
{
    MemoryLoader loader;
    loader.addBody("plate", nodesOnly(2));
    loader.addBody("punch", nodesOnly(2));
    const std::vector<ResultValues> values{std::vector<int>{-1, 7}, std::vector<float>{0.5f, 2.25f},
                                           std::vector<double>{0.1, 1e300}};
    loader.addResult("plate", "STRESS", values[0], 0);
    loader.addResult("plate", "STRESS", values[1], 1);
    loader.addResult("plate", "STRAIN", std::vector<float>{21, 22}, 2);
    loader.addResult("plate", "STRESS", values[2], 2);
    loader.addResult("punch", "STRESS", std::vector<float>{31, 32}, 3);
    const DataLocation first = loader.body("plate").results.back().dataLocation;
    ASSERT_EQ(first.step, 0);

    EXPECT_EQ(loadResult(loader, first), std::vector{values[0]});
    for (std::int64_t step : {0, 2, 1})
        EXPECT_EQ(loadResult(loader, first, step), std::vector{values[static_cast<std::size_t>(step)]}) << step;
    expectThrowNaming<std::out_of_range>([&] { loadResult(loader, first, 3); }, {"plate", "STRESS", "3"});
}

TEST(MemoryLoader, ListsBodiesInRegistrationOrderAndResultsLatestStepFirst)
{
    MemoryLoader loader("run-7");
    const std::vector<std::string> names{"plate", "punch", "die"};
    for (std::size_t i = 0; i < names.size(); ++i)
        loader.addBody(names[i], nodesOnly(i + 1));
    const std::vector<std::pair<std::string, std::int64_t>> registered{
        {"A", 1}, {"B", 3}, {"C", 1}, {"D", 2}, {"E", 3}, {"A", 3}, {"A", -4}};
    for (const auto& [name, step] : registered)
        loader.addResult("plate", name, std::vector<double>{static_cast<double>(step)}, step);

    const std::vector<SimBody>& bodies = loader.bodies();
    ASSERT_EQ(bodies.size(), names.size());
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        EXPECT_EQ(bodies[i].name, names[i]);
        EXPECT_EQ(bodies[i].meshLocation.source, "run-7");
        EXPECT_EQ(&loader.body(names[i]), &bodies[i]);
        EXPECT_EQ(loadMesh(loader, names[i]).count, i + 1) << "the location leads to the body's own mesh";
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
    const auto columns = [](auto spoil) { return [=] { MeshArrays m = quad(Layout::ColumnMajor); spoil(m); return m; }; };
    const auto rows = [](auto spoil) { return [=] { MeshArrays m = quad(Layout::RowMajor); spoil(m); return m; }; };
    const std::vector<std::pair<std::string, std::function<MeshArrays()>>> cases{
        {"\"x\"", columns([](MeshArrays& m) { m.x.pop_back(); })},
        {"\"y\"", columns([](MeshArrays& m) { m.y.clear(); })},
        {"\"z\"", columns([](MeshArrays& m) { m.z.pop_back(); })},
        {"\"nx\"", columns([](MeshArrays& m) { m.numNormals = 4; })},
        {"\"nz\"", columns([](MeshArrays& m) { m.nz.pop_back(); })},
        {"\"x\"", columns([](MeshArrays& m) { m.numNodes = tooManyForThree; })},
        {"\"triangles\"", columns([](MeshArrays& m) { m.triangles[0] = -1; })},
        {"\"coordinates\"", rows([](MeshArrays& m) { m.coordinates.pop_back(); })},
        {"\"coordinates\"", rows([](MeshArrays& m) { m.numNodes = tooManyForThree; })},
        {"\"normals\"", rows([](MeshArrays& m) { m.numNormals = 4; })},
        {"\"normals\"", rows([](MeshArrays& m) { m.numNormals = tooManyForThree; })},
        {"\"triangles\"", rows([](MeshArrays& m) { m.triangles.pop_back(); })},
        {"\"triangles\"", rows([](MeshArrays& m) { m.numTriangles = tooManyForThree; })},
        {"\"triangles\"", rows([](MeshArrays& m) { m.triangles[4] = 4; })},
        {"\"solverIndexMapping\"", rows([](MeshArrays& m) { m.solverIndexMapping.pop_back(); })},
        {"\"solverIndexMapping\"", rows([](MeshArrays& m) { m.solverIndexMapping.push_back(0); })},
        {"\"solverIndexMapping\"", rows([](MeshArrays& m) { m.solverIndexMapping[2] = -5; })},
    };
    for (const auto& [array, make] : cases) {
        SCOPED_TRACE(array);
        MemoryLoader loader;
        loader.addBody("kept", quad(Layout::RowMajor));
        loader.addResult("kept", "STRESS", std::vector<float>(4), 1);
        const std::string before = describe(loader);

        expectThrowNaming<std::invalid_argument>([&] { loader.addBody("broken", make()); }, {"\"broken\"", array});

        EXPECT_EQ(describe(loader), before);
        EXPECT_NO_THROW(loader.addBody("broken", quad(Layout::ColumnMajor))) << "a refused name stays free";
    }
}

TEST(MemoryLoader, RefusesBadNamesAndResultsThatDoNotFitTheirBody)
{
    MemoryLoader loader;
    loader.addBody("plate", nodesOnly(3));
    loader.addResult("plate", "STRESS", std::vector<float>(3), 1);
    const std::string before = describe(loader);

    expectThrowNaming<std::invalid_argument>([&] { loader.addBody("", nodesOnly(1)); }, {"body", "name"});
    expectThrowNaming<std::invalid_argument>([&] { loader.addBody("plate", nodesOnly(2)); },
                                             {"\"plate\"", "already registered"});
    expectThrowNaming<std::invalid_argument>([&] { loader.addResult("punch", "STRESS", std::vector<float>(3)); },
                                             {"\"punch\"", "\"STRESS\""});
    expectThrowNaming<std::invalid_argument>([&] { loader.addResult("plate", "", std::vector<float>(3)); },
                                             {"\"plate\"", "name"});
    expectThrowNaming<std::invalid_argument>([&] { loader.addResult("plate", "STRESS", std::vector<int>(3), 1); },
                                             {"\"plate\"", "\"STRESS\"", "step 1", "already registered"});
    expectThrowNaming<std::invalid_argument>([&] { loader.addResult("plate", "STRAIN", std::vector<double>(2)); },
                                             {"\"plate\"", "\"STRAIN\"", "2 values", "numNodes = 3"});

    EXPECT_EQ(describe(loader), before);
    EXPECT_EQ(loadMesh(loader, "plate").count, 3u) << "the first registration stays in place";
    EXPECT_NO_THROW(loader.addResult("plate", "STRESS", std::vector<float>(3), 2)) << "another step is free";
    EXPECT_NO_THROW(loader.addResult("plate", "STRAIN", std::vector<double>(3)));
}

TEST(MemoryLoader, RefusesCurvesWithShortArraysOrBadNamesWithoutTakingALocation)
{
    MemoryLoader loader;
    const CurveArrays curve = curveOf(Layout::RowMajor, 2, std::vector<float>(6));
    loader.addCurve("edge", curve);
    CurveArrays shortNormals = curve, shortColumn;
    shortNormals.numNormals = 1;
    shortNormals.normals = {0, 0};
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
    MeshRecorder meshBuilder;
    CurveRecorder curveBuilder;
    ResultRecorder resultBuilder;

    for (const MeshLocation& where : {MeshLocation{"run-7", 1}, MeshLocation{"run-7", -1}, MeshLocation{"run-8", 0}})
        expectThrowNaming<std::out_of_range>([&] { loader.loadMesh(where, meshBuilder); },
                                             {"mesh", '"' + where.source + '"', std::to_string(where.id)});
    expectThrowNaming<std::out_of_range>([&] { loader.loadCurve({"run-7", curve.id + 1}, curveBuilder); },
                                         {"curve", "\"run-7\"", std::to_string(curve.id + 1)});
    expectThrowNaming<std::out_of_range>([&] { loader.loadCurve({"other", curve.id}, curveBuilder); },
                                         {"curve", "\"other\""});
    const DataLocation stored = loader.body("plate").results.front().dataLocation;
    for (const DataLocation& where : {DataLocation{"run-7", stored.id + 1, 4}, DataLocation{"run-7", stored.id, 3},
                                      DataLocation{"run-8", stored.id, 4}})
        expectThrowNaming<std::out_of_range>([&] { loader.loadResult(where, resultBuilder, std::nullopt); },
                                             {"result", '"' + where.source + '"', std::to_string(where.id)});
    expectThrowNaming<std::out_of_range>([&] { loader.body("punch"); }, {"\"punch\""});

    EXPECT_EQ(meshBuilder.received.builds + curveBuilder.received.builds, 0);
    EXPECT_TRUE(resultBuilder.received.empty());
}

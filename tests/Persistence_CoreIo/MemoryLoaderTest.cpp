#include "MemoryLoader.h"

#include <gtest/gtest.h>

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

// What a mesh or curve builder received, positions and normals row-major whatever the record.
struct Received {
    int builds = 0;
    Layout layout = Layout::ColumnMajor;
    std::size_t count = 0, numNormals = 0;  // count: nodes or points
    std::vector<float> coordinates, normals;
    std::vector<int> triangles, solverIndexMapping;
    std::vector<const void*> arrays;  // the record's pointers
};

template <typename Record>
void receive(Received& received, const Record& record, std::size_t count)
{
    ++received.builds;
    received.count = count;
    received.numNormals = record.numNormals;
    if constexpr (requires { record.coordinates; }) {
        received.layout = Layout::RowMajor;
        received.coordinates = copyOf(record.coordinates, 3 * count);
        received.normals = copyOf(record.normals, 3 * record.numNormals);
        received.arrays = {record.coordinates, record.normals};
    } else {
        for (std::size_t i = 0; record.x != nullptr && i < count; ++i)
            received.coordinates.insert(received.coordinates.end(), {record.x[i], record.y[i], record.z[i]});
        for (std::size_t i = 0; record.nx != nullptr && i < record.numNormals; ++i)
            received.normals.insert(received.normals.end(), {record.nx[i], record.ny[i], record.nz[i]});
        received.arrays = {record.x, record.y, record.z, record.nx, record.ny, record.nz};
    }
    if constexpr (requires { record.triangles; }) {
        received.triangles = copyOf(record.triangles, 3 * record.numTriangles);
        received.solverIndexMapping = copyOf(record.solverIndexMapping, count);
        received.arrays.insert(received.arrays.end(), {record.triangles, record.solverIndexMapping});
    }
}

class MeshRecorder : public MeshBuilderInterface {
public:
    explicit MeshRecorder(bool topologyOnly = false, std::function<void()> duringBuild = {})
        : topologyOnly_(topologyOnly), duringBuild_(std::move(duringBuild))
    {
    }
    void build(const MeshBuilderParamColMajor& record) override { take(record); }
    void build(const MeshBuilderParamRowMajor& record) override { take(record); }
    bool needNormals() const override { return true; }
    bool loadTopologyOnly() const override { return topologyOnly_; }

    Received received;

private:
    template <typename Record>
    void take(const Record& record)
    {
        receive(received, record, record.numNodes);
        if (duringBuild_)
            duringBuild_();
    }
    bool topologyOnly_;
    std::function<void()> duringBuild_;
};

class CurveRecorder : public CurveBuilderInterface {
public:
    void build(const CurveBuilderParamColMajor& record) override { receive(received, record, record.numPoints); }
    void build(const CurveBuilderParamRowMajor& record) override { receive(received, record, record.numPoints); }
    Received received;
};

// Results arrive as one plain typed array; the loader never calls the other operations.
class ResultRecorder : public ResultBuilderInterface {
public:
    void setInterval(double, double) override { ADD_FAILURE(); }
    void build(const ResultBuilderColMajorParam&, const ResultBuilderColMajorParam&) override { ADD_FAILURE(); }
    void build(const ResultBuilderRowMajorParam&, const ResultBuilderRowMajorParam&) override { ADD_FAILURE(); }
    void build(const ResultBuilderColMajorParam&) override { ADD_FAILURE(); }
    void build(const ResultBuilderRowMajorParam&) override { ADD_FAILURE(); }
    void build(std::size_t count, const int* values) override { received.emplace_back(copyOf(values, count)); }
    void build(std::size_t count, const float* values) override { received.emplace_back(copyOf(values, count)); }
    void build(std::size_t count, const double* values) override { received.emplace_back(copyOf(values, count)); }

    std::vector<ResultValues> received;
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

CurveArrays rowCurve(std::size_t numPoints, std::vector<float> coordinates)
{
    CurveArrays curve;
    curve.layout = Layout::RowMajor;
    curve.numPoints = numPoints;
    curve.coordinates = std::move(coordinates);
    return curve;
}

std::vector<ResultValues> loadResult(const MemoryLoader& loader, const DataLocation& where,
                                     std::optional<std::int64_t> step = std::nullopt)
{
    ResultRecorder builder;
    loader.loadResult(where, builder, step);
    return builder.received;
}

// Everything a caller can see of the registrations, to tell whether a refusal changed any of it.
std::string describe(MemoryLoader& loader)
{
    std::ostringstream text;
    for (const SimBody& body : loader.bodies()) {
        text << body.name << '#' << body.meshLocation.id << ':';
        for (const ResultEntry& result : body.results)
            text << ' ' << result.name << '#' << result.dataLocation.id << '/' << result.dataLocation.step;
        text << '\n';
    }
    return text.str() + "next curve #" + std::to_string(loader.addCurve("probe", CurveArrays{}).id);
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

TEST(MemoryLoader, HandsMeshesAndCurvesInTheirRegisteredLayoutPointingIntoItsOwnStorage)
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
        MeshRecorder topology(true);
        loader.loadMesh(loader.body(body).meshLocation, topology);

        const Received& mesh = outer.received;
        EXPECT_EQ(mesh.builds, 1);
        EXPECT_EQ(mesh.layout, layout);
        EXPECT_EQ(mesh.numNormals, 3u);
        EXPECT_EQ(mesh.coordinates, quadCoordinates);
        EXPECT_EQ(mesh.normals, quadNormals);
        EXPECT_EQ(mesh.triangles, quadTriangles);
        EXPECT_EQ(mesh.solverIndexMapping, quadMapping);
        EXPECT_EQ(inner.received.arrays, mesh.arrays);
        EXPECT_TRUE(topology.received.coordinates.empty() && topology.received.normals.empty())
            << "a topology-only builder gets no coordinates or normals";
        EXPECT_EQ(topology.received.triangles, quadTriangles);
        EXPECT_EQ(topology.received.solverIndexMapping, quadMapping);
    }

    CurveArrays columnCurve;
    columnCurve.numPoints = 3;
    columnCurve.x = {1, 2, 3};
    columnCurve.y = {4, 5, 6};
    columnCurve.z = {7, 8, 9};
    columnCurve.numNormals = 1;
    columnCurve.nx = columnCurve.nz = {0};
    columnCurve.ny = {1};
    CurveRecorder fromColumns, fromRows;
    loader.loadCurve(loader.addCurve("columns", columnCurve), fromColumns);
    loader.loadCurve(loader.addCurve("rows", rowCurve(2, {1, 4, 7, 2, 5, 8})), fromRows);
    EXPECT_EQ(fromColumns.received.coordinates, (std::vector<float>{1, 4, 7, 2, 5, 8, 3, 6, 9}));
    EXPECT_EQ(fromColumns.received.normals, (std::vector<float>{0, 1, 0}));
    EXPECT_EQ(fromRows.received.layout, Layout::RowMajor);
    EXPECT_EQ(fromRows.received.coordinates, (std::vector<float>{1, 4, 7, 2, 5, 8}));
    EXPECT_TRUE(fromRows.received.normals.empty());
}

TEST(MemoryLoader, ListsBodiesInOrderAndResultsLatestStepFirstAndDeliversEachInItsStoredType)
{
    MemoryLoader loader("run-7");
    loader.addBody("plate", nodesOnly(1));
    loader.addBody("punch", nodesOnly(2));
    const std::vector<std::pair<std::string, std::int64_t>> registered{
        {"A", 1}, {"B", 3}, {"C", 1}, {"D", 2}, {"E", 3}, {"A", 3}, {"A", -4}};
    for (const auto& [name, step] : registered)
        loader.addResult("plate", name, std::vector<double>{static_cast<double>(step)}, step);
    loader.addResult("plate", "A", std::vector<int>{7}, 0);
    loader.addResult("plate", "A", std::vector<float>{0.5f}, 2);

    ASSERT_EQ(loader.bodies().size(), 2u);
    EXPECT_EQ(&loader.body("punch"), &loader.bodies()[1]);
    EXPECT_EQ(loader.body("punch").meshLocation.source, "run-7");
    std::vector<std::pair<std::string, std::int64_t>> listed;
    for (const ResultEntry& result : loader.body("plate").results)
        listed.emplace_back(result.name, result.dataLocation.step);
    EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::int64_t>>{
                          {"B", 3}, {"E", 3}, {"A", 3}, {"D", 2}, {"A", 2}, {"A", 1}, {"C", 1}, {"A", 0}, {"A", -4}}));

    const DataLocation first = loader.body("plate").results.front().dataLocation;  // B at step 3
    EXPECT_EQ(loadResult(loader, first), std::vector<ResultValues>{std::vector<double>{3.0}});
    const DataLocation a = loader.body("plate").results[2].dataLocation;
    EXPECT_EQ(loadResult(loader, a, 0), std::vector<ResultValues>{std::vector<int>{7}});
    EXPECT_EQ(loadResult(loader, a, 2), std::vector<ResultValues>{std::vector<float>{0.5f}});
    EXPECT_EQ(loadResult(loader, a, -4), std::vector<ResultValues>{std::vector<double>{-4.0}});
}

TEST(MemoryLoader, RefusesBadRegistrationsNamingWhatIsWrongAndStaysAsItWas)
{
    const auto columns = [](auto spoil) { MeshArrays m = quad(Layout::ColumnMajor); spoil(m); return m; };
    const auto rows = [](auto spoil) { MeshArrays m = quad(Layout::RowMajor); spoil(m); return m; };
    CurveArrays shortColumn;
    shortColumn.numPoints = 2;
    shortColumn.x = shortColumn.y = {0, 0};
    shortColumn.z = {0};
    using Registration = std::function<void(MemoryLoader&)>;
    const auto body = [](MeshArrays mesh) { return [=](MemoryLoader& loader) { loader.addBody("broken", mesh); }; };
    const std::vector<std::pair<Registration, std::vector<std::string>>> cases{
        {body(columns([](MeshArrays& m) { m.x.pop_back(); })), {"body \"broken\"", "\"x\""}},
        {body(columns([](MeshArrays& m) { m.y.clear(); })), {"\"broken\"", "\"y\""}},
        {body(columns([](MeshArrays& m) { m.numNormals = 4; })), {"\"broken\"", "\"nx\"", "numNormals = 4"}},
        {body(columns([](MeshArrays& m) { m.nz.pop_back(); })), {"\"broken\"", "\"nz\""}},
        {body(columns([](MeshArrays& m) { m.numNodes = tooManyForThree; })), {"\"broken\"", "\"x\""}},
        {body(columns([](MeshArrays& m) { m.triangles[0] = -1; })), {"\"broken\"", "\"triangles\"", "-1"}},
        {body(rows([](MeshArrays& m) { m.coordinates.pop_back(); })), {"\"broken\"", "\"coordinates\""}},
        {body(rows([](MeshArrays& m) { m.numNodes = tooManyForThree; })), {"\"broken\"", "too large"}},
        {body(rows([](MeshArrays& m) { m.numNormals = tooManyForThree; })), {"\"broken\"", "\"normals\""}},
        {body(rows([](MeshArrays& m) { m.numTriangles = tooManyForThree; })), {"\"broken\"", "\"triangles\""}},
        {body(rows([](MeshArrays& m) { m.triangles[4] = 4; })), {"\"broken\"", "triangle 1", "node 4"}},
        {body(rows([](MeshArrays& m) { m.solverIndexMapping.pop_back(); })), {"\"solverIndexMapping\"", "3"}},
        {body(rows([](MeshArrays& m) { m.solverIndexMapping[2] = -5; })), {"\"solverIndexMapping\"", "-5"}},
        {[](MemoryLoader& l) { l.addBody("", nodesOnly(1)); }, {"body", "name"}},
        {[](MemoryLoader& l) { l.addBody("kept", nodesOnly(4)); }, {"\"kept\"", "already registered"}},
        {[](MemoryLoader& l) { l.addResult("punch", "STRESS", std::vector<float>(4)); }, {"\"punch\"", "\"STRESS\""}},
        {[](MemoryLoader& l) { l.addResult("kept", "", std::vector<float>(4)); }, {"\"kept\"", "name"}},
        {[](MemoryLoader& l) { l.addResult("kept", "STRESS", std::vector<int>(4), 1); },
         {"\"kept\"", "\"STRESS\"", "step 1", "already registered"}},
        {[](MemoryLoader& l) { l.addResult("kept", "STRAIN", std::vector<double>(2)); },
         {"\"kept\"", "\"STRAIN\"", "2 values", "numNodes = 4"}},
        {[](MemoryLoader& l) { l.addCurve("rim", rowCurve(2, {0, 0, 0, 0, 0})); }, {"curve \"rim\"", "\"coordinates\""}},
        {[=](MemoryLoader& l) { l.addCurve("rim", shortColumn); }, {"curve \"rim\"", "\"z\""}},
        {[](MemoryLoader& l) { l.addCurve("edge", CurveArrays{}); }, {"\"edge\"", "already registered"}},
        {[](MemoryLoader& l) { l.addCurve("", CurveArrays{}); }, {"curve", "name"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        MemoryLoader loader;
        loader.addBody("kept", quad(Layout::RowMajor));
        loader.addResult("kept", "STRESS", std::vector<float>(4), 1);
        loader.addCurve("edge", CurveArrays{});
        MemoryLoader untouched;
        untouched.addBody("kept", quad(Layout::RowMajor));
        untouched.addResult("kept", "STRESS", std::vector<float>(4), 1);
        untouched.addCurve("edge", CurveArrays{});

        expectThrowNaming<std::invalid_argument>([&] { cases[i].first(loader); }, cases[i].second);
        EXPECT_EQ(describe(loader), describe(untouched));
    }
}

TEST(MemoryLoader, RefusesLocationsItDidNotHandOutWithALoadErrorNamingThem)
{
    MemoryLoader loader("run-7");
    loader.addBody("plate", nodesOnly(1));
    loader.addResult("plate", "STRESS", std::vector<float>{1}, 4);
    const CurveLocation curve = loader.addCurve("edge", CurveArrays{});
    const DataLocation stored = loader.body("plate").results.front().dataLocation;
    MeshRecorder meshBuilder;
    CurveRecorder curveBuilder;
    ResultRecorder resultBuilder;
    using Load = std::function<void()>;
    const std::vector<std::pair<Load, std::vector<std::string>>> cases{
        {[&] { loader.loadMesh({"run-7", 1}, meshBuilder); }, {"\"run-7\"", "mesh", "id 1"}},
        {[&] { loader.loadMesh({"run-7", -1}, meshBuilder); }, {"mesh", "id -1"}},
        {[&] { loader.loadMesh({"run-8", 0}, meshBuilder); }, {"\"run-7\"", "mesh", "\"run-8\""}},
        {[&] { loader.loadCurve({"run-7", curve.id + 1}, curveBuilder); }, {"curve", "id 1"}},
        {[&] { loader.loadCurve({"other", curve.id}, curveBuilder); }, {"curve", "\"other\""}},
        {[&] { loader.loadResult({"run-7", stored.id + 1, 4}, resultBuilder, {}); }, {"result", "id 1"}},
        {[&] { loader.loadResult({"run-7", stored.id, 3}, resultBuilder, {}); }, {"result", "step 3"}},
        {[&] { loader.loadResult({"run-8", stored.id, 4}, resultBuilder, {}); }, {"result", "\"run-8\""}},
        {[&] { loader.loadResult(stored, resultBuilder, 3); }, {"\"plate\"", "\"STRESS\"", "step 3"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        expectThrowNaming<LoadError>(cases[i].first, cases[i].second);
    }
    expectThrowNaming<std::out_of_range>([&] { loader.body("punch"); }, {"\"punch\""});
    EXPECT_EQ(meshBuilder.received.builds + curveBuilder.received.builds, 0);
    EXPECT_TRUE(resultBuilder.received.empty());
}

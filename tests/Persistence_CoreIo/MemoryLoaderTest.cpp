#include "ExodusTestSupport.h"
#include "MemoryLoader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace CoreIo;
using ExodusTest::MeshRecorder;
using ExodusTest::messageOf;
using ExodusTest::ResultRecorder;

namespace {

// Four nodes, two triangles, three normals: the same quad in either layout.
MeshArrays quad(Layout layout)
{
    MeshArrays mesh;
    mesh.layout = layout;
    mesh.numNodes = 4;
    mesh.numNormals = 3;
    mesh.numTriangles = 2;
    mesh.triangles = {0, 1, 2, 0, 2, 3};
    mesh.solverIndexMapping = {3, 2, 1, 0};
    mesh.coordinates = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0.5f};
    mesh.normals = {0, 0, 1, 0, 0.5f, 1, 0, 0, -1};
    if (layout == Layout::RowMajor)
        return mesh;
    for (std::size_t i = 0; i < mesh.coordinates.size(); ++i)
        std::array{&mesh.x, &mesh.y, &mesh.z}[i % 3]->push_back(mesh.coordinates[i]);
    for (std::size_t i = 0; i < mesh.normals.size(); ++i)
        std::array{&mesh.nx, &mesh.ny, &mesh.nz}[i % 3]->push_back(mesh.normals[i]);
    mesh.coordinates.clear();
    mesh.normals.clear();
    return mesh;
}

MeshArrays onePoint()
{
    MeshArrays mesh;
    mesh.numNodes = 1;
    mesh.x = mesh.y = mesh.z = {0};
    return mesh;
}

CurveArrays shortRowCurve()
{
    CurveArrays curve;
    curve.layout = Layout::RowMajor;
    curve.numPoints = 2;
    curve.coordinates = {0, 0, 0, 0, 0};
    return curve;
}

// Everything a caller can see of the registrations, to tell whether a refusal changed any of it.
std::string describe(const MemoryLoader& loader)
{
    std::ostringstream text;
    for (const SimBody& body : loader.bodies()) {
        text << body.name << '#' << body.meshLocation.id << ':';
        for (const ResultEntry& result : body.results)
            text << ' ' << result.name << '#' << result.dataLocation.id << '/' << result.dataLocation.step;
    }
    return text.str();
}

}  // namespace

TEST(MemoryLoader, HandsMeshesInTheirRegisteredLayoutPointingIntoItsOwnStorage)
{
    MemoryLoader loader;
    loader.addBody("columns", quad(Layout::ColumnMajor));
    loader.addBody("rows", quad(Layout::RowMajor));
    for (const char* body : {"columns", "rows"}) {
        SCOPED_TRACE(body);
        // A load nested inside another keeps both records alive: copies made per load would differ in address.
        MeshRecorder inner;
        MeshRecorder outer(false, [&] { loader.loadMesh(loader.body(body).meshLocation, inner); });
        loader.loadMesh(loader.body(body).meshLocation, outer);
        MeshRecorder topology(true);
        loader.loadMesh(loader.body(body).meshLocation, topology);
        EXPECT_EQ(outer.rowMajor, std::string(body) == "rows");
        EXPECT_EQ(outer.z, (std::vector<float>{0, 0, 0, 0.5f}));
        EXPECT_EQ(outer.ny, (std::vector<float>{0, 0.5f, 0}));
        EXPECT_EQ(outer.triangles, quad(Layout::RowMajor).triangles);
        EXPECT_EQ(outer.solverIndexMapping, quad(Layout::RowMajor).solverIndexMapping);
        EXPECT_EQ(inner.positions, outer.positions);
        EXPECT_TRUE(topology.x.empty() && topology.nx.empty()) << "a topology-only builder gets no coordinates";
        EXPECT_EQ(topology.solverIndexMapping, outer.solverIndexMapping);
    }
}

TEST(MemoryLoader, ListsResultsLatestStepFirstAndDeliversEachInItsStoredType)
{
    MemoryLoader loader("run-7");
    loader.addBody("plate", onePoint());
    for (const auto& [name, step] : std::vector<std::pair<std::string, std::int64_t>>{{"A", 1}, {"B", 3}, {"A", -4}})
        loader.addResult("plate", name, std::vector<double>{static_cast<double>(step)}, step);
    loader.addResult("plate", "A", std::vector<int>{7}, 0);
    loader.addResult("plate", "A", std::vector<float>{0.5f}, 3);
    std::vector<std::pair<std::string, std::int64_t>> listed;
    for (const ResultEntry& result : loader.body("plate").results)
        listed.emplace_back(result.name, result.dataLocation.step);
    EXPECT_EQ(listed,
              (std::vector<std::pair<std::string, std::int64_t>>{{"B", 3}, {"A", 3}, {"A", 1}, {"A", 0}, {"A", -4}}));
    const DataLocation a = loader.body("plate").results[1].dataLocation;
    ResultRecorder values;
    for (const std::int64_t step : {0, 3, -4})
        loader.loadResult(a, values, step);
    EXPECT_EQ(values.received,
              (std::vector<ResultValues>{std::vector<int>{7}, std::vector<float>{0.5f}, std::vector<double>{-4}}));
}

TEST(MemoryLoader, RefusesBadRegistrationsNamingWhatIsWrongAndStaysAsItWas)
{
    constexpr std::size_t tooManyForThree = std::numeric_limits<std::size_t>::max() / 3 + 1;
    const auto body = [](Layout layout, std::function<void(MeshArrays&)> spoil) {
        return [=](MemoryLoader& loader) {
            MeshArrays mesh = quad(layout);
            spoil(mesh);
            loader.addBody("broken", mesh);
        };
    };
    const Layout columns = Layout::ColumnMajor;
    const Layout rows = Layout::RowMajor;
    const std::vector<std::pair<std::function<void(MemoryLoader&)>, std::string>> cases{
        {body(columns, [](MeshArrays& m) { m.x.pop_back(); }), "body \"broken\": array \"x\""},
        {body(columns, [](MeshArrays& m) { m.numNormals = 4; }), "numNormals = 4"},
        {body(columns, [](MeshArrays& m) { m.numNodes = tooManyForThree; }), "\"x\""},
        {body(columns, [](MeshArrays& m) { m.triangles[0] = -1; }), "-1"},
        {body(rows, [](MeshArrays& m) { m.coordinates.pop_back(); }), "\"coordinates\""},
        {body(rows, [](MeshArrays& m) { m.numNodes = tooManyForThree; }), "too large"},
        {body(rows, [](MeshArrays& m) { m.numTriangles = tooManyForThree; }), "\"triangles\""},
        {body(rows, [](MeshArrays& m) { m.triangles[4] = 4; }), "node 4"},
        {body(rows, [](MeshArrays& m) { m.solverIndexMapping[2] = -5; }), "\"solverIndexMapping\""},
        {body(rows, [](MeshArrays& m) { m.solverIndexMapping.push_back(4); }),
         "\"solverIndexMapping\" holds 5 values; it must be empty or hold numNodes = 4"},
        {[](MemoryLoader& l) { l.addBody("kept", quad(Layout::RowMajor)); }, "\"kept\" is already registered"},
        {[](MemoryLoader& l) { l.addResult("punch", "STRESS", std::vector<float>(4)); }, "\"punch\""},
        {[](MemoryLoader& l) { l.addResult("kept", "STRESS", std::vector<int>(4), 1); }, "already registered"},
        {[](MemoryLoader& l) { l.addResult("kept", "STRAIN", std::vector<double>(2)); }, "numNodes = 4"},
        {[](MemoryLoader& l) { l.addCurve("rim", shortRowCurve()); }, "\"coordinates\""},
        {[](MemoryLoader& l) { l.addCurve("edge", CurveArrays{}); }, "\"edge\" is already registered"},
    };
    for (const auto& [registration, message] : cases) {
        SCOPED_TRACE(message);
        MemoryLoader loader;
        loader.addBody("kept", quad(Layout::RowMajor));
        loader.addResult("kept", "STRESS", std::vector<float>(4), 1);
        loader.addCurve("edge", CurveArrays{});
        const std::string before = describe(loader);
        EXPECT_THAT(messageOf<std::invalid_argument>([&] { registration(loader); }), testing::HasSubstr(message));
        EXPECT_EQ(describe(loader), before);
        EXPECT_EQ(loader.addCurve("probe", CurveArrays{}).id, 1);  // no curve registered beside "edge"
    }
}

TEST(MemoryLoader, RefusesLocationsItDidNotHandOutWithALoadErrorNamingThem)
{
    MemoryLoader loader("run-7");
    loader.addBody("plate", onePoint());
    loader.addResult("plate", "STRESS", std::vector<float>{1}, 4);
    const DataLocation stored = loader.body("plate").results.front().dataLocation;
    MeshRecorder mesh;
    ResultRecorder values;
    const auto loadingMesh = [&](MeshLocation at) { return [=, &loader, &mesh] { loader.loadMesh(at, mesh); }; };
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {loadingMesh({"run-7", 1}), "no mesh is registered at source \"run-7\", id 1"},
        {loadingMesh({"run-8", 0}), "\"run-8\""},
        {[&] {
             loader.loadResult({"run-7", stored.id + 1, 4}, values, {});
         },
         "id 1"},
        {[&] { loader.loadResult(stored, values, 3); }, "step 3"},
    };
    for (const auto& [load, message] : cases)
        EXPECT_THAT(messageOf(load), testing::HasSubstr(message));
    EXPECT_EQ(mesh.builds, 0);
    EXPECT_TRUE(values.received.empty());
}

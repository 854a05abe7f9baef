#include "ExodusLoader.h"
#include "ExodusTestSupport.h"
#include "ExodusWriter.h"

#include <exodusII.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using CoreIo::ExodusLoader;
using CoreIo::ExodusWriter;
using ExodusTest::RecordingMeshBuilder;
using ExodusTest::RecordingResultBuilder;
using ExodusTest::resultAt;
using ExodusTest::ScratchDirectory;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

using Values = std::vector<double>;

// A unit square of two triangles at height z; first use visits the nodes in order.
ExodusWriter::Body square(double z)
{
    ExodusWriter::Body body;
    body.x = {0.1, 1.1, 1.1, 0.1};
    body.y = {0.2, 0.2, 1.2, 1.2};
    body.z = {z, z, z, z};
    body.triangles = {0, 1, 2, 0, 2, 3};
    return body;
}

ExodusWriter::Body triangle()
{
    ExodusWriter::Body body;
    body.x = {2.0, 3.0, 2.0};
    body.y = {0.0, 0.0, 1.0};
    body.z = {0.25, 0.25, 0.25};
    body.triangles = {0, 1, 2};
    return body;
}

ExodusWriter::Body withNormals(ExodusWriter::Body body, double nx, double ny, double nz)
{
    body.nx.assign(body.x.size(), nx);
    body.ny.assign(body.x.size(), ny);
    body.nz.assign(body.x.size(), nz);
    return body;
}

std::vector<float> asFloats(const Values& values)
{
    return {values.begin(), values.end()};
}

template <typename Value>
std::vector<std::vector<Value>> loadResult(const ExodusLoader& loader, const CoreIo::DataLocation& where,
                                           std::optional<std::int64_t> step = std::nullopt)
{
    RecordingResultBuilder builder;
    loader.loadResult(where, builder, step);
    EXPECT_EQ(builder.unexpectedBuilds, 0);
    if constexpr (std::is_same_v<Value, float>) {
        EXPECT_TRUE(builder.doubleArrays.empty());
        return builder.floatArrays;
    } else {
        EXPECT_TRUE(builder.floatArrays.empty());
        return builder.doubleArrays;
    }
}

std::vector<std::string> namesAndSteps(const CoreIo::SimBody& body)
{
    std::vector<std::string> entries;
    for (const CoreIo::ResultEntry& entry : body.results) {
        entries.push_back(entry.name + "@" + std::to_string(entry.dataLocation.step));
    }
    return entries;
}

std::vector<double> timesIn(const std::string& path)
{
    int computeWordSize = 8;
    int storedWordSize = 0;
    float version = 0.0f;
    const int file = ex_open(path.c_str(), EX_READ, &computeWordSize, &storedWordSize, &version);
    EXPECT_GE(file, 0);
    std::vector<double> times(static_cast<std::size_t>(ex_inquire_int(file, EX_INQ_TIME)));
    EXPECT_EQ(ex_get_all_times(file, times.data()), 0);
    ex_close(file);
    return times;
}

}  // namespace

TEST(ExodusWriter, WritesEveryFieldOfTheBodiesThatTheLoaderReadsBack)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("bodies.exo");
    ExodusWriter writer(path);
    writer.addBody("sheet", withNormals(square(0.3), 0.0, 0.6, 0.8));
    writer.addBody("tool", withNormals(triangle(), 1.0, 0.0, 0.0));
    const Values sheetTemperature{1.0 / 3.0, 2.5, 3.5, 4.5};
    const Values toolTemperature{7.0, 8.0, 9.1};
    writer.addNodalVariable("TEMP", {{sheetTemperature, toolTemperature}});
    writer.write();

    const ExodusLoader loader(path);
    EXPECT_FALSE(loader.storesDoubles());
    EXPECT_TRUE(loader.skippedBlocks().empty());
    const auto& bodies = loader.bodies();
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[0].name, "sheet");
    EXPECT_EQ(bodies[0].meshLocation.source, path);
    EXPECT_EQ(bodies[0].meshLocation.id, 1);
    EXPECT_EQ(bodies[1].name, "tool");
    EXPECT_EQ(bodies[1].meshLocation.id, 2);

    RecordingMeshBuilder sheet;
    loader.loadMesh(bodies[0].meshLocation, sheet);
    EXPECT_EQ(sheet.builds, 1);
    EXPECT_EQ(sheet.numNodes, 4u);
    EXPECT_EQ(sheet.x, asFloats({0.1, 1.1, 1.1, 0.1}));
    EXPECT_EQ(sheet.y, asFloats({0.2, 0.2, 1.2, 1.2}));
    EXPECT_EQ(sheet.z, asFloats({0.3, 0.3, 0.3, 0.3}));
    EXPECT_THAT(sheet.triangles, ElementsAre(0, 1, 2, 0, 2, 3));
    EXPECT_EQ(sheet.numNormals, 4u);
    EXPECT_EQ(sheet.nx, asFloats({0.0, 0.0, 0.0, 0.0}));
    EXPECT_EQ(sheet.ny, asFloats({0.6, 0.6, 0.6, 0.6}));
    EXPECT_EQ(sheet.nz, asFloats({0.8, 0.8, 0.8, 0.8}));

    RecordingMeshBuilder tool;
    loader.loadMesh(bodies[1].meshLocation, tool);
    EXPECT_EQ(tool.x, asFloats({2.0, 3.0, 2.0}));
    EXPECT_EQ(tool.y, asFloats({0.0, 0.0, 1.0}));
    EXPECT_EQ(tool.z, asFloats({0.25, 0.25, 0.25}));
    EXPECT_THAT(tool.triangles, ElementsAre(0, 1, 2));
    EXPECT_EQ(tool.nx, asFloats({1.0, 1.0, 1.0}));

    EXPECT_THAT(namesAndSteps(bodies[0]), ElementsAre("NORMAL_X@1", "NORMAL_Y@1", "NORMAL_Z@1", "TEMP@1"));
    EXPECT_THAT(loadResult<float>(loader, resultAt(bodies[0], "TEMP", 1)), ElementsAre(asFloats(sheetTemperature)));
    EXPECT_THAT(loadResult<float>(loader, resultAt(bodies[1], "TEMP", 1)), ElementsAre(asFloats(toolTemperature)));
    EXPECT_THAT(loadResult<float>(loader, resultAt(bodies[1], "NORMAL_X", 1)), ElementsAre(asFloats({1, 1, 1})));
}

TEST(ExodusWriter, StoresDoublePrecisionSoThatResultsArriveAsTheDoublesWritten)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("double.exo");
    ExodusWriter writer(path, ExodusWriter::Precision::Double);
    ExodusWriter::Body body = square(0.1);
    writer.addBody("sheet", body);
    const Values strain{0.1, 1.0 / 3.0, 1e-300, -1e300};
    writer.addNodalVariable("STRAIN", {{strain}});
    writer.write();

    const ExodusLoader loader(path);
    EXPECT_TRUE(loader.storesDoubles());
    EXPECT_THAT(loadResult<double>(loader, resultAt(loader.bodies()[0], "STRAIN", 1)), ElementsAre(strain));

    RecordingMeshBuilder mesh;
    loader.loadMesh(loader.bodies()[0].meshLocation, mesh);
    EXPECT_EQ(mesh.x, asFloats(body.x));
    EXPECT_EQ(mesh.z, asFloats(body.z));
    EXPECT_EQ(mesh.numNormals, 0u);
}

TEST(ExodusWriter, WritesEveryStepOfSeveralBodiesAndTheLoaderListsTheLastStepFirst)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("steps.exo");
    ExodusWriter writer(path);
    writer.addBody("sheet", square(0.0));
    writer.addBody("tool", triangle());
    writer.setTimes({0.0, 0.5, 2.0});
    writer.addNodalVariable("TEMP", {{{1, 2, 3, 4}, {5, 6, 7}},
                                     {{11, 12, 13, 14}, {15, 16, 17}},
                                     {{21, 22, 23, 24}, {25, 26, 27}}});
    writer.addNodalVariable("EPS", {{{-1, -1, -1, -1}, {-2, -2, -2}},
                                    {{-3, -3, -3, -3}, {-4, -4, -4}},
                                    {{-5, -5, -5, -5}, {-6, -6, -6}}});
    writer.write();

    EXPECT_THAT(timesIn(path), ElementsAre(0.0, 0.5, 2.0));
    const ExodusLoader loader(path);
    const auto& bodies = loader.bodies();
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_THAT(namesAndSteps(bodies[1]), ElementsAre("TEMP@3", "EPS@3", "TEMP@2", "EPS@2", "TEMP@1", "EPS@1"));
    EXPECT_THAT(loadResult<float>(loader, resultAt(bodies[0], "TEMP", 2)),
                ElementsAre(std::vector<float>{11, 12, 13, 14}));
    EXPECT_THAT(loadResult<float>(loader, resultAt(bodies[1], "TEMP", 3)), ElementsAre(std::vector<float>{25, 26, 27}));
    EXPECT_THAT(loadResult<float>(loader, resultAt(bodies[1], "EPS", 1)), ElementsAre(std::vector<float>{-2, -2, -2}));
    // The step given to the load overrides the entry's own.
    EXPECT_THAT(loadResult<float>(loader, resultAt(bodies[1], "TEMP", 3), 1),
                ElementsAre(std::vector<float>{5, 6, 7}));
}

TEST(ExodusWriter, StoresNormalsAtEveryStepOrAtOneStepWithoutOtherVariables)
{
    const ScratchDirectory directory;
    ExodusWriter withSteps(directory.file("steps.exo"));
    withSteps.addBody("sheet", withNormals(square(0.0), 0.0, 0.0, -1.0));
    withSteps.addNodalVariable("TEMP", {{{1, 2, 3, 4}}, {{5, 6, 7, 8}}});
    withSteps.write();
    const ExodusLoader stepsLoader(directory.file("steps.exo"));
    EXPECT_THAT(loadResult<float>(stepsLoader, resultAt(stepsLoader.bodies()[0], "NORMAL_Z", 1)),
                ElementsAre(std::vector<float>{-1, -1, -1, -1}));
    EXPECT_THAT(loadResult<float>(stepsLoader, resultAt(stepsLoader.bodies()[0], "NORMAL_Z", 2)),
                ElementsAre(std::vector<float>{-1, -1, -1, -1}));

    ExodusWriter normalsOnly(directory.file("normals.exo"));
    normalsOnly.addBody("sheet", withNormals(square(0.0), 0.0, 0.0, -1.0));
    normalsOnly.write();
    const ExodusLoader normalsLoader(directory.file("normals.exo"));
    EXPECT_THAT(namesAndSteps(normalsLoader.bodies()[0]), ElementsAre("NORMAL_X@1", "NORMAL_Y@1", "NORMAL_Z@1"));
    RecordingMeshBuilder mesh;
    normalsLoader.loadMesh(normalsLoader.bodies()[0].meshLocation, mesh);
    EXPECT_EQ(mesh.nz, asFloats({-1, -1, -1, -1}));
}

TEST(ExodusWriter, ReplacesTheTargetOnlyWhenTheWholeFileIsWritten)
{
    const ScratchDirectory directory;
    const std::string path = directory.file("target.exo");
    ExodusWriter first(path);
    first.addBody("first", triangle());
    first.write();
    ExodusWriter second(path);
    second.addBody("second", square(0.0));
    second.write();
    EXPECT_EQ(ExodusLoader(path).bodies().at(0).name, "second");

    ExodusWriter failing(path);  // floats cannot hold the value
    failing.addBody("third", square(0.0));
    failing.addNodalVariable("HUGE", {{{1e300, 0, 0, 0}}});
    try {
        failing.write();
        ADD_FAILURE() << "writing a value beyond float range succeeded";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("HUGE"));
    }
    EXPECT_EQ(ExodusLoader(path).bodies().at(0).name, "second");
    EXPECT_THAT(directory.entries(), ElementsAre("target.exo"));  // no temporary file left behind

    ExodusWriter nowhere(directory.file("missing/target.exo"));
    nowhere.addBody("sheet", square(0.0));
    try {
        nowhere.write();
        ADD_FAILURE() << "writing into a missing directory succeeded";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("missing/"));
    }
}

TEST(ExodusWriter, RefusesBodiesThatCannotBeWritten)
{
    ExodusWriter writer("unused.exo");
    writer.addBody("sheet", withNormals(square(0.0), 0, 0, 1));

    ExodusWriter::Body unequal = square(0.0);
    unequal.z.pop_back();
    EXPECT_THROW(writer.addBody("unequal", unequal), std::invalid_argument);
    ExodusWriter::Body nonFinite = withNormals(square(0.0), 0, 0, 1);
    nonFinite.y[2] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(writer.addBody("nonFinite", nonFinite), std::invalid_argument);
    ExodusWriter::Body outside = withNormals(square(0.0), 0, 0, 1);
    outside.triangles[4] = 4;
    EXPECT_THROW(writer.addBody("outside", outside), std::invalid_argument);
    ExodusWriter::Body partial = withNormals(square(0.0), 0, 0, 1);
    partial.triangles.pop_back();
    EXPECT_THROW(writer.addBody("partial", partial), std::invalid_argument);
    ExodusWriter::Body withoutTriangles = withNormals(square(0.0), 0, 0, 1);
    withoutTriangles.triangles.clear();
    EXPECT_THROW(writer.addBody("withoutTriangles", withoutTriangles), std::invalid_argument);
    ExodusWriter::Body shortNormals = withNormals(square(0.0), 0, 0, 1);
    shortNormals.ny.pop_back();
    EXPECT_THROW(writer.addBody("shortNormals", shortNormals), std::invalid_argument);
    try {
        writer.addBody("withoutNormals", square(0.0));
        ADD_FAILURE() << "a body without normals joined bodies with normals";
    } catch (const std::invalid_argument& error) {
        EXPECT_THAT(error.what(), HasSubstr("withoutNormals"));
    }
    EXPECT_THROW(writer.addBody("sheet", withNormals(square(0.0), 0, 0, 1)), std::invalid_argument);
    EXPECT_THROW(writer.addBody("", withNormals(square(0.0), 0, 0, 1)), std::invalid_argument);
    EXPECT_THROW(writer.addBody(std::string(33, 'n'), withNormals(square(0.0), 0, 0, 1)), std::invalid_argument);

    writer.addBody(std::string(32, 'n'), withNormals(triangle(), 0, 0, 1));
}

TEST(ExodusWriter, RefusesVariablesThatDoNotFitTheBodiesOrSteps)
{
    ExodusWriter writer("unused.exo");
    EXPECT_THROW(writer.addNodalVariable("TEMP", {{}}), std::logic_error);
    EXPECT_THROW(writer.write(), std::logic_error);
    writer.addBody("sheet", square(0.0));
    writer.addBody("tool", triangle());

    EXPECT_THROW(writer.addNodalVariable("TEMP", {}), std::invalid_argument);
    EXPECT_THROW(writer.addNodalVariable("TEMP", {{{1, 2, 3, 4}}}), std::invalid_argument);
    EXPECT_THROW(writer.addNodalVariable("TEMP", {{{1, 2, 3}, {1, 2, 3}}}), std::invalid_argument);
    EXPECT_THROW(writer.addNodalVariable("NORMAL_Y", {{{1, 2, 3, 4}, {1, 2, 3}}}), std::invalid_argument);
    writer.addNodalVariable("TEMP", {{{1, 2, 3, 4}, {1, 2, 3}}, {{1, 2, 3, 4}, {1, 2, 3}}});
    EXPECT_THROW(writer.addNodalVariable("TEMP", {{{1, 2, 3, 4}, {1, 2, 3}}, {{1, 2, 3, 4}, {1, 2, 3}}}),
                 std::invalid_argument);
    try {
        writer.addNodalVariable("EPS", {{{1, 2, 3, 4}, {1, 2, 3}}});
        ADD_FAILURE() << "a variable of one step joined one of two";
    } catch (const std::invalid_argument& error) {
        EXPECT_THAT(error.what(), HasSubstr("EPS"));
    }
    EXPECT_THROW(writer.setTimes({0.0, 1.0, 2.0}), std::invalid_argument);
    EXPECT_THROW(writer.addBody("late", triangle()), std::logic_error);
    writer.setTimes({0.0, 1.0});
}

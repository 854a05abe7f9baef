#include "MeshAndCoord.h"

#include "Persistence_SkinBaseName.h"
#include "RecordingLoader.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using AlignmentTestSupport::RecordingLoader;
using Calvora::SkinBaseName::INITIALCOORD0;
using Calvora::SkinBaseName::INITIALCOORD1;

using Call = RecordingLoader::Call;
using Operation = RecordingLoader::Operation;

const std::vector<float> firstValues{0.5f, 1.5f, 2.5f};
const std::vector<float> secondValues{-1.0f, -2.0f, -3.0f};
const std::vector<float> otherValues{7.0f, 8.0f, 9.0f};

// One triangle whose three nodes lie at (0,0,1), (1,0,1), (0,1,1).
CoreIo::MeshArrays triangleMesh()
{
    CoreIo::MeshArrays mesh;
    mesh.numNodes = 3;
    mesh.x = {0.0f, 1.0f, 0.0f};
    mesh.y = {0.0f, 0.0f, 1.0f};
    mesh.z = {1.0f, 1.0f, 1.0f};
    mesh.numNormals = 3;
    mesh.nx = {0.0f, 0.0f, 0.0f};
    mesh.ny = {0.0f, 0.0f, 0.0f};
    mesh.nz = {1.0f, 1.0f, 1.0f};
    mesh.numTriangles = 1;
    mesh.triangles = {0, 1, 2};
    return mesh;
}

// A loader holding the body "plate" with one result per name, in the order given.
struct Plate {
    RecordingLoader loader;

    explicit Plate(const std::vector<std::pair<std::string, CoreIo::ResultValues>>& results)
    {
        loader.addBody("plate", triangleMesh());
        for (const auto& [name, values] : results)
            loader.addResult("plate", name, values);
    }

    const CoreIo::SimBody& body() const { return loader.body("plate"); }

    // The body's result entry registered under `name`.
    const CoreIo::ResultEntry& entry(const std::string& name) const
    {
        for (const CoreIo::ResultEntry& result : body().results)
            if (result.name == name)
                return result;
        throw std::out_of_range("plate has no result " + name);
    }

    Call meshCall() const { return {Operation::loadMesh, body().meshLocation.id, std::nullopt}; }
    Call resultCall(const std::string& name) const
    {
        return {Operation::loadResult, entry(name).dataLocation.id, std::nullopt};
    }
};

std::shared_ptr<std::vector<float>> floats(std::vector<float> values)
{
    return std::make_shared<std::vector<float>>(std::move(values));
}

TEST(ReadMeshAndICs, LoadsTheMeshThenInitialCoordinate0ThenInitialCoordinate1)
{
    // INITIALCOORD1 is listed first: the loading order follows the names, not the list.
    const Plate plate({{"THICKNESS", otherValues}, {INITIALCOORD1, secondValues}, {INITIALCOORD0, firstValues}});

    const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(plate.loader, plate.body());

    EXPECT_EQ(plate.loader.calls(),
              (std::vector<Call>{plate.meshCall(), plate.resultCall(INITIALCOORD0), plate.resultCall(INITIALCOORD1)}));
    EXPECT_TRUE(record.isValid());
    EXPECT_EQ(*record.initCoord0, firstValues);
    EXPECT_EQ(*record.initCoord1, secondValues);
    ASSERT_EQ(record.mesh->numberOfVertices(), 3u);
    EXPECT_EQ(record.mesh->getVertex(1), (Calvora::Point<double, 3>{1.0, 0.0, 1.0}));
}

TEST(ReadMeshAndICs, SharesWhatItReturnsWithNobodyElse)
{
    const Plate plate({{INITIALCOORD0, firstValues}, {INITIALCOORD1, secondValues}});

    const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(plate.loader, plate.body());

    EXPECT_EQ(record.mesh.use_count(), 1);
    EXPECT_EQ(record.initCoord0.use_count(), 1);
    EXPECT_EQ(record.initCoord1.use_count(), 1);
}

TEST(ReadMeshAndICs, WithEitherCoordinateMissingLoadsNoResultAndKeepsTheMesh)
{
    for (const std::string& present : {INITIALCOORD0, INITIALCOORD1}) {
        SCOPED_TRACE(present);
        const Plate plate({{present, firstValues}, {"THICKNESS", otherValues}});

        const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(plate.loader, plate.body());

        EXPECT_EQ(plate.loader.calls(), std::vector<Call>{plate.meshCall()});
        ASSERT_NE(record.mesh, nullptr);
        EXPECT_EQ(record.mesh->numberOfVertices(), 3u);
        EXPECT_EQ(record.initCoord0, nullptr);
        EXPECT_EQ(record.initCoord1, nullptr);
        EXPECT_FALSE(record.isValid());
    }
}

TEST(ReadMeshAndICs, MatchesNamesOnlyByteForByte)
{
    for (const std::string& nearMiss : {std::string("initialcoord0"), std::string("InitialCoord0"), INITIALCOORD0 + " ",
                                        INITIALCOORD0 + "X", INITIALCOORD0.substr(0, INITIALCOORD0.size() - 1)}) {
        SCOPED_TRACE("\"" + nearMiss + "\"");
        const Plate plate({{nearMiss, firstValues}, {INITIALCOORD1, secondValues}});

        const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(plate.loader, plate.body());

        EXPECT_EQ(plate.loader.calls(), std::vector<Call>{plate.meshCall()});
        EXPECT_FALSE(record.isValid());
    }
}

TEST(ReadMeshAndICs, LoadsTheFirstOfTwoEntriesWithTheSameName)
{
    const Plate plate({{"A", firstValues}, {"B", otherValues}, {INITIALCOORD1, secondValues}});
    CoreIo::SimBody body = plate.body();
    body.results[0].name = INITIALCOORD0;
    body.results[1].name = INITIALCOORD0;

    const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(plate.loader, body);

    EXPECT_EQ(plate.loader.calls(),
              (std::vector<Call>{plate.meshCall(), plate.resultCall("A"), plate.resultCall(INITIALCOORD1)}));
    EXPECT_EQ(*record.initCoord0, firstValues);
}

TEST(ReadMeshAndICs, HandsDoubleResultsBackAsFloats)
{
    const std::vector<double> doubles0{0.1, 1e-40, -2.0 / 3.0};
    const std::vector<double> doubles1{3.0, 4.0, 5.0};
    const Plate plate({{INITIALCOORD0, doubles0}, {INITIALCOORD1, doubles1}});

    const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(plate.loader, plate.body());

    ASSERT_TRUE(record.isValid());
    EXPECT_EQ(*record.initCoord0, (std::vector<float>{0.1f, static_cast<float>(1e-40), static_cast<float>(-2.0 / 3.0)}));
    EXPECT_EQ(*record.initCoord1, (std::vector<float>{3.0f, 4.0f, 5.0f}));
}

TEST(ReadMeshAndICs, WithoutADeliveredMeshLeavesTheMeshEmpty)
{
    Plate plate({{INITIALCOORD0, firstValues}, {INITIALCOORD1, secondValues}});
    plate.loader.withholdMeshes();

    const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(plate.loader, plate.body());

    EXPECT_EQ(record.mesh, nullptr);
    EXPECT_EQ(*record.initCoord0, firstValues);
    EXPECT_FALSE(record.isValid());
}

TEST(ReadMeshAndICs, PassesLoaderFailuresThrough)
{
    const Plate plate({{INITIALCOORD0, firstValues}, {INITIALCOORD1, secondValues}});
    CoreIo::SimBody unknownMesh = plate.body();
    unknownMesh.meshLocation.id = 99;
    CoreIo::SimBody unknownResult = plate.body();
    unknownResult.results[1].dataLocation.id = 99;

    EXPECT_THROW(CoreIo::readMeshAndICs(plate.loader, unknownMesh), std::out_of_range);
    EXPECT_THROW(CoreIo::readMeshAndICs(plate.loader, unknownResult), std::out_of_range);
}

TEST(MeshAndCoord, IsValidExactlyWhenAllThreeArePresentWhateverTheirLengths)
{
    const auto mesh = std::make_shared<Calvora::Mesh>();

    EXPECT_FALSE(CoreIo::MeshAndCoord().isValid());
    EXPECT_TRUE(CoreIo::MeshAndCoord(floats({}), floats({}), mesh).isValid());
    EXPECT_TRUE(CoreIo::MeshAndCoord(floats({1.0f}), floats({1.0f, 2.0f}), mesh).isValid());
    EXPECT_FALSE(CoreIo::MeshAndCoord(nullptr, floats({}), mesh).isValid());
    EXPECT_FALSE(CoreIo::MeshAndCoord(floats({}), nullptr, mesh).isValid());
    EXPECT_FALSE(CoreIo::MeshAndCoord(floats({}), floats({}), nullptr).isValid());
}

TEST(MeshAndCoord, CopiesShareTheArraysAndTheMesh)
{
    const CoreIo::MeshAndCoord original(floats({1.0f}), floats({2.0f}), std::make_shared<Calvora::Mesh>());

    const CoreIo::MeshAndCoord constructed(original);
    CoreIo::MeshAndCoord assigned;
    assigned = original;

    for (const CoreIo::MeshAndCoord* copy : std::initializer_list<const CoreIo::MeshAndCoord*>{&constructed, &assigned}) {
        EXPECT_EQ(copy->initCoord0, original.initCoord0);
        EXPECT_EQ(copy->initCoord1, original.initCoord1);
        EXPECT_EQ(copy->mesh, original.mesh);
    }
    (*constructed.initCoord0)[0] = 42.0f;
    EXPECT_EQ((*original.initCoord0)[0], 42.0f);
}

TEST(MeshAndCoord, MovingEmptiesTheSource)
{
    CoreIo::MeshAndCoord source(floats({1.0f}), floats({2.0f}), std::make_shared<Calvora::Mesh>());
    const auto initCoord0 = source.initCoord0.get();
    const auto initCoord1 = source.initCoord1.get();
    const auto mesh = source.mesh.get();

    CoreIo::MeshAndCoord constructed(std::move(source));
    EXPECT_FALSE(source.isValid());
    EXPECT_EQ(source.initCoord0, nullptr);
    EXPECT_EQ(source.initCoord1, nullptr);
    EXPECT_EQ(source.mesh, nullptr);

    CoreIo::MeshAndCoord assigned;
    assigned = std::move(constructed);
    EXPECT_EQ(constructed.initCoord0, nullptr);
    EXPECT_EQ(constructed.initCoord1, nullptr);
    EXPECT_EQ(constructed.mesh, nullptr);
    EXPECT_EQ(assigned.initCoord0.get(), initCoord0);
    EXPECT_EQ(assigned.initCoord1.get(), initCoord1);
    EXPECT_EQ(assigned.mesh.get(), mesh);
}

TEST(MeshAndCoord, ReleasesTheMeshThenInitCoord1ThenInitCoord0)
{
    std::vector<std::string> released;
    auto releasing = [&released](const char* name) {
        return [&released, name](auto* object) {
            released.emplace_back(name);
            delete object;
        };
    };
    {
        const CoreIo::MeshAndCoord record(
            std::shared_ptr<std::vector<float>>(new std::vector<float>, releasing("initCoord0")),
            std::shared_ptr<std::vector<float>>(new std::vector<float>, releasing("initCoord1")),
            std::shared_ptr<Calvora::Mesh>(new Calvora::Mesh, releasing("mesh")));
    }
    EXPECT_EQ(released, (std::vector<std::string>{"mesh", "initCoord1", "initCoord0"}));
}

}  // namespace

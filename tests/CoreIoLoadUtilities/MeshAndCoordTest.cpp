#include "MeshAndCoord.h"

#include "Persistence_SkinBaseName.h"
#include "RecordingLoader.h"

#include <gtest/gtest.h>

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
using Floats = std::vector<float>;

const Floats firstValues{0.5f, 1.5f, 2.5f};
const Floats secondValues{-1.0f, -2.0f, -3.0f};

// A loader holding the body "plate", one triangle over (0,0,1) (1,0,1) (0,1,1), with one result
// per name, in the order given.
struct Plate {
    RecordingLoader loader;

    explicit Plate(const std::vector<std::pair<std::string, CoreIo::ResultValues>>& results)
    {
        CoreIo::MeshArrays mesh;
        mesh.numNodes = mesh.numNormals = 3;
        mesh.nx = mesh.ny = {0.0f, 0.0f, 0.0f};
        mesh.x = {0.0f, 1.0f, 0.0f};
        mesh.y = {0.0f, 0.0f, 1.0f};
        mesh.z = mesh.nz = {1.0f, 1.0f, 1.0f};
        mesh.numTriangles = 1;
        mesh.triangles = {0, 1, 2};
        loader.addBody("plate", mesh);
        for (const auto& [name, values] : results)
            loader.addResult("plate", name, values);
    }

    const CoreIo::SimBody& body() const { return loader.body("plate"); }
    CoreIo::MeshAndCoord read() const { return CoreIo::readMeshAndICs(loader, body()); }
    Call meshCall() const { return {RecordingLoader::Operation::loadMesh, body().meshLocation.id, std::nullopt}; }
    // The load of the result at `position` in the body's list.
    Call resultCall(std::size_t position) const
    {
        return {RecordingLoader::Operation::loadResult, body().results.at(position).dataLocation.id, std::nullopt};
    }
};

std::shared_ptr<Floats> floats(Floats values)
{
    return std::make_shared<Floats>(std::move(values));
}

TEST(ReadMeshAndICs, LoadsTheMeshThenInitialCoordinate0ThenInitialCoordinate1AsFloats)
{
    // INITIALCOORD1 is listed first: the loading order follows the names, not the list. Both are
    // doubles, since a float array would hide them.
    const std::vector<double> doubles{0.1, 1e-40, -2.0 / 3.0};
    const Plate plate({{"THICKNESS", secondValues}, {INITIALCOORD1, doubles},
                       {INITIALCOORD0, std::vector<double>{0.5, 1.5, 2.5}}});

    const CoreIo::MeshAndCoord record = plate.read();

    EXPECT_EQ(plate.loader.calls(), (std::vector<Call>{plate.meshCall(), plate.resultCall(2), plate.resultCall(1)}));
    EXPECT_TRUE(record.isValid());
    EXPECT_EQ(*record.initCoord0, firstValues);
    EXPECT_EQ(*record.initCoord1, (Floats{0.1f, static_cast<float>(1e-40), static_cast<float>(-2.0 / 3.0)}));
    ASSERT_EQ(record.mesh->numberOfVertices(), 3u);
    EXPECT_EQ(record.mesh->getVertex(1), (Calvora::Point<double, 3>{1.0, 0.0, 1.0}));
    // Nobody else holds what it returns.
    EXPECT_EQ(record.mesh.use_count(), 1);
    EXPECT_EQ(record.initCoord0.use_count(), 1);
    EXPECT_EQ(record.initCoord1.use_count(), 1);
}

TEST(ReadMeshAndICs, WithoutBothExactNamesLoadsNoResultAndKeepsTheMesh)
{
    const std::string nearMisses[] = {"initialcoord0", "InitialCoord0", INITIALCOORD0 + " ", INITIALCOORD0 + "X",
                                      INITIALCOORD0.substr(0, INITIALCOORD0.size() - 1)};
    using Results = std::vector<std::pair<std::string, CoreIo::ResultValues>>;
    std::vector<Results> cases{{{INITIALCOORD0, firstValues}}, {{INITIALCOORD1, firstValues}}};
    for (const std::string& nearMiss : nearMisses)
        cases.push_back({{nearMiss, firstValues}, {INITIALCOORD1, secondValues}});
    for (const Results& results : cases) {
        const Plate plate(results);
        SCOPED_TRACE(plate.body().results[0].name);
        const CoreIo::MeshAndCoord record = plate.read();

        EXPECT_EQ(plate.loader.calls(), std::vector<Call>{plate.meshCall()});
        ASSERT_NE(record.mesh, nullptr);
        EXPECT_EQ(record.mesh->numberOfVertices(), 3u);
        EXPECT_EQ(record.initCoord0, nullptr);
        EXPECT_EQ(record.initCoord1, nullptr);
        EXPECT_FALSE(record.isValid());
    }
}

TEST(ReadMeshAndICs, LoadsTheFirstOfTwoEntriesWithTheSameName)
{
    const Plate plate({{"A", firstValues}, {"B", secondValues}, {INITIALCOORD1, secondValues}});
    CoreIo::SimBody body = plate.body();
    body.results[0].name = body.results[1].name = INITIALCOORD0;

    const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(plate.loader, body);

    EXPECT_EQ(plate.loader.calls(), (std::vector<Call>{plate.meshCall(), plate.resultCall(0), plate.resultCall(2)}));
    EXPECT_EQ(*record.initCoord0, firstValues);
}

TEST(ReadMeshAndICs, WithoutADeliveredMeshLeavesTheMeshEmpty)
{
    Plate plate({{INITIALCOORD0, firstValues}, {INITIALCOORD1, secondValues}});
    plate.loader.withholdMeshes();

    const CoreIo::MeshAndCoord record = plate.read();

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

    EXPECT_THROW(CoreIo::readMeshAndICs(plate.loader, unknownMesh), CoreIo::LoadError);
    EXPECT_THROW(CoreIo::readMeshAndICs(plate.loader, unknownResult), CoreIo::LoadError);
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

}  // namespace

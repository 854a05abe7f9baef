#include "MeshAndCoord.h"

#include "Persistence_SkinBaseName.h"
#include "RecordingLoader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using AlignmentTestSupport::RecordingLoader;
using Calvora::SkinBaseName::INITIALCOORD0;
using Calvora::SkinBaseName::INITIALCOORD1;
using Floats = std::vector<float>;
using Results = std::vector<std::pair<std::string, CoreIo::ResultValues>>;

const Floats firstValues{0.5f, 1.5f, 2.5f};
const Floats secondValues{-1.0f, -2.0f, -3.0f};

// A loader holding the body "plate", one triangle over (0,0,1) (1,0,1) (0,1,1), with the results given.
RecordingLoader plateLoader(const Results& results)
{
    RecordingLoader loader;
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
    return loader;
}

TEST(ReadMeshAndICs, LoadsTheMeshThenTheFirstInitialCoordinate0ThenInitialCoordinate1AsFloats)
{
    // INITIALCOORD1 listed first and as doubles: the order follows the names, and a narrowing shows.
    const std::vector<double> doubles{0.1, 1e-40, -2.0 / 3.0};
    const RecordingLoader loader = plateLoader({{"THICKNESS", secondValues}, {INITIALCOORD1, doubles},
                                                {INITIALCOORD0, std::vector<double>{0.5, 1.5, 2.5}},
                                                {"SECOND", secondValues}});
    CoreIo::SimBody body = loader.body("plate");
    body.results[3].name = INITIALCOORD0;  // a loader may list a name twice

    const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(loader, body);

    EXPECT_EQ(loader.loadedIds(), (std::vector<std::int64_t>{body.meshLocation.id, body.results.at(2).dataLocation.id,
                                                            body.results.at(1).dataLocation.id}));
    EXPECT_TRUE(record.isValid());
    EXPECT_EQ(*record.initCoord0, firstValues);
    EXPECT_EQ(*record.initCoord1, (Floats{0.1f, static_cast<float>(1e-40), static_cast<float>(-2.0 / 3.0)}));
    ASSERT_EQ(record.mesh->numberOfVertices(), 3u);
    EXPECT_EQ(record.mesh->getVertex(1), (Calvora::Point<double, 3>{1.0, 0.0, 1.0}));
    EXPECT_EQ(record.mesh.use_count(), 1);  // nobody else holds what it returns
}

TEST(ReadMeshAndICs, WithoutBothExactNamesOrAMeshGivesAnInvalidRecordKeepingWhatItRead)
{
    struct Case {
        Results results;
        bool meshDelivered;
    };
    std::vector<Case> cases{{{{INITIALCOORD0, firstValues}}, true},
                            {{{INITIALCOORD1, firstValues}}, true},
                            {{{INITIALCOORD0, firstValues}, {INITIALCOORD1, secondValues}}, false}};
    for (const std::string& nearMiss : {std::string("InitialCoord0"), INITIALCOORD0 + " ", INITIALCOORD0 + "X",
                                        INITIALCOORD0.substr(0, INITIALCOORD0.size() - 1)})
        cases.push_back({{{nearMiss, firstValues}, {INITIALCOORD1, secondValues}}, true});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.results[0].first + (c.meshDelivered ? "" : " without mesh"));
        RecordingLoader loader = plateLoader(c.results);
        if (!c.meshDelivered)
            loader.withholdMeshes();

        const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(loader, loader.body("plate"));

        EXPECT_FALSE(record.isValid());
        EXPECT_EQ(record.mesh != nullptr, c.meshDelivered);
        EXPECT_EQ(record.initCoord0 != nullptr, !c.meshDelivered);
        EXPECT_EQ(loader.loadedIds().size(), c.meshDelivered ? 1u : 3u);
    }
}

}  // namespace

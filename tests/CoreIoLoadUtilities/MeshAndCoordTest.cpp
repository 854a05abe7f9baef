#include "MeshAndCoord.h"

#include "Persistence_SkinBaseName.h"
#include "RecordingLoader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

using Calvora::SkinBaseName::INITIALCOORD0;
using Calvora::SkinBaseName::INITIALCOORD1;
using Floats = std::vector<float>;

TEST(ReadMeshAndICs, LoadsTheMeshThenBothInitialCoordinatesByExactNameAsFloatsElseGivesAnInvalidRecord)
{
    const Floats first{0.5f, 1.5f, 2.5f}, second{-1.0f, -2.0f, -3.0f};
    const std::vector<double> doubles{0.1, 1e-40, -2.0 / 3.0};
    const Floats narrowed{0.1f, static_cast<float>(1e-40), static_cast<float>(-2.0 / 3.0)};
    const struct {
        std::vector<std::pair<std::string, CoreIo::ResultValues>> results;
        bool meshDelivered;
        bool valid;
    } cases[] = {
        // INITIALCOORD1 listed first, both as doubles: the order follows the names, and a narrowing shows.
        {{{"THICKNESS", second}, {INITIALCOORD1, doubles}, {INITIALCOORD0, std::vector<double>{0.5, 1.5, 2.5}}, {"SECOND", second}}, true, true},
        {{{INITIALCOORD0, first}}, true, false},
        {{{INITIALCOORD1, first}}, true, false},
        {{{INITIALCOORD0, first}, {INITIALCOORD1, second}}, false, false},
        {{{"InitialCoord0", first}, {INITIALCOORD1, second}}, true, false},
        {{{INITIALCOORD0 + " ", first}, {INITIALCOORD1, second}}, true, false},
        {{{INITIALCOORD0.substr(0, INITIALCOORD0.size() - 1), first}, {INITIALCOORD1, second}}, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.results[0].first + (c.meshDelivered ? "" : " without mesh"));
        AlignmentTestSupport::RecordingLoader loader;
        CoreIo::MeshArrays plate;  // one triangle over (0,0,1) (1,0,1) (0,1,1)
        plate.numNodes = plate.numNormals = 3;
        plate.x = plate.y = plate.nx = plate.ny = {0.0f, 0.0f, 0.0f};
        plate.x[1] = plate.y[2] = 1.0f;
        plate.z = plate.nz = {1.0f, 1.0f, 1.0f};
        plate.numTriangles = 1;
        plate.triangles = {0, 1, 2};
        loader.addBody("plate", plate);
        for (const auto& [name, values] : c.results)
            loader.addResult("plate", name, values);
        if (!c.meshDelivered)
            loader.withholdMeshes();
        CoreIo::SimBody body = loader.body("plate");
        for (CoreIo::ResultEntry& result : body.results)  // a loader may list a name twice
            result.name = result.name == "SECOND" ? INITIALCOORD0 : result.name;

        const CoreIo::MeshAndCoord record = CoreIo::readMeshAndICs(loader, body);

        EXPECT_EQ(record.isValid(), c.valid);
        EXPECT_EQ(record.mesh != nullptr, c.meshDelivered);
        if (!c.valid)
            continue;
        EXPECT_EQ(loader.loadedIds(), (std::vector<std::int64_t>{body.meshLocation.id, body.results.at(2).dataLocation.id,
                                                                 body.results.at(1).dataLocation.id}));
        EXPECT_EQ(*record.initCoord0, first);
        EXPECT_EQ(*record.initCoord1, narrowed);
        EXPECT_EQ(record.mesh->getVertex(1), (Calvora::Point<double, 3>{1.0, 0.0, 1.0}));
        EXPECT_EQ(record.mesh.use_count(), 1);  // nobody else holds what it returns
    }
}

}  // namespace

// The aligner and the tube converter as the alignment unit's tests script them.
#include "FakeAlgorithms.h"

#include "Business_EvaluationGeometry.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace FakeAlgorithms {

Script& script()
{
    static Script current;
    return current;
}

std::vector<Event>& events()
{
    static std::vector<Event> recorded;
    return recorded;
}

std::vector<Call> calls()
{
    std::vector<Call> kinds;
    for (const Event& event : events())
        kinds.push_back(event.call);
    return kinds;
}

const Event& first(Call call)
{
    const auto found = std::find_if(events().begin(), events().end(), [&](const Event& e) { return e.call == call; });
    if (found == events().end())
        throw std::logic_error("the fakes recorded no such call");
    return *found;
}

void reset()
{
    script() = Script{};
    events().clear();
}

}  // namespace FakeAlgorithms

namespace Calvora {
namespace {

using FakeAlgorithms::Call;

FakeAlgorithms::Event& record(Call call, const MaterialFixedMeshAligner& aligner)
{
    return FakeAlgorithms::events().emplace_back(FakeAlgorithms::Event{
        call, {aligner.meshBefore, aligner.initCoordMeshBefore, aligner.meshAfter, aligner.initCoordMeshAfter}});
}

}  // namespace

MaterialFixedMeshAligner::MaterialFixedMeshAligner() { record(Call::alignerCreated, *this); }

MaterialFixedMeshAligner::~MaterialFixedMeshAligner() { record(Call::alignerDestroyed, *this); }

void MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexBefore(std::shared_ptr<const std::vector<int>> map)
{
    mapBefore_ = record(Call::mapBeforeSet, *this).map = std::move(map);
}

void MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexAfter(std::shared_ptr<const std::vector<int>> map)
{
    mapAfter_ = record(Call::mapAfterSet, *this).map = std::move(map);
}

std::shared_ptr<Mesh> MaterialFixedMeshAligner::computeMeshBeforeWithTopologyOfMeshAfter(
    double& biggestSquareError, std::vector<MatchingEl>* matching) const
{
    FakeAlgorithms::Event& event = record(Call::aligned, *this);
    event.initCoordBefore = std::make_shared<Mesh>(*initCoordMeshBefore);
    event.initCoordAfter = std::make_shared<Mesh>(*initCoordMeshAfter);
    FakeAlgorithms::Script& script = FakeAlgorithms::script();
    biggestSquareError = script.biggestSquareError;
    *matching = script.matching;
    return std::move(script.alignedMesh);
}

TubeInitialCoordinatesConverter::TubeInitialCoordinatesConverter()
{
    FakeAlgorithms::events().push_back({Call::converterCreated});
}

TubeInitialCoordinatesConverter::~TubeInitialCoordinatesConverter()
{
    FakeAlgorithms::events().push_back({Call::converterDestroyed});
}

void TubeInitialCoordinatesConverter::setTubeSize(double)
{
    throw std::logic_error("the alignment unit must leave the converter in its default state");
}

void TubeInitialCoordinatesConverter::cut3dTubeAtSeamAndUnrollWithInitCoords(
    std::shared_ptr<Mesh> initCoordMesh, std::shared_ptr<const std::vector<int>>& initCoordVertexTo3dVertex) const
{
    const auto call = static_cast<std::size_t>(std::ranges::count(FakeAlgorithms::calls(), Call::unrolled));
    FakeAlgorithms::events().push_back({Call::unrolled, {initCoordMesh.get()}, initCoordVertexTo3dVertex});
    const FakeAlgorithms::Script& script = FakeAlgorithms::script();
    if (call < script.vertexMaps.size())
        initCoordVertexTo3dVertex = script.vertexMaps[call];
    if (script.unroll)
        script.unroll(call, *initCoordMesh);
}

}  // namespace Calvora

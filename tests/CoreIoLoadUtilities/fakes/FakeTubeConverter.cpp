// The tube converter as the alignment unit's tests script it.
#include "Business_EvaluationGeometry.h"
#include "FakeAlgorithms.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

namespace Calvora {

TubeInitialCoordinatesConverter::TubeInitialCoordinatesConverter()
{
    FakeAlgorithms::events().push_back({FakeAlgorithms::Call::converterCreated});
}

TubeInitialCoordinatesConverter::~TubeInitialCoordinatesConverter()
{
    FakeAlgorithms::events().push_back({FakeAlgorithms::Call::converterDestroyed});
}

void TubeInitialCoordinatesConverter::setTubeSize(double)
{
    throw std::logic_error("the alignment unit must leave the converter in its default state");
}

void TubeInitialCoordinatesConverter::cut3dTubeAtSeamAndUnrollWithInitCoords(
    std::shared_ptr<Mesh> initCoordMesh, std::shared_ptr<const std::vector<int>>& initCoordVertexTo3dVertex) const
{
    std::vector<FakeAlgorithms::Event>& events = FakeAlgorithms::events();
    const auto call = static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [](const auto& event) {
        return event.call == FakeAlgorithms::Call::tubeUnrolled;
    }));
    FakeAlgorithms::Event event{FakeAlgorithms::Call::tubeUnrolled};
    event.unrolledMesh = initCoordMesh.get();
    event.unrolledMeshShares = initCoordMesh.use_count();
    event.mapArrivedEmpty = initCoordVertexTo3dVertex == nullptr;
    events.push_back(event);

    const FakeAlgorithms::Script& script = FakeAlgorithms::script();
    if (call < script.vertexMaps.size())
        initCoordVertexTo3dVertex = script.vertexMaps[call];
    if (script.unroll)
        script.unroll(call, *initCoordMesh);
}

}  // namespace Calvora

// The aligner as the alignment unit's tests script it; also home of the fakes' shared record.
#include "FakeAlgorithms.h"

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

void reset()
{
    script() = Script{};
    events().clear();
}

}  // namespace FakeAlgorithms

namespace Calvora {
namespace {

FakeAlgorithms::Event& record(FakeAlgorithms::Call call, const MaterialFixedMeshAligner& aligner,
                              std::shared_ptr<const std::vector<int>> map = nullptr)
{
    FakeAlgorithms::Event event{call, {aligner.meshBefore, aligner.initCoordMeshBefore, aligner.meshAfter, aligner.initCoordMeshAfter}};
    event.map = std::move(map);
    return FakeAlgorithms::events().emplace_back(std::move(event));
}

std::shared_ptr<Mesh> copyOf(const Mesh* mesh)
{
    return mesh != nullptr ? std::make_shared<Mesh>(*mesh) : nullptr;
}

}  // namespace

MaterialFixedMeshAligner::MaterialFixedMeshAligner() { record(FakeAlgorithms::Call::alignerCreated, *this); }

MaterialFixedMeshAligner::~MaterialFixedMeshAligner() { record(FakeAlgorithms::Call::alignerDestroyed, *this); }

void MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexBefore(std::shared_ptr<const std::vector<int>> map)
{
    mapBefore_ = record(FakeAlgorithms::Call::vertexMapBeforeSet, *this, std::move(map)).map;
}

void MaterialFixedMeshAligner::setInitCoordVertexTo3dVertexAfter(std::shared_ptr<const std::vector<int>> map)
{
    mapAfter_ = record(FakeAlgorithms::Call::vertexMapAfterSet, *this, std::move(map)).map;
}

std::shared_ptr<Mesh> MaterialFixedMeshAligner::computeMeshBeforeWithTopologyOfMeshAfter(
    double& biggestSquareError, std::vector<MatchingEl>* matching) const
{
    FakeAlgorithms::Event& event = record(FakeAlgorithms::Call::alignmentComputed, *this);
    event.errorOnEntry = biggestSquareError;
    event.matchingSizeOnEntry = matching->size();
    event.initCoordBeforeCopy = copyOf(initCoordMeshBefore);
    event.initCoordAfterCopy = copyOf(initCoordMeshAfter);

    FakeAlgorithms::Script& script = FakeAlgorithms::script();
    biggestSquareError = script.biggestSquareError;
    *matching = script.matching;
    return std::move(script.alignedMesh);
}

}  // namespace Calvora

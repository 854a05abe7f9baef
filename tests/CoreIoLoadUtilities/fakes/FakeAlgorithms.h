#pragma once
// Stand-ins for the aligner and the tube converter in tests of the alignment unit: they replay
// what a test scripts and record every call, in order, with what they were handed.

#include "Business_Algorithm.h"
#include "Business_BaseGeometry.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace FakeAlgorithms {

using Calvora::MaterialFixedMeshAligner;

enum class Call {
    alignerCreated, alignerDestroyed, vertexMapBeforeSet, vertexMapAfterSet, alignmentComputed,
    converterCreated, converterDestroyed, tubeUnrolled,
};

// The aligner's four mesh pointers at the time of a call.
struct AlignerMeshes {
    const Calvora::Mesh* meshBefore = nullptr;
    const Calvora::Mesh* initCoordMeshBefore = nullptr;
    const Calvora::Mesh* meshAfter = nullptr;
    const Calvora::Mesh* initCoordMeshAfter = nullptr;
};

struct Event {
    Call call;
    AlignerMeshes aligner{};                          // aligner calls
    std::shared_ptr<const std::vector<int>> map{};    // vertex map setters
    const Calvora::Mesh* unrolledMesh = nullptr;      // tubeUnrolled
    long unrolledMeshShares = 0;                      // tubeUnrolled: owners of the mesh during the call
    bool mapArrivedEmpty = false;                     // tubeUnrolled
    double errorOnEntry = -1.0;                       // alignmentComputed: biggestSquareError as passed in
    std::size_t matchingSizeOnEntry = 0;              // alignmentComputed
    std::shared_ptr<Calvora::Mesh> initCoordBeforeCopy{};  // alignmentComputed: the two initial-coordinate
    std::shared_ptr<Calvora::Mesh> initCoordAfterCopy{};   // meshes as the aligner saw them
};

// What the fakes hand back.
struct Script {
    std::vector<MaterialFixedMeshAligner::MatchingEl> matching;
    std::shared_ptr<Calvora::Mesh> alignedMesh;  // given away by the next alignment
    double biggestSquareError = 0.0;
    std::vector<std::shared_ptr<const std::vector<int>>> vertexMaps;  // one per converter call, in order
    std::function<void(std::size_t call, Calvora::Mesh& initCoordMesh)> unroll;  // how a converter call changes the mesh
};

Script& script();
std::vector<Event>& events();
std::vector<Call> calls();  // the kinds of events() in order
void reset();

}  // namespace FakeAlgorithms

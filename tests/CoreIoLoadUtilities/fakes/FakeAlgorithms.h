#pragma once
// Stand-ins for the aligner and the tube converter in tests of the alignment unit: they replay
// what a test scripts and record every call, in order, with what they were handed.

#include "Business_Algorithm.h"
#include "Business_BaseGeometry.h"

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace FakeAlgorithms {

enum class Call { alignerCreated, alignerDestroyed, mapBeforeSet, mapAfterSet, aligned, converterCreated,
                  converterDestroyed, unrolled };

struct Event {
    Call call;
    // The aligner's meshBefore, initCoordMeshBefore, meshAfter, initCoordMeshAfter; for unrolled, the mesh first.
    std::array<const Calvora::Mesh*, 4> meshes{};
    std::shared_ptr<const std::vector<int>> map{};  // vertex map setters
    std::shared_ptr<Calvora::Mesh> initCoordBefore{}, initCoordAfter{};  // aligned: copies as the aligner saw them
};

// What the fakes hand back.
struct Script {
    std::vector<Calvora::MaterialFixedMeshAligner::MatchingEl> matching;
    std::shared_ptr<Calvora::Mesh> alignedMesh;  // given away by the next alignment
    double biggestSquareError = 0.0;
    std::vector<std::shared_ptr<const std::vector<int>>> vertexMaps;  // one per converter call, in order
    std::function<void(std::size_t call, Calvora::Mesh& initCoordMesh)> unroll;  // changes a converter call makes
};

Script& script();
std::vector<Event>& events();
std::vector<Call> calls();  // the kinds of events() in order
const Event& first(Call call);
void reset();

}  // namespace FakeAlgorithms

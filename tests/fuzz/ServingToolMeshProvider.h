#pragma once
// The tool mesh provider of a fuzz run. Whatever mapping the tool mesh builder hands it, it serves
// a tool mesh with normals that holds every vertex the mapping names, so that the builder's
// preconditions hold; or, on request, one of the answers the builder must refuse or ignore. It
// keeps what it served, so that the build can be checked against it.

#include "Business_BaseGeometry.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace CoreIoFuzz {

class ServingToolMeshProvider : public Calvora::UntransformedMeshProvider {
public:
    enum class Serving {
        Covering,        // every mapped vertex, and at least minimumVertices
        Nothing,         // an empty pointer
        WithoutNormals,  // a mesh whose hasNormals is false
        OneVertexMore,   // a covering mesh with one vertex more
    };
    // A tool mesh larger than this is not made: the provider then serves nothing.
    static constexpr std::size_t maxVertices = std::size_t{1} << 16;

    // numNodes: how many entries the mappings it is handed hold.
    ServingToolMeshProvider(Serving serving, std::size_t numNodes, std::size_t minimumVertices);
    ~ServingToolMeshProvider() override;

    std::shared_ptr<Calvora::Mesh> getUntransformedMesh(const int* solverIndexMapping,
                                                        std::size_t numTriangles) override;

    // Vertex i of `built` has the position, and the normal if it has normals, of the tool vertex
    // that entry i of the last mapping names, rounded to float.
    void checkBuild(const Calvora::Mesh& built) const;

private:
    Serving serving_;
    std::size_t numNodes_;
    std::size_t minimumVertices_;
    std::vector<int> mapping_;
    std::shared_ptr<Calvora::Mesh> served_;
};

}  // namespace CoreIoFuzz

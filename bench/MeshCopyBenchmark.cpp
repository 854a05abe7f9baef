// Copying and shading a large mesh: both run on million-vertex meshes inside a sub-second
// pipeline, so their cost per vertex must stay small and flat as meshes grow. The host keeps its
// heap (HostHeap.h): the copies compare containers, not the kernel's supply of fresh pages.

#include "BenchmarkSizes.h"
#include "Business_BaseGeometry.h"
#include "HostHeap.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

// Fills a mesh with a square grid in the xy-plane, two counter-clockwise triangles per cell.
class GridBuilder : public Calvora::MeshModifier {
public:
    GridBuilder(Calvora::Mesh& mesh, std::size_t minimumVertices) : MeshModifier(mesh)
    {
        const auto side = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(minimumVertices))));
        fillVertices(side);
        fillTriangles(side);
    }

private:
    void fillVertices(std::size_t side)
    {
        vertices().resize(side * side);
        std::size_t position = 0;
        for (Calvora::Vertex& vertex : vertices()) {
            vertex.set(static_cast<double>(position % side), static_cast<double>(position / side),
                       0.01 * static_cast<double>(position % 7));
            vertex.index = static_cast<std::int32_t>(position++);
        }
    }

    void fillTriangles(std::size_t side)
    {
        const std::size_t cells = side - 1;
        triangles().resize(2 * cells * cells);
        std::size_t position = 0;
        for (std::size_t row = 0; row < cells; ++row)
            for (std::size_t column = 0; column < cells; ++column) {
                const std::size_t corner = row * side + column;
                addTriangle(position++, corner, corner + 1, corner + side + 1);
                addTriangle(position++, corner, corner + side + 1, corner + side);
            }
    }

    void addTriangle(std::size_t position, std::size_t a, std::size_t b, std::size_t c)
    {
        Calvora::Triangle& triangle = triangles()[position];
        triangle.corners[0] = &vertices()[a];
        triangle.corners[1] = &vertices()[b];
        triangle.corners[2] = &vertices()[c];
        triangle.index = static_cast<std::int32_t>(position);
    }
};

Calvora::Mesh gridMesh(std::size_t minimumVertices)
{
    Calvora::Mesh mesh;
    GridBuilder{mesh, minimumVertices};
    return mesh;
}

// Time per vertex, in seconds (shown as ns), so that sizes compare at a glance.
void reportPerVertex(benchmark::State& state, const Calvora::Mesh& mesh)
{
    const auto vertices = static_cast<double>(mesh.numberOfVertices());
    state.counters["vertices"] = vertices;
    state.counters["per_vertex"] = benchmark::Counter(vertices, benchmark::Counter::kIsIterationInvariantRate |
                                                                    benchmark::Counter::kInvert);
}

void BM_MeshCopy(benchmark::State& state)
{
    const Calvora::Mesh original = gridMesh(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        Calvora::Mesh copy(original);
        benchmark::DoNotOptimize(copy.getTriangle(0).corners[0]);
    }
    reportPerVertex(state, original);
}

// The reference for a mesh copy: the same vertices and triangles copied as plain arrays, each
// triangle's corners moved to the copied array at the same offsets. A copy should stay within
// twice this.
void BM_ArrayCopy(benchmark::State& state)
{
    const Calvora::Mesh original = gridMesh(static_cast<std::size_t>(state.range(0)));
    const std::vector<Calvora::Vertex> vertices(original.beginVertex(), original.endVertex());
    std::vector<Calvora::Triangle> triangles(original.beginTriangle(), original.endTriangle());
    for (Calvora::Triangle& triangle : triangles)
        for (Calvora::Vertex*& corner : triangle.corners)
            corner = const_cast<Calvora::Vertex*>(&vertices[static_cast<std::size_t>(corner->index)]);
    for (auto _ : state) {
        std::vector<Calvora::Vertex> vertexCopy(vertices);
        std::vector<Calvora::Triangle> triangleCopy(triangles.size());
        for (std::size_t t = 0; t < triangles.size(); ++t) {
            for (std::size_t k = 0; k < 3; ++k)
                triangleCopy[t].corners[k] = vertexCopy.data() + (triangles[t].corners[k] - vertices.data());
            triangleCopy[t].index = triangles[t].index;
        }
        benchmark::DoNotOptimize(triangleCopy.data()->corners[0]);
    }
    reportPerVertex(state, original);
}

// The initial-coordinate mesh as the alignment makes it: a copy, then each vertex moved to the
// plane through the walk of its vertices.
void BM_CopyThenMoveVertices(benchmark::State& state)
{
    const Calvora::Mesh original = gridMesh(static_cast<std::size_t>(state.range(0)));
    const std::vector<float> u(original.numberOfVertices(), 0.5f), v(original.numberOfVertices(), 0.25f);
    for (auto _ : state) {
        auto copy = std::make_shared<Calvora::Mesh>(original);
        std::size_t i = 0;
        for (auto vertex = copy->beginVertex(), end = copy->endVertex(); vertex != end; ++vertex) {
            vertex->set(static_cast<double>(u.at(i)), static_cast<double>(v.at(i)), 0.0);
            ++i;
        }
        benchmark::DoNotOptimize(copy->getTriangle(0).corners[0]);
    }
    reportPerVertex(state, original);
}

// The same mesh made as the alignment made it before its copy went through the copy constructor:
// each storage block of vertices copied and moved while it is in the cache, then the triangles
// taken over with copyTopologyOf. The copy above should stay within 1.1 times this.
void BM_MoveVerticesThenCopyTopology(benchmark::State& state)
{
    struct VertexAccess : Calvora::MeshModifier {
        explicit VertexAccess(Calvora::Mesh& mesh) : MeshModifier(mesh) {}
        using MeshModifier::vertices;
    };
    const Calvora::Mesh original = gridMesh(static_cast<std::size_t>(state.range(0)));
    const std::vector<float> u(original.numberOfVertices(), 0.5f), v(original.numberOfVertices(), 0.25f);
    for (auto _ : state) {
        auto copy = std::make_shared<Calvora::Mesh>();
        {
            VertexAccess access(*copy);
            Calvora::Mesh::VertexContainer& copies = access.vertices();
            const auto originals = Calvora::verticesByPosition(original);
            for (std::size_t first = 0; first < originals.size();) {
                const std::size_t last = originals.blockAround(first).second;
                copies.insert(copies.end(), &originals[first], &originals[first] + (last - first));
                const Calvora::PositionalAccess<Calvora::Mesh::VertexContainer> placed(copies.begin(), copies.size());
                for (; first < last; ++first)
                    placed[first].set(static_cast<double>(u[first]), static_cast<double>(v[first]), 0.0);
            }
        }
        copy->copyTopologyOf(original);
        benchmark::DoNotOptimize(copy->getTriangle(0).corners[0]);
    }
    reportPerVertex(state, original);
}

void BM_ComputeNormals(benchmark::State& state)
{
    Calvora::Mesh mesh = gridMesh(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        mesh.computeNormals(false, true);
        benchmark::DoNotOptimize(mesh.getVertex(0).getNormal().z);
    }
    reportPerVertex(state, mesh);
}

void meshSizes(benchmark::internal::Benchmark* benchmark)
{
    for (long size : CoreIoBench::sizes({100000, 1000000}, 1000))
        benchmark->Arg(size);
    benchmark->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_MeshCopy)->Apply(meshSizes);
BENCHMARK(BM_ArrayCopy)->Apply(meshSizes);
BENCHMARK(BM_CopyThenMoveVertices)->Apply(meshSizes);
BENCHMARK(BM_MoveVerticesThenCopyTopology)->Apply(meshSizes);
BENCHMARK(BM_ComputeNormals)->Apply(meshSizes);

int main(int argc, char** argv)
{
    return CoreIoBench::runKeepingHeap(argc, argv);
}

// Builds a one-triangle mesh through the installed library and checks what came out.
#include "BaseGeometryMeshBuilder.h"
#include "Persistence_CoreIo.h"

#include <cstdio>

int main()
{
    const float coordinates[] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    const int triangles[] = {0, 1, 2};
    CoreIo::MeshBuilderParamRowMajor record;
    record.numNodes = 3;
    record.coordinates = coordinates;
    record.numTriangles = 1;
    record.triangles = triangles;

    Calvora::BaseGeometryMeshBuilder builder;
    builder.build(record);
    const auto mesh = builder.getMesh();
    const bool ok = mesh && mesh->numberOfVertices() == 3 && mesh->getVertex(0).getNormal().z > 0.99;
    std::puts(ok ? "consumer: ok" : "consumer: unexpected mesh");
    return ok ? 0 : 1;
}

#include "SampleBodies.h"

#include "Persistence_SkinBaseName.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <random>

namespace CoreIoSamples {
namespace {

void addNode(SampleBody& body, double x, double y, double z, double nx, double ny, double nz, double ic0, double ic1)
{
    body.x.push_back(static_cast<float>(x));
    body.y.push_back(static_cast<float>(y));
    body.z.push_back(static_cast<float>(z));
    body.nx.push_back(static_cast<float>(nx));
    body.ny.push_back(static_cast<float>(ny));
    body.nz.push_back(static_cast<float>(nz));
    body.initCoord0.push_back(static_cast<float>(ic0));
    body.initCoord1.push_back(static_cast<float>(ic1));
}

// Two counter-clockwise triangles for the quad whose corners are a, b (along u), c (along v), d.
void addQuad(SampleBody& body, int a, int b, int c, int d)
{
    body.triangles.insert(body.triangles.end(), {a, b, d, a, d, c});
}

void reserve(SampleBody& body, std::size_t nodes, std::size_t triangles)
{
    for (auto* array : {&body.x, &body.y, &body.z, &body.nx, &body.ny, &body.nz, &body.initCoord0, &body.initCoord1})
        array->reserve(nodes);
    body.triangles.reserve(3 * triangles);
}

}  // namespace

SampleBody makeSheet(const SheetShape& shape, const SheetMeshing& meshing)
{
    const int nu = meshing.cellsU, nv = meshing.cellsV;
    const double du = shape.width / nu, dv = shape.height / nv;
    const double ku = std::numbers::pi / shape.width, kv = std::numbers::pi / shape.height;
    std::mt19937 random(meshing.seed);
    std::uniform_real_distribution<double> offset(-meshing.jitter, meshing.jitter);

    SampleBody body;
    reserve(body, std::size_t(nu + 1) * (nv + 1), 2 * std::size_t(nu) * nv);
    for (int j = 0; j <= nv; ++j) {
        for (int i = 0; i <= nu; ++i) {
            const bool interior = i > 0 && i < nu && j > 0 && j < nv;
            const double u = (i + (interior ? offset(random) : 0.0)) * du;
            const double v = (j + (interior ? offset(random) : 0.0)) * dv;
            const double z = shape.depth * std::sin(ku * u) * std::sin(kv * v);
            const double dzdu = shape.depth * ku * std::cos(ku * u) * std::sin(kv * v);
            const double dzdv = shape.depth * kv * std::sin(ku * u) * std::cos(kv * v);
            const double norm = std::sqrt(dzdu * dzdu + dzdv * dzdv + 1.0);
            addNode(body, u, v, z, -dzdu / norm, -dzdv / norm, 1.0 / norm, u, v);
        }
    }
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            const int a = j * (nu + 1) + i;
            addQuad(body, a, a + 1, a + nu + 1, a + nu + 2);
        }
    return body;
}

SampleBody makeTube(const TubeShape& shape, const TubeMeshing& meshing)
{
    constexpr double turn = 2.0 * std::numbers::pi;
    const int around = meshing.around, along = meshing.along;
    const double cellAngle = turn / around, cellLength = shape.length / along;
    std::mt19937 random(meshing.seed);
    std::uniform_real_distribution<double> offset(-meshing.jitter, meshing.jitter);
    std::uniform_real_distribution<double> trim(0.0, meshing.raggedEnds ? meshing.jitter : 0.0);

    SampleBody body;
    reserve(body, std::size_t(around) * (along + 1), 2 * std::size_t(around) * along);
    for (int j = 0; j <= along; ++j) {
        for (int i = 0; i < around; ++i) {
            const double angle = meshing.phase + (i + offset(random)) * cellAngle;
            const double inward = j == 0 ? trim(random) : j == along ? -trim(random) : offset(random);
            const double axial = (j + inward) * cellLength;
            const double wrapped = angle - turn * std::floor((angle - meshing.angleStart) / turn);
            const double c = std::cos(angle), s = std::sin(angle);
            const double u = shape.initialRadius * wrapped;
            addNode(body, shape.radius * c, shape.radius * s, axial, c, s, 0.0, meshing.circumferenceAlongV ? axial : u,
                    meshing.circumferenceAlongV ? u : axial);
        }
    }
    // Counter-clockwise seen from outside: along the angle first, then along the axis.
    for (int j = 0; j < along; ++j)
        for (int i = 0; i < around; ++i) {
            const int a = j * around + i;
            const int b = j * around + (i + 1) % around;
            addQuad(body, a, b, a + around, b + around);
        }
    return body;
}

SampleBody renumbered(const SampleBody& body, unsigned seed)
{
    std::vector<int> newPosition(body.numNodes());
    std::iota(newPosition.begin(), newPosition.end(), 0);
    std::shuffle(newPosition.begin(), newPosition.end(), std::mt19937(seed));
    SampleBody result = body;
    for (auto nodeArray : {&SampleBody::x, &SampleBody::y, &SampleBody::z, &SampleBody::nx, &SampleBody::ny,
                           &SampleBody::nz, &SampleBody::initCoord0, &SampleBody::initCoord1})
        for (std::size_t i = 0; i < (body.*nodeArray).size(); ++i)
            (result.*nodeArray)[static_cast<std::size_t>(newPosition[i])] = (body.*nodeArray)[i];
    for (int& node : result.triangles)
        node = newPosition[static_cast<std::size_t>(node)];
    return result;
}

void registerBody(CoreIo::MemoryLoader& loader, const std::string& name, const SampleBody& body, CoreIo::Layout layout)
{
    CoreIo::MeshArrays mesh;
    mesh.layout = layout;
    mesh.numNodes = body.numNodes();
    mesh.numNormals = body.numNodes();
    mesh.numTriangles = body.numTriangles();
    mesh.triangles = body.triangles;
    if (layout == CoreIo::Layout::ColumnMajor) {
        mesh.x = body.x;
        mesh.y = body.y;
        mesh.z = body.z;
        mesh.nx = body.nx;
        mesh.ny = body.ny;
        mesh.nz = body.nz;
    } else {
        mesh.coordinates.reserve(3 * body.numNodes());
        mesh.normals.reserve(3 * body.numNodes());
        for (std::size_t i = 0; i < body.numNodes(); ++i) {
            mesh.coordinates.insert(mesh.coordinates.end(), {body.x[i], body.y[i], body.z[i]});
            mesh.normals.insert(mesh.normals.end(), {body.nx[i], body.ny[i], body.nz[i]});
        }
    }
    loader.addBody(name, std::move(mesh));
    loader.addResult(name, Calvora::SkinBaseName::INITIALCOORD0, body.initCoord0);
    loader.addResult(name, Calvora::SkinBaseName::INITIALCOORD1, body.initCoord1);
}

}  // namespace CoreIoSamples

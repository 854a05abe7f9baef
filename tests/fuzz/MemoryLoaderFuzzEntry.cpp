#include "MemoryLoaderFuzzEntry.h"

#include "BaseGeometryMeshBuilder.h"
#include "BaseGeometryPolyLineBuilder.h"
#include "BaseGeometryToolMeshBuilder.h"
#include "FuzzChecks.h"
#include "MemoryLoader.h"
#include "MemoryLoaderProgram.h"
#include "MeshAlignUtils.h"
#include "MeshAndCoord.h"
#include "Persistence_SkinBaseName.h"
#include "QRVService_ExceptionHandling.h"
#include "ScalarResultsBuilder.h"
#include "ServingToolMeshProvider.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace CoreIoFuzz {

namespace {

using CoreIo::Layout;

constexpr std::size_t maxAlignments = 4;

// The same sequence on every compiler and library, so that a stored input replays alike anywhere.
struct Lcg {
    std::uint32_t state;
    std::uint32_t next() { return state = state * 1664525u + 1013904223u; }
    float symmetric() { return (static_cast<float>(next() >> 8) / 8388608.0f - 1.0f) * 8.0f; }  // in [-8, 8)
};

void fillRandom(std::uint32_t seed, std::vector<float>& values)
{
    Lcg random{seed};
    for (float& value : values)
        value = random.symmetric();
}

// Leaves values as they are when the pattern is empty.
template <typename T>
void repeat(const std::vector<T>& pattern, std::vector<T>& values)
{
    for (std::size_t k = 0; k < values.size() && !pattern.empty(); ++k)
        values[k] = pattern[k % pattern.size()];
}

std::size_t gridWidth(std::uint8_t code)
{
    return code % 32u + 1;
}

// x, y, z per point.
std::vector<float> makePoints(const PointRule& rule, std::size_t count)
{
    std::vector<float> points(3 * count);
    const std::size_t width = gridWidth(rule.gridWidth);
    const float spacing = static_cast<float>(rule.gridSpacing + 1) / 16.0f;
    switch (rule.kind) {
    case PointRule::Kind::Grid:
        for (std::size_t i = 0; i < count; ++i) {
            points[3 * i] = static_cast<float>(i % width) * spacing;
            points[3 * i + 1] = static_cast<float>(i / width) * spacing;
        }
        break;
    case PointRule::Kind::Random: fillRandom(rule.seed, points); break;
    case PointRule::Kind::Pattern: repeat(rule.pattern, points); break;
    case PointRule::Kind::Constant: repeat(std::vector<float>(rule.constant.begin(), rule.constant.end()), points); break;
    }
    return points;
}

// Two triangles per cell between full rows of the grid; a clockwise row is seen from -z. A closed
// grid has one cell more per row, from its last node to its first.
std::vector<int> makeGridTriangles(const TriangleRule& rule, std::size_t numNodes)
{
    const std::size_t width = gridWidth(rule.gridWidth);
    const std::size_t rows = numNodes / width;
    const std::size_t cellsPerRow = rule.closed ? width : width - 1;
    std::vector<int> corners;
    corners.reserve(rows * cellsPerRow * 6);
    for (std::size_t row = 0; row + 1 < rows; ++row) {
        const bool clockwise = rule.orientation == TriangleRule::Orientation::Clockwise ||
                               (rule.orientation == TriangleRule::Orientation::AlternatingRows && row % 2 == 1);
        for (std::size_t column = 0; column < cellsPerRow; ++column) {
            const auto a = static_cast<int>(row * width + column);
            const auto b = static_cast<int>(row * width + (column + 1) % width);
            const int c = a + static_cast<int>(width);
            const int d = b + static_cast<int>(width);
            if (clockwise)
                corners.insert(corners.end(), {a, d, b, a, c, d});
            else
                corners.insert(corners.end(), {a, b, d, a, d, c});
        }
    }
    return corners;
}

// Three corners per triangle.
std::vector<int> makeTriangles(const TriangleRule& rule, std::size_t numNodes)
{
    switch (rule.kind) {
    case TriangleRule::Kind::None: return {};
    case TriangleRule::Kind::Grid: return makeGridTriangles(rule, numNodes);
    case TriangleRule::Kind::Random: {
        std::vector<int> corners(3 * (rule.randomCount % (maxRandomTriangles + 1)));
        Lcg random{rule.seed};
        for (int& corner : corners)
            corner = static_cast<int>(random.next() % std::max<std::size_t>(numNodes, 1));
        return corners;
    }
    case TriangleRule::Kind::Explicit:
        return {rule.corners.begin(), rule.corners.begin() + static_cast<std::ptrdiff_t>(rule.corners.size() / 3 * 3)};
    }
    return {};
}

std::vector<int> makeMapping(const MappingRule& rule, std::size_t numNodes)
{
    std::vector<int> mapping(rule.kind == MappingRule::Kind::None ? 0 : numNodes);
    Lcg random{rule.seed};
    switch (rule.kind) {
    case MappingRule::Kind::None: break;
    case MappingRule::Kind::Identity: std::iota(mapping.begin(), mapping.end(), 0); break;
    case MappingRule::Kind::Reversed: std::iota(mapping.rbegin(), mapping.rend(), 0); break;
    case MappingRule::Kind::Random:
        for (int& entry : mapping)
            entry = static_cast<int>(random.next() % (std::uint32_t{rule.randomBound} + 1));
        break;
    case MappingRule::Kind::Pattern: repeat(rule.pattern, mapping); break;
    }
    return mapping;
}

// Hands x, y, z per point to the arrays that the layout reads.
void place(const std::vector<float>& points, Layout layout, std::array<std::vector<float>*, 3> columns,
           std::vector<float>& rows)
{
    if (layout == Layout::RowMajor) {
        rows = points;
        return;
    }
    const std::size_t count = points.size() / 3;
    for (std::size_t c = 0; c < 3; ++c) {
        columns[c]->resize(count);
        for (std::size_t i = 0; i < count; ++i)
            (*columns[c])[i] = points[3 * i + c];
    }
}

// Positions and normals of a mesh or a curve, in its layout.
template <typename Arrays>
void placePoints(Arrays& arrays, const std::vector<float>& positions, const std::vector<float>& normals)
{
    place(positions, arrays.layout, {&arrays.x, &arrays.y, &arrays.z}, arrays.coordinates);
    place(normals, arrays.layout, {&arrays.nx, &arrays.ny, &arrays.nz}, arrays.normals);
}

void dropLast(std::vector<float>& values)
{
    if (!values.empty())
        values.pop_back();
}

template <typename Arrays>
void dropLastCoordinate(Arrays& arrays)
{
    dropLast(arrays.layout == Layout::RowMajor ? arrays.coordinates : arrays.x);
}

void damage(CoreIo::MeshArrays& mesh, Damage kind)
{
    std::vector<int>& mapping = mesh.solverIndexMapping;
    switch (kind) {
    case Damage::None: break;
    case Damage::ShortCoordinates: dropLastCoordinate(mesh); break;
    case Damage::LongNormals:
        for (auto* normals : {&mesh.nx, &mesh.ny, &mesh.nz})
            normals->push_back(1.0f);
        mesh.normals.insert(mesh.normals.end(), {0.0f, 0.0f, 1.0f});
        break;
    case Damage::TriangleOutOfRange:
    case Damage::NegativeTriangle:
        if (!mesh.triangles.empty())
            mesh.triangles.back() = kind == Damage::NegativeTriangle ? -1 : static_cast<int>(mesh.numNodes);
        break;
    case Damage::LongMapping:
        if (!mapping.empty())
            mapping.push_back(0);
        break;
    case Damage::NegativeMapping:
        if (!mapping.empty())
            mapping.back() = -1;
        break;
    }
}

// What the run registered, kept to check the products against: x, y, z per node and per normal,
// whatever the layout.
struct RegisteredBody {
    CoreIo::MeshArrays mesh;
    std::vector<float> coordinates;
    std::vector<float> normals;
    ToolMesh toolMesh = ToolMesh::Matching;
};

struct RegisteredCurve {
    CoreIo::CurveLocation location;
    std::size_t numPoints = 0;
    std::size_t numNormals = 0;
    std::vector<float> coordinates;
    std::vector<float> normals;
};

RegisteredBody makeBody(const BodyInstruction& instruction)
{
    RegisteredBody body;
    CoreIo::MeshArrays& mesh = body.mesh;
    mesh.layout = instruction.layout == ArrayLayout::RowMajor ? Layout::RowMajor : Layout::ColumnMajor;
    mesh.numNodes = instruction.numNodes % (maxNodes + 1);
    mesh.numNormals = instruction.normalCount.resolve(mesh.numNodes);
    body.coordinates = makePoints(instruction.positions, mesh.numNodes);
    body.normals = makePoints(instruction.normals, mesh.numNormals);
    placePoints(mesh, body.coordinates, body.normals);
    mesh.triangles = makeTriangles(instruction.triangles, mesh.numNodes);
    mesh.numTriangles = mesh.triangles.size() / 3;
    mesh.solverIndexMapping = makeMapping(instruction.mapping, mesh.numNodes);
    damage(mesh, instruction.damage);
    body.toolMesh = instruction.toolMesh;
    return body;
}

std::pair<RegisteredCurve, CoreIo::CurveArrays> makeCurve(const CurveInstruction& instruction)
{
    RegisteredCurve curve;
    CoreIo::CurveArrays arrays;
    arrays.layout = instruction.layout == ArrayLayout::RowMajor ? Layout::RowMajor : Layout::ColumnMajor;
    curve.numPoints = arrays.numPoints = instruction.numPoints % (maxCurvePoints + 1);
    curve.numNormals = arrays.numNormals = instruction.normalCount.resolve(arrays.numPoints);
    curve.coordinates = makePoints(instruction.positions, curve.numPoints);
    curve.normals = makePoints(instruction.normals, curve.numNormals);
    placePoints(arrays, curve.coordinates, curve.normals);
    if (instruction.damage == CurveDamage::ShortCoordinates)
        dropLastCoordinate(arrays);
    else if (instruction.damage == CurveDamage::ShortNormals)
        dropLast(arrays.layout == Layout::RowMajor ? arrays.normals : arrays.nz);
    return {std::move(curve), std::move(arrays)};
}

std::vector<float> makeValues(const ValueRule& rule, std::size_t length, const RegisteredBody* body)
{
    std::vector<float> values(length);
    switch (rule.kind) {
    case ValueRule::Kind::Axis:
        for (std::size_t i = 0; body != nullptr && i < std::min(length, body->mesh.numNodes); ++i)
            values[i] = body->coordinates[3 * i + rule.axis % 3u];
        break;
    case ValueRule::Kind::Random: fillRandom(rule.seed, values); break;
    case ValueRule::Kind::Pattern: repeat(rule.pattern, values); break;
    case ValueRule::Kind::Constant: std::fill(values.begin(), values.end(), rule.constant); break;
    }
    return values;
}

int saturatedInt(float value)
{
    // 2147483520 is the largest float below 2^31.
    return std::isnan(value) ? 0 : static_cast<int>(std::clamp(value, -2147483648.0f, 2147483520.0f));
}

CoreIo::ResultValues typed(const std::vector<float>& values, ValueType type)
{
    switch (type) {
    case ValueType::Int: {
        std::vector<int> ints(values.size());
        std::transform(values.begin(), values.end(), ints.begin(), saturatedInt);
        return ints;
    }
    case ValueType::Float: return values;
    case ValueType::Double: return std::vector<double>(values.begin(), values.end());
    }
    return values;
}

// ToolMesh lists the provider's servings in their order.
ServingToolMeshProvider::Serving servingFor(ToolMesh toolMesh)
{
    return static_cast<ServingToolMeshProvider::Serving>(toolMesh);
}

bool isInitialCoordinate(const CoreIo::ResultEntry& entry)
{
    return entry.name == Calvora::SkinBaseName::INITIALCOORD0 || entry.name == Calvora::SkinBaseName::INITIALCOORD1;
}

// One program: registration as the instructions come, then every product built and checked.
class ProgramRun {
public:
    explicit ProgramRun(MemoryFuzzOutcome& outcome) : outcome_(outcome) {}

    void registerItem(const Instruction& instruction)
    {
        std::visit([this](const auto& item) { add(item); }, instruction);
    }

    void exercise()
    {
        for (const CoreIo::SimBody& body : loader_.bodies()) {
            const RegisteredBody& registered = bodies_.at(body.name);
            buildMesh(body, registered);
            buildToolMesh(body, registered);
            readResults(body, registered);
            readMeshAndInitialCoordinates(body, registered);
        }
        for (const RegisteredCurve& curve : curves_) {
            buildPolyLine<Calvora::Point<double, 3>>(curve);
            buildPolyLine<Calvora::Point3N>(curve);
        }
        for (const AlignInstruction& alignment : alignments_)
            align(alignment);
    }

private:
    // Registration refused with std::invalid_argument, which must leave the loader as it was.
    template <typename Registration>
    bool registers(Registration&& registration)
    {
        const std::size_t before = registeredResults();
        const std::size_t bodiesBefore = loader_.bodies().size();
        if (completes<std::invalid_argument>(registration))
            return true;
        ++outcome_.refusals;
        expect(loader_.bodies().size() == bodiesBefore && registeredResults() == before,
               "a refused registration leaves the loader as it was");
        return false;
    }

    std::size_t registeredResults() const
    {
        return std::accumulate(loader_.bodies().begin(), loader_.bodies().end(), std::size_t{0},
                               [](std::size_t count, const CoreIo::SimBody& body) { return count + body.results.size(); });
    }

    void add(const BodyInstruction& instruction)
    {
        const std::string& name = bodyName(instruction.name);
        RegisteredBody body = makeBody(instruction);
        if (registers([&] { loader_.addBody(name, body.mesh); })) {
            bodies_.emplace(name, std::move(body));
            ++outcome_.bodies;
        }
    }

    void add(const ResultInstruction& instruction)
    {
        const std::string& body = bodyName(instruction.body);
        const auto registered = bodies_.find(body);
        const RegisteredBody* known = registered == bodies_.end() ? nullptr : &registered->second;
        const std::size_t length = instruction.length.resolve(known == nullptr ? 0 : known->mesh.numNodes);
        CoreIo::ResultValues values = typed(makeValues(instruction.values, length, known), instruction.type);
        const std::int64_t step = instruction.step % 4 - 1;
        if (registers([&] { loader_.addResult(body, resultName(instruction.name), std::move(values), step); }))
            ++outcome_.results;
    }

    void add(const CurveInstruction& instruction)
    {
        auto made = makeCurve(instruction);
        RegisteredCurve& curve = made.first;
        if (registers([&] { curve.location = loader_.addCurve(curveName(instruction.name), std::move(made.second)); })) {
            curves_.push_back(std::move(curve));
            ++outcome_.curves;
        }
    }

    void add(const AlignInstruction& instruction)
    {
        if (alignments_.size() < maxAlignments)
            alignments_.push_back(instruction);
    }

    void buildMesh(const CoreIo::SimBody& body, const RegisteredBody& registered)
    {
        const CoreIo::MeshArrays& mesh = registered.mesh;
        const bool normalPerNode = mesh.numNormals == mesh.numNodes;
        Calvora::BaseGeometryMeshBuilder builder;
        const bool built = completes<Calvora::CvException>([&] { loader_.loadMesh(body.meshLocation, builder); });
        expect(built == (normalPerNode || mesh.layout == Layout::RowMajor),
               "the mesh builder refuses exactly the column-major records without one normal per node");
        const auto product = builder.getMesh();
        expect(product != nullptr, "the mesh builder holds its mesh once the vertices are made");
        checkMeshStructure(*product);
        checkPositions(*product, registered.coordinates, mesh.numNodes);
        checkTriangles(*product, mesh.triangles, mesh.numTriangles);
        if (normalPerNode) {
            expect(product->hasNormals(), "a mesh given one normal per node has normals");
            for (std::size_t i = 0; i < mesh.numNodes; ++i) {
                expect(isWidened(product->getVertex(static_cast<unsigned>(i)).getNormal(), &registered.normals[3 * i]),
                       "every vertex has its node's normal", i);
            }
        }
        outcome_.meshes += built ? 1 : 0;
    }

    void buildToolMesh(const CoreIo::SimBody& body, const RegisteredBody& registered)
    {
        const CoreIo::MeshArrays& mesh = registered.mesh;
        const auto provider =
            std::make_shared<ServingToolMeshProvider>(servingFor(registered.toolMesh), mesh.numNodes, mesh.numNormals);
        Calvora::BaseGeometryToolMeshBuilder builder(provider);
        const bool built = completes<Calvora::CvException>([&] { loader_.loadMesh(body.meshLocation, builder); });
        const auto product = builder.getMesh();
        if (product == nullptr)
            return;  // refused before the vertices, or a tool mesh of another size
        checkMeshStructure(*product);
        checkTriangles(*product, mesh.triangles, mesh.numTriangles);
        provider->checkBuild(*product);
        expect(built == product->hasNormals(), "a tool mesh has normals exactly when its build succeeds");
        outcome_.toolMeshes += built ? 1 : 0;
    }

    void readResults(const CoreIo::SimBody& body, const RegisteredBody& registered)
    {
        CoreIo::ScalarResultsBuilder builder;
        for (const CoreIo::ResultEntry& entry : body.results)
            loader_.loadResult(entry.dataLocation, builder, std::nullopt);
        for (std::size_t i = 0; i < body.results.size(); ++i) {
            if (const auto values = builder.getFloatVector(static_cast<int>(i))) {
                expect(values->size() == registered.mesh.numNodes, "a result holds one value per node", i);
                ++outcome_.resultArrays;
            }
        }
        if (!body.results.empty()) {
            // The first result's name at the last result's step, which it may lack.
            CoreIo::ScalarResultsBuilder atStep;
            completes<std::out_of_range>([&] {
                loader_.loadResult(body.results.front().dataLocation, atStep, body.results.back().dataLocation.step);
            });
        }
    }

    void readMeshAndInitialCoordinates(const CoreIo::SimBody& body, const RegisteredBody& registered)
    {
        CoreIo::MeshAndCoord record;
        if (!completes<Calvora::CvException>([&] { record = CoreIo::readMeshAndICs(loader_, body); }) ||
            !record.isValid())
            return;
        const bool named = std::any_of(body.results.begin(), body.results.end(), isInitialCoordinate);
        const std::size_t numNodes = registered.mesh.numNodes;
        expect(named && record.mesh->numberOfVertices() == numNodes && record.initCoord0->size() == numNodes &&
                   record.initCoord1->size() == numNodes,
               "a valid body has its mesh and one initial coordinate per node in each array");
        ++outcome_.validBodies;
    }

    template <typename Point>
    void buildPolyLine(const RegisteredCurve& curve)
    {
        Calvora::BaseGeometryPolyLineBuilder<Calvora::PolyLine<Point>> builder;
        loader_.loadCurve(curve.location, builder);
        const auto polyLine = builder.getPolyLine();
        expect(polyLine != nullptr && polyLine->size() == curve.numPoints, "a polyline has one point per curve point");
        const std::vector<Point>& points = polyLine->getPoints();
        for (std::size_t i = 0; i < curve.numPoints; ++i) {
            expect(isWidened(points[i], &curve.coordinates[3 * i]), "every polyline point lies at its curve point", i);
            if constexpr (std::is_same_v<Point, Calvora::Point3N>) {
                if (i < curve.numNormals) {
                    expect(isWidened(points[i].getNormal(), &curve.normals[3 * i]),
                           "a polyline point has its curve point's normal", i);
                }
            }
        }
        ++outcome_.polyLines;
    }

    void align(const AlignInstruction& instruction)
    {
        const std::string& before = bodyName(instruction.before);
        const std::string& after = bodyName(instruction.after);
        if (!bodies_.contains(before) || !bodies_.contains(after))
            return;
        const int isTube = instruction.isTube % 3 - 1;
        CoreIo::MeshAlignResult result;
        const bool aligned =
            completes<Calvora::CvException, std::runtime_error, std::out_of_range, std::invalid_argument>([&] {
                result = CoreIo::getMeshAlignResult(loader_, loader_.body(before), loader_.body(after), isTube,
                                                    instruction.completeMatching);
            });
        if (!aligned) {
            ++outcome_.failedAlignments;
            return;
        }
        if (result.vertexMatching == nullptr)
            return;
        const std::vector<int>& matching = *result.vertexMatching;
        expect(!instruction.completeMatching ||
                   std::none_of(matching.begin(), matching.end(), [](int vertex) { return vertex < 0; }),
               "a completed matching names a vertex for every vertex");
        ++outcome_.alignments;
    }

    CoreIo::MemoryLoader loader_;
    std::map<std::string, RegisteredBody> bodies_;
    std::vector<RegisteredCurve> curves_;
    std::vector<AlignInstruction> alignments_;
    MemoryFuzzOutcome& outcome_;
};

}  // namespace

MemoryFuzzOutcome fuzzMemoryLoader(const std::uint8_t* data, std::size_t size)
{
    MemoryFuzzOutcome outcome;
    ProgramRun run(outcome);
    for (const Instruction& instruction : readProgram(data, size))
        run.registerItem(instruction);
    run.exercise();
    return outcome;
}

}  // namespace CoreIoFuzz

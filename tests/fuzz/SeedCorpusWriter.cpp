// Writes the seed inputs of the two fuzz targets into <corpus-dir>/<target>/seed-*: small Exodus II
// files written by the project's writer, and registration programs for the in-memory loader that
// reach every builder and the alignment. scripts/fuzz.sh --seeds runs it on tests/data/fuzz.
#include "ExodusWriter.h"
#include "MemoryLoaderProgram.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace CoreIoFuzz;
namespace fs = std::filesystem;

// A width x height grid of nodes with spacing 1 in the plane z = 0, two triangles per cell.
CoreIo::ExodusWriter::Body gridOfNodes(int width, int height, bool withNormals)
{
    CoreIo::ExodusWriter::Body body;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            body.x.push_back(column);
            body.y.push_back(row);
            body.z.push_back(0.25 * row * column);
        }
    }
    for (int row = 0; row + 1 < height; ++row) {
        for (int column = 0; column + 1 < width; ++column) {
            const int a = row * width + column;
            body.triangles.insert(body.triangles.end(), {a, a + 1, a + width + 1, a, a + width + 1, a + width});
        }
    }
    if (withNormals) {
        body.nx.assign(body.x.size(), 0.0);
        body.ny.assign(body.x.size(), 0.0);
        body.nz.assign(body.x.size(), 1.0);
    }
    return body;
}

// The same values at every step, one array per body.
using Steps = std::vector<CoreIo::ExodusWriter::StepValues>;

void writeExodusSeeds(const fs::path& directory)
{
    {
        CoreIo::ExodusWriter writer((directory / "seed-one-triangle.exo").string());
        writer.addBody("triangle", gridOfNodes(2, 2, false));
        writer.write();
    }
    {
        CoreIo::ExodusWriter writer((directory / "seed-initial-coordinates.exo").string(),
                                    CoreIo::ExodusWriter::Precision::Double);
        const CoreIo::ExodusWriter::Body sheet = gridOfNodes(3, 2, true);
        writer.addBody("sheet", sheet);
        writer.addNodalVariable("INITIALCOORD0", Steps(2, {sheet.x}));
        writer.addNodalVariable("INITIALCOORD1", Steps(2, {sheet.y}));
        writer.write();
    }
    {
        CoreIo::ExodusWriter writer((directory / "seed-two-bodies.exo").string());
        const CoreIo::ExodusWriter::Body blank = gridOfNodes(2, 2, false);
        const CoreIo::ExodusWriter::Body part = gridOfNodes(3, 2, false);
        writer.addBody("blank", blank);
        writer.addBody("part", part);
        writer.addNodalVariable("THICKNESS", Steps(3, {blank.z, part.z}));
        writer.setTimes({0.0, 0.5, 1.0});
        writer.write();
    }
}

// Two flat sheets with initial coordinates, aligned both ways: the second sheet has a row more,
// which only an alignment without completion leaves unmatched.
ProgramWriter sheetsProgram()
{
    ProgramWriter program;
    program.add(gridBody(0, 8, 64)).add(gridBody(1, 8, 72));
    for (std::uint8_t body = 0; body < 2; ++body)
        program.add(initialCoordinate(body, 0, ValueType::Float)).add(initialCoordinate(body, 1, ValueType::Float));
    program.add(alignment(1, 0, -1, true)).add(alignment(0, 1, 0, false));
    return program;
}

// A grid closed into a tube: its initial coordinates unroll it, and the seam's cells lie wound
// against the rest.
ProgramWriter tubeProgram()
{
    BodyInstruction tube = gridBody(2, 8, 48);
    tube.layout = ArrayLayout::RowMajor;
    tube.triangles.closed = true;
    tube.mapping.kind = MappingRule::Kind::Reversed;
    ProgramWriter program;
    program.add(tube)
        .add(initialCoordinate(2, 0, ValueType::Double))
        .add(initialCoordinate(2, 1, ValueType::Double))
        .add(alignment(2, 2, -1, true))
        .add(alignment(2, 2, 1, false));
    return program;
}

// Row-major random geometry with computed normals, random tool mapping, curves of both layouts.
ProgramWriter mixedProgram()
{
    BodyInstruction part;
    part.name = 2;
    part.layout = ArrayLayout::RowMajor;
    part.numNodes = 40;
    part.positions.kind = PointRule::Kind::Random;
    part.positions.seed = 7;
    part.normalCount.kind = CountRule::Kind::Zero;
    part.triangles.kind = TriangleRule::Kind::Random;
    part.triangles.randomCount = 30;
    part.triangles.seed = 11;
    part.mapping.kind = MappingRule::Kind::Random;
    part.mapping.randomBound = 39;
    part.mapping.seed = 3;
    part.toolMesh = ToolMesh::OneVertexMore;

    ResultInstruction thickness;
    thickness.body = 2;
    thickness.name = 2;
    thickness.type = ValueType::Int;
    thickness.values.kind = ValueRule::Kind::Random;
    thickness.values.seed = 5;
    thickness.step = 3;

    CurveInstruction edge;
    edge.numPoints = 12;
    edge.positions.kind = PointRule::Kind::Random;
    edge.positions.seed = 9;
    edge.normalCount.kind = CountRule::Kind::Offset;
    edge.normalCount.offset = -2;
    edge.normals.kind = PointRule::Kind::Constant;
    edge.normals.constant = {0.0f, 1.0f, 0.0f};
    CurveInstruction rim = edge;
    rim.name = 1;
    rim.layout = ArrayLayout::RowMajor;
    rim.normalCount.kind = CountRule::Kind::Explicit;
    rim.normalCount.explicitCount = 20;

    ProgramWriter program;
    program.add(part).add(thickness).add(edge).add(rim);
    return program;
}

// Registrations the loader must refuse, next to ones it accepts.
ProgramWriter refusalsProgram()
{
    ProgramWriter program;
    const std::vector<Damage> damages{Damage::ShortCoordinates, Damage::LongNormals, Damage::TriangleOutOfRange,
                                      Damage::NegativeTriangle, Damage::LongMapping, Damage::NegativeMapping};
    for (const Damage damage : damages) {
        BodyInstruction body = gridBody(static_cast<std::uint8_t>(damage) % 4, 3, 9);
        body.damage = damage;
        program.add(body);
    }
    program.add(gridBody(4, 2, 4));  // unnamed
    ResultInstruction shortResult = initialCoordinate(1, 0, ValueType::Float);
    shortResult.length.kind = CountRule::Kind::Offset;
    shortResult.length.offset = -1;
    program.add(shortResult).add(initialCoordinate(5, 1, ValueType::Float));
    CurveInstruction curve;
    curve.numPoints = 5;
    curve.damage = CurveDamage::ShortNormals;
    curve.normalCount.kind = CountRule::Kind::Same;
    program.add(curve);
    return program;
}

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void writeMemorySeeds(const fs::path& directory)
{
    for (const auto& [name, program] : {std::pair{"seed-sheets", sheetsProgram()}, {"seed-tube", tubeProgram()},
                                        {"seed-mixed", mixedProgram()}, {"seed-refusals", refusalsProgram()}})
        writeBytes(directory / name, program.bytes());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " CORPUS_DIR\n"
                  << "writes the seeds into CORPUS_DIR/fuzz_exodus_loader and CORPUS_DIR/fuzz_memory_loader\n";
        return 2;
    }
    try {
        const fs::path corpus(argv[1]);
        fs::create_directories(corpus / "fuzz_exodus_loader");
        fs::create_directories(corpus / "fuzz_memory_loader");
        writeExodusSeeds(corpus / "fuzz_exodus_loader");
        writeMemorySeeds(corpus / "fuzz_memory_loader");
    } catch (const std::exception& error) {
        std::cerr << argv[0] << ": " << error.what() << '\n';
        return 1;
    }
    return 0;
}

// The builders cross a binary boundary: every member of their interface must be in the shared
// library's dynamic symbol table, and the helpers of their source units must not.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <initializer_list>
#include <string>

namespace {

// The demangled names of the symbols that the library defines and exports, one per line.
std::string exportedSymbols()
{
    // Without the version suffix ("@@Business_CoreIoLoadUtilities_0") a name ends its line.
    const std::string command = std::string("nm -D --defined-only --without-symbol-versions -C '")
                                + COREIO_LOAD_UTILITIES_LIBRARY + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {};
    std::string output;
    std::array<char, 4096> chunk{};
    while (const std::size_t read = std::fread(chunk.data(), 1, chunk.size(), pipe))
        output.append(chunk.data(), read);
    return pclose(pipe) == 0 ? output : std::string{};
}

const std::string& symbols()
{
    static const std::string table = exportedSymbols();
    return table;
}

void expectExported(std::initializer_list<std::string> names)
{
    ASSERT_FALSE(symbols().empty()) << "nm could not read " << COREIO_LOAD_UTILITIES_LIBRARY;
    for (const std::string& name : names)
        EXPECT_NE(symbols().find(" " + name + "\n"), std::string::npos) << name << " is not exported";
}

}  // namespace

TEST(BuilderExports, BothMeshBuildersExportTheirWholeInterface)
{
    const std::string mesh = "Calvora::BaseGeometryMeshBuilder", tool = "Calvora::BaseGeometryToolMeshBuilder";
    for (const std::string& type : {mesh, tool}) {
        const std::string name = type.substr(std::string("Calvora::").size());
        expectExported({type + "::~" + name + "()", type + "::build(CoreIo::MeshBuilderParamColMajor const&)",
                        type + "::build(CoreIo::MeshBuilderParamRowMajor const&)", type + "::needNormals() const",
                        type + "::loadTopologyOnly() const", type + "::getMesh() const", "vtable for " + type});
    }
    expectExported({mesh + "::BaseGeometryMeshBuilder()",
                    tool + "::BaseGeometryToolMeshBuilder(std::shared_ptr<Calvora::UntransformedMeshProvider>)",
                    tool + "::build(unsigned long, int const*, unsigned long, int const*, unsigned long)"});
}

TEST(BuilderExports, BothPolyLineBuildersAreExported)
{
    for (const std::string type : {"Calvora::BaseGeometryPolyLineBuilder<Calvora::PolyLine<Calvora::Point<double, 3> > >",
                                   "Calvora::BaseGeometryPolyLineBuilder<Calvora::PolyLine<Calvora::Point3N> >"}) {
        expectExported({
            type + "::BaseGeometryPolyLineBuilder()",
            type + "::~BaseGeometryPolyLineBuilder()",
            type + "::build(CoreIo::CurveBuilderParamColMajor const&)",
            type + "::build(CoreIo::CurveBuilderParamRowMajor const&)",
            type + "::getPolyLine() const",
            "vtable for " + type,
        });
    }
}

TEST(BuilderExports, ScalarResultsBuilderExportsItsWholeInterface)
{
    expectExported({
        "CoreIo::ScalarResultsBuilder::ScalarResultsBuilder()",
        "CoreIo::ScalarResultsBuilder::~ScalarResultsBuilder()",
        "CoreIo::ScalarResultsBuilder::setInterval(double, double)",
        "CoreIo::ScalarResultsBuilder::build(CoreIo::ResultBuilderColMajorParam const&, CoreIo::ResultBuilderColMajorParam const&)",
        "CoreIo::ScalarResultsBuilder::build(CoreIo::ResultBuilderRowMajorParam const&, CoreIo::ResultBuilderRowMajorParam const&)",
        "CoreIo::ScalarResultsBuilder::build(CoreIo::ResultBuilderColMajorParam const&)",
        "CoreIo::ScalarResultsBuilder::build(CoreIo::ResultBuilderRowMajorParam const&)",
        "CoreIo::ScalarResultsBuilder::build(unsigned long, int const*)",
        "CoreIo::ScalarResultsBuilder::build(unsigned long, float const*)",
        "CoreIo::ScalarResultsBuilder::build(unsigned long, double const*)",
        "CoreIo::ScalarResultsBuilder::getFloatVector(int)",
        "vtable for CoreIo::ScalarResultsBuilder",
    });
}

TEST(BuilderExports, BuildPhasesStayInsideTheLibrary)
{
    ASSERT_FALSE(symbols().empty());
    for (const char* internal : {"MeshBuildHelper", "fillTriangles", "makeMeshWithVertices", "setNormals<",
                                 "ToolMeshSnapshot", "MajorItems"})
        EXPECT_EQ(symbols().find(internal), std::string::npos) << internal << " is exported";
}

#include "ExodusShellTestFile.h"

#include <exodusII.h>
#include <gtest/gtest.h>

#include <numeric>

namespace ExodusTest {
namespace {

std::vector<char*> pointersTo(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    return pointers;
}

}  // namespace

void writeShellFile(const std::string& path, const ShellTestFile& sheet)
{
    int computeWordSize = 8;
    int storedWordSize = 8;
    const int file = ex_create(path.c_str(), EX_CLOBBER, &computeWordSize, &storedWordSize);
    ASSERT_GE(file, 0);
    ASSERT_EQ(ex_set_max_name_length(file, 80), 0);
    const int columns = sheet.cellsX + 1;
    const int numNodes = columns * (sheet.cellsY + 1);
    const int numBlocks = static_cast<int>(sheet.blockNames.size()) + (sheet.withBeam ? 1 : 0);
    const int numElements = sheet.cellsX * sheet.cellsY + (sheet.withBeam ? 1 : 0);
    ASSERT_EQ(ex_put_init(file, "shell", 3, numNodes, numElements, numBlocks, 0, 0), 0);

    std::vector<double> x, y, z;
    for (int j = 0; j <= sheet.cellsY; ++j) {
        for (int i = 0; i < columns; ++i) {
            x.push_back(sheet.width * i / sheet.cellsX);
            y.push_back(sheet.height * j / sheet.cellsY);
            z.push_back(0.0);
        }
    }
    std::vector<double> ax(x), ay(y), az(z);
    for (std::size_t k = 0; k < x.size(); ++k) {
        ax[k] += sheet.offset[0];
        ay[k] += sheet.offset[1];
        az[k] += sheet.offset[2];
    }
    ASSERT_EQ(ex_put_coord(file, ax.data(), ay.data(), az.data()), 0);

    std::vector<std::string> names = sheet.blockNames;
    const int rowsPerBlock = sheet.cellsY / static_cast<int>(sheet.blockNames.size());
    for (int b = 0; b < static_cast<int>(sheet.blockNames.size()); ++b) {
        const int lastRow = b + 1 == static_cast<int>(sheet.blockNames.size()) ? sheet.cellsY : (b + 1) * rowsPerBlock;
        std::vector<int> quads;
        for (int j = b * rowsPerBlock; j < lastRow; ++j)
            for (int i = 0; i < sheet.cellsX; ++i) {
                const int corner = j * columns + i + 1;
                quads.insert(quads.end(), {corner, corner + 1, corner + columns + 1, corner + columns});
            }
        ASSERT_EQ(ex_put_block(file, EX_ELEM_BLOCK, b + 1, "SHELL4", static_cast<int>(quads.size() / 4), 4, 0, 0, 0), 0);
        ASSERT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, b + 1, quads.data(), nullptr, nullptr), 0);
    }
    if (sheet.withBeam) {
        const std::vector<int> beam{1, 2};
        ASSERT_EQ(ex_put_block(file, EX_ELEM_BLOCK, 9, "BEAM2", 1, 2, 0, 0, 0), 0);
        ASSERT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, 9, beam.data(), nullptr, nullptr), 0);
        names.push_back("stiffener");
    }
    std::vector<char*> namePointers = pointersTo(names);
    ASSERT_EQ(ex_put_names(file, EX_ELEM_BLOCK, namePointers.data()), 0);

    std::vector<int> nodeIds(static_cast<std::size_t>(numNodes)), elementIds(static_cast<std::size_t>(numElements));
    std::iota(nodeIds.begin(), nodeIds.end(), sheet.firstNodeId);
    std::iota(elementIds.begin(), elementIds.end(), sheet.firstElementId);
    ASSERT_EQ(ex_put_id_map(file, EX_NODE_MAP, nodeIds.data()), 0);
    ASSERT_EQ(ex_put_id_map(file, EX_ELEM_MAP, elementIds.data()), 0);

    std::vector<std::string> variables;
    if (sheet.displacement)
        variables = {"disp_x", "disp_y", "disp_z"};
    if (sheet.withInitialCoordinates)
        variables.insert(variables.end(), {"initialcoord0", "initialcoord1"});
    if (!variables.empty()) {
        const int count = static_cast<int>(variables.size());
        ASSERT_EQ(ex_put_variable_param(file, EX_NODAL, count), 0);
        std::vector<char*> variablePointers = pointersTo(variables);
        ASSERT_EQ(ex_put_variable_names(file, EX_NODAL, count, variablePointers.data()), 0);
    }
    for (std::size_t step = 0; step < sheet.times.size(); ++step) {
        const int exodusStep = static_cast<int>(step) + 1;
        ASSERT_EQ(ex_put_time(file, exodusStep, &sheet.times[step]), 0);
        int variable = 1;
        if (sheet.displacement) {
            std::array<std::vector<double>, 3> components;
            for (std::size_t k = 0; k < x.size(); ++k) {
                const std::array<double, 3> d = sheet.displacement(x[k], y[k], step);
                for (std::size_t c = 0; c < 3; ++c)
                    components[c].push_back(d[c]);
            }
            for (const std::vector<double>& component : components)
                ASSERT_EQ(ex_put_var(file, exodusStep, EX_NODAL, variable++, 1, numNodes, component.data()), 0);
        }
        if (sheet.withInitialCoordinates) {
            ASSERT_EQ(ex_put_var(file, exodusStep, EX_NODAL, variable++, 1, numNodes, x.data()), 0);
            ASSERT_EQ(ex_put_var(file, exodusStep, EX_NODAL, variable++, 1, numNodes, y.data()), 0);
        }
    }
    ASSERT_EQ(ex_close(file), 0);
}

}  // namespace ExodusTest

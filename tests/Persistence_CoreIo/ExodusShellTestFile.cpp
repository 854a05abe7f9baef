#include "ExodusShellTestFile.h"

#include <exodusII.h>
#include <gtest/gtest.h>

#include <numeric>

namespace ExodusTest {
namespace {

void putNames(int file, ex_entity_type type, std::vector<std::string> names)
{
    std::vector<char*> pointers;
    for (std::string& name : names)
        pointers.push_back(name.data());
    const int count = static_cast<int>(names.size());
    EXPECT_EQ(type == EX_ELEM_BLOCK ? ex_put_names(file, type, pointers.data())
                                    : ex_put_variable_names(file, type, count, pointers.data()),
              0);
}

}  // namespace

void writeShellFile(const std::string& path, const ShellTestFile& sheet)
{
    int wordSize = 8;
    const int file = ex_create(path.c_str(), EX_CLOBBER, &wordSize, &wordSize);
    ASSERT_GE(file, 0);
    ASSERT_EQ(ex_set_max_name_length(file, 80), 0);
    const int columns = sheet.cellsX + 1;
    const int numNodes = columns * (sheet.cellsY + 1);
    const auto numSheetBlocks = static_cast<int>(sheet.blockNames.size());
    const int numElements = sheet.cellsX * sheet.cellsY + (sheet.withBeam ? 1 : 0);
    ASSERT_EQ(ex_put_init(file, "shell", 3, numNodes, numElements, numSheetBlocks + (sheet.withBeam ? 1 : 0), 0, 0), 0);

    std::vector<double> x, y, placedX, placedY, placedZ;
    for (int node = 0; node < numNodes; ++node) {
        x.push_back(sheet.width * (node % columns) / sheet.cellsX);
        y.push_back(sheet.height * (node / columns) / sheet.cellsY);
        placedX.push_back(x.back() + sheet.offset[0]);
        placedY.push_back(y.back() + sheet.offset[1]);
        placedZ.push_back(sheet.offset[2]);
    }
    ASSERT_EQ(ex_put_coord(file, placedX.data(), placedY.data(), placedZ.data()), 0);

    const int rowsPerBlock = sheet.cellsY / numSheetBlocks;
    for (int b = 0; b < numSheetBlocks; ++b) {
        std::vector<int> quads;
        for (int j = b * rowsPerBlock; j < (b + 1 == numSheetBlocks ? sheet.cellsY : (b + 1) * rowsPerBlock); ++j)
            for (int corner = j * columns + 1; corner < (j + 1) * columns; ++corner)
                quads.insert(quads.end(), {corner, corner + 1, corner + columns + 1, corner + columns});
        ASSERT_EQ(ex_put_block(file, EX_ELEM_BLOCK, b + 1, "SHELL4", static_cast<int>(quads.size() / 4), 4, 0, 0, 0),
                  0);
        ASSERT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, b + 1, quads.data(), nullptr, nullptr), 0);
    }
    std::vector<std::string> blockNames = sheet.blockNames;
    if (sheet.withBeam) {
        const std::vector<int> beam{1, 2};
        ASSERT_EQ(ex_put_block(file, EX_ELEM_BLOCK, 9, "BEAM2", 1, 2, 0, 0, 0), 0);
        ASSERT_EQ(ex_put_conn(file, EX_ELEM_BLOCK, 9, beam.data(), nullptr, nullptr), 0);
        blockNames.push_back("stiffener");
    }
    putNames(file, EX_ELEM_BLOCK, blockNames);

    std::vector<int> nodeIds(static_cast<std::size_t>(numNodes)), elementIds(static_cast<std::size_t>(numElements));
    std::iota(nodeIds.begin(), nodeIds.end(), sheet.firstNodeId);
    std::iota(elementIds.begin(), elementIds.end(), sheet.firstElementId);
    ASSERT_EQ(ex_put_id_map(file, EX_NODE_MAP, nodeIds.data()), 0);
    ASSERT_EQ(ex_put_id_map(file, EX_ELEM_MAP, elementIds.data()), 0);

    // Per step, the variables' values in the order of their names.
    std::vector<std::string> variables;
    std::vector<std::vector<std::vector<double>>> values(sheet.times.size());
    for (std::size_t step = 0; step < sheet.times.size(); ++step) {
        if (sheet.displacement) {
            values[step].assign(3, {});
            for (std::size_t k = 0; k < x.size(); ++k)
                for (std::size_t c = 0; c < 3; ++c)
                    values[step][c].push_back(sheet.displacement(x[k], y[k], step)[c]);
        }
        if (sheet.withInitialCoordinates)
            values[step].insert(values[step].end(), {x, y});
    }
    if (sheet.displacement)
        variables = {"disp_x", "disp_y", "disp_z"};
    if (sheet.withInitialCoordinates)
        variables.insert(variables.end(), {"initialcoord0", "initialcoord1"});
    if (!variables.empty()) {
        ASSERT_EQ(ex_put_variable_param(file, EX_NODAL, static_cast<int>(variables.size())), 0);
        putNames(file, EX_NODAL, variables);
    }
    for (std::size_t step = 0; step < sheet.times.size(); ++step) {
        const int exodusStep = static_cast<int>(step) + 1;
        ASSERT_EQ(ex_put_time(file, exodusStep, &sheet.times[step]), 0);
        for (std::size_t v = 0; v < variables.size(); ++v)
            ASSERT_EQ(ex_put_var(file, exodusStep, EX_NODAL, static_cast<int>(v) + 1, 1, numNodes,
                                 values[step][v].data()),
                      0);
    }
    ASSERT_EQ(ex_close(file), 0);
}

}  // namespace ExodusTest

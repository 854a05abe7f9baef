#include "ShellSampleFile.h"

#include "ExodusWriter.h"

#include <numeric>

namespace CoreIoSamples {

void writeShellFile(const std::string& path, const ShellSampleFile& sheet)
{
    CoreIo::ExodusMesh mesh;
    const int columns = sheet.cellsX + 1;
    const int numNodes = columns * (sheet.cellsY + 1);
    std::vector<double> x, y;
    for (int node = 0; node < numNodes; ++node) {
        x.push_back(sheet.width * (node % columns) / sheet.cellsX);
        y.push_back(sheet.height * (node / columns) / sheet.cellsY);
        mesh.x.push_back(x.back() + sheet.offset[0]);
        mesh.y.push_back(y.back() + sheet.offset[1]);
        mesh.z.push_back(sheet.offset[2]);
    }
    const auto numSheetBlocks = static_cast<int>(sheet.blockNames.size());
    const int rowsPerBlock = sheet.cellsY / numSheetBlocks;
    for (int b = 0; b < numSheetBlocks; ++b) {
        CoreIo::ExodusMesh::Block& block = mesh.blocks.emplace_back(
            CoreIo::ExodusMesh::Block{b + 1, sheet.blockNames[static_cast<std::size_t>(b)], "SHELL4", 4, {}});
        for (int j = b * rowsPerBlock; j < (b + 1 == numSheetBlocks ? sheet.cellsY : (b + 1) * rowsPerBlock); ++j)
            for (int corner = j * columns; corner < (j + 1) * columns - 1; ++corner)
                block.connectivity.insert(block.connectivity.end(),
                                          {corner, corner + 1, corner + columns + 1, corner + columns});
    }
    if (sheet.withBeam)
        mesh.blocks.push_back({9, "stiffener", "BEAM2", 2, {0, 1}});
    mesh.nodeIds.resize(x.size());
    std::iota(mesh.nodeIds.begin(), mesh.nodeIds.end(), sheet.firstNodeId);
    mesh.elementIds.resize(static_cast<std::size_t>(sheet.cellsX * sheet.cellsY + (sheet.withBeam ? 1 : 0)));
    std::iota(mesh.elementIds.begin(), mesh.elementIds.end(), sheet.firstElementId);
    mesh.times = sheet.times;
    for (std::size_t c = 0; sheet.displacement && c < 3; ++c) {
        auto& variable = mesh.nodalVariables.emplace_back(
            CoreIo::ExodusMesh::NodalVariable{std::string("disp_") + "xyz" [c], {}});
        variable.steps.resize(sheet.times.size());
        for (std::size_t step = 0; step < sheet.times.size(); ++step)
            for (std::size_t k = 0; k < x.size(); ++k)
                variable.steps[step].push_back(sheet.displacement(x[k], y[k], step)[c]);
    }
    for (std::size_t k = 0; sheet.withInitialCoordinates && k < 2; ++k) {
        std::vector<double> values = k == 0 ? x : y;
        for (double& value : values)
            value += sheet.initialCoordinateOffset[k];
        mesh.nodalVariables.push_back({"initialcoord" + std::to_string(k), std::vector(sheet.times.size(), values)});
    }
    CoreIo::writeExodusMesh(path, mesh, CoreIo::ExodusPrecision::Double);
}

}  // namespace CoreIoSamples

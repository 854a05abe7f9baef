#pragma once
// A result file of a flat quad-shell sheet with displacements over several steps, laid out as third-party exporters
// do it: lower-case variable names, number maps, the sheet's cell rows split over named blocks, and
// optionally a beam block that makes no surface.

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace CoreIoSamples {

struct ShellSampleFile {
    int cellsX = 4;
    int cellsY = 2;
    double width = 2.0;
    double height = 1.0;
    std::array<double, 3> offset{};        // of the sheet's corner
    std::vector<std::string> blockNames{"shell"};  // cell rows split evenly over the blocks, ids 1, 2, ...
    std::vector<double> times{1.0, 2.0};
    // Per node at (x, y) relative to the corner and step index from 0; empty: no displacement.
    std::function<std::array<double, 3>(double x, double y, std::size_t step)> displacement;
    bool withInitialCoordinates = false;  // initialcoord0/1 = x, y relative to the corner, plus:
    std::array<double, 2> initialCoordinateOffset{};
    bool withBeam = false;                // a BEAM2 block "stiffener" (id 9) of one element
    int firstNodeId = 1;
    int firstElementId = 1;
};

void writeShellFile(const std::string& path, const ShellSampleFile& sheet);

}  // namespace CoreIoSamples

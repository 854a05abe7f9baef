#include "JitteredSheets.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>

namespace CoreIoBench {
namespace {

constexpr double jitter = 0.2;

// The sample sheet cuts quad (a, b along u, c along v, d) into (a, b, d) and (a, d, c); this
// cuts it into (a, b, c) and (b, d, c).
void cutAlongOtherDiagonal(CoreIoSamples::SampleBody& sheet)
{
    std::vector<int>& corners = sheet.triangles;
    for (std::size_t k = 0; k + 6 <= corners.size(); k += 6) {
        const int a = corners[k], b = corners[k + 1], d = corners[k + 2], c = corners[k + 5];
        const int cut[] = {a, b, c, b, d, c};
        std::copy(std::begin(cut), std::end(cut), corners.begin() + static_cast<std::ptrdiff_t>(k));
    }
}

}  // namespace

SheetPair jitteredSheets(long vertices)
{
    const int cells = std::max(2, static_cast<int>(std::lround(std::sqrt(static_cast<double>(vertices)))) - 1);
    const CoreIoSamples::SheetShape shape;
    SheetPair pair{CoreIoSamples::makeSheet(shape, {.cellsU = cells, .cellsV = cells, .jitter = jitter, .seed = 3}),
                   CoreIoSamples::makeSheet(shape, {.cellsU = cells, .cellsV = cells, .jitter = jitter, .seed = 5})};
    cutAlongOtherDiagonal(pair.after);
    return pair;
}

}  // namespace CoreIoBench

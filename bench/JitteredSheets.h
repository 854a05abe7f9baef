#pragma once
// The sheet pair behind the headline figures and the peer comparisons: a formed square blank of
// about `vertices` nodes, meshed twice on the same grid with its interior nodes moved at random
// by up to a fifth of a cell, the after sheet's quads cut along the other diagonal. Nearly no
// after vertex meets a before vertex, and every one lies inside the before sheet.

#include "SampleBodies.h"

namespace CoreIoBench {

struct SheetPair {
    CoreIoSamples::SampleBody before;
    CoreIoSamples::SampleBody after;
};

SheetPair jitteredSheets(long vertices);

}  // namespace CoreIoBench

#include "Persistence_SkinBaseName.h"

#include <gtest/gtest.h>

namespace {

TEST(SkinBaseName, NamesTheTwoInitialCoordinateResults)
{
    EXPECT_EQ(Calvora::SkinBaseName::INITIALCOORD0, "INITIALCOORD0");
    EXPECT_EQ(Calvora::SkinBaseName::INITIALCOORD1, "INITIALCOORD1");
}

}  // namespace

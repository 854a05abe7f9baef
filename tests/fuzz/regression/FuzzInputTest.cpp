#include "FuzzInput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

using CoreIoFuzz::FuzzInput;

TEST(FuzzInput, ReadsLittleEndianValuesInOrder)
{
    const std::vector<std::uint8_t> bytes{0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0xc0, 0x7f};
    FuzzInput input(bytes.data(), bytes.size());
    EXPECT_EQ(input.byte(), 0x01);
    EXPECT_EQ(input.u16(), 0x1234);
    EXPECT_EQ(input.u32(), 0x12345678u);
    EXPECT_TRUE(std::isnan(input.f32()));
    EXPECT_TRUE(input.exhausted());
}

TEST(FuzzInput, GivesZerosOnceDry)
{
    const std::vector<std::uint8_t> bytes{0xff};
    FuzzInput input(bytes.data(), bytes.size());
    EXPECT_EQ(input.u16(), 0x00ff);  // the missing high byte reads as zero
    EXPECT_EQ(input.u32(), 0u);
    EXPECT_EQ(input.below(7), 0u);
    FuzzInput none(nullptr, 5);
    EXPECT_TRUE(none.exhausted());
    EXPECT_EQ(none.byte(), 0);
}

TEST(FuzzInput, BelowStaysUnderItsBoundAndReadsOnlyTheBytesItNeeds)
{
    const std::vector<std::uint8_t> bytes{200, 0xff, 0xff, 0xff, 0xff};
    FuzzInput input(bytes.data(), bytes.size());
    EXPECT_EQ(input.below(7), 200u % 7);              // one byte
    EXPECT_EQ(input.below(1000), 0xffffu % 1000);     // two bytes
    EXPECT_EQ(input.below(100000), 0xffffu % 100000);  // four bytes wanted, two left
    EXPECT_TRUE(input.exhausted());
}

#include "ScalarResultsBuilder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

using CoreIo::ScalarResultsBuilder;
using Floats = std::vector<float>;
using Doubles = std::vector<double>;

namespace {

// Delivers as a loader does, through the interface.
template <typename T>
void deliver(CoreIo::ResultBuilderInterface& builder, const std::vector<T>& values)
{
    builder.build(values.size(), values.data());
}

}  // namespace

TEST(ScalarResultsBuilder, HasNoArrayBeforeAnyDeliveryNorFromIntArrays)
{
    ScalarResultsBuilder builder;
    for (int round = 0; round < 2; ++round) {
        for (const int index : {0, 1, -1})
            EXPECT_EQ(builder.getFloatVector(index), nullptr);
        deliver(builder, std::vector<int>{1, 2, 3});
    }
}

TEST(ScalarResultsBuilder, HandsOutTheStoredFloatArraysByDeliveryOrder)
{
    ScalarResultsBuilder builder;
    Floats first{1.5f, 0.1f, -2.0f};
    deliver(builder, first);
    deliver(builder, Floats{1, 2, 3, 4, 5});
    first[0] = 99.0f;  // the builder keeps its own copy

    const auto array0 = builder.getFloatVector(0);
    ASSERT_NE(array0, nullptr);
    EXPECT_EQ(*array0, (Floats{1.5f, 0.1f, -2.0f}));
    EXPECT_EQ(builder.getFloatVector(1)->size(), 5u);
    EXPECT_EQ(builder.getFloatVector(2), nullptr);
    EXPECT_EQ(builder.getFloatVector(-1), nullptr);

    const auto again = builder.getFloatVector(0);
    EXPECT_EQ(again, array0);
    (*again)[1] = 7.0f;
    EXPECT_EQ((*builder.getFloatVector(0))[1], 7.0f);
}

TEST(ScalarResultsBuilder, ConvertsDoubleArraysToNewFloatArraysOnEachRead)
{
    ScalarResultsBuilder builder;
    deliver(builder, Doubles{0.1, 2.5});
    deliver(builder, Doubles{-1.0, 1e-3, 3.0});
    builder.build(0, static_cast<const double*>(nullptr));

    const auto array0 = builder.getFloatVector(0);
    ASSERT_NE(array0, nullptr);
    EXPECT_EQ(*array0, (Floats{0.1f, 2.5f}));
    EXPECT_EQ(*builder.getFloatVector(1), (Floats{-1.0f, 1e-3f, 3.0f}));
    ASSERT_NE(builder.getFloatVector(2), nullptr);
    EXPECT_TRUE(builder.getFloatVector(2)->empty());
    EXPECT_EQ(builder.getFloatVector(3), nullptr);
    EXPECT_EQ(builder.getFloatVector(-1), nullptr);

    const auto again = builder.getFloatVector(0);
    EXPECT_NE(again, array0);
    (*array0)[0] = 5.0f;
    EXPECT_EQ(*again, (Floats{0.1f, 2.5f}));
}

TEST(ScalarResultsBuilder, AnyFloatArrayEvenAnEmptyOneHidesTheDoubleArrays)
{
    ScalarResultsBuilder builder;
    deliver(builder, Doubles{1.0, 2.0});
    deliver(builder, Floats{3.0f});
    deliver(builder, Doubles{4.0});
    EXPECT_EQ(*builder.getFloatVector(0), Floats{3.0f});
    EXPECT_EQ(builder.getFloatVector(1), nullptr);

    ScalarResultsBuilder empty;
    deliver(empty, Doubles{1.0, 2.0});
    empty.build(0, static_cast<const float*>(nullptr));
    ASSERT_NE(empty.getFloatVector(0), nullptr);
    EXPECT_TRUE(empty.getFloatVector(0)->empty());
}

TEST(ScalarResultsBuilder, CountsEachElementTypeOnItsOwnAndIgnoresIntervals)
{
    ScalarResultsBuilder builder;
    builder.setInterval(0.0, 1.0);
    deliver(builder, std::vector<int>{1});
    deliver(builder, Doubles{2.0});
    builder.setInterval(-5.0, 5.0);
    deliver(builder, std::vector<int>{3});
    deliver(builder, Doubles{4.0});
    builder.setInterval(2.0, 3.0);

    EXPECT_EQ(*builder.getFloatVector(0), Floats{2.0f});
    EXPECT_EQ(*builder.getFloatVector(1), Floats{4.0f});
}

TEST(ScalarResultsBuilder, RefusesResultRecordsAndKeepsWhatArrivedBefore)
{
    ScalarResultsBuilder builder;
    deliver(builder, Floats{1.0f, 2.0f});
    const CoreIo::ResultBuilderColMajorParam columns;
    const CoreIo::ResultBuilderRowMajorParam rows;
    const std::function<void()> refused[] = {[&] { builder.build(columns, columns); }, [&] { builder.build(rows, rows); },
                                             [&] { builder.build(columns); }, [&] { builder.build(rows); }};

    for (const auto& build : refused) {
        try {
            build();
            ADD_FAILURE() << "a record was accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Function should not be called");
        }
    }
    EXPECT_EQ(*builder.getFloatVector(0), (Floats{1.0f, 2.0f}));
    EXPECT_EQ(builder.getFloatVector(1), nullptr);
}

TEST(ScalarResultsBuilder, RefusesACountNoArrayCanHoldAndLeavesAnEmptyArrayBehind)
{
    ScalarResultsBuilder builder;
    const Floats values{1.0f, 2.0f, 3.0f};
    for (const std::size_t count : {std::size_t{1} << 62, std::size_t{1} << 63, std::size_t(-1)}) {
        try {
            builder.build(count, values.data());
            ADD_FAILURE() << "a count of " << count << " was accepted";
        } catch (const std::length_error& error) {
            EXPECT_STREQ(error.what(), "vector too long");
        }
    }
    ASSERT_NE(builder.getFloatVector(0), nullptr);
    EXPECT_TRUE(builder.getFloatVector(0)->empty());
    builder.build(values.size(), values.data());
    EXPECT_EQ(*builder.getFloatVector(3), values);
}

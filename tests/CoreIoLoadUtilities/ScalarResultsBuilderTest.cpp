#include "MemoryLoader.h"
#include "ScalarResultsBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

using CoreIo::ScalarResultsBuilder;
using Floats = std::vector<float>;

namespace {

template <typename T>
void deliver(ScalarResultsBuilder& builder, const std::vector<T>& values)
{
    builder.build(values.size(), values.data());
}

// The exception that a record-taking build throws; the test fails for any other outcome.
template <typename Build>
void expectRefused(Build build)
{
    try {
        build();
        ADD_FAILURE() << "a record was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Function should not be called");
    }
}

}  // namespace

TEST(ScalarResultsBuilder, HasNoArrayBeforeAnyDelivery)
{
    ScalarResultsBuilder builder;
    EXPECT_EQ(builder.getFloatVector(0), nullptr);
    EXPECT_EQ(builder.getFloatVector(1), nullptr);
    EXPECT_EQ(builder.getFloatVector(-1), nullptr);
}

TEST(ScalarResultsBuilder, HandsOutTheStoredFloatArraysByDeliveryOrder)
{
    ScalarResultsBuilder builder;
    std::vector<float> first{1.5f, 0.1f, -2.0f};
    deliver(builder, first);
    deliver(builder, Floats{1, 2, 3, 4, 5});
    first[0] = 99.0f;  // the builder keeps its own copy

    const auto array0 = builder.getFloatVector(0);
    ASSERT_NE(array0, nullptr);
    EXPECT_EQ(*array0, (Floats{1.5f, 0.1f, -2.0f}));
    EXPECT_EQ(builder.getFloatVector(1)->size(), 5u);

    const auto again = builder.getFloatVector(0);
    EXPECT_EQ(again, array0);
    (*again)[1] = 7.0f;
    EXPECT_EQ((*builder.getFloatVector(0))[1], 7.0f);
}

TEST(ScalarResultsBuilder, ConvertsDoubleArraysToNewFloatArraysOnEachRead)
{
    ScalarResultsBuilder builder;
    deliver(builder, std::vector<double>{0.1, 2.5});
    deliver(builder, std::vector<double>{-1.0, 1e-3, 3.0});

    const auto array0 = builder.getFloatVector(0);
    ASSERT_NE(array0, nullptr);
    EXPECT_EQ(*array0, (Floats{0.1f, 2.5f}));
    EXPECT_EQ(*builder.getFloatVector(1), (Floats{-1.0f, 1e-3f, 3.0f}));

    const auto again = builder.getFloatVector(0);
    EXPECT_NE(again, array0);
    EXPECT_EQ(*again, *array0);
    (*array0)[0] = 5.0f;
    EXPECT_EQ((*builder.getFloatVector(0))[0], 0.1f);
}

TEST(ScalarResultsBuilder, ReadsOnlyFloatArraysOnceAnyHasArrived)
{
    ScalarResultsBuilder builder;
    deliver(builder, std::vector<double>{1.0, 2.0});
    deliver(builder, Floats{3.0f});
    deliver(builder, std::vector<double>{4.0});

    EXPECT_EQ(*builder.getFloatVector(0), Floats{3.0f});
    EXPECT_EQ(builder.getFloatVector(1), nullptr);
}

TEST(ScalarResultsBuilder, AnEmptyFloatArrayStillHidesTheDoubleArrays)
{
    ScalarResultsBuilder builder;
    deliver(builder, std::vector<double>{1.0, 2.0});
    builder.build(0, static_cast<const float*>(nullptr));

    const auto array = builder.getFloatVector(0);
    ASSERT_NE(array, nullptr);
    EXPECT_TRUE(array->empty());
}

TEST(ScalarResultsBuilder, AnEmptyDoubleArrayReadsBackAsAnEmptyFloatArray)
{
    ScalarResultsBuilder builder;
    builder.build(0, static_cast<const double*>(nullptr));

    const auto array = builder.getFloatVector(0);
    ASSERT_NE(array, nullptr);
    EXPECT_TRUE(array->empty());
}

TEST(ScalarResultsBuilder, NeverReadsIntArraysAndCountsEachElementTypeOnItsOwn)
{
    ScalarResultsBuilder onlyInts;
    deliver(onlyInts, std::vector<int>{1, 2, 3});
    EXPECT_EQ(onlyInts.getFloatVector(0), nullptr);

    ScalarResultsBuilder mixed;
    deliver(mixed, std::vector<int>{1});
    deliver(mixed, std::vector<double>{2.0});
    deliver(mixed, std::vector<int>{3});
    deliver(mixed, std::vector<double>{4.0});
    EXPECT_EQ(*mixed.getFloatVector(0), Floats{2.0f});
    EXPECT_EQ(*mixed.getFloatVector(1), Floats{4.0f});
}

TEST(ScalarResultsBuilder, ReturnsNoArrayForAnIndexOutsideTheChosenList)
{
    ScalarResultsBuilder floats;
    deliver(floats, Floats{1.0f});
    EXPECT_EQ(floats.getFloatVector(1), nullptr);
    EXPECT_EQ(floats.getFloatVector(-1), nullptr);

    ScalarResultsBuilder doubles;
    deliver(doubles, std::vector<double>{1.0});
    EXPECT_EQ(doubles.getFloatVector(1), nullptr);
    EXPECT_EQ(doubles.getFloatVector(-1), nullptr);
}

TEST(ScalarResultsBuilder, IntervalsChangeNoResult)
{
    ScalarResultsBuilder builder;
    builder.setInterval(0.0, 1.0);
    deliver(builder, std::vector<double>{1.0});
    builder.setInterval(-5.0, 5.0);
    deliver(builder, std::vector<double>{2.0});
    builder.setInterval(2.0, 3.0);

    EXPECT_EQ(*builder.getFloatVector(0), Floats{1.0f});
    EXPECT_EQ(*builder.getFloatVector(1), Floats{2.0f});
}

TEST(ScalarResultsBuilder, RefusesResultRecordsAndKeepsWhatArrivedBefore)
{
    ScalarResultsBuilder builder;
    deliver(builder, Floats{1.0f, 2.0f});
    const CoreIo::ResultBuilderColMajorParam columns;
    const CoreIo::ResultBuilderRowMajorParam rows;

    expectRefused([&] { builder.build(columns, columns); });
    expectRefused([&] { builder.build(rows, rows); });
    expectRefused([&] { builder.build(columns); });
    expectRefused([&] { builder.build(rows); });

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
    const auto first = builder.getFloatVector(0);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->empty());
    builder.build(values.size(), values.data());
    EXPECT_EQ(*builder.getFloatVector(3), values);
}

TEST(ScalarResultsBuilder, ArraysHandedOutOutliveTheBuilder)
{
    std::shared_ptr<Floats> stored;
    std::shared_ptr<Floats> converted;
    {
        ScalarResultsBuilder floats;
        deliver(floats, Floats{1.0f, 2.0f});
        stored = floats.getFloatVector(0);
        ScalarResultsBuilder doubles;
        deliver(doubles, std::vector<double>{3.0});
        converted = doubles.getFloatVector(0);
    }
    EXPECT_EQ(stored.use_count(), 1);
    EXPECT_EQ(*stored, (Floats{1.0f, 2.0f}));
    EXPECT_EQ(*converted, Floats{3.0f});
}

TEST(ScalarResultsBuilder, CollectsResultsThatALoaderDelivers)
{
    CoreIo::MemoryLoader loader;
    CoreIo::MeshArrays twoNodes;
    twoNodes.numNodes = 2;
    twoNodes.x = twoNodes.y = twoNodes.z = {0.0f, 1.0f};
    loader.addBody("sheet", twoNodes);
    loader.addResult("sheet", "INITIALCOORD0", std::vector<double>{0.1, 0.2});
    loader.addResult("sheet", "INITIALCOORD1", std::vector<double>{1.1, 1.2});
    ScalarResultsBuilder builder;

    const std::vector<CoreIo::ResultEntry>& results = loader.body("sheet").results;
    for (const std::string name : {"INITIALCOORD0", "INITIALCOORD1"}) {
        const auto entry = std::find_if(results.begin(), results.end(),
                                        [&](const CoreIo::ResultEntry& e) { return e.name == name; });
        ASSERT_NE(entry, results.end());
        loader.loadResult(entry->dataLocation, builder, std::nullopt);
    }

    ASSERT_NE(builder.getFloatVector(1), nullptr);
    EXPECT_EQ(*builder.getFloatVector(0), (Floats{0.1f, 0.2f}));
    EXPECT_EQ(*builder.getFloatVector(1), (Floats{1.1f, 1.2f}));
}

#include "ScalarResultsBuilder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

using Floats = std::vector<float>;
using Doubles = std::vector<double>;
using Delivery = std::function<void(CoreIo::ResultBuilderInterface&)>;

// Delivers as a loader does, through the interface.
template <typename T>
Delivery deliver(std::vector<T> values)
{
    return [values](CoreIo::ResultBuilderInterface& builder) { builder.build(values.size(), values.data()); };
}

Delivery interval(double from, double to)
{
    return [=](CoreIo::ResultBuilderInterface& builder) { builder.setInterval(from, to); };
}

TEST(ScalarResultsBuilder, HandsOutFloatArraysElseDoubleArraysAsFloatsByDeliveryOrder)
{
    const struct {
        const char* what;
        std::vector<Delivery> deliveries;
        std::vector<Floats> expected;  // for indices 0, 1, ...; then none at -1 and past the end
    } cases[] = {
        {"nothing", {}, {}},
        {"ints never count", {deliver(std::vector<int>{1, 2})}, {}},
        {"floats", {deliver(Floats{1.5f, 0.1f}), deliver(Floats{})}, {Floats{1.5f, 0.1f}, Floats{}}},
        {"doubles narrowed", {deliver(Doubles{0.1, 1e-3}), deliver(Doubles{})}, {Floats{0.1f, 1e-3f}, Floats{}}},
        {"an empty float array hides all doubles", {deliver(Doubles{1.0}), deliver(Floats{}), deliver(Doubles{2.0})},
         {Floats{}}},
        {"intervals and ints ignored",
         {interval(0, 1), deliver(std::vector<int>{1}), deliver(Doubles{2.0}), interval(-5, 5), deliver(Doubles{4.0})},
         {Floats{2.0f}, Floats{4.0f}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CoreIo::ScalarResultsBuilder builder;
        for (const Delivery& delivery : c.deliveries)
            delivery(builder);
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(*builder.getFloatVector(static_cast<int>(i)), c.expected[i]);
        EXPECT_EQ(builder.getFloatVector(static_cast<int>(c.expected.size())), nullptr);
        EXPECT_EQ(builder.getFloatVector(-1), nullptr);
    }
}

TEST(ScalarResultsBuilder, RefusesRecordsAndImpossibleCountsKeepingWhatArrivedBefore)
{
    CoreIo::ScalarResultsBuilder builder;
    const Floats values{1.0f, 2.0f};
    builder.build(values.size(), values.data());
    const CoreIo::ResultBuilderColMajorParam columns;
    const CoreIo::ResultBuilderRowMajorParam rows;
    EXPECT_THROW(builder.build(columns, columns), std::runtime_error);
    EXPECT_THROW(builder.build(rows, rows), std::runtime_error);
    EXPECT_THROW(builder.build(columns), std::runtime_error);
    EXPECT_THROW(builder.build(rows), std::runtime_error);
    EXPECT_THROW(builder.build(std::size_t(-1), values.data()), std::length_error);
    EXPECT_EQ(*builder.getFloatVector(0), values);
}

}  // namespace

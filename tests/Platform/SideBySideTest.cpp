#include "SideBySide.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using CoreIoInternal::inBothHalves;
using CoreIoInternal::kShortestRangeForThread;
using CoreIoInternal::sideBySide;

TEST(SideBySide, SplitsARangeIntoTheSameTwoHalvesThatTogetherVisitEachPositionOnce)
{
    for (const std::size_t count :
         {std::size_t{0}, std::size_t{1}, std::size_t{7}, kShortestRangeForThread - 1, kShortestRangeForThread + 1}) {
        std::vector<int> visits(count, 0);
        const auto halves = inBothHalves(count, [&](std::size_t first, std::size_t last) {
            for (std::size_t k = first; k < last; ++k)
                ++visits[k];
            return std::make_pair(first, last);
        });
        EXPECT_EQ(halves[0], std::make_pair(std::size_t{0}, count / 2)) << count;
        EXPECT_EQ(halves[1], std::make_pair(count / 2, count)) << count;
        EXPECT_EQ(std::count(visits.begin(), visits.end(), 1), static_cast<std::ptrdiff_t>(count)) << count;
    }
}

TEST(SideBySide, ThrowsTheFirstPiecesExceptionOnlyAfterBothPiecesHaveEnded)
{
    struct Case {
        bool firstThrows, secondThrows;
        std::string expected;
    };
    const std::vector<Case> cases = {{true, false, "first"}, {false, true, "second"}, {true, true, "first"}};
    for (const bool worthAThread : {false, true})
        for (const Case& c : cases) {
            std::atomic<int> ended = 0;
            const auto piece = [&](bool throws, const char* name) {
                return [&ended, throws, name] {
                    ++ended;
                    if (throws)
                        throw std::runtime_error(name);
                };
            };
            try {
                sideBySide(worthAThread, piece(c.firstThrows, "first"), piece(c.secondThrows, "second"));
                ADD_FAILURE() << "nothing thrown";
            } catch (const std::runtime_error& e) {
                EXPECT_EQ(e.what(), c.expected);
            }
            // One after the other, the second piece does not start once the first has thrown.
            const bool threaded = worthAThread && CoreIoInternal::secondCoreAvailable();
            EXPECT_EQ(ended.load(), threaded || !c.firstThrows ? 2 : 1) << c.expected;
        }
}

}  // namespace

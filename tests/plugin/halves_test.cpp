// Splitting work in two over the kept helper thread: every index is worked on exactly once, whether the helper
// takes the upper half, is claimed by another caller, or is asked from inside a half; a throw reaches the caller.
#include "render/Halves.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

using namespace reelfinch::plugin;

TEST(Halves, EveryIndexOnceFromManyCallersAndFromInsideHalves)
{
    constexpr int kCallers = 3, kRounds = 200, kOuter = 7, kInner = 5;
    std::vector<std::vector<int>> counts(kCallers, std::vector<int>(kOuter * kInner, 0));
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c)
        callers.emplace_back([&counts, c] {
            for (int round = 0; round < kRounds; ++round)
                InTwo(kOuter, [&](int from, int to) {
                    for (int i = from; i < to; ++i)
                        InTwo(kInner, [&, i](int innerFrom, int innerTo) {
                            for (int j = innerFrom; j < innerTo; ++j)
                                ++counts[size_t(c)][size_t(i * kInner + j)];
                        });
                });
        });
    for (std::thread& caller : callers)
        caller.join();
    for (const std::vector<int>& perCaller : counts)
        for (int count : perCaller)
            EXPECT_EQ(count, kRounds);
}

TEST(Halves, AThrowReachesTheCallerAndTheHelperStaysUsable)
{
    for (int throwFrom : {0, 5}) {
        EXPECT_THROW(InTwo(10,
                         [&](int from, int to) {
                             if (from <= throwFrom && throwFrom < to)
                                 throw std::runtime_error("part");
                         }),
            std::runtime_error);
        std::vector<int> seen(10, 0);
        InTwo(10, [&](int from, int to) {
            for (int i = from; i < to; ++i)
                ++seen[size_t(i)];
        });
        EXPECT_EQ(seen, std::vector<int>(10, 1));
    }
}

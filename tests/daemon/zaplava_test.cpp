#include "zaplava.hpp"

#include <gtest/gtest.h>
#include <vector>

namespace {

// How many of the entries at the given instants (ms) one budget lets through.
int written(const std::vector<std::int64_t> &instants) {
    std::int64_t budget = 0;
    int n = 0;
    for (std::int64_t t : instants) {
        propustka p = propust(budget, t);
        budget = p.plnyod;
        n += p.zapsat ? 1 : 0;
    }
    return n;
}

// A day of a module's datagrams every 10 s, each with all four entries it can
// cause, passes whole; so does a full budget at once. A minute's flood of
// 20000 a second gets the 60 of a full budget and one every 2 s; after a
// quiet spell the budget is full again.
TEST(FloodBudget, NormalTrafficPassesAFloodIsHeldToTheRate) {
    std::vector<std::int64_t> normal;
    for (std::int64_t t = 1000000; t < 1000000 + 86400000; t += 10000)
        normal.insert(normal.end(), 4, t);
    EXPECT_EQ(written(normal), static_cast<int>(normal.size()));

    std::vector<std::int64_t> flood;
    for (std::int64_t i = 0; i < 20000 * 60; ++i)
        flood.push_back(5000 + i / 20);
    EXPECT_EQ(written(flood), zasobazaznamu + 60000 / rozestupzaznamu - 1);
    flood.insert(flood.end(), zasobazaznamu + 1, 5000 + 60000 + zasobazaznamu * rozestupzaznamu);
    EXPECT_EQ(written(flood), 2 * zasobazaznamu + 60000 / rozestupzaznamu - 1);
}

} // namespace

#include "zaplava.hpp"

#include <array>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Runs one budget through entries at the given instants (ms); returns how
// many were written.
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

// Normal traffic for a whole day: a module's datagram every 10 s with all
// four entries it can cause, a stranger every 10 s, and a whole budget at once
// (a module that resets after a power cut) now and then.
TEST(FloodBudget, NormalTrafficNeverReachesIt) {
    std::vector<std::int64_t> module, stranger;
    const std::int64_t start = 1000000;
    for (std::int64_t t = start; t < start + 86400000; t += 10000) {
        module.insert(module.end(), 4, t);
        stranger.push_back(t + 3);
    }
    EXPECT_EQ(written(module), static_cast<int>(module.size()));
    EXPECT_EQ(written(stranger), static_cast<int>(stranger.size()));
    std::vector<std::int64_t> burst(zasobazaznamu, start);
    burst.push_back(start + 1);
    EXPECT_EQ(written(burst), zasobazaznamu) << "a full budget holds 60 entries";
}

// 20000 entries a second for a minute: the 60 of a full budget and one more
// every 2 s; after a quiet spell, a full budget again.
TEST(FloodBudget, FloodIsHeldToItsRate) {
    std::vector<std::int64_t> flood;
    const std::int64_t start = 5000;
    for (std::int64_t i = 0; i < 20000 * 60; ++i)
        flood.push_back(start + i / 20);
    EXPECT_EQ(written(flood), zasobazaznamu + 60000 / rozestupzaznamu - 1);

    std::int64_t budget = 0;
    for (std::int64_t t : flood)
        budget = propust(budget, t).plnyod;
    int later = 0;
    for (int i = 0; i < 100; ++i) {
        propustka p = propust(budget, start + 60000 + zasobazaznamu * rozestupzaznamu);
        budget = p.plnyod;
        later += p.zapsat ? 1 : 0;
    }
    EXPECT_EQ(later, zasobazaznamu);
}

TEST(FloodBudget, StrangersAddressesAreCountedOnceInBoundedMemory) {
    std::array<std::uint64_t, 64> table{};
    std::size_t count = 0;
    for (std::uint32_t a : {0u, 0xFFFFFFFFu, 0x0900007Fu, 0u, 0x0900007Fu})
        EXPECT_TRUE(pridejadresu(table, count, a));
    EXPECT_EQ(count, 3u);
    for (std::uint32_t a = 1; a < 1000; ++a)
        pridejadresu(table, count, a * 64); // all hash to one place: probing goes on
    EXPECT_EQ(count, 48u) << "three quarters of the table, no more";
    EXPECT_FALSE(pridejadresu(table, count, 0x0A00007Fu));
    EXPECT_TRUE(pridejadresu(table, count, 0xFFFFFFFFu)) << "a known one is still found";
    EXPECT_EQ(count, 48u);
}

} // namespace

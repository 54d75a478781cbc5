// The schedule of the time commands, over clock readings given to it.
#include "rozvrh.hpp"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace {

constexpr long long sekunda = 1000000000;

long long ns(std::timespec t) {
    return t.tv_sec * sekunda + t.tv_nsec;
}

std::timespec cas(long long ns) {
    return {static_cast<std::time_t>(ns / sekunda), static_cast<long>(ns % sekunda)};
}

// The wait from an instant (seconds, microseconds) to the next send.
double waitfrom(std::time_t s, long us) {
    std::timespec t = casodeslani(s);
    return static_cast<double>(t.tv_sec - s) + (t.tv_nsec / 1000 - us) / 1e6;
}

TEST(SendTime, HalfASecondAfterTheNextFullTen) {
    const std::time_t k = 1700000000; // a full ten
    EXPECT_DOUBLE_EQ(waitfrom(k + 3, 200000), 7.3);
    EXPECT_DOUBLE_EQ(waitfrom(k + 9, 800000), 0.7);
    EXPECT_DOUBLE_EQ(waitfrom(k, 500000), 10.0); // a wake at x0.5 waits for the next ten
    EXPECT_DOUBLE_EQ(waitfrom(k, 700000), 9.8);
    EXPECT_DOUBLE_EQ(waitfrom(k + 9, 999999), 0.500001);
    EXPECT_DOUBLE_EQ(waitfrom(k, 0), 10.5);
}

TEST(SendTime, UnitkickWaitsForTheNextHalfSecond) {
    auto wait = [](long us) {
        std::timespec t = pristipulsekunda(100, us);
        return static_cast<double>(t.tv_sec - 100) + (t.tv_nsec / 1000 - us) / 1e6;
    };
    EXPECT_DOUBLE_EQ(wait(200000), 0.3);
    EXPECT_DOUBLE_EQ(wait(800000), 0.7);
    EXPECT_DOUBLE_EQ(wait(500000), 0.0);
    EXPECT_DOUBLE_EQ(wait(0), 0.5);
    EXPECT_DOUBLE_EQ(wait(999999), 0.500001);
}

TEST(SendTime, ModulesOfACycleAre20msApartButNever10msAfterASend) {
    std::timespec kotva{50, 0};
    EXPECT_EQ(ns(okamzikslotu(kotva, 2, {50, 1000000})), 50 * sekunda + 60000000);
    EXPECT_EQ(ns(okamzikslotu(kotva, 2, {50, 55000000})), 50 * sekunda + 65000000);
}

// The cycle's anchor is the wake less its lateness, read on the real-time
// clock: a step of that clock between the wake and the reading moves it by
// no more than half a second, whichever way and however far.
TEST(SendTime, CycleAnchorIsTheWakeLessALatenessOfAtMostHalfASecond) {
    const std::timespec cil{1700000010, 500000000}, probuzeni{5000, 0};
    struct {
        long long pozde; // ns by which the reading is after cil
        long long kotva; // ns of the anchor before the wake
    } pripady[] = {{3000000, 3000000},
                   {0, 0},
                   {-3600 * sekunda + 3000000, 0},
                   {3600 * sekunda, sekunda / 2},
                   {700000000, sekunda / 2}};
    for (auto p : pripady)
        EXPECT_EQ(ns(kotvacyklu(cil, cas(ns(cil) + p.pozde), probuzeni)), ns(probuzeni) - p.kotva)
            << p.pozde;
}

// The time sender's planning run over a real-time clock that is set once by
// `krok` ns at real instant `kdy`; what a send carried and when it left.
struct odeslani {
    long long kdy, hodiny;
};
std::vector<odeslani> beh(long long kdy, long long krok) {
    const long long start = 1700000003LL * sekunda + 300000000, konec = start + 60 * sekunda;
    auto hodiny = [&](long long t) { return t + (t >= kdy ? krok : 0); };
    std::vector<odeslani> out;
    long long t = start, posledni = -1;
    while (t < konec) {
        long long cil = ns(planujodeslani(cas(hodiny(t)), posledni < 0 ? -1 : t - posledni));
        long long dosazeno = std::max(t, cil - (hodiny(t) - t));
        if (t < kdy && kdy <= dosazeno) {
            t = kdy; // the clock is set during the wait: plan again
            continue;
        }
        t = posledni = dosazeno;
        out.push_back({t, hodiny(t)});
        t += 600000000; // thirty modules' sends
    }
    return out;
}

TEST(SendPlan, ClockStepsOfAnySizeAtAnyMoment) {
    const long long kroky[] = {5000000,    300000000,      1 * sekunda,        7 * sekunda,
                               9700000000, 3600 * sekunda, 3 * 86400 * sekunda};
    for (long long velikost : kroky)
        for (long long krok : {velikost, -velikost})
            for (long long ms = 0; ms < 10000; ms += 50) {
                long long kdy = 1700000020LL * sekunda + ms * 1000000;
                std::vector<odeslani> s = beh(kdy, krok);
                SCOPED_TRACE(testing::Message() << "step " << krok << " ns at x" << ms << " ms");
                ASSERT_GE(s.size(), 5U);
                std::set<long long> desitky;
                for (std::size_t i = 0; i < s.size(); ++i) {
                    // On the clock of its moment the command leaves in the
                    // half second after x0.5, so it carries the second that
                    // a punctual one would.
                    long long faze = (s[i].hodiny % (10 * sekunda) + 10 * sekunda) % (10 * sekunda);
                    EXPECT_GE(faze, sekunda / 2);
                    EXPECT_LT(faze, sekunda);
                    // One command per ten of the present clock, the earlier
                    // ones read on it as they would be now.
                    long long ted = s[i].hodiny + (s[i].kdy < kdy ? krok : 0);
                    EXPECT_TRUE(desitky.insert(ted / (10 * sekunda)).second);
                    if (i > 0) {
                        // A step that keeps the phase keeps the beat, one of
                        // less than half a second moves it by the step; any
                        // other delays one command by less than a cycle.
                        long long mezera = s[i].kdy - s[i - 1].kdy;
                        long long abs = std::abs(krok);
                        EXPECT_LE(mezera, krok % (10 * sekunda) == 0 ? 10 * sekunda
                                          : abs < sekunda / 2        ? 10 * sekunda + abs
                                                                     : 20 * sekunda);
                    }
                }
                auto po = std::find_if(s.begin(), s.end(), [&](auto &o) { return o.kdy >= kdy; });
                ASSERT_NE(po, s.end());
                EXPECT_LE(po->kdy - kdy, 10500000000);
            }
}

} // namespace

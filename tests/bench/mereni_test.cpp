// What the benchmarks and the soak compute from what they measured.
#include "benchlib.hpp"
#include "mereni.hpp"

#include <cmath>
#include <gtest/gtest.h>

namespace {

using namespace bench;

// cyclictest's output as it prints it with --histogram=N --quiet, a bucket
// a line (most of the empty ones left out here).
std::string histogram(const std::vector<std::pair<int, int>> &kose, int pretekle, int nejvic) {
    std::string t = "# Histogram\n000000 000000\n";
    for (auto [us, n] : kose)
        t += format("%06d %06d\n", us, n);
    t += format("# Total: %09d\n# Min Latencies: 00010\n# Avg Latencies: 00011\n"
                "# Max Latencies: %05d\n# Histogram Overflows: %05d\n"
                "# Histogram Overflow at cycle number:\n# Thread 0: 00017 00018\n",
                0, nejvic, pretekle);
    return t;
}

TEST(Limit, HistogramQuantilesAreThoseOfItsSamples) {
    struct pripad {
        std::vector<std::pair<int, int>> kose;
        int pretekle, nejvic;
    };
    for (const pripad &p : std::vector<pripad>{{{{10, 50}, {11, 48}, {40, 2}}, 0, 40},
                                               {{{10, 50}, {11, 48}, {40, 1}}, 1, 250000},
                                               {{{7, 1}}, 0, 7},
                                               {{{33, 900}, {90, 99}, {1200, 1}}, 0, 1200}}) {
        std::vector<double> vzorky;
        for (auto [us, n] : p.kose)
            vzorky.insert(vzorky.end(), static_cast<std::size_t>(n), us);
        vzorky.insert(vzorky.end(), static_cast<std::size_t>(p.pretekle), p.nejvic);
        auto d = ctihistogram(histogram(p.kose, p.pretekle, p.nejvic));
        ASSERT_TRUE(d);
        EXPECT_EQ(d->vzorku, static_cast<long>(vzorky.size()));
        EXPECT_EQ(d->median, quantile(vzorky, 0.5));
        EXPECT_EQ(d->p99, quantile(vzorky, 0.99));
        EXPECT_EQ(d->nejhorsi, p.nejvic);
        const double q = 1 - 1.0 / 20;
        EXPECT_EQ(kvantil(*d, q), quantile(vzorky, q)) << "the quantile of the worst of 20";
    }
    EXPECT_FALSE(ctihistogram(histogram({}, 0, 0))) << "no sample";
    EXPECT_FALSE(ctihistogram("cyclictest: command not found\n"));
}

TEST(Limit, PreemptionModelFromDebugfsElseFromTheVersion) {
    struct pripad {
        const char *debugfs, *verze, *model;
    };
    for (const pripad &p :
         {pripad{"none voluntary (full) lazy\n", "#1 SMP PREEMPT_DYNAMIC", "full"},
          pripad{"(none) voluntary full\n", "#1 SMP PREEMPT_DYNAMIC", "none"},
          pripad{"", "#1 SMP PREEMPT_DYNAMIC @0", "PREEMPT_DYNAMIC"},
          pripad{"", "#1 SMP PREEMPT_RT Debian 6.1.99-1", "PREEMPT_RT"},
          pripad{"", "#1 SMP PREEMPT Tue Jan 2", "PREEMPT"},
          pripad{"", "#1 SMP Debian 6.1.76-1 (2024-02-01)", "none"}})
        EXPECT_EQ(preempce(p.debugfs, p.verze), p.model) << p.debugfs << "|" << p.verze;
}

// A machine that loses nothing up to `kratce` datagrams/s in short runs and
// up to `dlouze` in long ones.
TEST(Capacity, SearchStopsResolvedToAnEighthAndConfirmed) {
    struct pripad {
        long kratce, dlouze, od, strop, ocekavano; // -1: the rate of the search's precision
        int nejvicbehu;
    };
    for (const pripad &p : std::vector<pripad>{
             {1000000, 1000000, 16000, 4000000, -1, 12},      // up from far below
             {300000, 250000, 16000, 4000000, -1, 13},        // the long runs lose more
             {5000000, 5000000, 500000, 1000000, 1000000, 3}, // at the ceiling: "at least"
             {100000, 100000, 500000, 1000000, -1, 8},        // below the start: down
             {1000, 1000, 500000, 1000000, 0, 8}}) {          // nothing passes
        int behu = 0;
        long vysledek =
            hledejkapacitu([&](long r) { return ++behu, r <= p.kratce; },
                           [&](long r) { return ++behu, r <= p.dlouze; }, p.od, p.strop, 8);
        SCOPED_TRACE(p.kratce);
        EXPECT_LE(behu, p.nejvicbehu);
        if (p.ocekavano >= 0) {
            EXPECT_EQ(vysledek, p.ocekavano);
            continue;
        }
        const long mez = std::min(p.kratce, p.dlouze);
        EXPECT_LE(vysledek, mez);
        EXPECT_GE(vysledek, mez - mez / 4) << "resolved to an eighth, lowered by one";
    }
}

// Two modules over three tens from B; module m's command arrives at x0.6 +
// 20 ms x m of the second its field names.
constexpr std::uint32_t B = 1700000000;
constexpr long prvni = B / 10;

std::vector<prijaty> tridesitky() {
    std::vector<prijaty> p;
    for (std::uint32_t cas : {B, B + 10, B + 20})
        for (int m = 0; m < 2; ++m)
            p.push_back({m, cas + 0.6 + 0.02 * m, cas});
    return p;
}

TEST(Soak, CommandsOffTheirMarkMissingOrTwiceAreCounted) {
    using zmena = void (*)(std::vector<prijaty> &);
    struct pripad {
        const char *co;
        zmena z;
        std::vector<krok> kroky;
        long chybi, navic, mimo;
    };
    const std::vector<pripad> pripady = {
        {"all on their marks", [](std::vector<prijaty> &) {}, {}, 0, 0, 0},
        {"one missing", [](std::vector<prijaty> &p) { p.erase(p.begin() + 3); }, {}, 1, 0, 0},
        {"two in one ten",
         [](std::vector<prijaty> &p) {
             p.push_back({0, B + 15.6, B + 15});
         },
         {},
         0,
         1,
         0},
        {"before x0.5", [](std::vector<prijaty> &p) { p[2].kdy = B + 10.49; }, {}, 0, 0, 1},
        {"slot 0 at x1.01", [](std::vector<prijaty> &p) { p[0].kdy = B + 1.01; }, {}, 0, 0, 1},
        {"slot 1 at x1.01", [](std::vector<prijaty> &p) { p[1].kdy = B + 1.01; }, {}, 0, 0, 0},
        {"the field of the second before",
         [](std::vector<prijaty> &p) { p[4].cas = B + 19; },
         {},
         0,
         0,
         1},
        {"the clock an hour back",
         [](std::vector<prijaty> &p) { p[4].cas -= 3600, p[5].cas -= 3600; },
         {{B + 15.0, -3600}},
         0,
         0,
         0},
        {"an hour off, no step", [](std::vector<prijaty> &p) { p[4].cas -= 3600; }, {}, 0, 0, 1},
        {"back and forward again",
         [](std::vector<prijaty> &p) { p[2].cas -= 3600, p[3].cas -= 3600; },
         {{B + 5.0, -3600}, {B + 15.0, 3600}},
         0,
         0,
         0},
        {"outside the tens judged",
         [](std::vector<prijaty> &p) {
             p.push_back({1, B - 9.4, B - 10});
         },
         {},
         0,
         0,
         0},
    };
    for (const pripad &p : pripady) {
        std::vector<prijaty> prikazy = tridesitky();
        p.z(prikazy);
        vysledekprikazu v = zkontrolujprikazy(prikazy, 2, prvni, prvni + 2, p.kroky);
        EXPECT_EQ(v.ocekavano, 6) << p.co;
        EXPECT_EQ(v.chybi, p.chybi) << p.co;
        EXPECT_EQ(v.navic, p.navic) << p.co;
        EXPECT_EQ(v.mimo, p.mimo) << p.co;
    }
}

// What the soak's checks rest on: every kind of event in the 5-minute run of
// scripts/test; silences of more than eleven send periods, so that the
// daemon's report of each is certain; nothing in the last 30 s; no stranger
// in or just after a flood; the first flood over before the warm-up ends;
// the clock stepped halfway through the time sender's wait.
TEST(Soak, PlanHoldsEveryEventWhereTheChecksCanSeeIt) {
    struct pripad {
        double delka;
        std::size_t kopancu, zaplav;
    };
    for (const pripad &p : {pripad{300, 1, 1}, pripad{360, 1, 1}, pripad{3600, 6, 4}}) {
        SCOPED_TRACE(p.delka);
        const double zacatek = 1700000003.7;
        plansoaku plan = naplanuj(zacatek, p.delka);
        EXPECT_NEAR(plan.konec, zacatek + p.delka, 5);
        EXPECT_EQ(std::fmod(plan.konec, 10), 5);
        EXPECT_EQ(plan.zahrati, zacatek + std::min(300.0, p.delka / 2));
        ASSERT_EQ(plan.ticha.size(), 3u);
        for (const auto &t : plan.ticha) {
            EXPECT_GT(t.dokdy - t.od, 115);
            EXPECT_NE(t.modul, resetovany);
            EXPECT_LE(t.dokdy, plan.konec - 30);
        }
        EXPECT_EQ(plan.kopance.size(), p.kopancu);
        ASSERT_EQ(plan.zaplavy.size(), p.zaplav);
        EXPECT_LE(plan.zaplavy[0] + zaplavadelka, plan.zahrati);
        EXPECT_LE(plan.zaplavy.back() + zaplavadelka, plan.konec - 30);
        EXPECT_GE(plan.cizinci.size(), 2u);
        for (double c : plan.cizinci) {
            EXPECT_LE(c, plan.konec - 30);
            for (double z : plan.zaplavy)
                EXPECT_FALSE(c > z - 5 && c < z + zaplavadelka + 30) << c << " near " << z;
        }
        ASSERT_EQ(plan.kroky.size(), 2u);
        EXPECT_EQ(plan.kroky[0].posun + plan.kroky[1].posun, 0);
        for (const krok &k : plan.kroky) {
            EXPECT_EQ(std::fmod(k.od, 10), 5);
            EXPECT_GT(k.od, zacatek + 60);
            EXPECT_LE(k.od, plan.konec - 30);
        }
    }
}

TEST(Soak, LogEntriesComparedWithRepeatsCounted) {
    const std::string log = "hlavicka\n<T>a \n<T>b \n\n<T>a \n<T>c \n";
    std::vector<std::string> z = zaznamylogu(log);
    EXPECT_EQ(z, (std::vector<std::string>{"a \n", "b \n\n", "a \n", "c \n"}));
    rozdil r = porovnej({"a \n", "c \n", "c \n", "d \n"}, z);
    EXPECT_EQ(r.chybi, (std::vector<std::string>{"c \n", "d \n"}));
    EXPECT_EQ(r.navic, (std::vector<std::string>{"a \n", "b \n\n"}));
    r = porovnej(z, z);
    EXPECT_TRUE(r.chybi.empty() && r.navic.empty());
}

TEST(Soak, GrowthAfterTheWarmUpAgainstItsFirstSample) {
    std::vector<vzorek> v = {
        {10, 9000, 9, 9}, {300, 3000, 5, 4}, {310, 3100, 6, 4}, {320, 3010, 5, 4}};
    narust n = narustod(v, 300);
    EXPECT_EQ(n.rss, 100);
    EXPECT_EQ(n.deskriptory, 1);
    EXPECT_EQ(n.vlakna, 0);
    EXPECT_EQ(n.chybi, 0);
    n = narustod(v, 400);
    EXPECT_EQ(n.rss + n.deskriptory + n.vlakna, 0) << "no sample";
    // A daemon gone: its values cannot be read, which is no growth but a fault.
    v.push_back({330, -1, -1, -1});
    EXPECT_EQ(narustod(v, 300).chybi, 1);
}

// Two modules over three tens from the ten P (module m's mark at x0.5 +
// 20 ms x m), each command 1 ms after its mark unless a case moves it.
constexpr long P = 170000000;

TEST(Punctuality, EveryTenJudgedAndLatenessNeverModuloTenSeconds) {
    struct pripad {
        const char *co;
        std::vector<std::pair<int, double>> prikazy; // module, its ten's offset from P x 10 s
        double posun;
        std::vector<double> zpozdeni; // ms, in order of module, then arrival
        long spatnych, chybi, navic;
        int cyklus, modul;
    };
    const std::vector<pripad> pripady = {
        {"on their marks",
         {{0, 0}, {1, 0}, {0, 10}, {1, 10}, {0, 20}, {1, 20}},
         0,
         {1, 1, 1, 1, 1, 1},
         0,
         0,
         0,
         0,
         0},
        {"the baseline, five seconds on",
         {{0, 0}, {1, 0}, {0, 10}, {1, 10}, {0, 20}, {1, 20}},
         5,
         {1, 1, 1, 1, 1, 1},
         0,
         0,
         0,
         0,
         0},
        {"a skipped cycle: the later ones ten seconds late",
         {{0, 0}, {1, 0}, {0, 20}, {1, 10}, {1, 20}},
         0,
         {1, 10001, 1, 1, 1},
         1,
         1,
         0,
         1,
         0},
        {"a command a cycle late, then its next one",
         {{0, 0}, {1, 0}, {0, 19.9}, {0, 20}, {1, 10}, {1, 20}},
         0,
         {1, 9901, 1, 1, 1, 1},
         2,
         1,
         1,
         1,
         0},
        {"outside the tens judged, and the ten before",
         {{0, -10}, {0, 0}, {1, 0}, {0, 10}, {1, 10}, {0, 20}, {1, 20}, {1, 30}},
         0,
         {1, 1, 1, 1, 1, 1},
         0,
         0,
         0,
         0,
         0},
        {"two in one ten: the one more is not judged",
         {{0, 0}, {0, 0.2}, {1, 0}, {0, 10}, {1, 10}, {0, 20}, {1, 20}},
         0,
         {1, 201 - 10000, 1 - 10000, 1, 1, 1},
         1,
         0,
         1,
         0,
         0},
    };
    for (const pripad &p : pripady) {
        std::vector<prijaty> prikazy;
        for (auto [m, posun] : p.prikazy)
            prikazy.push_back({m, 10.0 * P + p.posun + posun + 0.5 + 0.02 * m + 0.001, 0});
        std::vector<double> zpozdeni;
        presnost v = posoudpresnost(prikazy, 2, p.posun, P, 3);
        for (double z : v.zpozdeni)
            zpozdeni.push_back(std::round(z * 1e4) / 10);
        EXPECT_EQ(zpozdeni, p.zpozdeni) << p.co;
        EXPECT_EQ(v.spatnych, p.spatnych) << p.co;
        EXPECT_EQ(v.chybi, p.chybi) << p.co;
        EXPECT_EQ(v.navic, p.navic) << p.co;
        EXPECT_EQ(v.cyklus, p.cyklus) << p.co;
        EXPECT_EQ(v.modul, p.modul) << p.co;
    }
    EXPECT_EQ(prvnidesitka(10.0 * P + 7.9), P + 1);
    EXPECT_EQ(prvnidesitka(10.0 * P + 8.1), P + 2) << "two seconds of start-up";
}

TEST(Punctuality, TheThreadsPolicyFaultsAndSwitchesFromProc) {
    // A name with a blank and a parenthesis; the fields as Linux 6 writes them.
    const std::string stat =
        "4242 (posil) amcas) S 1 4240 4240 0 -1 4194624 117 0 3 0 12 30 0 0 -2 0 9 0 5000 "
        "31000000 800 18446744073709551615 1 1 0 0 0 0 0 4096 0 0 0 0 -1 1 1 1 0 0 0\n";
    const std::string status = "Name:\tposilamcas\nvoluntary_ctxt_switches:\t371\n"
                               "nonvoluntary_ctxt_switches:\t4\n";
    auto v = ctivlakno(stat, status);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->drobne, 117);
    EXPECT_EQ(v->vypadky, 3);
    EXPECT_EQ(v->priorita, 1);
    EXPECT_EQ(v->politika, 1);
    EXPECT_EQ(jmenopolitiky(v->politika), "SCHED_FIFO");
    EXPECT_TRUE(realnycas(v->politika));
    EXPECT_EQ(v->dobrovolne, 371);
    EXPECT_EQ(v->vynucene, 4);
    EXPECT_FALSE(ctivlakno("4242 (posilamcas) S 1 4240\n", status)) << "cut short";
    EXPECT_FALSE(realnycas(0));
}

} // namespace

// The time sender's wait over a real-time clock that is set meanwhile.
#include "daemonfixture.hpp"
#include "datagram.hpp"
#include "rozvrh.hpp"

#include <csignal>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

std::uint32_t timefield(const harness::command &c) {
    return ctiprikaz(c.bytes).value().cas;
}

using ClockStep = RunningDaemon;

// The daemon's clock is set back an hour in the middle of the time sender's
// wait, forward an hour while it sends (to five modules, 100 ms: the step
// comes between two of them, outside any wait), back an hour in the next
// wait, which the step before must not have left without its timer, and
// back again just before SIGINT. The module's commands keep their beat at
// x0.5 of the real time (a step of whole hours keeps the phase), each
// carrying the clock of its moment, and the stop stays orderly.
// Against the clock it asserts only what has half a second or more of room:
// each command arrives between its x0.5 and the next full second (one that
// waited for the old clock would come an hour off), and the stop ends within
// 20 s, where the design bounds it near 12 s.
TEST_F(ClockStep, CommandsKeepTheirBeatAndTheStopItsBound) {
    using namespace std::chrono_literals;
    std::timespec ted{};
    do {
        std::this_thread::sleep_for(100ms);
        clock_gettime(CLOCK_REALTIME, &ted);
    } while (ted.tv_sec % 10 < 1 || ted.tv_sec % 10 > 7);
    const std::time_t prvni = casodeslani(ted.tv_sec).tv_sec; // its command at x0.5
    auto moment = [&](int ms) { return std::timespec{prvni + ms / 1000, ms % 1000 * 1000000L}; };
    harness::stepclock(opt, {{moment(3800), -3600},
                             {moment(10550), 3600},
                             {moment(17200), -3600},
                             {moment(21200), -3600}});
    auto posun = [&](const std::timespec &t) {
        long long ms = (t.tv_sec - prvni) * 1000LL + t.tv_nsec / 1000000;
        return ms < 3800 ? 0 : ms < 10550 ? -3600 : ms < 17200 ? 0 : ms < 21200 ? -3600 : -7200;
    };
    opt.timeout = 20s; // the stop's bound, with room
    std::string conf;
    for (int m = 2; m <= 6; ++m) // only the first answers; the others are absent
        conf += "[127.0.0." + std::to_string(m) + "]\n1 a.ics\n";
    harness::writefile(work + "/kamnar.conf", conf);
    socks.push_back(harness::fakemodule("127.0.0.2"));
    daemon = harness::start({harness::bin("kamnar")}, withclock());

    std::vector<harness::command> prikazy(3);
    for (auto &c : prikazy)
        ASSERT_TRUE(harness::receive(socks[0], c, 12s)) << "the commands stalled";
    std::this_thread::sleep_until(std::chrono::system_clock::from_time_t(prvni + 22));
    harness::result r = harness::finish(daemon, SIGINT);
    EXPECT_EQ(r.status, 0) << "the stop must not wait for the clock";
    harness::command posledni;
    ASSERT_TRUE(harness::receive(socks[0], posledni, 1s)) << "the cycle after SIGINT is sent";
    prikazy.push_back(posledni);
    for (std::size_t i = 0; i < prikazy.size(); ++i) {
        const std::timespec &t = prikazy[i].stamp;
        SCOPED_TRACE(i);
        EXPECT_EQ(t.tv_sec, prvni + 10 * static_cast<long>(i));
        EXPECT_GE(t.tv_nsec, 500000000);
        EXPECT_EQ(static_cast<std::time_t>(timefield(prikazy[i])), t.tv_sec + posun(t));
    }
    EXPECT_TRUE(logged("<T>Vlakno posilamcas konci \n"));
    EXPECT_TRUE(logged("<T>Program kamnar radne skoncil \n\n"));
}

} // namespace

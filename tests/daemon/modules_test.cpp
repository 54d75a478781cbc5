// The daemon at work with stand-in modules on loopback addresses.
#include "daemonfixture.hpp"
#include "datagram.hpp"
#include "harness.hpp"

#include <csignal>
#include <gtest/gtest.h>
#include <regex>

namespace {

using harness::maskprefixes;
using namespace std::chrono_literals;

class Modules : public RunningDaemon {
  protected:
    void SetUp() override {
        RunningDaemon::SetUp();
        opt.timeout = 20s;
    }
    // Starts the daemon with the given module addresses, each with a stand-in
    // socket (except those listed as absent).
    void run(const std::vector<std::string> &modules, bool withsockets = true) {
        std::string conf;
        for (std::size_t i = 0; i < modules.size(); ++i) {
            conf += "[" + modules[i] + "]\n" + std::to_string(i) + " a.ics\n";
            if (withsockets)
                socks.push_back(harness::fakemodule(modules[i]));
        }
        configure(conf);
        launch();
    }
    harness::command next(std::size_t module) {
        harness::command c;
        EXPECT_TRUE(harness::receive(socks.at(module), c)) << "no command for module " << module;
        return c;
    }
    harness::result stop() { return harness::finish(daemon, SIGINT); }
};

std::uint32_t timefield(const harness::command &c) {
    return ctiprikaz(c.bytes).value().cas;
}

double seconds(const std::timespec &t) {
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

TEST_F(Modules, EveryModuleGetsTheTimeCommandAtHalfPastTheTen) {
    run({"127.0.0.2", "127.0.0.3", "127.0.0.4"});
    std::vector<harness::command> cycle;
    for (std::size_t m = 0; m < 3; ++m)
        cycle.push_back(next(m));
    ASSERT_EQ(cycle.size(), 3u);
    for (std::size_t m = 0; m < 3; ++m) {
        ASSERT_EQ(cycle[m].bytes.size(), 6u);
        EXPECT_EQ(cycle[m].bytes[0], 8) << "no DEFPR1 known yet";
        EXPECT_EQ(cycle[m].bytes[1], 0);
        EXPECT_EQ(timefield(cycle[m]), timefield(cycle[0])) << "one time value per cycle";
    }
    // The time field names the second in which the command arrived, a full
    // ten, and it never arrives before x0.5. Neither asks for speed: the
    // daemon reads the clock after its wait for x0.5 and sends at once, so
    // the arrival leaves that second only after a stall of more than half a
    // second between the reading and the send. How late and how far apart
    // the commands leave is measured by bench_punctuality.
    EXPECT_EQ(timefield(cycle[0]) % 10, 0u);
    EXPECT_EQ(cycle[0].stamp.tv_sec, static_cast<std::time_t>(timefield(cycle[0])));
    EXPECT_GE(cycle[0].stamp.tv_nsec, 500000000) << "never before x.5";
    // Slot order: one thread sends them one after the other.
    EXPECT_GT(seconds(cycle[1].stamp), seconds(cycle[0].stamp));
    EXPECT_GT(seconds(cycle[2].stamp), seconds(cycle[1].stamp));

    harness::result r = stop();
    EXPECT_EQ(r.status, 0);
    std::regex line(R"(posilamcas:  je  [ \d]{4}\.\d\d  milisec  a cas je \d{10} \n )");
    EXPECT_TRUE(std::regex_search(r.out, line)) << r.out;
}

TEST_F(Modules, Defpr1SwitchesTheCommandFrom8To2AndBack) {
    run({"127.0.0.2"});
    auto answer = [&](int value) {
        auto b = sestavstav(
            {typdefpr1, bitsouhlasi, nicnoveho, 0, 0, 0, static_cast<std::uint16_t>(value)});
        harness::sendstatus(socks[0], {b.begin(), b.end()});
    };
    EXPECT_EQ(next(0).bytes.at(0), 8);
    answer(0x2A0);
    EXPECT_EQ(next(0).bytes.at(0), 2);
    answer(0);
    EXPECT_EQ(next(0).bytes.at(0), 8);
    harness::result r = stop();
    EXPECT_NE(r.out.find("modul  0 - prisla hodnota DEFPR1 672 \n"), std::string::npos);
    std::string log = maskprefixes(harness::logtext());
    EXPECT_NE(log.find("<T>modul  0 - prisla hodnota DEFPR1 672 \n"), std::string::npos);
    EXPECT_NE(log.find("<T>cas modulu 00 127.0.0.2   souhlasi s PC \n"), std::string::npos);
}

TEST_F(Modules, StatusDatagramsAndStrangersReachConsoleAndLog) {
    run({"127.0.0.2"});
    int stranger = harness::fakemodule("127.0.0.9");
    socks.push_back(stranger);
    ASSERT_TRUE(harness::waitfor([] { return logged("skoncil jsem pousteni vlaken --\n"); }));
    auto b = sestavstav({typtmr1, bitsouhlasi, 2, 0, 0, 1700000000, 0x1234});
    harness::sendstatus(socks[0], {b.begin(), b.end()});
    harness::sendstatus(stranger, {b.begin(), b.end()});
    ASSERT_TRUE(harness::waitfor([] { return logged("ktera neni v konfiguracnim file"); }, 5s));
    harness::result r = stop();
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Prislo:   01  40  02  00  00  00  00  00  00  f1  53  65  34  12  \n"
                         "TMR1 =  4660 \n\nstavmodulu je 40 \n "),
              std::string::npos)
        << r.out;
    std::string log = maskprefixes(harness::logtext());
    EXPECT_NE(log.find("<T>Modul 00 - BOR reset - pokles napajeni - jeho posledni cas  23:13:20 "
                       "14.11.2023 \n<T>cas modulu 00 127.0.0.2   souhlasi s PC \n"),
              std::string::npos);
    EXPECT_NE(log.find("<T>prijemUDP - prisel paket z adresy 127.0.0.9 , ktera neni v "
                       "konfiguracnim file !!! \n"),
              std::string::npos);
}

TEST_F(Modules, FailedSendIsLoggedEveryCycle) {
    // A broadcast address: the kernel refuses the send without SO_BROADCAST.
    run({"127.255.255.255"}, false);
    ASSERT_TRUE(harness::waitfor(
        [] { return logged("<T>Error: posliUDP nemuze odeslat paket pro modul c. 0 \n "); }, 15s));
    EXPECT_EQ(stop().status, 0);
}

// About 100 s of real time: ten unanswered sends.
TEST_F(Modules, SilentModuleIsReportedAfterTenSendsAndWhenItAnswersAgain) {
    run({"127.0.0.2", "127.0.0.3"});
    const std::string silent = "<T>Modul cislo 1 neodpovida - 100 sec !\n";
    int sends = 0;
    for (;;) {
        // Module 0's command of a cycle leaves 10 s after everything of the
        // cycle before, the watchdog's entry for module 1 included.
        next(0);
        auto b = sestavstav({1, 0, nicnoveho, 0, 0, 0, 1});
        harness::sendstatus(socks[0], {b.begin(), b.end()}); // module 0 keeps answering
        if (logged(silent) || sends == 12)
            break;
        next(1);
        ++sends;
    }
    ASSERT_TRUE(logged(silent));
    EXPECT_EQ(sends, 10);
    next(1); // one more send: no second report
    auto b = sestavstav({7, 0, nicnoveho, 0, 0, 0, 0});
    harness::sendstatus(socks[1], {b.begin(), b.end()});
    ASSERT_TRUE(harness::waitfor([] { return logged("uz zase odpovida"); }, 5s));
    stop();
    std::string log = maskprefixes(harness::logtext());
    EXPECT_EQ(log.find(silent), log.rfind(silent));
    EXPECT_NE(log.find(silent + "<T>Modul 1 adresa 127.0.0.3 uz zase odpovida \n"),
              std::string::npos);
    EXPECT_EQ(log.find("Modul cislo 0"), std::string::npos);
}

} // namespace

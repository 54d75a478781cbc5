// The running daemon under faults and load, with stand-in modules on loopback
// addresses inside the test's sandbox: floods of status datagrams, a log that
// vanishes or cannot be opened, bursts of SIGINT, garbage of every length and
// a full configuration under traffic. Every loop is bounded in count and time;
// the long versions with figures are bench/daemon.
#include "daemonfixture.hpp"
#include "datagram.hpp"
#include "harness.hpp"
#include "priorita.hpp"
#include "zaplava.hpp"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <regex>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using harness::count;
using harness::maskprefixes;
using namespace std::chrono_literals;

const std::string stopbanner = "<T>Program kamnar radne skoncil \n\n";

std::vector<unsigned char> status(int type, int stat, int cause, int value) {
    auto b = sestavstav({static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(stat),
                         static_cast<std::uint8_t>(cause), 0, 0, 1700000000,
                         static_cast<std::uint16_t>(value)});
    return {b.begin(), b.end()};
}

class Faults : public RunningDaemon {
  protected:
    void SetUp() override {
        RunningDaemon::SetUp();
        opt.timeout = 60s;
    }
    void start(const std::string &conf) {
        configure(conf);
        launch();
        ASSERT_TRUE(
            harness::waitfor([] { return logged("<T>skoncil jsem pousteni vlaken --\n"); }));
    }
    // The orderly stop: exit 0, the stop banner last and once.
    void stopsinorder() {
        harness::result r = harness::finish(daemon, SIGINT);
        EXPECT_EQ(r.status, 0);
        std::string log = maskprefixes(harness::logtext());
        EXPECT_TRUE(log.ends_with(" \n\n" + stopbanner)) << log.substr(log.size() - 300);
        EXPECT_EQ(count(log, stopbanner), 1u);
    }
    // A DEFPR1 value sent by the module reaches the daemon's table: the
    // module's time commands switch from 8 to 2 (at most three cycles).
    void answersdefpr1(int sock) {
        // Sent again every half second: right after a flood the daemon's
        // receive queue may still be full and drop it, as the network may.
        // The console, not the log, shows it: that holds while the log cannot
        // be opened.
        const std::string shown = "modul  0 - prisla hodnota DEFPR1 672 \n";
        bool seen = false;
        for (int i = 0; i < 120 && !seen; ++i) {
            harness::sendstatus(sock, status(typdefpr1, bitsouhlasi, nicnoveho, 0x2A0));
            seen = harness::waitfor(
                [&] { return harness::output(daemon).find(shown) != std::string::npos; }, 500ms);
        }
        ASSERT_TRUE(seen) << "the daemon never took the DEFPR1 value";
        harness::command c;
        for (int i = 0; i < 3 && (c.bytes.empty() || c.bytes[0] != 2); ++i)
            ASSERT_TRUE(harness::receive(sock, c, 15s)) << "no time command";
        EXPECT_EQ(c.bytes.at(0), 2);
    }
};

TEST_F(Faults, FloodFromKnownAndUnknownAddressesLeavesTheDaemonResponsive) {
    int known = module("127.0.0.2");
    int stranger = module("127.0.0.9");
    start("[127.0.0.2]\n1 a.ics\n");
    // Up to 20000 datagrams within at most 3 s, alternately known and unknown.
    auto b = status(typtmr1, bitsouhlasi, nicnoveho, 7);
    auto until = std::chrono::steady_clock::now() + 3s;
    int sent = 0;
    for (int i = 0; i < 20000 && std::chrono::steady_clock::now() < until; ++i)
        sent += harness::sendquick(i % 2 ? stranger : known, b) ? 1 : 0;
    EXPECT_GT(sent, 0);
    answersdefpr1(known);
    std::string log = maskprefixes(harness::logtext());
    EXPECT_GT(count(log, "prisel paket z adresy 127.0.0.9 , ktera neni v konfiguracnim file"), 0u);
    EXPECT_EQ(log.find("neodpovida"), std::string::npos);
    stopsinorder();
}

// A flood from two strangers and one forged in module 01's name, with the
// real module 00 sending among them: module 00 keeps every entry; the flood's
// entries stop at the budget, and the rest are counted in the summary that
// the stop writes (and one a minute before, should the run take that long).
TEST_F(Faults, FloodBeyondTheBudgetIsCountedNotWritten) {
    int real = module("127.0.0.2");
    int forged = module("127.0.0.3");
    int strangers[] = {module("127.0.0.9"), module("127.0.0.10")};
    auto begun = std::chrono::steady_clock::now();
    start("[127.0.0.2]\n1 a.ics\n[127.0.0.3]\n1 a.ics\n");
    // Each forged datagram flips the status (one entry each), and so does
    // each real one (0x40 is neither 0x01 nor 0x41).
    const int groups = 5, pergroup = 200;
    for (int g = 0; g < groups; ++g) {
        for (int i = 0; i < pergroup; ++i) {
            harness::sendstatus(strangers[i % 2], status(typtmr1, bitsouhlasi, nicnoveho, 7));
            harness::sendstatus(forged, status(1, i % 2 ? 0x41 : 0x01, nicnoveho, 7));
        }
        auto d = sestavstav({typdefpr1, bitsouhlasi, 3, 0, 0,
                             1700000000u + 60u * static_cast<unsigned>(g),
                             static_cast<std::uint16_t>(1000 + g)});
        harness::sendstatus(real, {d.begin(), d.end()});
        // Paced, so that the receive queue never overflows.
        ASSERT_TRUE(harness::waitfor([&] {
            return count(harness::output(daemon), "Prislo:") ==
                   static_cast<std::size_t>((g + 1) * (pergroup + 1));
        })) << "group "
            << g;
    }
    stopsinorder();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();

    std::string log = maskprefixes(harness::logtext());
    for (int g = 0; g < groups; ++g) {
        EXPECT_EQ(count(log, "<T>Modul 00 - SOFTE Reset - jeho posledni cas  23:1" +
                                 std::to_string(3 + g) + ":20 14.11.2023 \n"),
                  1u)
            << g;
        EXPECT_EQ(
            count(log, "<T>modul  0 - prisla hodnota DEFPR1 " + std::to_string(1000 + g) + " \n"),
            1u);
    }
    EXPECT_EQ(count(log, "<T>cas modulu 00 127.0.0.2   souhlasi s PC \n"), std::size_t{groups});

    const std::size_t sent = groups * pergroup;
    std::size_t strangerentries = count(log, "<T>prijemUDP - prisel paket z adresy 127.0.0.");
    std::size_t forgedentries = count(log, "<T>cas modulu 01 127.0.0.3 ");
    // A full budget, and one entry more for every 2 s of the run at most.
    const auto most =
        static_cast<std::size_t>(zasobazaznamu + seconds * 1000 / rozestupzaznamu + 1);
    EXPECT_GE(strangerentries, std::size_t{zasobazaznamu});
    EXPECT_LE(strangerentries, most);
    EXPECT_GE(forgedentries, std::size_t{zasobazaznamu});
    EXPECT_LE(forgedentries, most);

    // The summaries count everything that was left out, and come before the
    // receiver's end.
    const std::regex summary(R"(<T>prijemUDP - prilis mnoho paketu - do logu nezapsano (\d+) )"
                             R"(zaznamu o modulech a (\d+) o paketech z (\d+) adres, ktere nejsou )"
                             R"(v konfiguracnim file !!! \n)");
    std::size_t leftmodules = 0, leftstrangers = 0, summaries = 0;
    for (auto m = std::sregex_iterator(log.begin(), log.end(), summary);
         m != std::sregex_iterator(); ++m, ++summaries) {
        leftmodules += std::stoul((*m)[1]);
        leftstrangers += std::stoul((*m)[2]);
        if (summaries == 0) {
            EXPECT_EQ((*m)[3], "2");
        }
    }
    EXPECT_GE(summaries, 1u);
    EXPECT_LE(summaries, static_cast<std::size_t>(1 + seconds / 60));
    EXPECT_EQ(leftmodules + forgedentries, sent);
    EXPECT_EQ(leftstrangers + strangerentries, sent);
    EXPECT_LT(log.rfind("prilis mnoho paketu"), log.find("<T>Vlakno prijemUDP skoncilo \n"));
}

TEST_F(Faults, BurstsAreShownWholeAndInOrderBesideTheTimeSendersLines) {
    int first = module("127.0.0.2");
    int second = module("127.0.0.3");
    start("[127.0.0.2]\n1 a.ics\n[127.0.0.3]\n1 a.ics\n");
    // 22 bursts of 300 readings, half a second apart: the daemon reads them
    // in batches while the time sender prints its lines of two cycles.
    const int bursts = 22, perburst = 300, total = bursts * perburst;
    for (int i = 0; i < total; ++i) {
        harness::sendstatus(i % 2 ? second : first, status(typtmr1, bitsouhlasi, nicnoveho, i));
        if (i % perburst == perburst - 1)
            std::this_thread::sleep_for(500ms);
    }
    ASSERT_TRUE(harness::waitfor(
        [&] { return count(harness::output(daemon), "TMR1 = ") == std::size_t{total}; }, 30s))
        << count(harness::output(daemon), "TMR1 = ") << " of " << total;
    harness::result r = harness::finish(daemon, SIGINT);
    ASSERT_EQ(r.status, 0);
    EXPECT_GE(count(r.out, "posilamcas:"), 2u);

    // From the first reading on, every line is one the daemon prints (a line
    // may begin with the blank that ends the line before), and the readings
    // come in sending order.
    const std::regex line(" ?(Prislo:  ( [0-9a-f]{2} )+ |TMR1 = +[0-9]+ |posilamcas:  je  .* a cas "
                          "je +[0-9]+ |stavmodulu je 40 |( [0-9]+ )+)?");
    std::istringstream lines(r.out.substr(r.out.find("Prislo:")));
    int next = 0;
    for (std::string l; std::getline(lines, l);) {
        ASSERT_TRUE(std::regex_match(l, line)) << "torn line: \"" << l << "\"";
        if (l.starts_with("TMR1 = ")) {
            ASSERT_EQ(std::stoi(l.substr(7)), next++);
        }
    }
    EXPECT_EQ(next, total);
}

TEST_F(Faults, LogDeletedThenUnopenableThenBackMidRun) {
    int known = module("127.0.0.2");
    int stranger = module("127.0.0.9");
    start("[127.0.0.2]\n1 a.ics\n");
    const std::string entry =
        "<T>prijemUDP - prisel paket z adresy 127.0.0.9 , ktera neni v konfiguracnim file !!! \n";

    // Deleted: the next entry makes a new log with that entry alone.
    ASSERT_EQ(unlink("/var/log/kamnar.log"), 0);
    harness::sendstatus(stranger, {1});
    ASSERT_TRUE(harness::waitfor([&] { return logged(entry); }, 10s));
    EXPECT_EQ(maskprefixes(harness::logtext()), entry);

    // A directory in its place: entries wait, the work goes on.
    ASSERT_EQ(unlink("/var/log/kamnar.log"), 0);
    ASSERT_EQ(mkdir("/var/log/kamnar.log", 0755), 0);
    harness::sendstatus(stranger, {1});
    answersdefpr1(known);

    // Removed again: the waiting entries come first, then the new ones.
    ASSERT_EQ(rmdir("/var/log/kamnar.log"), 0);
    harness::sendstatus(stranger, {1});
    ASSERT_TRUE(
        harness::waitfor([&] { return count(maskprefixes(harness::logtext()), entry) == 2; }, 10s));
    std::string log = maskprefixes(harness::logtext());
    EXPECT_TRUE(log.starts_with(entry)) << log;
    EXPECT_NE(log.find("<T>modul  0 - prisla hodnota DEFPR1 672 \n"), std::string::npos) << log;
    stopsinorder();
}

TEST_F(Faults, BurstOfSigintsGivesOneOrderlyStop) {
    module("127.0.0.2");
    start("[127.0.0.2]\n1 a.ics\n");
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(kill(daemon.pid, SIGINT), 0);
    // More of them all through the stop, until the banner is written.
    for (int i = 0; i < 400 && !logged(stopbanner); ++i) {
        kill(daemon.pid, SIGINT);
        std::this_thread::sleep_for(50ms);
    }
    stopsinorder();
    std::string log = maskprefixes(harness::logtext());
    EXPECT_EQ(count(log, "<T>Prisel signal HUP \n"), 1u);
    EXPECT_EQ(count(log, "<T>Vlakno prijemUDP skoncilo \n"), 1u);
    EXPECT_EQ(count(log, "<T>Vlakno posilamcas konci \n"), 1u);
}

// The console dumps of the datagrams, in order: the number of bytes each shows.
std::vector<std::size_t> dumps(const std::string &out) {
    std::vector<std::size_t> sizes;
    const std::string head = "Prislo:  ";
    for (std::size_t at = out.find(head); at != std::string::npos; at = out.find(head, at + 1)) {
        std::size_t end = out.find(" \n", at + head.size());
        // " xx " per byte, then " \n".
        sizes.push_back(end == std::string::npos ? 0 : (end - at - head.size()) / 4);
    }
    return sizes;
}

TEST_F(Faults, ModuleAnsweringWithGarbageOfEveryLength) {
    int known = module("127.0.0.2");
    start("[127.0.0.2]\n1 a.ics\n");
    std::mt19937 random(8);
    const std::size_t longest = 1500;
    for (std::size_t n = 0; n <= longest; ++n) {
        std::vector<unsigned char> garbage(n);
        for (unsigned char &c : garbage)
            c = static_cast<unsigned char>(random());
        harness::sendstatus(known, garbage);
        // Paced in groups of 50, so that the receive queue never overflows.
        if (n % 50 == 49 || n == longest) {
            ASSERT_TRUE(harness::waitfor(
                [&] { return dumps(harness::output(daemon)).size() == n + 1; }, 30s))
                << "the daemon fell behind at length " << n;
        }
    }
    std::vector<std::size_t> sizes = dumps(harness::output(daemon));
    ASSERT_EQ(sizes.size(), longest + 1);
    for (std::size_t n = 0; n <= longest; ++n)
        ASSERT_EQ(sizes[n], std::min<std::size_t>(n, delkaprijmu)) << "datagram of length " << n;
    answersdefpr1(known);
    stopsinorder();
}

TEST_F(Faults, ThirtyOneCalendarsAndThirtyModulesUnderFullTraffic) {
    // 30 sections with one calendar each, and a 31st calendar whose module
    // (127.0.0.32) gets no slot: it is a stranger to the receiver.
    std::string conf;
    for (int m = 0; m < 31; ++m)
        conf += "[127.0.0." + std::to_string(m + 2) + "]\n" + std::to_string(m) + " a.ics\n";
    for (int m = 0; m < 31; ++m)
        module("127.0.0." + std::to_string(m + 2));
    start(conf);

    auto cycle = [&](int expected) {
        std::vector<harness::command> got(30);
        for (std::size_t m = 0; m < 30; ++m) {
            ASSERT_TRUE(harness::receive(socks[m], got[m], 15s)) << "module " << m;
            ASSERT_EQ(got[m].bytes.size(), 6u);
            EXPECT_EQ(got[m].bytes[0], expected) << "module " << m;
            // The answer, a TMR1 reading and the DEFPR1 value at once.
            harness::sendstatus(socks[m],
                                status(typtmr1, bitsouhlasi, nicnoveho, static_cast<int>(m)));
            harness::sendstatus(socks[m],
                                status(typdefpr1, bitsouhlasi, nicnoveho, static_cast<int>(m) + 1));
        }
        for (std::size_t m = 1; m < 30; ++m) {
            EXPECT_TRUE(
                std::equal(got[m].bytes.begin() + 2, got[m].bytes.end(), got[0].bytes.begin() + 2))
                << "one time value per cycle";
            EXPECT_GT(got[m].stamp.tv_sec * 1000000000L + got[m].stamp.tv_nsec,
                      got[m - 1].stamp.tv_sec * 1000000000L + got[m - 1].stamp.tv_nsec)
                << "slot order";
        }
        harness::sendstatus(socks[30], status(typtmr1, bitsouhlasi, nicnoveho, 1));
    };
    cycle(8);
    cycle(2);
    harness::command none;
    EXPECT_FALSE(harness::receive(socks[30], none, 100ms))
        << "the 31st calendar's module has no slot";
    stopsinorder();

    std::string log = maskprefixes(harness::logtext());
    EXPECT_NE(log.find("      127.0.0.32  30 /home/kamnar/a.ics \n"), std::string::npos);
    EXPECT_NE(log.find(" 29 --      127.0.0.31  \n"), std::string::npos);
    EXPECT_EQ(log.find(" 30 --"), std::string::npos);
    EXPECT_EQ(log.find("neodpovida"), std::string::npos);
    EXPECT_EQ(count(log, "prisel paket z adresy 127.0.0.32 "), 2u);
    for (int m = 0; m < 30; ++m) {
        char line[64];
        std::snprintf(line, sizeof line, "<T>modul %2d - prisla hodnota DEFPR1 %d \n", m, m + 1);
        EXPECT_EQ(count(log, line), 2u) << line;
    }
}

// The house the time sender's quiet path is looked at in: module 0 changes
// its status byte with every answer (two receiver entries a cycle), module 1
// is silent, and the send to module 2 fails every cycle (no route to it in
// the sandbox: an entry of the sender's own every cycle).
constexpr const char *loudhouse = "[127.0.0.2]\n0 a.ics\n[127.0.0.3]\n1 a.ics\n"
                                  "[10.9.9.9]\n2 a.ics\n";
const std::string failedsend = "<T>Error: posliUDP nemuze odeslat paket pro modul c. 2 \n ";

// The thread id of the time sender.
pid_t sendertid(pid_t pid) {
    std::string dir = "/proc/" + std::to_string(pid) + "/task/";
    for (const auto &e : std::filesystem::directory_iterator(dir))
        if (harness::readfile(e.path().string() + "/comm") == "posilamcas\n")
            return std::stoi(e.path().filename().string());
    return -1;
}

// After its first cycle the time sender, traced for three cycles, makes no
// system call but its timer's, sendto and the writers' wake-ups (a read of
// its timerfd, writes to their eventfds), and its allocations, counted by a
// preloaded stand-in, are none.
TEST_F(Faults, TimeSenderWaitsForNothingButItsTimerAndAllocatesNothing) {
    if (sesanitizery || access("/usr/bin/strace", X_OK) != 0)
        GTEST_SKIP() << "a sanitizer build (it allocates on its own), or no /usr/bin/strace";
    helpers.push_back(harness::start({harness::bin("simmodul"), "127.0.0.2", "--flip", "--quiet"}));
    harness::preload(opt, KAMNAR_ALOKACE_LIB);
    opt.env.push_back("ALOKACE_OD=4"); // the first send of the second cycle
    opt.env.push_back("ALOKACE_SOUBOR=/run/alokace");
    start(loudhouse);
    ASSERT_TRUE(harness::waitfor([] { return logged(failedsend); }, 15s)) << "no first cycle";
    harness::process strace =
        harness::start({"/usr/bin/strace", "-qq", "-y", "-e",
                        "trace=!clock_nanosleep,timerfd_settime,sendto,restart_syscall", "-p",
                        std::to_string(sendertid(daemon.pid)), "-o", "/run/trace"});
    std::this_thread::sleep_for(31s); // three cycles
    harness::finish(strace, SIGINT);
    stopsinorder();
    std::istringstream trace(harness::readfile("/run/trace"));
    static const std::regex allowed(R"(^(read\(\d+<anon_inode:\[timerfd\]>|)"
                                    R"(write\(\d+<anon_inode:\[eventfd\]>|<\.\.\. read resumed>))");
    int wakes = 0;
    for (std::string line; std::getline(trace, line); wakes += line.starts_with("write"))
        EXPECT_TRUE(std::regex_search(line, allowed)) << line;
    EXPECT_GE(wakes, 6) << "a wake-up of each writer every cycle";
    unsigned long allocations = 99, sends = 0;
    std::sscanf(harness::readfile("/run/alokace").c_str(), "alokaci %lu odeslani %lu", &allocations,
                &sends);
    EXPECT_GE(sends, 12u) << "four cycles counted";
    EXPECT_EQ(allocations, 0u);
}

// A log whose file system is full: the entries wait, the state file shows
// them within 2 s with the refusal's error number, and once there is room
// again every one of them is in the log, whole and in order.
TEST_F(Faults, EntriesRefusedByAFullDiskWaitAndComeWhole) {
    ASSERT_EQ(mount("kamnar-test", "/var/log", "tmpfs", 0, "size=64k,mode=0755"), 0);
    mkdir("/run/kamnar", 0755);
    helpers.push_back(harness::start({harness::bin("simmodul"), "127.0.0.2", "--flip", "--quiet"}));
    int stranger = module("127.0.0.9");
    start(loudhouse);
    ASSERT_TRUE(harness::waitfor([] { return logged(failedsend); }, 15s));
    std::this_thread::sleep_for(1s); // the cycle's entries are in; the next come in 9 s
    // The log's last page filled with line ends: its next entry needs a new
    // page, which the full file system refuses.
    std::size_t size = harness::logtext().size();
    harness::writefile("/var/log/kamnar.log",
                       harness::logtext() + std::string(4095 - (size + 4095) % 4096, '\n'));
    const std::string before = harness::logtext();

    int fd = open("/var/log/vypln", O_WRONLY | O_CREAT, 0644);
    for (std::size_t n = 4096; n > 0;) // down to the last byte that fits
        n = write(fd, std::string(n, 'x').data(), n) < 0 ? n / 2 : n;
    close(fd);
    const std::string strangerentry = "<T>prijemUDP - prisel paket z adresy 127.0.0.9 , ktera "
                                      "neni v konfiguracnim file !!! \n";
    harness::sendstatus(stranger, {1});
    auto shows = [](bool waiting, const char *error) {
        std::string s = harness::readfile("/run/kamnar/kamnar.prom");
        return (s.find("\nkamnar_log_cekajici 0\n") == std::string::npos) == waiting &&
               s.find(error) != std::string::npos;
    };
    // The file is rewritten every second: 1.5 s of room.
    EXPECT_TRUE(harness::waitfor([&] { return shows(true, "_zapisu 28\n"); }, 2500ms));
    std::this_thread::sleep_for(11s); // a cycle's entries, the sender's among them, wait too

    ASSERT_EQ(unlink("/var/log/vypln"), 0);
    ASSERT_TRUE(harness::waitfor([&] { return shows(false, "_zapisu 0\n"); }));
    std::string log = maskprefixes(harness::logtext().substr(before.size()));
    EXPECT_TRUE(log.starts_with(strangerentry)) << log;
    EXPECT_GE(count(log, failedsend), 1u);
    // Nothing but whole entries of the house, each prefix where one begins.
    for (const std::string &entry :
         {strangerentry, failedsend, std::string("<T>cas modulu 00 127.0.0.2   souhlasi s PC \n"),
          std::string("<T>cas modulu 00 127.0.0.2 nesouhlasi s PC \n")})
        for (std::size_t at; (at = log.find(entry)) != std::string::npos;)
            log.erase(at, entry.size());
    EXPECT_EQ(log, "") << "a torn or glued entry";
    stopsinorder();
}

// A time sender held in sendto for good (a stalled network queue): the stop
// gives it 12 s, names it in the log and goes on to its banner and exit 0.
TEST_F(Faults, SenderHeldInItsSendIsNamedAndTheStopGoesOn) {
    harness::preload(opt, KAMNAR_HANGSEND_LIB);
    module("127.0.0.2");
    start("[127.0.0.2]\n1 a.ics\n");
    std::this_thread::sleep_for(11s); // its first send, held
    auto began = std::chrono::steady_clock::now();
    stopsinorder();
    // 12 s and the stop's pause; 5 s of room.
    EXPECT_LT(std::chrono::steady_clock::now() - began, 18s);
    std::string log = maskprefixes(harness::logtext());
    EXPECT_EQ(count(log, "<T>Vlakno posilamcas neskoncilo do 12 sec - koncim bez nej \n"), 1u)
        << log;
    EXPECT_EQ(count(log, "<T>Vlakno prijemUDP skoncilo \n"), 1u);
}

} // namespace

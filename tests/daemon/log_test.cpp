#include "harness.hpp"
#include "log.hpp"

#include "daemonfixture.hpp"
#include "rodiny.hpp"

#include <atomic>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <regex>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::tm instant(int year, int month, int day, int hour, int min, int sec) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = min;
    t.tm_sec = sec;
    return t;
}

TEST(LogPrefix, PadsEveryFieldToTwoDigits) {
    EXPECT_STREQ(vytvorprefix(instant(2027, 1, 1, 0, 0, 0)).text, "01.01.2027 00:00:00 : ");
    EXPECT_STREQ(vytvorprefix(instant(2026, 12, 6, 9, 5, 7)).text, "06.12.2026 09:05:07 : ");
    EXPECT_STREQ(vytvorprefix(instant(2026, 12, 31, 23, 59, 60)).text, "31.12.2026 23:59:60 : ");
}

TEST(LogEntry, WritesFixedTextAsItsBytesAndFormatsOnlyFormats) {
    harness::sandbox();
    zapisdologu(false, "100% %s %n\n");
    zapisdologuf(false, "%d-%s\n", 7, "x");
    zapisdologu(false, '\n');
    zapisdologu(true, "a\n ");
    zapisdologu(true, "b\n");
    EXPECT_EQ(harness::maskprefixes(harness::logtext()), "100% %s %n\n7-x\n\n<T>a\n <T>b\n");
}

TEST(LogEntry, ComesBackAfterTheFileIsDeleted) {
    harness::sandbox();
    zapisdologu(false, "first\n");
    ASSERT_EQ(unlink(cestalogu), 0);
    zapisdologu(false, "second\n");
    EXPECT_EQ(harness::logtext(), "second\n");
}

// Each kind of entry takes the lock (it waits while another thread holds
// it) and leaves it free after an open that failed. The writer is given
// 100 ms to show that it does not wait: with the lock it cannot finish
// however long it is given, so the check cannot fail falsely.
TEST(LogEntry, UnopenableLogDropsTheEntryAndReleasesTheLock) {
    harness::sandbox();
    ASSERT_EQ(mkdir(cestalogu, 0755), 0); // a directory cannot be opened for appending
    const std::function<void()> entries[] = {[] { zapisdologuf(true, "lost %d\n", 1); },
                                             [] { zapisdologu(true, "lost\n"); },
                                             [] { zapisdologu(false, 'x'); }};
    for (const std::function<void()> &entry : entries) {
        std::atomic<bool> done{false};
        std::unique_lock held(pisudologu);
        std::thread writer([&] {
            entry();
            done = true;
        });
        std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(done) << "an entry went on without the lock";
        held.unlock();
        writer.join();
        bool free_after = false;
        std::thread([&] {
            free_after = pisudologu.try_lock();
            if (free_after)
                pisudologu.unlock();
        }).join();
        EXPECT_TRUE(free_after);
    }
    ASSERT_EQ(rmdir(cestalogu), 0);
    zapisdologu(false, "kept\n");
    EXPECT_EQ(harness::logtext(), "kept\n");
}

// Entries longer than a stream's buffer leave it in several writes: only the
// lock keeps the other threads' entries from coming between them.
TEST(LogEntry, ConcurrentEntriesStayWhole) {
    harness::sandbox();
    constexpr int threads = 4, perthread = 400;
    const std::string filler(6000, '.');
    std::atomic<bool> go{false};
    auto writer = [&](char c) {
        while (!go)
            std::this_thread::yield();
        for (int i = 0; i < perthread; ++i)
            zapisdologuf(true, "thread %c entry %d %s\n", c, i, filler.c_str());
    };
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back(writer, static_cast<char>('A' + t));
    go = true;
    for (std::thread &w : writers)
        w.join();
    std::istringstream log(harness::logtext());
    static const std::regex prefix(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d : )");
    int count[threads] = {};
    int entries = 0;
    for (std::string line; std::getline(log, line); ++entries) {
        SCOPED_TRACE(entries);
        ASSERT_GT(line.size(), 22u);
        ASSERT_TRUE(std::regex_match(line.substr(0, 22), prefix)) << "torn entry";
        const std::string rest = line.substr(22);
        ASSERT_TRUE(rest.starts_with("thread ") && rest.size() > 8 && rest[7] >= 'A' &&
                    rest[7] < 'A' + threads)
            << "torn entry";
        const int who = rest[7] - 'A';
        EXPECT_EQ(rest, "thread " + std::string(1, rest[7]) + " entry " +
                            std::to_string(count[who]++) + " " + filler)
            << "a torn entry, or one of a thread out of order";
    }
    for (int n : count)
        EXPECT_EQ(n, perthread);
}

} // namespace

// The queue between the threads that make entries and the log's writer:
// entries come out in order; those beyond its bound are counted, and their
// summary stands where they are missing, made when room came again, or by
// the writer once it has written everything before them.
TEST(LogQueue, KeepsTheOrderAndSaysWhereAndHowManyEntriesWereLost) {
    frontalogu f;
    const std::string text(1000, 'x');
    std::size_t vejde = 0;
    for (; f.ztraceno == 0; ++vejde)
        zarad(f, {true, 1, 1, text});
    zarad(f, {true, 2, 2, text});
    EXPECT_GT(vejde, 500u); // one was lost: vejde counts it
    EXPECT_EQ(f.zaznamy.size(), vejde - 1);
    EXPECT_LE(f.bajtu, nejvicevlogu);
    ASSERT_TRUE(vyjmi(f, 3, 3)); // the disk answers one write: room for one
    zarad(f, {true, 4, 4, "po\n"});
    std::vector<zaznam> ven;
    while (std::optional<zaznam> z = vyjmi(f, 5, 5))
        ven.push_back(*z);
    ASSERT_EQ(ven.size(), vejde);
    EXPECT_EQ(ven[vejde - 3].text, text);
    EXPECT_EQ(ven[vejde - 2].text, "Disk s logem neodpovidal - do logu nezapsano 2 zaznamu \n");
    EXPECT_EQ(ven[vejde - 2].cas, 4);
    EXPECT_EQ(ven[vejde - 1].text, "po\n");

    // Lost, and nothing made after them: the writer makes the summary.
    while (f.ztraceno == 0)
        zarad(f, {false, 6, 6, text});
    while (std::optional<zaznam> z = vyjmi(f, 7, 7))
        ven.back() = *z;
    EXPECT_EQ(ven.back().text, textztracenych(1));
    EXPECT_TRUE(ven.back().sprefixem);
    EXPECT_EQ(ven.back().cas, 7);
    EXPECT_EQ(f.bajtu, 0u);
    EXPECT_EQ(f.ztracenocelkem, 3u);
}

// The daemon over a log whose disk stops answering: /var/log is a FUSE file
// system (zamrzlydisk) that SIGUSR1 freezes and SIGUSR2 thaws. The test reads
// the log only while it is thawed.
class StalledLog : public RunningDaemon {
  protected:
    harness::process disk;

    void SetUp() override {
        RunningDaemon::SetUp();
        if (access(harness::bin("zamrzlydisk").c_str(), X_OK) != 0)
            GTEST_SKIP() << "no zamrzlydisk: libfuse3-dev was missing when this was built";
        mkdir("/srv/disk", 0755);
        harness::options o;
        o.timeout = 10s;
        disk = harness::start({harness::bin("zamrzlydisk"), "/srv/disk", "/var/log"}, o);
        ASSERT_TRUE(harness::waitfor([] {
            return harness::readfile("/proc/self/mounts").find("zamrzlydisk /var/log ") !=
                   std::string::npos;
        }));
        mkdir("/run/kamnar", 0755);
        opt.env = {"TZ=UTC"};
    }
    void TearDown() override {
        if (disk.pid > 0)
            freeze(false);
        RunningDaemon::TearDown();
        if (disk.pid > 0)
            harness::finish(disk, SIGKILL);
    }
    void freeze(bool f) { kill(disk.pid, f ? SIGUSR1 : SIGUSR2); }
};

// A command arrives between its x.5 and the next full second: the test
// asserts only that, which has half a second of room.
bool onmark(const harness::command &c) {
    return c.stamp.tv_nsec >= 500000000;
}

std::string prefixof(std::time_t t) {
    std::tm u{};
    gmtime_r(&t, &u);
    return vytvorprefix(u).text;
}

// Frozen for 35 s under the running daemon: the commands keep their marks,
// the watchdog's heartbeats and the state file keep coming, and every entry
// made meanwhile reaches the log once the disk answers, byte for byte, in
// order, with the time it was made. Then SIGINT stops the daemon in order.
TEST_F(StalledLog, HoldsNoThreadAndLosesNoEntry) {
    configure("[127.0.0.2]\n1 a.ics\n");
    int m = module("127.0.0.2");
    int spravce = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strcpy(a.sun_path, "/run/spravce");
    ASSERT_EQ(bind(spravce, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    socks.push_back(spravce);
    opt.env.push_back("NOTIFY_SOCKET=/run/spravce");
    opt.env.push_back("WATCHDOG_USEC=4000000");
    launch();
    harness::command c;
    ASSERT_TRUE(harness::receive(m, c)) << "no command before the freeze";
    ASSERT_TRUE(harness::waitfor([] { return logged("<T>skoncil jsem pousteni vlaken --\n"); }));
    std::string predtim = harness::logtext();

    freeze(true);
    auto konec = std::chrono::steady_clock::now() + 35s;
    std::string ocekavane;
    std::vector<std::time_t> kdy;
    int prikazy = 0, mimo = 0, tepy = 0;
    auto posledni = std::chrono::steady_clock::now();
    for (int i = 0; std::chrono::steady_clock::now() < konec; ++i) {
        kdy.push_back(std::time(nullptr));
        harness::sendstatus(m,
                            {9, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<unsigned char>(i), 0});
        ocekavane += "<T>modul  0 - prisla hodnota DEFPR1 " + std::to_string(i) + " \n";
        for (auto dalsi = std::chrono::steady_clock::now() + 1500ms;
             std::chrono::steady_clock::now() < dalsi;) {
            pollfd p[2] = {{m, POLLIN, 0}, {spravce, POLLIN, 0}};
            if (poll(p, 2, 100) <= 0)
                continue;
            if (p[0].revents && harness::receive(m, c, 0s)) {
                ++prikazy;
                mimo += !onmark(c);
            }
            char zprava[256];
            ssize_t n = p[1].revents ? recv(spravce, zprava, sizeof zprava, 0) : 0;
            if (n > 0 && std::string(zprava, n).find("WATCHDOG=1") != std::string::npos) {
                ++tepy;
                posledni = std::chrono::steady_clock::now();
            }
        }
    }
    EXPECT_GE(prikazy, 3);
    EXPECT_EQ(mimo, 0) << "commands off their mark";
    EXPECT_GE(tepy, 25) << "the watchdog's heartbeats stopped";
    EXPECT_LT(std::chrono::steady_clock::now() - posledni, 3s);
    struct stat st {};
    ASSERT_EQ(stat(cestastavu, &st), 0);
    EXPECT_LE(std::time(nullptr) - st.st_mtime, 2) << "the state file stopped";
    std::string stav = harness::readfile(cestastavu);
    EXPECT_NE(stav.find("\nkamnar_log_cekajici " + std::to_string(kdy.size()) + "\n"),
              std::string::npos)
        << stav;
    EXPECT_NE(stav.find("\nkamnar_log_nezapsano_seconds 3"), std::string::npos) << stav;

    freeze(false);
    std::string log;
    ASSERT_TRUE(harness::waitfor([&] {
        log = harness::logtext();
        return log.size() >= predtim.size() + ocekavane.size() + (22 - 3) * kdy.size();
    }));
    ASSERT_EQ(log.substr(0, predtim.size()), predtim);
    std::string vmrazu = log.substr(predtim.size());
    EXPECT_EQ(harness::maskprefixes(vmrazu), ocekavane);
    // Each entry's prefix is the second it was made (or the next one).
    for (std::size_t i = 0, k = 0; i < kdy.size(); ++i) {
        std::string prefix = vmrazu.substr(k, 22);
        EXPECT_TRUE(prefix == prefixof(kdy[i]) || prefix == prefixof(kdy[i] + 1)) << prefix;
        k = vmrazu.find('\n', k) + 1;
    }
    harness::result r = harness::finish(daemon, SIGINT);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(harness::maskprefixes(harness::logtext())
                    .ends_with(" \n\n<T>Program kamnar radne skoncil \n\n"));
}

// A log that never answers, from the start (a daemon restarted while the
// disk hangs): the commands go out all the same, and after SIGINT the daemon
// goes through its stop within the stop's usual bound (about 12 s; 20 s
// given), as its state file says. Its process ends once the disk answers the
// write the kernel holds it in.
TEST_F(StalledLog, FromTheStartHoldsNeitherTheCommandsNorTheStop) {
    configure("[127.0.0.2]\n1 a.ics\n");
    int m = module("127.0.0.2");
    freeze(true);
    launch();
    for (int i = 0; i < 2; ++i) {
        harness::command c;
        ASSERT_TRUE(harness::receive(m, c, 12s)) << "no command " << i;
        EXPECT_TRUE(onmark(c));
    }
    kill(daemon.pid, SIGINT);
    EXPECT_TRUE(harness::waitfor(
        [] { return harness::readfile(cestastavu).find("\nkamnar_bezi 0\n") != std::string::npos; },
        20s));
    freeze(false);
    EXPECT_EQ(harness::finish(daemon, 0).status, 0);
}

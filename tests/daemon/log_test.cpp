#include "harness.hpp"
#include "log.hpp"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <regex>
#include <sstream>
#include <sys/stat.h>
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

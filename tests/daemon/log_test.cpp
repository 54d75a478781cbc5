#include "harness.hpp"
#include "log.hpp"

#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

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

TEST(LogEntry, UnopenableLogDropsTheEntryAndReleasesTheLock) {
    harness::sandbox();
    ASSERT_EQ(mkdir(cestalogu, 0755), 0); // a directory cannot be opened for appending
    zapisdologuf(true, "lost %d\n", 1);
    zapisdologu(true, "lost\n");
    zapisdologu(false, 'x');
    bool free_after = false;
    std::thread([&] {
        free_after = pisudologu.try_lock();
        if (free_after)
            pisudologu.unlock();
    }).join();
    EXPECT_TRUE(free_after);
    ASSERT_EQ(rmdir(cestalogu), 0);
    zapisdologu(false, "kept\n");
    EXPECT_EQ(harness::logtext(), "kept\n");
}

TEST(LogEntry, ConcurrentEntriesStayWhole) {
    harness::sandbox();
    constexpr int perthread = 400;
    auto writer = [](char c) {
        for (int i = 0; i < perthread; ++i)
            zapisdologuf(true, "thread %c entry %d\n", c, i);
    };
    std::thread a(writer, 'A'), b(writer, 'B');
    a.join();
    b.join();
    std::string log = harness::logtext();
    static const std::regex entry(
        R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d : thread ([AB]) entry (\d+)\n)");
    int count[2] = {0, 0};
    std::size_t pos = 0;
    for (std::sregex_iterator it(log.begin(), log.end(), entry), end; it != end; ++it) {
        ASSERT_EQ(static_cast<std::size_t>(it->position()), pos) << "torn entry at " << pos;
        int who = (*it)[1] == "A" ? 0 : 1;
        EXPECT_EQ(std::stoi((*it)[2]), count[who]++) << "entries of one thread out of order";
        pos += static_cast<std::size_t>(it->length());
    }
    EXPECT_EQ(pos, log.size());
    EXPECT_EQ(count[0], perthread);
    EXPECT_EQ(count[1], perthread);
}

} // namespace

#include "harness.hpp"
#include "scanner.hpp"
#include "tables.hpp"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using harness::maskprefixes;

// Every case runs in its own sandbox (the scanner logs to the fixed path) and
// in the zone the calendars are written for.
class Scanner : public ::testing::Test {
  protected:
    void SetUp() override {
        harness::sandbox();
        setenv("TZ", "Europe/Prague", 1);
        tzset();
        mkdir("/home/kamnar", 0755);
        inicializujtabulky();
    }

    // Writes a calendar file and puts it into the next slot; returns the slot.
    static int calendar(const std::string &name, const std::string &text) {
        std::string path = "/home/kamnar/" + name;
        harness::writefile(path, text);
        pridejkalendar(path.c_str(), konkal + 1, inet_addr("127.0.0.2"));
        return konkal - 1;
    }

    static std::string scan(int slot, int expected = 0) {
        return harness::stdoutof([&] { EXPECT_EQ(prohledej(slot), expected); });
    }

    static std::string ok(long long start, long long end) {
        return " Nasel jsem END:VEVENT dtstart " + std::to_string(start) + "  dsend " +
               std::to_string(end) + "    OK \n ";
    }
    static std::string err(long long start, long long end) {
        return " Nasel jsem END:VEVENT dtstart " + std::to_string(start) + "  dsend " +
               std::to_string(end) + "    ERR \n ";
    }
};

using Times = Scanner;

// Converts one line; -7 stands for "left untouched".
std::time_t convert(const std::string &line, int expected = 1) {
    std::time_t t = -7;
    EXPECT_EQ(najdicas(line.c_str(), &t), expected) << line;
    return t;
}

TEST_F(Times, BothFormsInWinterAndSummer) {
    EXPECT_EQ(convert("DTSTART;TZID=Europe/Prague:20240115T063000\n"), 1705296600);
    EXPECT_EQ(convert("DTEND;TZID=Europe/Prague:20240115T080000\r\n"), 1705302000);
    EXPECT_EQ(convert("DTSTART;TZID=Europe/Prague:20240715T120000Z\n"), 1721037600);
    EXPECT_EQ(convert("DTSTART;VALUE=DATE:20240120\n"), 1705705200);
    EXPECT_EQ(convert("DTSTART;VALUE=DATE:20240120\r\n"), 1705705200);
    // Both markers: the date-time one wins, wherever they stand in the line.
    EXPECT_EQ(convert("DTSTART;VALUE=DATE:20240120;X=TZID=Europe/Prague:20240115T063000\n"),
              1705296600);
    EXPECT_EQ(harness::logtext(), "");
}

TEST_F(Times, LengthsAtTheBoundaries) {
    EXPECT_EQ(convert("DTSTART;TZID=Europe/Prague:20240115T0630\n", 0), -7);      // 14 with LF
    EXPECT_EQ(convert("DTSTART;TZID=Europe/Prague:20240115T063000"), 1705296600); // 15, no LF
    EXPECT_EQ(convert("DTSTART;VALUE=DATE:202401\n", 0), -7);                     // 7 with LF
    EXPECT_EQ(convert("DTSTART;VALUE=DATE:2024012\n"), 1704150000); // day field "2\n": 2 January
    EXPECT_EQ(convert("DTSTART;TZID=Europe/Prague:", 0), -7);
    EXPECT_EQ(harness::logtext(),
              "  najdicas: casovy retezec --20240115T0630\n-- ma chybnou delku \n"
              "  najdicas: casovy retezec --202401\n-- ma chybnou delku \n"
              "  najdicas: casovy retezec ---- ma chybnou delku \n");
}

TEST_F(Times, MissingTIsRefusedAndQuotesTheTextToTheLineEnd) {
    EXPECT_EQ(convert("DTSTART;TZID=Europe/Prague:20240115 063000\r\n", 0), -7);
    EXPECT_EQ(convert("DTSTART;TZID=Europe/Prague:20240115t063000\n", 0), -7);
    EXPECT_EQ(harness::logtext(),
              "  najdicas: casovy retezec --20240115 063000\r\n-- neobsahuje pismeno T \n"
              "  najdicas: casovy retezec --20240115t063000\n-- neobsahuje pismeno T \n");
}

TEST_F(Times, OutOfRangeFieldsAreNormalised) {
    EXPECT_EQ(convert("DTSTART;VALUE=DATE:20240100\n"), 1703977200); // 31 December 2023
    EXPECT_EQ(convert("DTSTART;VALUE=DATE:20241301\n"), 1735686000); // 1 January 2025
    EXPECT_EQ(convert("DTSTART;TZID=Europe/Prague:20240131T240000\n"), 1706742000); // 1 February
    // A field without digits is 0: month 0 is December of the year before.
    EXPECT_EQ(convert("DTSTART;VALUE=DATE:2024xx20\n"), 1703977200 - 11 * 86400); // 20 December
}

TEST_F(Times, LineWithoutAMarkerIsRefused) {
    EXPECT_EQ(convert("DTSTART;TZID=Europe/Berlin:20240115T063000\n", 0), -7);
    EXPECT_EQ(convert("DTSTART;\n", 0), -7);
    EXPECT_EQ(harness::logtext(),
              "  najdicas: v radku nenalezeno TZID=Europe/Prague: ani "
              "VALUE=DATE:  ---DTSTART;TZID=Europe/Berlin:20240115T063000\n--- \n"
              "  najdicas: v radku nenalezeno TZID=Europe/Prague: ani "
              "VALUE=DATE:  ---DTSTART;\n--- \n");
}

const char *const example[] = {"BEGIN:VCALENDAR",
                               "BEGIN:VEVENT",
                               "UID:1001",
                               "SUMMARY:Rano",
                               "DTSTART;TZID=Europe/Prague:20240115T063000",
                               "DTEND;TZID=Europe/Prague:20240115T080000",
                               "END:VEVENT",
                               "BEGIN:VEVENT",
                               "DTSTART;VALUE=DATE:20240120",
                               "DESCRIPTION:volno",
                               "END:VEVENT",
                               "END:VCALENDAR"};

std::string lines(const char *const (&text)[12], const std::string &end) {
    std::string s;
    for (const char *l : text)
        s += l + end;
    return s;
}

// The worked example with either line end gives the same times; the line it
// does not understand is quoted with its carriage return, if it has one.
class Example : public Scanner, public ::testing::WithParamInterface<std::string> {};

TEST_P(Example, GivesTheSameTimesWithEitherLineEnd) {
    const std::string &end = GetParam();
    int slot = calendar("doma.ics", lines(example, end));
    EXPECT_EQ(scan(slot), ok(1705296600, 1705302000) + err(1705705200, 0));
    EXPECT_EQ(harness::logtext(),
              "na radku 10 ve file /home/kamnar/doma.ics nerozumim DESCRIPTION:volno" + end +
                  " \n"
                  "pred radkem 11 ve file /home/kamnar/doma.ics neni zadan DTEND \n"
                  "pred radkem 11 ve file /home/kamnar/doma.ics je DTEND < DTSTART \n");
}

INSTANTIATE_TEST_SUITE_P(LineEnds, Example, ::testing::Values("\n", "\r\n"),
                         [](const ::testing::TestParamInfo<std::string> &i) {
                             return std::string(i.param == "\n" ? "Lf" : "CrLf");
                         });

TEST_F(Scanner, GoodEventsAndEverythingOutsideThemLeaveTheLogEmpty) {
    int slot = calendar("a.ics", "BEGIN:VCALENDAR\n"
                                 "END:VEVENT\n"
                                 "BEGIN:VTIMEZONE\n"
                                 "DTSTART:19700329T020000\n"
                                 "RRULE:FREQ=YEARLY\n"
                                 "END:VTIMEZONE\n"
                                 "BEGIN:VEVENT\n"
                                 "CREATED:20240101T000000Z\n"
                                 "DTSTAMP:20240101T000000Z\n"
                                 "DESCRIPTION:STATUS of the boiler\n"
                                 "DTSTART;VALUE=DATE:20240120\n"
                                 "DTEND;VALUE=DATE:20240120\n"
                                 "END:VEVENT\n"
                                 "BEGIN:VEVENT\n"
                                 "DTEND;TZID=Europe/Prague:20240115T080000\n"
                                 "DTSTART;TZID=Europe/Prague:20240115T063000\n"
                                 "END:VEVENT\n"
                                 "END:VCALENDAR");
    EXPECT_EQ(scan(slot), ok(1705705200, 1705705200) + ok(1705296600, 1705302000));
    EXPECT_EQ(harness::logtext(), "");
}

TEST_F(Scanner, SecondBeginKeepsTheOpenEvent) {
    int slot = calendar("a.ics", "BEGIN:VEVENT\n"
                                 "DTSTART;TZID=Europe/Prague:20240115T063000\n"
                                 "BEGIN:VEVENT\n"
                                 "DTEND;TZID=Europe/Prague:20240115T080000\n"
                                 "END:VEVENT\n");
    EXPECT_EQ(scan(slot), ok(1705296600, 1705302000));
    EXPECT_EQ(maskprefixes(harness::logtext()),
              "<T>na radku 3 ve file /home/kamnar/a.ics nalezeno  BEGIN:VEVENT  bez predchoziho "
              "END:VEVENT \n");
}

TEST_F(Scanner, FileEndingInsideAnEventDropsIt) {
    int slot = calendar("a.ics", "BEGIN:VEVENT\n"
                                 "DTSTART;VALUE=DATE:20240120\n"
                                 "DTEND;VALUE=DATE:20240120\n"
                                 "END:VEVENT\n"
                                 "BEGIN:VEVENT\n"
                                 "DTSTART;VALUE=DATE:20240100\n"
                                 "DESCRIPTION:half");
    EXPECT_EQ(scan(slot), ok(1705705200, 1705705200));
    EXPECT_EQ(harness::logtext(),
              "na radku 7 ve file /home/kamnar/a.ics nerozumim DESCRIPTION:half \n");
}

TEST_F(Scanner, RefusedTimeAfterAGoodOneClearsIt) {
    int slot = calendar("a.ics", "BEGIN:VEVENT\n"
                                 "DTSTART;TZID=Europe/Prague:20240115T063000\n"
                                 "DTEND;TZID=Europe/Prague:20240115T080000\n"
                                 "DTSTART;TZID=Europe/Berlin:20240115T070000\n"
                                 "END:VEVENT\n");
    EXPECT_EQ(scan(slot), err(0, 1705302000));
    EXPECT_EQ(harness::logtext(),
              "  najdicas: v radku nenalezeno TZID=Europe/Prague: ani VALUE=DATE:  "
              "---DTSTART;TZID=Europe/Berlin:20240115T070000\n--- \n"
              "na radku 4 ve file /home/kamnar/a.ics spatne zadan cas "
              "DTSTART;TZID=Europe/Berlin:20240115T070000\n \n"
              "pred radkem 5 ve file /home/kamnar/a.ics neni zadan DTSTART \n");
}

TEST_F(Scanner, MissingOrReversedTimes) {
    int slot = calendar("a.ics", "BEGIN:VEVENT\n"
                                 "DTSTART:20240115T063000Z\n" // colon form: passed over
                                 "DTEND;TZID=Europe/Prague:20240115T080000\n"
                                 "END:VEVENT\n"
                                 "BEGIN:VEVENT\n"
                                 "DTSTART;TZID=Europe/Prague:20240115T080000\n"
                                 "DTEND;TZID=Europe/Prague:20240115T063000\n"
                                 "END:VEVENT\n"
                                 "BEGIN:VEVENT\n"
                                 "DTSTART;TZID=Europe/Prague:20240115T080000\n"
                                 "END:VEVENT\n"
                                 "BEGIN:VEVENT\n"
                                 "END:VEVENT\n");
    EXPECT_EQ(scan(slot),
              err(0, 1705302000) + err(1705302000, 1705296600) + err(1705302000, 0) + err(0, 0));
    EXPECT_EQ(harness::logtext(), "pred radkem 4 ve file /home/kamnar/a.ics neni zadan DTSTART \n"
                                  "pred radkem 8 ve file /home/kamnar/a.ics je DTEND < DTSTART \n"
                                  "pred radkem 11 ve file /home/kamnar/a.ics neni zadan DTEND \n"
                                  "pred radkem 11 ve file /home/kamnar/a.ics je DTEND < DTSTART \n"
                                  "pred radkem 13 ve file /home/kamnar/a.ics neni zadan DTSTART \n"
                                  "pred radkem 13 ve file /home/kamnar/a.ics neni zadan DTEND \n");
}

TEST_F(Scanner, UnfilledSlotsAndVanishedFiles) {
    calendar("a.ics", "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20240120\nDTEND;VALUE=DATE:20240120\n"
                      "END:VEVENT\n");
    int gone = calendar("b.ics", "");
    ASSERT_EQ(unlink("/home/kamnar/b.ics"), 0);
    EXPECT_EQ(scan(konkal, 1), "");
    EXPECT_EQ(scan(-1, 1), "");
    EXPECT_EQ(scan(gone, 2), "");
    EXPECT_EQ(maskprefixes(harness::logtext()),
              "<T>prohledej: kalendar s cislem 2 neexistuje ! \n"
              "<T>prohledej: kalendar s cislem -1 neexistuje ! \n"
              "<T>prohledej: kalendar /home/kamnar/b.ics s cislem 1 nelze otevrit ! \n");

    // A failed slot does not stop the scan of the others, but shows in the result.
    std::string out = harness::stdoutof([] { EXPECT_EQ(prohledejvse(), 1); });
    EXPECT_EQ(out, ok(1705705200, 1705705200));
    harness::writefile("/home/kamnar/b.ics", "");
    EXPECT_EQ(harness::stdoutof([] { EXPECT_EQ(prohledejvse(), 0); }), ok(1705705200, 1705705200));
}

// A calendar replaced by a FIFO after the configuration was read is refused
// at once, not waited for until someone writes to it.
TEST_F(Scanner, FifoInPlaceOfACalendarIsNotOpened) {
    int slot = calendar("c.ics", "");
    ASSERT_EQ(unlink("/home/kamnar/c.ics"), 0);
    ASSERT_EQ(mkfifo("/home/kamnar/c.ics", 0644), 0);
    EXPECT_EQ(scan(slot, 2), "");
    EXPECT_EQ(maskprefixes(harness::logtext()),
              "<T>prohledej: kalendar /home/kamnar/c.ics s cislem 0 nelze otevrit ! \n");
}

} // namespace

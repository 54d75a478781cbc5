#include "daemonfixture.hpp"
#include "harness.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using harness::maskprefixes;

const std::string started = " \n\n\n<T> ********  Program overkal spusten ********* \n\n";

// overkal run in the daemon's sandbox, in the zone its calendars are written for.
class Overkal : public RunningDaemon {
  protected:
    harness::result run() { return harness::run({harness::bin("overkal")}, opt); }
};

TEST_F(Overkal, ScansEveryConfiguredCalendarInOrder) {
    harness::writefile("/home/kamnar/doma.ics",
                       "BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:1001\nSUMMARY:Rano\n"
                       "DTSTART;TZID=Europe/Prague:20240115T063000\n"
                       "DTEND;TZID=Europe/Prague:20240115T080000\nEND:VEVENT\n"
                       "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20240120\nDESCRIPTION:volno\n"
                       "END:VEVENT\nEND:VCALENDAR\n");
    harness::writefile("/home/kamnar/dilna.ics", "BEGIN:VEVENT\n"
                                                 "DTSTART;VALUE=DATE:20240120\n"
                                                 "DTEND;VALUE=DATE:20240121\n"
                                                 "END:VEVENT\n");
    configure("[127.0.0.3]\n"
              "7 dilna.ics\n"
              "[127.0.0.2]\n"
              "1 doma.ics\n"
              "2 chybi.ics\n");
    harness::result r = run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, " Nasel jsem END:VEVENT dtstart 1705705200  dsend 1705791600    OK \n "
                     " Nasel jsem END:VEVENT dtstart 1705296600  dsend 1705302000    OK \n "
                     " Nasel jsem END:VEVENT dtstart 1705705200  dsend 0    ERR \n ");
    EXPECT_EQ(maskprefixes(harness::logtext()),
              started + "<T>zaciname cist konfiguracni file\n\n"
                        "error: kalendarovy file /home/kamnar/chybi.ics nelze otevrit \n"
                        "prehled nactenych kalendaru\n"
                        "       127.0.0.3   7 /home/kamnar/dilna.ics \n"
                        "       127.0.0.2   1 /home/kamnar/doma.ics \n"
                        "\nprehled nactenych modulu\n"
                        " 00 --       127.0.0.3  \n"
                        " 01 --       127.0.0.2  \n"
                        "\n<T>skonceno cteni konfiguracniho file\n\n"
                        "na radku 10 ve file /home/kamnar/doma.ics nerozumim DESCRIPTION:volno\n \n"
                        "pred radkem 11 ve file /home/kamnar/doma.ics neni zadan DTEND \n"
                        "pred radkem 11 ve file /home/kamnar/doma.ics je DTEND < DTSTART \n"
                        " \n\n<T>Program overkal skoncil \n\n");
}

// A FIFO in place of a calendar never holds overkal: the calendar is dropped
// with the cannot-open entry and the others are scanned. (The configuration
// and the log are opened by the start it shares with the daemon: its tests
// run both programs, in lifecycle_test.)
TEST_F(Overkal, FifoInPlaceOfACalendarNeverHoldsIt) {
    harness::writefile("/home/kamnar/a.ics", "BEGIN:VEVENT\nDTSTART;VALUE=DATE:20240120\n"
                                             "DTEND;VALUE=DATE:20240121\nEND:VEVENT\n");
    ASSERT_EQ(mkfifo("/home/kamnar/roura.ics", 0644), 0);
    configure("[127.0.0.2]\n1 roura.ics\n2 a.ics\n");
    harness::result r = run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, " Nasel jsem END:VEVENT dtstart 1705705200  dsend 1705791600    OK \n ");
    EXPECT_NE(harness::logtext().find("error: kalendarovy file /home/kamnar/roura.ics nelze "
                                      "otevrit \nprehled nactenych kalendaru\n"
                                      "       127.0.0.2   2 /home/kamnar/a.ics \n"),
              std::string::npos);
}

} // namespace

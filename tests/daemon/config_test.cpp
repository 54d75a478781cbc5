#include "config.hpp"
#include "harness.hpp"
#include "tables.hpp"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using harness::maskprefixes;

const std::string head = "<T>zaciname cist konfiguracni file\n\n";
const std::string tail = "\n<T>skonceno cteni konfiguracniho file\n\n";

std::string dotted(std::uint32_t a) {
    in_addr x{a};
    return inet_ntoa(x);
}

// Reads the configuration text with the daemon's reader inside a fresh
// sandbox; the calendar files named in `files` exist under /home.
class Config : public ::testing::Test {
  protected:
    void SetUp() override { harness::sandbox(); }

    void files(std::initializer_list<const char *> paths) {
        for (const char *p : paths) {
            std::string path = p;
            mkdir(path.substr(0, path.rfind('/')).c_str(), 0755);
            harness::writefile(path, "BEGIN:VCALENDAR\n");
        }
    }

    std::string read(const std::string &text) {
        harness::writefile("/home/kamnar.conf", text);
        inicializujtabulky();
        FILE *f = std::fopen("/home/kamnar.conf", "r");
        EXPECT_NE(f, nullptr);
        ctikonfiguraci(f);
        return maskprefixes(harness::logtext());
    }
};

TEST_F(Config, WorkedExample) {
    files(
        {"/srv/kalendare/obyvak.ics", "/srv/kalendare/kuchyne.ics", "/srv/kalendare/pracovna.ics"});
    std::string log = read("homedir /srv/kalendare/\n"
                           "#obyvak a kuchyne\n"
                           "[192.168.1.20]\n"
                           "1 obyvak.ics\n"
                           "2 kuchyne.ics\n"
                           "x koupelna.ics\n"
                           "[192.168.1.300]\n"
                           "5 pokoj.ics\n"
                           "[192.168.1.21]\n"
                           "3 loznice.ics\n"
                           "[192.168.1.20]\n"
                           "6 pracovna.ics\n");
    EXPECT_EQ(log, head +
                       "retezec x koupelna.ics\n nezacina cislem - zahazuji \n"
                       " !!! format adresy chybny, sekci preskakuji !!!\n"
                       "error: kalendarovy file /srv/kalendare/loznice.ics nelze otevrit \n"
                       "prehled nactenych kalendaru\n"
                       "    192.168.1.20   1 /srv/kalendare/obyvak.ics \n"
                       "    192.168.1.20   2 /srv/kalendare/kuchyne.ics \n"
                       "    192.168.1.20   6 /srv/kalendare/pracovna.ics \n"
                       "\nprehled nactenych modulu\n"
                       " 00 --    192.168.1.20  \n" +
                       tail);
    EXPECT_STREQ(homedir, "/srv/kalendare/");
    ASSERT_EQ(konkal, 3);
    ASSERT_EQ(konpolemod, 1);
    EXPECT_EQ(dotted(polemod[0].adresa), "192.168.1.20");
    EXPECT_STREQ(polekal[2].cesta, "/srv/kalendare/pracovna.ics");
    EXPECT_EQ(polekal[2].cislo, 6);
    EXPECT_EQ(dotted(polekal[1].adresa), "192.168.1.20");
    EXPECT_EQ(polemod[1].adresa, zadnaadresa);
}

TEST_F(Config, EmptyFileGivesHeadingsOnlyAndDefaultHome) {
    EXPECT_EQ(read(""), head + "prehled nactenych kalendaru\n\nprehled nactenych modulu\n" + tail);
    EXPECT_STREQ(homedir, "/home/kamnar/");
    EXPECT_EQ(konkal, 0);
    EXPECT_EQ(konpolemod, 0);
}

TEST_F(Config, CommentsAnywhereDiscardTheWholeLine) {
    files({"/home/kamnar/a.ics", "/home/kamnar/b#.ics"});
    read("[10.0.0.1] # kotel\n"
         "1 a.ics # obyvak\n"
         "[10.0.0.2]\n"
         "2 b#.ics\n"
         "3 a.ics\n");
    ASSERT_EQ(konkal, 1);
    EXPECT_EQ(dotted(polekal[0].adresa), "10.0.0.2");
    EXPECT_EQ(polekal[0].cislo, 3);
}

TEST_F(Config, HomeDirectoryRules) {
    files({"/srv/a/x.ics", "/srv/xy.ics"});
    read("[10.0.0.1]\n"
         "homedir = /srv/a/  trailing words\n"
         "1 x.ics\n"
         "homedir:/srv/x\n" // no final slash: the name is glued on
         "2 y.ics\n"
         "3 homedir/x.ics\n"); // the keyword and a slash make any line a homedir line
    ASSERT_EQ(konkal, 2);
    EXPECT_STREQ(polekal[0].cesta, "/srv/a/x.ics");
    EXPECT_STREQ(polekal[1].cesta, "/srv/xy.ics");
    EXPECT_STREQ(homedir, "/x.ics");
}

TEST_F(Config, HomeDirectoryIsCutTo100Characters) {
    std::string longdir = "/" + std::string(120, 'd') + "/";
    read("homedir " + longdir + "\n");
    EXPECT_EQ(std::string(homedir), longdir.substr(0, 100));
}

TEST_F(Config, HomeLineWithoutSlashIsACalendarLine) {
    std::string log = read("[10.0.0.1]\nhomedir kalendare\n");
    EXPECT_NE(log.find("retezec homedir kalendare\n nezacina cislem - zahazuji \n"),
              std::string::npos);
    EXPECT_STREQ(homedir, "/home/kamnar/");
}

TEST_F(Config, HeaderRules) {
    files({"/home/kamnar/a.ics"});
    std::string log = read("1 a.ics\n" // before any section: ignored
                           "[10.0.0.1]\n"
                           "] [10.0.0.9]\n" // "]" first: the section stays
                           "1 a.ics\n"
                           "[255.255.255.255]\n" // all ones is the error value
                           "2 a.ics\n"
                           "[]\n"
                           "[10.0.0.5]" +
                           std::string(188, 'x') +
                           "\n" // 199 with LF
                           "3 a.ics\n"
                           "4 a[1].ics\n" // a header of 0.0.0.1
                           "5 a.ics\n");
    const std::string bad = " !!! format adresy chybny, sekci preskakuji !!!\n";
    EXPECT_EQ(log.substr(head.size(), 3 * bad.size()), bad + bad + bad);
    EXPECT_EQ(log.find("retezec"), std::string::npos);
    ASSERT_EQ(konkal, 2);
    EXPECT_EQ(dotted(polekal[0].adresa), "10.0.0.1");
    EXPECT_EQ(dotted(polekal[1].adresa), "0.0.0.1");
    EXPECT_EQ(polekal[1].cislo, 5);
    ASSERT_EQ(konpolemod, 2);
}

TEST_F(Config, HeaderJustUnderTheLengthLimitStillCounts) {
    files({"/home/kamnar/a.ics"});
    read("[10.0.0.5]" + std::string(187, 'x') + "\n1 a.ics\n"); // 198 with LF
    ASSERT_EQ(konpolemod, 1);
    EXPECT_EQ(dotted(polemod[0].adresa), "10.0.0.5");
}

TEST_F(Config, CalendarLineRules) {
    files({"/home/kamnar/a.ics", "/home/kamnar/a b.ics", "/home/kamnar/\ta.ics"});
    std::string log = read("[10.0.0.1]\n"
                           "-7 a.ics\r\n"  // negative number, CR LF removed
                           "8   a b.ics\n" // blanks before the name skipped, inside kept
                           "9 a.ics  \n"   // trailing blanks stay and fail the open
                           "10\ta.ics x\n" // a tab after the number
                           "11\ta.ics\n"   // a tab and no blank at all: silent
                           "12 \ta.ics\n"  // only blanks are skipped
                           "\n"
                           "  13 a.ics\n"); // leading blanks before the number
    EXPECT_EQ(log, head +
                       "error: kalendarovy file /home/kamnar/a.ics   nelze otevrit \n"
                       "retezec 10\ta.ics x\n nezacina cislem - zahazuji \n"
                       "prehled nactenych kalendaru\n"
                       "        10.0.0.1  -7 /home/kamnar/a.ics \n"
                       "        10.0.0.1   8 /home/kamnar/a b.ics \n"
                       "        10.0.0.1  12 /home/kamnar/\ta.ics \n"
                       "        10.0.0.1  13 /home/kamnar/a.ics \n"
                       "\nprehled nactenych modulu\n"
                       " 00 --        10.0.0.1  \n" +
                       tail);
}

TEST_F(Config, SameAddressInTwoSectionsIsOneModule) {
    files({"/home/kamnar/a.ics"});
    read("[10.0.0.2]\n1 a.ics\n[10.0.0.1]\n2 a.ics\n[10.0.0.2]\n3 a.ics\n");
    ASSERT_EQ(konpolemod, 2);
    EXPECT_EQ(dotted(polemod[0].adresa), "10.0.0.2");
    EXPECT_EQ(dotted(polemod[1].adresa), "10.0.0.1");
    EXPECT_EQ(konkal, 3);
}

TEST_F(Config, SectionWithoutAcceptedCalendarGivesNoModule) {
    files({"/home/kamnar/a.ics"});
    read("[10.0.0.1]\n1 missing.ics\n[10.0.0.2]\n2 a.ics\n");
    ASSERT_EQ(konpolemod, 1);
    EXPECT_EQ(dotted(polemod[0].adresa), "10.0.0.2");
}

TEST_F(Config, The31stCalendarEndsTheReading) {
    files({"/home/kamnar/a.ics"});
    std::string text;
    for (int i = 1; i <= 31; ++i)
        text += "[10.0.1." + std::to_string(i) + "]\n" + std::to_string(i) + " a.ics\n";
    text += "[10.0.2.1]\n99 a.ics\nhomedir /elsewhere/\n";
    read(text);
    EXPECT_EQ(konkal, 31);
    EXPECT_EQ(konpolemod, 30); // the 31st line's module gets no slot
    EXPECT_EQ(polemod[30].adresa, zadnaadresa);
    EXPECT_EQ(polekal[30].cislo, 31);
    EXPECT_STREQ(homedir, "/home/kamnar/"); // the lines after it are never read
}

TEST_F(Config, OverlongPathIsRefusedNotCopied) {
    std::string dir = "/home/" + std::string(90, 'd') + "/";
    std::string name = std::string(110, 'n') + ".ics"; // the file exists, the path is 211
    mkdir(dir.c_str(), 0755);
    harness::writefile(dir + name, "x");
    std::string fits = std::string(203 - dir.size(), 'f');
    harness::writefile(dir + fits, "x");
    std::string log = read("homedir " + dir + "\n[10.0.0.1]\n1 " + name + "\n2 " + fits + "\n");
    EXPECT_NE(log.find("error: kalendarovy file " + dir + name + " nelze otevrit \n"),
              std::string::npos);
    ASSERT_EQ(konkal, 1);
    EXPECT_EQ(std::string(polekal[0].cesta), dir + fits);
    EXPECT_EQ(std::strlen(polekal[0].cesta), 203u);
    EXPECT_EQ(polekal[1].cislo, -1);
}

TEST(ConfigLine, FindsTheHomeDirectoryValue) {
    char a[] = "xxhomedir=/a/b/ c\n";
    EXPECT_STREQ(najdidir(a), "/a/b/");
    char b[] = "homedir /a/b/\r\n";
    EXPECT_STREQ(najdidir(b), "/a/b/");
    char c[] = "/x homedir y\n";
    EXPECT_EQ(najdidir(c), nullptr);
    char d[] = "[1.2.3.4]\n";
    EXPECT_EQ(najdidir(d), nullptr);
}

TEST(ConfigLine, ReadsCalendarNumbersLikeStrtol) {
    int n = 0;
    std::string_view name;
    EXPECT_EQ(ctikalendar("+5 a.ics\n", &n, &name), kalradek::platny);
    EXPECT_EQ(n, 5);
    EXPECT_EQ(name, "a.ics");
    EXPECT_EQ(ctikalendar("5x a.ics\n", &n, &name), kalradek::necislo);
    EXPECT_EQ(ctikalendar("- a.ics\n", &n, &name), kalradek::necislo);
    EXPECT_EQ(ctikalendar("5\n", &n, &name), kalradek::bezmezery);
    EXPECT_EQ(ctikalendar("5 \n", &n, &name), kalradek::platny);
    EXPECT_EQ(name, "");
}

} // namespace

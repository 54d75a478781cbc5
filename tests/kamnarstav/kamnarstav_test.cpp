// kamnarstav: its table of what the file holds, and the program on files
// it did not write.
#include "harness.hpp"
#include "rodiny.hpp"
#include "stav.hpp"
#include "tabulka.hpp"
#include "trimoduly.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <utility>

namespace {

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// The log's line when its disk has not answered for a second or more,
// entries were lost or the system refuses them; the PC's clock's line when
// the file has it; the table of a house without modules.
TEST(Table, LogLineClockLineAndNoModule) {
    EXPECT_TRUE(has(tabulka(ctiprehled("kamnar_log_cekajici 12\nkamnar_log_nezapsano_seconds "
                                       "35.2\nkamnar_log_ztraceno_total 0\n"),
                            0),
                    "\nlog se nezapisuje 35 s, ceka 12 zaznamu, ztraceno 0 zaznamu\n"));
    EXPECT_FALSE(has(tabulka(ctiprehled("kamnar_log_nezapsano_seconds 0.3\n"), 0), "log se"));
    EXPECT_TRUE(has(tabulka(ctiprehled("kamnar_log_ztraceno_total 7\n"), 0),
                    "\nlog se nezapisuje 0 s, ceka 0 zaznamu, ztraceno 7 zaznamu\n"));
    EXPECT_TRUE(has(tabulka(ctiprehled("kamnar_hodiny_pc_synchronizovany 1\n"
                                       "kamnar_hodiny_pc_maxerror_seconds 0.0125\n"),
                            0),
                    "zpozdeni cyklu -\nhodiny PC synchronizovany, maxerror 0.013 s\n"));
    EXPECT_TRUE(has(tabulka(ctiprehled("kamnar_hodiny_pc_synchronizovany 0\n"
                                       "kamnar_hodiny_pc_maxerror_seconds 16.5\n"),
                            0),
                    "\nhodiny PC NEJSOU synchronizovany, maxerror 16.500 s - moduly dostavaji "
                    "cas bez zaruky\n"));
    EXPECT_FALSE(has(tabulka(ctiprehled(""), 0), "hodiny PC"));
    EXPECT_TRUE(has(tabulka(ctiprehled("kamnar_log_cekajici 3\nkamnar_log_nezapsano_seconds 2\n"
                                       "kamnar_log_chyba_zapisu 28\n"),
                            0),
                    "\nlog se nezapisuje 2 s, ceka 3 zaznamu, ztraceno 0 zaznamu, system odmita "
                    "zapis - chyba cislo 28\n"));

    prehled prazdny = ctiprehled("");
    EXPECT_EQ(tabulka(prazdny, 0), "v konfiguraci neni zadny modul\nkamnar bezi od -, paketu od "
                                   "modulu 0, z cizich adres 0, zpozdeni cyklu -\n");
    EXPECT_EQ(vysledek(prazdny), 0);
}

// The program itself on files it did not write: the exit status a cron job
// or a monitoring check sees.
TEST(Kamnarstav, ExitStatusSaysWhetherEveryModuleAnswersAndTheDaemonRuns) {
    harness::sandbox();
    harness::options opt;
    opt.env = {"TZ=UTC"};
    harness::result r = harness::run({harness::bin("kamnarstav")}, opt);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "Soubor /run/kamnar/kamnar.prom neexistuje - kamnar nebezi\n");

    mkdir("/run/kamnar", 0755);
    filltables();
    harness::writefile(cestastavu, vytvorstav());
    r = harness::run({harness::bin("kamnarstav")}, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.out, "   01  192.168.1.21     NE        nikdy")) << r.out;
    EXPECT_TRUE(has(r.out, "kamnar bezi od 07.12.2026 07:53:20, ")) << r.out;

    polemod[1].hlidac = 3;
    harness::writefile(cestastavu, vytvorstav());
    r = harness::run({harness::bin("kamnarstav")}, opt);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, "   01  192.168.1.21     ano       nikdy")) << r.out;

    // A file cut short, and one that is not the daemon's: its line, no table.
    const std::pair<std::string, std::string> necele[] = {
        {vytvorstav() + "kamnar_modul_odp", "neni cely - jeho posledni radek nema konec"},
        {"# jiny soubor\n", "neni stav kamnaru - chybi v nem kamnar_bezi"},
    };
    for (const auto &[soubor, radek] : necele) {
        harness::writefile(cestastavu, soubor);
        r = harness::run({harness::bin("kamnarstav")}, opt);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "Soubor /run/kamnar/kamnar.prom " + radek + "\n");
    }
    harness::writefile(cestastavu, vytvorstav());

    // A file the daemon has not rewritten for more than 30 s.
    timespec old[2] = {{std::time(nullptr) - 45, 0}, {std::time(nullptr) - 45, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, cestastavu, old, 0), 0);
    r = harness::run({harness::bin("kamnarstav")}, opt);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(std::regex_match(
        r.out, std::regex("Soubor /run/kamnar/kamnar.prom je 4[5-9] s stary - kamnar nebezi\n")))
        << r.out;

    // Nor one written after the present moment: the clock was set back since
    // the daemon last wrote it (rewritten, it would be of the new clock).
    timespec future[2] = {{std::time(nullptr) + 60, 0}, {std::time(nullptr) + 60, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, cestastavu, future, 0), 0);
    r = harness::run({harness::bin("kamnarstav")}, opt);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(std::regex_match(
        r.out,
        std::regex("Soubor /run/kamnar/kamnar.prom je z budoucnosti \\(o (59|60) s\\) - kamnar "
                   "nebezi\n")))
        << r.out;
}

} // namespace

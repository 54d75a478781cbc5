// The state file as its readers take it: the values in its text, and the
// one judgement of the whole file that kamnarstav and kamnarweb share.
#include "cteni.hpp"
#include "harness.hpp"
#include "rodiny.hpp"

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(StateReader, PassesOverValuesTheDaemonNeverWrites) {
    // Values the daemon never writes are passed over, not converted.
    prehled spatny = ctiprehled("kamnar_modul_odpovida{modul=\"0\",adresa=\"x\"} +Inf\n"
                                "kamnar_modul_posledni_paket_timestamp_seconds{modul=\"0\",adresa="
                                "\"x\"} -9e18\nkamnar_modul_tmr1{modul=\"0\",adresa=\"x\","
                                "stari=\"0\"} NaN\n");
    ASSERT_EQ(spatny.moduly.size(), 0u);
}

// Each state of the file with its line, the file's time set against the
// moment given to the reader (no clock is read).
TEST(StateJudgement, EachStateOfTheFileHasItsLine) {
    harness::sandbox();
    setenv("TZ", "UTC", 1);
    tzset();
    mkdir(adresarstavu, 0755);
    const long long ted = 1796630400;
    const std::string soubor = "Soubor /run/kamnar/kamnar.prom ";
    const struct {
        std::string text; // "": no file
        long long stari;
        stavsouboru stav;
        std::string radek;
    } pripady[] = {
        {"", 0, stavsouboru::chybi, soubor + "neexistuje - kamnar nebezi"},
        {"kamnar_bezi 1\n", 0, stavsouboru::bezi, ""},
        {"kamnar_bezi 0\n", 2, stavsouboru::skoncil, "kamnar nebezi - skoncil 07.12.2026 07:59:58"},
        {"kamnar_bezi 1\n", 45, stavsouboru::stary, soubor + "je 45 s stary - kamnar nebezi"},
        {"kamnar_bezi 1\n", -60, stavsouboru::stary,
         soubor + "je z budoucnosti (o 60 s) - kamnar nebezi"},
        {std::string(2 << 20, '\n'), 0, stavsouboru::velky,
         soubor + "je prilis velky (2097152 B, cte se nejvice 1048576 B)"},
        {"kamnar_bezi 1\nkamnar_modul_odp", 0, stavsouboru::neuplny,
         soubor + "neni cely - jeho posledni radek nema konec"},
        {"\x7f"
         "ELF\x02\x01\x01\n\x00\xff",
         0, stavsouboru::cizi, soubor + "neni stav kamnaru - chybi v nem kamnar_bezi"},
    };
    for (const auto &p : pripady) {
        SCOPED_TRACE(p.radek);
        unlink(cestastavu);
        if (!p.text.empty()) {
            harness::writefile(cestastavu, p.text);
            timespec cas[2] = {{ted - p.stari, 0}, {ted - p.stari, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, cestastavu, cas, 0), 0);
        }
        snimek s = nactistav(cestastavu, ted);
        EXPECT_EQ(s.stav, p.stav);
        EXPECT_EQ(zprava(s, cestastavu), p.radek);
    }
    // Whatever stands at the path is only looked at: a directory is unreadable.
    unlink(cestastavu);
    ASSERT_EQ(mkdir(cestastavu, 0755), 0);
    snimek s = nactistav(cestastavu, ted);
    EXPECT_EQ(s.stav, stavsouboru::nelzeprecist);
    EXPECT_EQ(zprava(s, cestastavu), soubor + "nelze precist - chyba cislo 21");
}

} // namespace

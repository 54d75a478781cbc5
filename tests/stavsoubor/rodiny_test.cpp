// The state file's vocabulary, which the daemon writes by and its readers
// read by.
#include "pricinyresetu.hpp"
#include "rodiny.hpp"

#include <gtest/gtest.h>
#include <string_view>

namespace {

// Every family is found by its name; the modules' families, and only they,
// are named kamnar_modul_*, and the counters, and only they, *_total.
TEST(Families, EachFoundByItsNameAndNamedForWhatItIs) {
    for (const popisrodiny &p : rodiny) {
        std::string_view jmeno = p.jmeno;
        EXPECT_EQ(najdirodinu(jmeno), &p) << jmeno;
        EXPECT_EQ(jmeno.starts_with("kamnar_modul_"), modulova(p.r)) << jmeno;
        EXPECT_EQ(jmeno.ends_with("_total"), std::string_view(p.typ) == "counter") << jmeno;
    }
    EXPECT_EQ(najdirodinu("kamnar_modul"), nullptr);
    EXPECT_EQ(najdirodinu("kamnar_bezi_total"), nullptr);
}

// The reset cause's HELP line names every cause the log reports, from the
// causes' own table.
TEST(Families, ResetCauseHelpIsTheLegendOfTheCauses) {
    EXPECT_EQ(napovedarodiny(*najdirodinu("kamnar_modul_reset_pricina")),
              "Posledni hlasena pricina resetu modulu: 0 nesmyslna hodnota, 1 PowerUp, 2 BOR, "
              "3 SOFTE, 4 WDT, 5 jiny, 129 AddressErrorTrap, 130 StackErrorTrap");
    for (int kod = 0; kod < 256; ++kod)
        EXPECT_EQ(slovacosestalo(kod) != nullptr,
                  legendaresetu().find(", " + std::to_string(kod) + " ") != std::string::npos ||
                      legendaresetu().starts_with(std::to_string(kod) + " "))
            << kod;
}

} // namespace

#include "pricinyresetu.hpp"

#include <gtest/gtest.h>

namespace {

TEST(ResetReport, TextForEveryCause) {
    std::tm t{};
    t.tm_hour = 23;
    t.tm_min = 3;
    t.tm_sec = 5;
    t.tm_mday = 4;
    t.tm_mon = 10;
    t.tm_year = 123;
    auto text = [&](int cause) { return textcosestalo(7, cause, 0x1A2B, 0x00C3, t); };
    EXPECT_EQ(text(0), "Modul 07 - prisla nesmyslna hodnota cosestalo[0] = 0 \n");
    EXPECT_EQ(text(1), "Modul 07 - PowerUp Reset ****** \n");
    EXPECT_EQ(text(2),
              "Modul 07 - BOR reset - pokles napajeni - jeho posledni cas  23:03:05 04.11.2023 \n");
    EXPECT_EQ(text(3), "Modul 07 - SOFTE Reset - jeho posledni cas  23:03:05 04.11.2023 \n");
    EXPECT_EQ(text(4), "Modul 07 - WDT Reset - jeho posledni cas  23:03:05 04.11.2023 \n");
    EXPECT_EQ(text(5), "Modul 07 - Nejaky jiny RESET - jeho posledni cas  23:03:05 04.11.2023 \n");
    EXPECT_EQ(text(129), "Modul 07 - AddressErrorTrap  - jeho posledni cas  23:03:05 04.11.2023  "
                         "navratova adresa 0x1a2b status 0x00c3 \n");
    EXPECT_EQ(text(130), "Modul 07 - StackErrorTrap - jeho posledni cas  23:03:05 04.11.2023  "
                         "navratova adresa 0x1a2b status 0x00c3  \n");
    for (int quiet : {6, 7, 128, 131, 200, 255})
        EXPECT_EQ(text(quiet), "") << quiet;
}

} // namespace

#include "datagram.hpp"

#include <gtest/gtest.h>
#include <vector>

namespace {

using bytes = std::vector<std::uint8_t>;

bytes vec(const auto &a) {
    return bytes(a.begin(), a.end());
}

TEST(Command, CarriesCodeZeroAndTheLow32BitsOfTheTime) {
    EXPECT_EQ(vec(sestavprikaz(2, 1700000000)), (bytes{0x02, 0x00, 0x00, 0xF1, 0x53, 0x65}));
    EXPECT_EQ(vec(sestavprikaz(8, 1700000000)), (bytes{0x08, 0x00, 0x00, 0xF1, 0x53, 0x65}));
    EXPECT_EQ(vec(sestavprikaz(13, 1700000000)), (bytes{0x0D, 0x00, 0x00, 0xF1, 0x53, 0x65}));
    EXPECT_EQ(vec(sestavprikaz(2, (std::time_t{1} << 32) + 0x01020304)),
              (bytes{0x02, 0x00, 0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(vec(sestavprikaz(2, 0xFFFFFFFF)), (bytes{0x02, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(Status, DecodesEveryFieldLittleEndianAndUnsigned) {
    bytes d{0x01, 0x40, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF1, 0x53, 0x65, 0x34, 0x12};
    stavmodulu s = ctistav(d);
    EXPECT_EQ(s.typ, 1);
    EXPECT_EQ(s.status, 0x40);
    EXPECT_EQ(s.cosestalo, 6);
    EXPECT_EQ(s.casmodulu, 1700000000u);
    EXPECT_EQ(s.hodnota, 4660);

    bytes f{0x81, 0xFF, 0x82, 0xFF, 0xFF, 0x34, 0x12, 0x77,
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x99};
    s = ctistav(f);
    EXPECT_EQ(s.typ, 0x81);
    EXPECT_EQ(s.cosestalo, 130);
    EXPECT_EQ(s.navrat, 65535);
    EXPECT_EQ(s.stavtrap, 0x1234);
    EXPECT_EQ(s.casmodulu, 4294967295u);
    EXPECT_EQ(s.hodnota, 65535);
}

TEST(Status, MissingBytesOfAShortDatagramReadAsZero) {
    bytes d{0x09, 0x40, 0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};
    stavmodulu s = ctistav(d); // 13 bytes: the high byte of the value is missing
    EXPECT_EQ(s.hodnota, 0xAA);
    EXPECT_EQ(s.casmodulu, 0x99887766u);
    s = ctistav(bytes{});
    EXPECT_EQ(s.typ, 0);
    EXPECT_EQ(s.cosestalo, 0);
    EXPECT_EQ(s.hodnota, 0);
}

TEST(Status, BuildsWhatItReads) {
    stavmodulu s{4, 0x41, 129, 0xBEEF, 0x0102, 0x89ABCDEF, 0xFEDC};
    stavmodulu t = ctistav(sestavstav(s));
    EXPECT_EQ(vec(sestavstav(t)), vec(sestavstav(s)));
    EXPECT_EQ(t.navrat, 0xBEEF);
    EXPECT_EQ(t.casmodulu, 0x89ABCDEFu);
}

TEST(ResetReport, TextForEveryCause) {
    std::tm t{};
    t.tm_hour = 23;
    t.tm_min = 3;
    t.tm_sec = 5;
    t.tm_mday = 4;
    t.tm_mon = 10;
    t.tm_year = 123;
    auto text = [&](int cause) {
        stavmodulu s{1, 0, static_cast<std::uint8_t>(cause), 0x1A2B, 0x00C3, 0, 0};
        return textcosestalo(7, s, t);
    };
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

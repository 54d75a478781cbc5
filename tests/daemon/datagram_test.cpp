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

// The wait from an instant (seconds, microseconds) to the next send.
double waitfrom(std::time_t s, long us) {
    std::timespec t = casodeslani(s);
    return static_cast<double>(t.tv_sec - s) + (t.tv_nsec / 1000 - us) / 1e6;
}

TEST(SendTime, HalfASecondAfterTheNextFullTen) {
    const std::time_t k = 1700000000; // a full ten
    EXPECT_DOUBLE_EQ(waitfrom(k + 3, 200000), 7.3);
    EXPECT_DOUBLE_EQ(waitfrom(k + 9, 800000), 0.7);
    EXPECT_DOUBLE_EQ(waitfrom(k, 500000), 10.0); // a wake at x0.5 waits for the next ten
    EXPECT_DOUBLE_EQ(waitfrom(k, 700000), 9.8);
    EXPECT_DOUBLE_EQ(waitfrom(k + 9, 999999), 0.500001);
    EXPECT_DOUBLE_EQ(waitfrom(k, 0), 10.5);
}

TEST(SendTime, UnitkickWaitsForTheNextHalfSecond) {
    auto wait = [](long us) {
        std::timespec t = pristipulsekunda(100, us);
        return static_cast<double>(t.tv_sec - 100) + (t.tv_nsec / 1000 - us) / 1e6;
    };
    EXPECT_DOUBLE_EQ(wait(200000), 0.3);
    EXPECT_DOUBLE_EQ(wait(800000), 0.7);
    EXPECT_DOUBLE_EQ(wait(500000), 0.0);
    EXPECT_DOUBLE_EQ(wait(0), 0.5);
    EXPECT_DOUBLE_EQ(wait(999999), 0.500001);
}

} // namespace

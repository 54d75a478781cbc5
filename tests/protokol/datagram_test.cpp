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

// Every code and time sestavprikaz builds reads back as the code and the low
// 32 bits of the time; bytes after the sixth do not count, and a datagram
// shorter than six bytes is no command.
TEST(Command, ReadsWhatItBuilds) {
    for (std::uint8_t kod : {std::uint8_t{2}, std::uint8_t{8}, std::uint8_t{13}, std::uint8_t{255}})
        for (std::time_t cas :
             {std::time_t{0}, std::time_t{1700000000}, std::time_t{0x80000000},
              std::time_t{0xFFFFFFFF}, (std::time_t{1} << 32) + 0x01020304, std::time_t{-1}}) {
            std::optional<prikazmodulu> p = ctiprikaz(sestavprikaz(kod, cas));
            ASSERT_TRUE(p) << int{kod} << " " << cas;
            EXPECT_EQ(*p, (prikazmodulu{kod, static_cast<std::uint32_t>(cas)}))
                << int{kod} << " " << cas;
        }
    bytes delsi = vec(sestavprikaz(13, 0x11223344));
    delsi.insert(delsi.end(), {0xAA, 0xBB});
    EXPECT_EQ(ctiprikaz(delsi), (prikazmodulu{13, 0x11223344}));
    bytes kratsi = vec(sestavprikaz(2, 1700000000));
    kratsi.pop_back();
    EXPECT_EQ(ctiprikaz(kratsi), std::nullopt);
    EXPECT_EQ(ctiprikaz(bytes{}), std::nullopt);
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

} // namespace

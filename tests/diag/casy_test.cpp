#include "harness.hpp"
#include "textcasu.hpp"

#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>

namespace {

// Prague keeps summer time from 31 March to 27 October 2024; three days
// before each of the first two instants the clock was on the other time.
constexpr std::time_t cas1dubna = 1711965600;  // 1 April 2024 12:00 CEST
constexpr std::time_t cas29rijna = 1730199600; // 29 October 2024 12:00 CET
constexpr std::time_t cas5ledna = 1704445500;  // 5 January 2024 09:05 UTC

const std::string textduben = "CAs je 12:00   letni 1 \n Porduhe CAs je 11:00   letni 0 \n ";
const std::string textrijen = "CAs je 12:00   letni 0 \n Porduhe CAs je 13:00   letni 1 \n ";
const std::string textutc = "CAs je 10:00   letni 0 \n Porduhe CAs je 10:00   letni 0 \n ";

std::string textvzone(const char *zone, std::time_t ted) {
    setenv("TZ", zone, 1);
    tzset();
    return textcasu(ted);
}

TEST(CasyText, ThreeDaysBackAcrossBothSummerTimeChanges) {
    EXPECT_EQ(textvzone("Europe/Prague", cas1dubna), textduben);
    EXPECT_EQ(textvzone("Europe/Prague", cas29rijna), textrijen);
}

TEST(CasyText, UtcShowsTheSameClockTwiceAndPadsToTwoDigits) {
    EXPECT_EQ(textvzone("UTC", cas1dubna), textutc);
    EXPECT_EQ(textvzone("UTC", cas5ledna),
              "CAs je 09:05   letni 0 \n Porduhe CAs je 09:05   letni 0 \n ");
}

harness::result casyv(const std::string &zone, std::time_t ted) {
    harness::options opt;
    harness::preload(opt, PEVNYCAS_LIB);
    opt.env.push_back("TZ=" + zone);
    opt.env.push_back("PEVNYCAS=" + std::to_string(ted));
    return harness::run({harness::bin("casy")}, opt);
}

TEST(CasyProgram, PrintsExactlyTheTextForItsClock) {
    for (auto [zone, ted, expected] : {std::tuple{"Europe/Prague", cas1dubna, textduben},
                                       std::tuple{"Europe/Prague", cas29rijna, textrijen},
                                       std::tuple{"UTC", cas1dubna, textutc}}) {
        harness::result r = casyv(zone, ted);
        EXPECT_EQ(r.status, 0) << zone << " " << ted;
        EXPECT_EQ(r.out, expected) << zone << " " << ted;
        EXPECT_EQ(r.err, "") << zone << " " << ted;
    }
}

TEST(CasyProgram, RealClockInUtcGivesTwoEqualReadings) {
    harness::options opt;
    opt.env = {"TZ=UTC"};
    harness::result r = harness::run({harness::bin("casy")}, opt);
    EXPECT_EQ(r.status, 0);
    static const std::regex text(
        R"(CAs je (\d\d):(\d\d)   letni 0 \n Porduhe CAs je \1:\2   letni 0 \n )");
    EXPECT_TRUE(std::regex_match(r.out, text)) << r.out;
}

} // namespace

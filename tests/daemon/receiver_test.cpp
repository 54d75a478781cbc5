#include "datagram.hpp"
#include "harness.hpp"
#include "receiver.hpp"
#include "tables.hpp"

#include <arpa/inet.h>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace {

using bytes = std::vector<std::uint8_t>;
using harness::maskprefixes;

const std::uint32_t modul0 = inet_addr("127.0.0.2");
const std::uint32_t modul1 = inet_addr("127.0.0.3");

// A status datagram: type, status, cause, module time, value.
bytes status(int type, int stat, int cause, std::uint32_t time = 0, int value = 0) {
    auto b = sestavstav({static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(stat),
                         static_cast<std::uint8_t>(cause), 0, 0, time,
                         static_cast<std::uint16_t>(value)});
    return bytes(b.begin(), b.end());
}

// The receiver's handling of datagrams with two configured modules, in a
// sandbox for the log and with Prague's local time.
class Receiver : public ::testing::Test {
  protected:
    void SetUp() override {
        harness::sandbox();
        setenv("TZ", "Europe/Prague", 1);
        tzset();
        inicializujtabulky();
        pridejmodul(modul0);
        pridejmodul(modul1);
        nulujstav();
    }
    std::string handle(std::uint32_t from, const bytes &d) {
        std::string konzole;
        zpracujpaket(from, d, konzole);
        return konzole;
    }
    static std::string log() { return maskprefixes(harness::logtext()); }
};

TEST_F(Receiver, StrangerIsLoggedAndChangesNothing) {
    polemod[0].hlidac = 0;
    std::string out = handle(inet_addr("127.0.0.9"), status(typdefpr1, bitsouhlasi, 1, 0, 77));
    EXPECT_EQ(out, "");
    EXPECT_EQ(log(), "<T>prijemUDP - prisel paket z adresy 127.0.0.9 , ktera neni v konfiguracnim "
                     "file !!! \n");
    EXPECT_EQ(polemod[0].hlidac, 0);
    EXPECT_EQ(polemod[0].defpr1, -1);
    EXPECT_EQ(handle(modul0, status(1, 0, 6)).find("stavmodulu"), std::string::npos)
        << "a stranger's status byte must not count as the last one";
}

TEST_F(Receiver, DumpsTheBytesAndKeepsTheTmr1History) {
    std::string out;
    for (int v = 1; v <= 6; ++v)
        out += handle(modul0, status(v == 3 ? 4 : 1, 0, 6, 0, v));
    auto line = [](int type, int v) {
        return "Prislo:   0" + std::to_string(type) +
               "  00  06  00  00  00  00  00  00  00  00  00  0" + std::to_string(v) + "  00  \n";
    };
    EXPECT_EQ(out, line(1, 1) + "TMR1 =     1 \n" + line(1, 2) + "TMR1 =     2 \n" + line(4, 3) +
                       "TMR1 =     3 \n" + line(1, 4) + "TMR1 =     4 \n" + line(1, 5) +
                       "\n 1  2  3  4  5 \nTMR1 =     5 \n" + line(1, 6) +
                       "\n 2  3  4  5  6 \nTMR1 =     6 \n");
    EXPECT_EQ(polemod[0].odpocet, 0);
    EXPECT_EQ(polemod[1].odpocet, 5);
    EXPECT_EQ(log(), "");
}

TEST_F(Receiver, Defpr1ChoosesTheTimeCommand) {
    std::string out = handle(modul1, status(9, 0, 6, 0, 0x2A0));
    EXPECT_EQ(polemod[1].defpr1, 672);
    EXPECT_EQ(casovyprikaz(1), 2);
    EXPECT_EQ(casovyprikaz(0), 8);
    out += handle(modul1, status(9, 0, 6, 0, 0));
    EXPECT_EQ(casovyprikaz(1), 8);
    EXPECT_NE(out.find("modul  1 - prisla hodnota DEFPR1 672 \n"), std::string::npos);
    EXPECT_EQ(log(),
              "<T>modul  1 - prisla hodnota DEFPR1 672 \n<T>modul  1 - prisla hodnota DEFPR1 0 \n");
}

// A reset report reaches the log (the text of every cause: datagram_test):
// the module's time in local time, a trap's return address and status from
// the datagram's own bytes, nothing for a cause without a report, and a time
// past 2038 never negative.
TEST_F(Receiver, ResetReportsReachTheLogInLocalTime) {
    const std::uint32_t t = 1700000000; // 14.11.2023 22:13:20 UTC, 23:13:20 in Prague
    for (int cause : {6, 7, 200})
        handle(modul1, status(2, 0, cause, t));
    EXPECT_EQ(log(), "");
    handle(modul1, status(2, 0, 3, t));
    bytes trap = status(1, 0, 130, t);
    trap[3] = 0x34, trap[4] = 0x12, trap[5] = 0xFF, trap[6] = 0xFF;
    handle(modul1, trap);
    EXPECT_EQ(log(), "<T>Modul 01 - SOFTE Reset - jeho posledni cas  23:13:20 14.11.2023 \n"
                     "<T>Modul 01 - StackErrorTrap - jeho posledni cas  23:13:20 14.11.2023  "
                     "navratova adresa 0x1234 status 0xffff  \n");
    handle(modul1, status(1, 0, 3, 0xFFFFFFFF)); // 07.02.2106, never a negative time
    EXPECT_NE(log().find("jeho posledni cas  07:28:15 07.02.2106 \n"), std::string::npos);
}

TEST_F(Receiver, OneLastStatusByteServesAllModules) {
    std::string out = handle(modul0, status(2, 0x00, 6)); // equal to the start value: silent
    out += handle(modul0, status(2, bitsouhlasi, 6));
    out += handle(modul1, status(2, bitsouhlasi, 6)); // the same byte from another module: silent
    out += handle(modul1, status(2, 0x00, 6));
    out += handle(modul0, status(2, 0x41, 6));
    EXPECT_EQ(log(), "<T>cas modulu 00 127.0.0.2   souhlasi s PC \n"
                     "<T>cas modulu 01 127.0.0.3 nesouhlasi s PC \n"
                     "<T>cas modulu 00 127.0.0.2   souhlasi s PC \n");
    EXPECT_NE(out.find("\nstavmodulu je 40 \n "), std::string::npos);
    EXPECT_NE(out.find("\nstavmodulu je  0 \n "), std::string::npos);
    EXPECT_NE(out.find("\nstavmodulu je 41 \n "), std::string::npos);
}

TEST_F(Receiver, OutputOrderForOneDatagram) {
    polemod[0].hlidac = 0;
    std::string out = handle(modul0, status(typdefpr1, bitsouhlasi, 1, 0, 3));
    EXPECT_EQ(log(), "<T>Modul 00 - PowerUp Reset ****** \n"
                     "<T>modul  0 - prisla hodnota DEFPR1 3 \n"
                     "<T>Modul 0 adresa 127.0.0.2 uz zase odpovida \n"
                     "<T>cas modulu 00 127.0.0.2   souhlasi s PC \n");
    EXPECT_EQ(out, "Prislo:   09  40  01  00  00  00  00  00  00  00  00  00  03  00  \n"
                   "modul  0 - prisla hodnota DEFPR1 3 \n"
                   "\nstavmodulu je 40 \n ");
}

TEST_F(Receiver, ShortDatagramsNeverReuseEarlierBytes) {
    handle(modul0, status(typtmr1, bitsouhlasi, 3, 1700000000, 0x1234));
    std::string out = handle(modul0, bytes{0x01, 0x40, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05});
    EXPECT_NE(out.find("TMR1 =     5 \n"), std::string::npos);
    EXPECT_EQ(polemod[0].tmr1[4], 5);
    out = handle(modul0, bytes{});
    EXPECT_EQ(out, "Prislo:   \n\nstavmodulu je  0 \n ");
    EXPECT_NE(log().find("<T>Modul 00 - prisla nesmyslna hodnota cosestalo[0] = 0 \n"),
              std::string::npos);
}

TEST_F(Receiver, LongDatagramIsShownWhole) {
    bytes d = status(1, 0, 6, 0, 9);
    d.resize(delkaprijmu, 0xAB);
    std::string out = handle(modul0, d);
    std::string line = out.substr(0, out.find('\n') + 1);
    EXPECT_EQ(line.size(), 9 + 4 * delkaprijmu + 2);
    EXPECT_EQ(line.substr(line.size() - 10), " ab  ab  \n");
    EXPECT_EQ(polemod[0].tmr1[4], 9);
}

} // namespace

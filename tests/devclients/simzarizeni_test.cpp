// The simulated device server: its reading of every message kind and of
// malformed messages, and the program at work with the real clients.
#include "harness.hpp"
#include "klienti.hpp"
#include "popiszpravy.hpp"
#include "zarizenitest.hpp"

#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using zarizenitest::bajty;
using zarizenitest::obsah;

std::string popis(const std::string &z) {
    return popiszpravu(bajty(z));
}

TEST(Popis, EveryMessageTheClientsBuild) {
    std::vector<const char *> slova{"Ahoj", "svete"};
    zprava z;
    zpravasms(z, "777123456", slova);
    EXPECT_EQ(popis(obsah(z)), "SMS na cislo \"777123456\", text \"Ahoj svete \"\n");
    zpravasmsprepsana(z, "12345", slova);
    EXPECT_EQ(popis(obsah(z)), "SMS na cislo \"12345    \", text \"hoj svete \"\n");
    EXPECT_EQ(popis("P12345    "), "SMS na cislo \"12345    \", bez textu\n");
    EXPECT_EQ(popis(obsah(zpravatestsms())), "testovaci SMS\n");
    zpravaradku(z, prikazgsm, konstgsm, limitgsm, slova);
    EXPECT_EQ(popis(obsah(z)), "radek pro GSM \"Ahoj svete\" (n = 11)\n");
    zpravaradku(z, prikazdisplejekotle, konstdispleje, limitdispleje, slova);
    EXPECT_EQ(popis(obsah(z)), "displej \"Ahoj svete\" (n = 11)\n");
    EXPECT_EQ(popis(std::string("Z\x01\x02\0", 4)), "displej \"\" (n = 1)\n");
    EXPECT_EQ(popis(obsah(zpravakotle(66))), "kotel: hodnota 66\n");
    EXPECT_EQ(popis(obsah(zpravalogu(0x1abcd))), "uroven logu 0xabcd\n");
}

TEST(Popis, MalformedMessagesAreNamed) {
    EXPECT_EQ(popis(""), "prazdna zprava\n");
    EXPECT_EQ(popis("A"), "neznamy prikaz 0x41\n");
    EXPECT_EQ(popis("P123"), "chybna SMS: jen 4 bajtu, cislo ma mit 9 znaku\n");
    EXPECT_EQ(popis(std::string("Z\x09\x02"
                                "abc\0",
                                7)),
              "chybny displej: n = 9, ale za hlavickou je 4 bajtu\ndisplej \"abc\" (n = 9)\n");
    EXPECT_EQ(popis("Z\x03\x02"
                    "abc"),
              "chybny displej: neni zakoncen 0x00\ndisplej \"abc\" (n = 3)\n");
    EXPECT_EQ(popis("Z\x02\x05x"),
              "chybny prikaz Z: bajt 2 je 0x05, ani displej (0x02) ani kotel (0x04)\n");
    EXPECT_EQ(popis("L\x01"), "chybna uroven logu: 2 bajtu misto 3\n");
    EXPECT_EQ(popis(std::string("Z\x06\x02"
                                "\"\\\x01\xff"
                                "a\0",
                                9)),
              "displej \"\\x22\\x5c\\x01\\xffa\" (n = 6)\n");
    EXPECT_EQ(hexvypis(bajty("P77"), 2), "50 37 ...");
}

// Whatever arrives, the description is printable lines and never reads
// outside the message (the sanitizer builds watch that).
TEST(Popis, AnyBytesGivePrintableLines) {
    auto tisknutelne = [](const std::vector<std::uint8_t> &z) {
        std::string p = popiszpravu(z);
        ASSERT_FALSE(p.empty());
        EXPECT_EQ(p.back(), '\n');
        for (char c : p)
            ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << hexvypis(z, 300);
    };
    const std::vector<std::uint8_t> zajimave{0x00, 0x01, 0x02, 0x03, 0x04, 0x11, 0x20, 0x22, 'G',
                                             'L',  'P',  'S',  'Z',  0x7F, 0x80, 0xF0, 0xFF};
    tisknutelne({});
    for (std::uint8_t a : zajimave)
        for (std::uint8_t b : zajimave)
            for (std::uint8_t c : zajimave) {
                tisknutelne({a});
                tisknutelne({a, b});
                tisknutelne({a, b, c});
                tisknutelne({a, b, c, 0x00});
            }
    std::mt19937 nahoda(4);
    for (int i = 0; i < 2000; ++i) {
        std::vector<std::uint8_t> z(nahoda() % 300 + 1);
        for (std::uint8_t &b : z)
            b = static_cast<std::uint8_t>(nahoda());
        z[0] = zajimave[nahoda() % zajimave.size()];
        tisknutelne(z);
    }
}

class Sim : public ::testing::Test {
  protected:
    harness::options opt;
    std::string zaznam;
    void SetUp() override {
        opt.cwd = harness::sandbox();
        zaznam = opt.cwd + "/zaznam";
    }
    harness::process spust(const std::vector<std::string> &volby) {
        std::vector<std::string> argv{harness::bin("simzarizeni")};
        argv.insert(argv.end(), volby.begin(), volby.end());
        harness::process p = harness::start(argv, opt);
        EXPECT_TRUE(harness::waitfor(
            [&] { return harness::output(p).find("posloucha") != std::string::npos; }));
        return p;
    }
    harness::result klient(const std::vector<std::string> &argv) {
        std::vector<std::string> a{harness::bin(argv.at(0))};
        a.insert(a.end(), argv.begin() + 1, argv.end());
        return harness::run(a, opt);
    }
    // Writes raw bytes on a connection of its own and closes it.
    static void posli(const std::string &bytes) {
        int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, cestasocketu);
        ASSERT_EQ(connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        ASSERT_EQ(write(s, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(s);
    }
};

TEST_F(Sim, DecodesAndRecordsWhatTheClientsSend) {
    harness::process p = spust({"-r", zaznam, "-n", "3"});
    EXPECT_EQ(klient({"txtcell", "777123456", "Ahoj"}).status, 0);
    EXPECT_EQ(klient({"lcdline", "abc"}).status, 0);
    EXPECT_EQ(klient({"loglevel", "ff"}).status, 0);
    harness::result r = harness::finish(p, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "simzarizeni posloucha na /home/system/zarizeni/komsock\n"
                     "zprava 1, 16 bajtu: 50 37 37 37 31 32 33 34 35 36 00 41 68 6f 6a 20\n"
                     "  SMS na cislo \"777123456\", text \"Ahoj \"\n"
                     "zprava 2, 7 bajtu: 5a 04 02 61 62 63 00\n"
                     "  displej \"abc\" (n = 4)\n"
                     "zprava 3, 3 bajtu: 4c ff 00\n"
                     "  uroven logu 0x00ff\n"
                     "simzarizeni konci po 3 zpravach\n");
    EXPECT_EQ(harness::readfile(zaznam), std::string("P777123456\0Ahoj ", 16) +
                                             std::string("Z\x04\x02"
                                                         "abc\0",
                                                         7) +
                                             std::string("L\xff\0", 3));
    EXPECT_EQ(access(cestasocketu, F_OK), -1) << "the socket file is removed at the end";
}

TEST_F(Sim, MalformedMessagesAreReportedAndTheServerGoesOn) {
    harness::process p = spust({"-n", "5"});
    posli("");
    posli(std::string(5000, '\xff'));
    posli(std::string("Z\x09\x02"
                      "abc\0",
                      7));
    posli("L");
    EXPECT_EQ(klient({"boilertemp", "20"}).status, 0);
    harness::result r = harness::finish(p, 0);
    EXPECT_EQ(r.status, 0);
    for (const char *radek :
         {"zprava 1, 0 bajtu: \n  prazdna zprava\n", "zprava 2, 5000 bajtu: ff ff",
          "  zprava prilis dlouha, popis a zaznam jen z prvnich 4096 bajtu\n"
          "  neznamy prikaz 0xff\n",
          "  chybny displej: n = 9, ale za hlavickou je 4 bajtu\n"
          "  displej \"abc\" (n = 9)\n",
          "zprava 4, 1 bajtu: 4c\n  chybna uroven logu: 1 bajtu misto 3\n",
          "zprava 5, 4 bajtu: 5a 02 04 3c\n  kotel: hodnota 60\n"})
        EXPECT_NE(r.out.find(radek), std::string::npos) << radek << "\n" << r.out;
}

// A device server that closes every connection at once: whether the
// client's write came first or not, it never dies of SIGPIPE and never
// reports a failed write as delivered.
TEST_F(Sim, ServerClosingAtOnce) {
    harness::process p = spust({"-x", "-n", "3"});
    for (int i = 0; i < 3; ++i) {
        harness::result r = klient({"txtcell", "777123456", "Ahoj"});
        const std::string pred = "cislo je --777123456-- \n";
        if (r.status == 0)
            EXPECT_EQ(r.out, pred + "SMS odeslana do Zarizeni \n\n");
        else {
            EXPECT_EQ(r.status, 3);
            EXPECT_EQ(r.out, pred + "Nepodarilo se zapsat do socketu /home/system/zarizeni/komsock "
                                    "errno je 32  -  koncim \n ");
        }
    }
    harness::result r = harness::finish(p, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("zprava 3: spojeni hned zavreno, nic neprecteno\n"), std::string::npos);
}

TEST_F(Sim, StopsOnSigintAndRefusesBadOptions) {
    harness::process p = spust({});
    harness::result r = harness::finish(p, SIGINT);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("simzarizeni konci po 0 zpravach\n"), std::string::npos);
    r = harness::run({harness::bin("simzarizeni"), "-n", "0"}, opt);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.starts_with("pouziti: simzarizeni")) << r.out;
}

} // namespace

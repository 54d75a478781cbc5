// What each client prints and sends for its command line, without a socket.
#include "klienti.hpp"
#include "zarizenitest.hpp"

#include <cstring>
#include <gtest/gtest.h>
#include <ostream>

// A console text in a failure report: the text itself.
static void PrintTo(const konzole &k, std::ostream *os) {
    *os << '"' << k.obsah() << '"';
}

namespace {

using klient = prikaz (*)(argumenty);
using zarizenitest::obsah;

prikaz spust(klient k, std::vector<const char *> slova) {
    return k(argumenty(slova));
}

std::string bajty(std::initializer_list<int> b) {
    std::string z;
    for (int x : b)
        z.push_back(static_cast<char>(x));
    return z;
}

std::string spoj(std::initializer_list<std::string> casti) {
    std::string z;
    for (const std::string &c : casti)
        z += c;
    return z;
}

const std::string orezavam = "\nJe to moc dlouhe - orezavam \n";
const std::string odeslana = "SMS odeslana do Zarizeni \n\n";

// Ends before any socket, with this text and status.
void jekonec(const prikaz &p, const std::string &text, int status) {
    EXPECT_EQ(p.vypis, text);
    ASSERT_TRUE(p.konec.has_value());
    EXPECT_EQ(*p.konec, status);
}

TEST(Txtcell, QuotedWordsKeepTheirBlanksAndTenthDigitIsDropped) {
    prikaz p = spust(txtcell, {"6012345678", "dobry  den", "&", "ahoj"});
    EXPECT_EQ(p.vypis, "cislo je --601234567-- \n");
    EXPECT_EQ(obsah(p.data), spoj({"P601234567", std::string(1, '\0'), "dobry  den & ahoj "}));
}

TEST(Txtcell, UsageAndMissingTextEndWithZero) {
    jekonec(spust(txtcell, {}),
            "Musi nasledovat cislo telefonu a text SMS, max. 160 pismen \n"
            "Pokud je v retezci &  dej to cele do uvozovek\n",
            0);
    jekonec(spust(txtcell, {"777123456"}), "No jo, ale chybi text ! \n", 0);
}

TEST(Txtcell, RefusedNumbersEndWithZeroAndNothingToSend) {
    auto odmitnuto = [](const char *cislo, const std::string &text) {
        prikaz p = spust(txtcell, {cislo, "Ahoj"});
        jekonec(p, text, 0);
        EXPECT_EQ(obsah(p.data), "") << cislo;
    };
    odmitnuto("77712345", "cislo je --77712345-- \nCislo musi mit 9 cislic \n");
    odmitnuto("+420777123456", "cislo je --+42077712-- \nCislo musi zacinat 6 nebo 7 \n");
    odmitnuto("", "cislo je ---- \nCislo musi zacinat 6 nebo 7 \n");
    odmitnuto("512345678", "cislo je --512345678-- \nCislo musi zacinat 6 nebo 7 \n");
    odmitnuto("77712a456", "cislo je --77712a456-- \nNA pozyici 5 je neciselny znak --a--\n");
    odmitnuto("7 7123456", "cislo je --7 7123456-- \nNA pozyici 1 je neciselny znak -- --\n");
    // A byte above 0x7F is no digit, on a signed-char build as on the board.
    odmitnuto("7771\xc3\xa9"
              "456",
              "cislo je --7771\xc3\xa9"
              "456-- \nNA pozyici 4 je neciselny znak --\xc3--\n");
    odmitnuto("777123\xb5\x35\x36",
              "cislo je --777123\xb5\x35\x36-- \nNA pozyici 6 je neciselny znak --\xb5--\n");
}

TEST(Txtcell, WordsAreAddedWhileTheMessageStaysWithin167) {
    std::string w156(156, 'a'), w157(157, 'b'), w100(100, 'c'), w60(60, 'd');
    prikaz p = spust(txtcell, {"777123456", w156.c_str()});
    EXPECT_EQ(p.vypis, "cislo je --777123456-- \n");
    EXPECT_EQ(p.data.size(), 168u);
    EXPECT_EQ(p.data.back(), ' ');

    p = spust(txtcell, {"777123456", w100.c_str(), w60.c_str()});
    EXPECT_EQ(p.vypis, "cislo je --777123456-- \n" + orezavam);
    EXPECT_EQ(obsah(p.data), spoj({"P777123456", std::string(1, '\0'), w100, " "}));

    // A first word too long leaves the text empty; a shorter later word is not tried.
    p = spust(txtcell, {"777123456", w157.c_str(), "kratke"});
    EXPECT_EQ(p.vypis, "cislo je --777123456-- \n" + orezavam);
    EXPECT_EQ(obsah(p.data), spoj({"P777123456", std::string(1, '\0')}));
    EXPECT_EQ(p.zaver, odeslana);
    EXPECT_FALSE(p.konec);
}

TEST(Txtany, FirstCharacterOfTheTextGivesWayToTheTerminator) {
    prikaz p = spust(txtany, {"12345", "XAhoj"});
    EXPECT_EQ(p.vypis, "");
    EXPECT_FALSE(p.konec);
    EXPECT_EQ(obsah(p.data), spoj({"P12345    ", std::string(1, '\0'), "Ahoj "}));
    EXPECT_EQ(p.zaver, odeslana);

    p = spust(txtany, {"+420777123456", "xdobry", "den"});
    EXPECT_EQ(obsah(p.data), spoj({"P+42077712", std::string(1, '\0'), "dobry den "}));
    p = spust(txtany, {"", "ab"});
    EXPECT_EQ(obsah(p.data), spoj({"P         ", std::string(1, '\0'), "b "}));
}

TEST(Txtany, UsageMissingTextAndTooLongText) {
    jekonec(spust(txtany, {}),
            "Musi nasledovat cislo telefonu a text SMS, max. 160 pismen \n"
            "Pokud je v retezci &  dej to cele do uvozovek\n"
            "Nedela kontrolu cisla a urezava to prvni pismenko SMS - zdvojit  \n",
            0);
    jekonec(spust(txtany, {"12345"}), "No jo, ale chybi text ! \n", 0);

    // The text starts one byte earlier than txtcell's: a word of 157 fits.
    std::string w157(157, 'a'), w158(158, 'b');
    prikaz p = spust(txtany, {"12345", w157.c_str()});
    EXPECT_EQ(p.vypis, "");
    EXPECT_EQ(p.data.size(), 168u);
    EXPECT_EQ(p.data[10], 0x00);
    p = spust(txtany, {"12345", w158.c_str()});
    EXPECT_EQ(p.vypis, orezavam);
    EXPECT_EQ(obsah(p.data), spoj({"P12345    "}));
}

TEST(Lcdline, TextLengthCountsTheClosingZero) {
    EXPECT_EQ(obsah(spust(lcdline, {"abc"}).data), bajty({0x5A, 0x04, 0x02, 'a', 'b', 'c', 0x00}));
    prikaz p = spust(lcdline, {"0123456789abcdef"});
    EXPECT_EQ(p.vypis, "");
    EXPECT_EQ(obsah(p.data), spoj({"Z\x11\x02", "0123456789abcdef", std::string(1, '\0')}));
    EXPECT_EQ(p.data.size(), 20u);
    // 3 + 7 = 10, then 11 + 8 = 19: both words.
    EXPECT_EQ(obsah(spust(lcdline, {"sedm777", "osm88888"}).data),
              spoj({"Z\x11\x02", "sedm777 osm88888", std::string(1, '\0')}));
    EXPECT_EQ(obsah(spust(lcdline, {"a  b"}).data),
              spoj({"Z\x05\x02", "a  b", std::string(1, '\0')}));
}

TEST(Lcdline, TooLongTextIsCutAtTheFirstWordThatDoesNotFit) {
    prikaz p = spust(lcdline, {"osm88888", "osm88888", "a"});
    EXPECT_EQ(p.vypis, orezavam);
    EXPECT_FALSE(p.konec);
    EXPECT_EQ(obsah(p.data), spoj({"Z\x09\x02", "osm88888", std::string(1, '\0')}));
    // Nothing fits: the well-formed empty text, not a broken three-byte message.
    p = spust(lcdline, {"sedmnact17znaku17", "a"});
    EXPECT_EQ(p.vypis, orezavam);
    EXPECT_EQ(obsah(p.data), bajty({0x5A, 0x01, 0x02, 0x00}));
}

TEST(Lcdline, UsageEndsWithZero) {
    prikaz p = spust(lcdline, {});
    jekonec(p, "Musi nasledovat to, co se ma napsat na displej - max 16 znaku \n", 0);
    EXPECT_EQ(obsah(p.data), "");
}

TEST(Modemline, LineOf250CharactersIsTheLongest) {
    std::string w250(250, 'A'), w251(251, 'B');
    prikaz p = spust(modemline, {w250.c_str()});
    EXPECT_EQ(p.vypis, "");
    ASSERT_EQ(p.data.size(), 254u);
    EXPECT_EQ(p.data[0], 0x47);
    EXPECT_EQ(p.data[1], 251);
    EXPECT_EQ(p.data[2], 0x03);
    EXPECT_EQ(p.data[253], 0x00);
    EXPECT_EQ(obsah(p.data).substr(3, 250), w250);

    p = spust(modemline, {w251.c_str()});
    EXPECT_EQ(p.vypis, orezavam);
    EXPECT_EQ(obsah(p.data), bajty({0x47, 0x01, 0x03, 0x00}));

    EXPECT_EQ(obsah(spust(modemline, {"AT+CMGF=1", "x"}).data),
              spoj({"G\x0c\x03", "AT+CMGF=1 x", std::string(1, '\0')}));
}

TEST(Modemline, UsageHasNoNewlineAtItsEnd) {
    jekonec(spust(modemline, {}),
            "Musi nasledovat to, co se ma poslat do GSM - max 250 znaku BEZ koncoveho 0x0D\n"
            "Pokud je v retezci &   dej to cele do uvozovek",
            0);
}

TEST(Boilertemp, ValueIsThreeTimesTheTemperature) {
    EXPECT_EQ(obsah(spust(boilertemp, {"75", "ignored"}).data), bajty({0x5A, 0x02, 0x04, 0xE1}));
    EXPECT_EQ(obsah(spust(boilertemp, {"0"}).data), bajty({0x5A, 0x02, 0x04, 0x00}));
}

TEST(Boilertemp, NumbersReadAsAtoiFromNineCharacters) {
    EXPECT_EQ(spust(boilertemp, {"teplo"}).vypis,
              " prectena pozadovana teplota  0 stupnu Celsia \nDo kotle posilam cislo 0 \n ");
    EXPECT_EQ(obsah(spust(boilertemp, {"22.7"}).data), bajty({0x5A, 0x02, 0x04, 66}));
    EXPECT_EQ(obsah(spust(boilertemp, {"0000000075"}).data), bajty({0x5A, 0x02, 0x04, 21}));
    EXPECT_EQ(obsah(spust(boilertemp, {" +10x"}).data), bajty({0x5A, 0x02, 0x04, 30}));
    EXPECT_EQ(ctidevet("9999999999999", 10), 999999999);
    EXPECT_EQ(ctidevet("-99999999999", 10), -99999999);
}

TEST(Boilertemp, OutOfRangeEndsWithOneAfterTheReadBack) {
    prikaz p = spust(boilertemp, {"76"});
    jekonec(p, " prectena pozadovana teplota  76 stupnu Celsia \nmoc velke -  konec \n", 1);
    EXPECT_EQ(obsah(p.data), "");
    jekonec(spust(boilertemp, {"-1"}),
            " prectena pozadovana teplota  -1 stupnu Celsia \nzaporne nelze - konec \n", 1);
    jekonec(spust(boilertemp, {"999999999999"}),
            " prectena pozadovana teplota  999999999 stupnu Celsia \nmoc velke -  konec \n", 1);
    jekonec(spust(boilertemp, {}), "Musi nasledovat jedno cislo 0 - 75 , teplota ve stupnich  \n",
            0);
}

TEST(Boilervolt, NumberIsSentAsIs) {
    prikaz p = spust(boilervolt, {"240"});
    EXPECT_FALSE(p.konec);
    EXPECT_EQ(p.vypis, " prectena pozadovana teplota  240 stupnu Celsia \n");
    EXPECT_EQ(obsah(p.data), bajty({0x5A, 0x02, 0x04, 0xF0}));
    EXPECT_EQ(obsah(spust(boilervolt, {"abc"}).data), bajty({0x5A, 0x02, 0x04, 0x00}));
    jekonec(spust(boilervolt, {"241"}),
            " prectena pozadovana teplota  241 stupnu Celsia \nmoc velke -  konec \n", 1);
    jekonec(spust(boilervolt, {"-5"}),
            " prectena pozadovana teplota  -5 stupnu Celsia \nzaporne nelze - konec \n", 1);
    jekonec(spust(boilervolt, {}),
            "Musi nasledovat jedno cislo 0 - 240 , posila se primo do BOILERTEMP \n", 0);
}

TEST(Loglevel, LowSixteenBitsLittleEndian) {
    auto zkus = [](const char *slovo, const char *ctena, int nizsi, int vyssi) {
        prikaz p = spust(loglevel, {slovo});
        EXPECT_FALSE(p.konec) << slovo;
        EXPECT_EQ(p.vypis, std::string(" prectena pozadovana uroven LOGu 0x") + ctena + "  \n");
        EXPECT_EQ(obsah(p.data), bajty({0x4C, nizsi, vyssi})) << slovo;
    };
    zkus("ff", "00ff", 0xFF, 0x00);
    zkus("0x1F", "001f", 0x1F, 0x00);
    zkus("102", "0102", 0x02, 0x01);
    zkus("1abcd", "1abcd", 0xCD, 0xAB);
    zkus("-1", "ffffffff", 0xFF, 0xFF);
    zkus("xyz", "0000", 0x00, 0x00);
    zkus("0x12345678", "1234567", 0x67, 0x45); // cut to nine characters first
    // Beyond 32 bits the board's strtol saturates; this build gives the same.
    zkus("fffffffff", "7fffffff", 0xFF, 0xFF);
    zkus("-fffffffff", "80000000", 0x00, 0x00);
    zkus("-80000000", "80000000", 0x00, 0x00);
}

TEST(Loglevel, UsageEndsWithZero) {
    jekonec(spust(loglevel, {}),
            "Musi nasledovat jedno hexadecimalni cislo 0 - 0xffff , posila se primo do loguj \n",
            0);
}

// The fixed buffers: what does not fit is cut (a text) or refused (a
// message), never written past the end; the sanitizer builds watch that.
TEST(Buffers, TextsAreCutAndMessagesRefusedAtTheirCapacity) {
    konzole k;
    const std::string dlouhy(nejdelsivypis + 100, 'x');
    pripis(k, "%d:", 12);
    pripis(k, "%s", dlouhy.c_str());
    const std::string plny = "12:" + dlouhy.substr(0, nejdelsivypis - 3);
    EXPECT_EQ(k, plny);
    pripis(k, "%d", 3);
    k += "abc";
    EXPECT_EQ(k, plny);
    konzole l;
    l += dlouhy;
    EXPECT_EQ(l, dlouhy.substr(0, nejdelsivypis));

    zprava z;
    EXPECT_TRUE(z.pridej(std::string(nejdelsizprava - 2, 'a')));
    EXPECT_FALSE(z.pridej("bcd"));
    EXPECT_TRUE(z.pridej("bc"));
    EXPECT_FALSE(z.pridej('d'));
    EXPECT_EQ(z.size(), nejdelsizprava);
    EXPECT_EQ(z.back(), 'c');
}

// Many short words fill a modem line up to the word rule and no further.
TEST(Buffers, ManyWordsStopAtTheWordRule) {
    std::vector<const char *> slova(200, "ab");
    prikaz p = modemline(argumenty(slova));
    EXPECT_EQ(p.vypis, orezavam);
    ASSERT_EQ(p.data.size(), 3u + 83 * 3);
    EXPECT_EQ(p.data[1], 83 * 3);
    EXPECT_EQ(p.data.back(), 0x00);
    slova.assign(100, "abcd");
    slova[0] = "777123456";
    p = txtcell(argumenty(slova));
    EXPECT_EQ(p.vypis, "cislo je --777123456-- \n" + orezavam);
    EXPECT_EQ(p.data.size(), 11u + 31 * 5); // 166; with a 32nd word 170, over 167
}

TEST(Kanaly, NamesAndOneNumbering) {
    ASSERT_EQ(radiatory.size(), 15u);
    for (std::size_t i = 0; i < radiatory.size(); ++i) {
        EXPECT_EQ(radiatory[i].kanal, static_cast<std::int32_t>(i));
        EXPECT_EQ(strnlen(radiatory[i].jmeno, sizeof radiatory[i].jmeno), 9u) << i;
        for (std::size_t j = 9; j < sizeof radiatory[i].jmeno; ++j)
            EXPECT_EQ(radiatory[i].jmeno[j], '\0');
    }
    EXPECT_STREQ(radiatory[2].jmeno, "Kot U22  ");
    EXPECT_STREQ(radiatory[14].jmeno, "R-stoupac");
    EXPECT_STREQ(cimreguluji[0].jmeno, "Jidelna");
    EXPECT_EQ(cimreguluji[0].kanal, 16);
    EXPECT_STREQ(cimreguluji[1].jmeno, "Hosti");
    EXPECT_EQ(cimreguluji[1].kanal, 15);
}

} // namespace

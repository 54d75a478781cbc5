#include "tables.hpp"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(Tables, InitialValuesInEverySlot) {
    pridejkalendar("/x", 4, inet_addr("10.0.0.1"));
    pridejmodul(inet_addr("10.0.0.1"));
    polemod[0].hlidac = 3;
    inicializujtabulky();
    EXPECT_EQ(konpolemod, 0);
    EXPECT_EQ(konkal, 0);
    for (const modul &m : polemod) {
        EXPECT_EQ(m.adresa, zadnaadresa);
        for (const auto &t : m.tmr1)
            EXPECT_EQ(t, 0);
        EXPECT_EQ(m.odpocet, 5);
        EXPECT_EQ(m.hlidac, 10);
        EXPECT_EQ(m.defpr1, -1);
    }
    for (const kalendar &k : polekal) {
        EXPECT_STREQ(k.cesta, "");
        EXPECT_EQ(k.cislo, -1);
        EXPECT_EQ(k.adresa, zadnaadresa);
    }
}

TEST(Tables, ModulesAreUniqueInFirstSeenOrderAndFound) {
    inicializujtabulky();
    pridejmodul(inet_addr("10.0.0.2"));
    pridejmodul(inet_addr("10.0.0.1"));
    pridejmodul(inet_addr("10.0.0.2"));
    EXPECT_EQ(konpolemod, 2);
    EXPECT_EQ(najdimodul(inet_addr("10.0.0.2")), 0);
    EXPECT_EQ(najdimodul(inet_addr("10.0.0.1")), 1);
    EXPECT_EQ(najdimodul(inet_addr("10.0.0.3")), -1);
    // an empty slot's all-ones address is never found
    EXPECT_EQ(najdimodul(zadnaadresa), -1);
}

TEST(Tables, ModuleTableStopsAt31) {
    inicializujtabulky();
    for (std::uint32_t i = 1; i <= 40; ++i)
        pridejmodul(htonl(0x0A000000u + i));
    EXPECT_EQ(konpolemod, 31);
}

TEST(Tables, TimeCommandFollowsDefpr1) {
    inicializujtabulky();
    pridejmodul(inet_addr("10.0.0.1"));
    EXPECT_EQ(casovyprikaz(0), 8); // none reported
    polemod[0].defpr1 = 513;
    EXPECT_EQ(casovyprikaz(0), 2);
    polemod[0].defpr1 = 0;
    EXPECT_EQ(casovyprikaz(0), 8);
}

// The module's record and what the datagram told, in a line.
std::string zaznam(const modul &m, const zpravamodulu &z) {
    std::string t;
    for (const auto &r : m.tmr1)
        t += std::to_string(r) + " ";
    for (long long v :
         {m.odpocet.load(), m.hlidac.load(), m.defpr1.load(), m.souhlasi.load(), m.pricina.load(),
          static_cast<int>(m.casresetu.load()), static_cast<int>(m.poslednipaket.load())})
        t += std::to_string(v) + " ";
    return t + (z.historie ? "H" : "") + (z.defpr1 ? "D" : "") + (z.odpovidaznovu ? "Z" : "");
}

// What one status datagram writes into its module's record (readings 1 to
// 5, DEFPR1 500, a SOFTE reset at 1700000000): the readings and odpocet,
// hlidac, defpr1, souhlasi, pricina, casresetu, poslednipaket, and whether
// the history is complete (H), a DEFPR1 came (D), the module answers again (Z).
TEST(Tables, StatusDatagramWritesWhatItTells) {
    const struct {
        stavmodulu s;
        int hlidac, odpocet; // before
        const char *potom;
    } pripady[] = {
        // A reading shifts the five; the watchdog, almost run out, is full again.
        {{typtmr1, bitsouhlasi, nicnoveho, 0, 0, 0, 77},
         1,
         2,
         "2 3 4 5 77 1 10 500 1 3 1700000000 1796630400 "},
        // Type 4 is a reading too, the last one the history waited for; of the
        // status only bitsouhlasi counts; the module had been reported silent.
        {{typtmr1tez, 0xBF, nicnoveho, 0, 0, 0, 78},
         0,
         1,
         "2 3 4 5 78 0 10 500 0 3 1700000000 1796630400 HZ"},
        // DEFPR1 0 is a value; the readings stay.
        {{typdefpr1, bitsouhlasi, nicnoveho, 0, 0, 0, 0},
         10,
         2,
         "1 2 3 4 5 2 10 0 1 3 1700000000 1796630400 D"},
        // Another type carries no value; a known cause replaces the reset, one
        // without words does not.
        {{2, bitsouhlasi, 4, 0, 0, 1700000100, 99},
         5,
         2,
         "1 2 3 4 5 2 10 500 1 4 1700000100 1796630400 "},
        {{2, 0, 77, 0, 0, 1700000200, 0}, 5, 0, "1 2 3 4 5 0 10 500 0 3 1700000000 1796630400 "},
    };
    for (const auto &p : pripady) {
        inicializujtabulky();
        modul &m = polemod[0];
        for (int i = 0; i < 5; ++i)
            m.tmr1[static_cast<std::size_t>(i)] = i + 1;
        m.hlidac = p.hlidac;
        m.odpocet = p.odpocet;
        m.defpr1 = 500;
        m.pricina = 3;
        m.casresetu = 1700000000;
        zpravamodulu z = zapispaket(m, p.s, 1796630400);
        EXPECT_EQ(zaznam(m, z), p.potom);
    }
}

} // namespace

#include "tables.hpp"

#include <arpa/inet.h>
#include <gtest/gtest.h>

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

// What one status datagram writes into its module's record, from a record
// with the readings 1 to 5, a DEFPR1 of 500 and a SOFTE reset at
// 1700000000: the watchdog full again and the datagram's time whatever it
// carries, the rest by its type, status and cause.
TEST(Tables, StatusDatagramWritesWhatItTells) {
    const struct {
        stavmodulu s;
        int hlidac, odpocet; // before
        std::array<int, 5> tmr1;
        int odpocetpak, defpr1, souhlasi, pricina;
        std::uint32_t casresetu;
        bool historie, novedefpr1, odpovidaznovu;
    } pripady[] = {
        // A reading, the watchdog almost run out: the five shift, one fewer left.
        {{typtmr1, bitsouhlasi, nicnoveho, 0, 0, 0, 77},
         1,
         2,
         {2, 3, 4, 5, 77},
         1,
         500,
         1,
         3,
         1700000000,
         false,
         false,
         false},
        // Type 4 is a reading too, the last one the history waited for; of the
        // status only bitsouhlasi counts; the module had been reported silent.
        {{typtmr1tez, 0xBF, nicnoveho, 0, 0, 0, 78},
         0,
         1,
         {2, 3, 4, 5, 78},
         0,
         500,
         0,
         3,
         1700000000,
         true,
         false,
         true},
        // DEFPR1 0 is a value; the readings stay.
        {{typdefpr1, bitsouhlasi, nicnoveho, 0, 0, 0, 0},
         10,
         2,
         {1, 2, 3, 4, 5},
         2,
         0,
         1,
         3,
         1700000000,
         false,
         true,
         false},
        // Another type carries no value; a known cause replaces the reset.
        {{2, bitsouhlasi, 4, 0, 0, 1700000100, 99},
         5,
         2,
         {1, 2, 3, 4, 5},
         2,
         500,
         1,
         4,
         1700000100,
         false,
         false,
         false},
        // A cause without words is no reset.
        {{2, 0, 77, 0, 0, 1700000200, 0},
         5,
         0,
         {1, 2, 3, 4, 5},
         0,
         500,
         0,
         3,
         1700000000,
         false,
         false,
         false},
    };
    for (const auto &p : pripady) {
        SCOPED_TRACE(static_cast<int>(&p - pripady));
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
        for (std::size_t i = 0; i < 5; ++i)
            EXPECT_EQ(m.tmr1[i], p.tmr1[i]) << i;
        EXPECT_EQ(m.odpocet, p.odpocetpak);
        EXPECT_EQ(m.hlidac, 10);
        EXPECT_EQ(m.poslednipaket, 1796630400);
        EXPECT_EQ(m.defpr1, p.defpr1);
        EXPECT_EQ(m.souhlasi, p.souhlasi);
        EXPECT_EQ(m.pricina, p.pricina);
        EXPECT_EQ(m.casresetu, p.casresetu);
        EXPECT_EQ(z.historie, p.historie);
        EXPECT_EQ(z.defpr1, p.novedefpr1);
        EXPECT_EQ(z.odpovidaznovu, p.odpovidaznovu);
    }
}

} // namespace

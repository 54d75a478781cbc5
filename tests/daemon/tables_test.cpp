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

} // namespace

// The daemon's tables filled as the tests of the state file and of
// kamnarstav want them.
#pragma once

#include "datagram.hpp"
#include "tables.hpp"

#include <arpa/inet.h>

// Three modules: 0 with two readings, a DEFPR1 of 0 and a clock in agreement;
// 1 never heard and reported silent; 2 after a SOFTE reset, its clock not
// agreeing, with more than five readings.
inline void filltables() {
    inicializujtabulky();
    for (const char *a : {"192.168.1.20", "192.168.1.21", "192.168.1.22"})
        pridejmodul(inet_addr(a));
    demon.start = 1796630000;
    demon.odmodulu = 3;
    demon.odcizich = 1;
    demon.zpozdeni = 112345;
    modul &a = polemod[0], &b = polemod[1], &c = polemod[2];
    a.tmr1[3] = 1007;
    a.tmr1[4] = 1014;
    a.odpocet = 3;
    zapispaket(a, {typdefpr1, bitsouhlasi, nicnoveho, 0, 0, 0, 0}, 1796630400);
    a.odeslano = 12;
    b.hlidac = 0;
    b.odeslano = 10;
    b.chybodeslani = 2;
    zapispaket(c, {1, 0x00, 3, 0, 0, 1796630390, 5}, 1796630400);
    zapispaket(c, {1, 0x00, nicnoveho, 0, 0, 0, 5}, 1796630405); // keeps the reset
    for (int i = 0; i < 5; ++i)
        c.tmr1[static_cast<std::size_t>(i)] = i + 1;
    c.odpocet = 0;
}

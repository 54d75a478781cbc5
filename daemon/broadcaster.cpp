#include "broadcaster.hpp"

#include "cekani.hpp"
#include "datagram.hpp"
#include "hodiny.hpp"
#include "konzole.hpp"
#include "log.hpp"
#include "notify.hpp"
#include "rozvrh.hpp"
#include "tables.hpp"

#include <arpa/inet.h>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int posliUDP(int sock, int slot, const std::uint8_t *data, int n) {
    if (slot < 0 || slot > pocetslotu - 1)
        return -1;
    if (slot >= konpolemod)
        return -2;
    sockaddr_in cil{};
    cil.sin_family = AF_INET;
    cil.sin_port = htons(portmodulu);
    cil.sin_addr.s_addr = polemod[static_cast<std::size_t>(slot)].adresa;
    modul &m = polemod[static_cast<std::size_t>(slot)];
    if (sendto(sock, data, static_cast<std::size_t>(n), 0, reinterpret_cast<sockaddr *>(&cil),
               sizeof cil) < 0) {
        ++m.chybodeslani;
        zapisdologuf(true, "Error: posliUDP nemuze odeslat paket pro modul c. %d \n ", slot);
        return -3;
    }
    ++m.odeslano;
    return 0;
}

void hlidejmodul(int slot) {
    std::atomic<std::int32_t> &hlidac = polemod[static_cast<std::size_t>(slot)].hlidac;
    // Compare-and-exchange, so that the receiver's reset to 10 between the
    // read and the write is never overwritten.
    std::int32_t h = hlidac;
    while (h > 0 && !hlidac.compare_exchange_weak(h, h - 1)) {
    }
    if (h == 1)
        zapisdologuf(true, "Modul cislo %d neodpovida - 100 sec !\n", slot);
}

namespace {

// One cycle: the time command to every module, the first at once, the
// others 20 ms apart on the monotonic clock, which no setting of the
// real-time clock moves. The wait for `cil` ended at `probuzeni`.
void odesliprikazy(int sock, std::timespec cil, std::timespec probuzeni) {
    std::timespec ted = ctihodiny(CLOCK_REALTIME);
    std::timespec kotva = kotvacyklu(cil, ted, probuzeni);
    for (int i = 0; i < konpolemod; ++i) {
        auto prikaz = sestavprikaz(casovyprikaz(i), ted.tv_sec);
        posliUDP(sock, i, prikaz.data(), static_cast<int>(prikaz.size()));
        // The console line reports the instant read before the sends; it
        // is written after the first one, so that it never delays it.
        if (i == 0)
            konzolef("posilamcas:  je  %7.2f  milisec  a cas je %10d \n ",
                     static_cast<double>(ted.tv_nsec / 1000) / 1000.0,
                     static_cast<int>(ted.tv_sec));
        hlidejmodul(i);
        spidomonotonni(okamzikslotu(kotva, i, ctihodiny(CLOCK_MONOTONIC)));
    }
    demon.zpozdeni = nsmezi(cil, ted); // after the sends, so that it never delays one
}

} // namespace

void posilamcas(int sock, const std::atomic<int> &konec) {
    if (konpolemod == 0) {
        zapisdologu(true,
                    "Error: Vlakno posilamcas konci - v poli polemod neni zadna adresa modulu \n ");
        return;
    }
    presnecasovani();
    int budik = otevribudik();
    std::timespec posledni{};
    bool poslal = false;
    while (!konec) {
        std::timespec ted = ctihodiny(CLOCK_REALTIME), monotonni = ctihodiny(CLOCK_MONOTONIC);
        std::timespec cil = planujodeslani(ted, poslal ? nsmezi(posledni, monotonni) : -1);
        if (cekejdo(budik, cil)) {
            posledni = ctihodiny(CLOCK_MONOTONIC);
            poslal = true;
            odesliprikazy(sock, cil, posledni);
        } // else the clock was set: plan again on the new one
        // Alive: a cycle sent, or a wait that a step of the clock cut short.
        tepvysilani = monotonnims();
    }
    if (budik >= 0)
        close(budik);
    zapisdologu(true, "Vlakno posilamcas konci \n");
}

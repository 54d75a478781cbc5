#include "broadcaster.hpp"

#include "datagram.hpp"
#include "lifecycle.hpp"
#include "log.hpp"
#include "notify.hpp"
#include "tables.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>

namespace {

constexpr long rozestup = 20000000;         // 20 ms between the modules of one cycle
constexpr long nejmensirozestup = 10000000; // and never less than 10 ms

// Sleeps until the given instant of the real-time clock. An absolute wake-up
// does not drift with the time spent before the call, and a slack of 1 ns
// keeps the kernel from moving it later to batch timers.
void spido(std::timespec cil) {
    while (clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &cil, nullptr) == EINTR) {
    }
}

std::timespec plus(std::timespec t, long ns) {
    t.tv_nsec += ns;
    t.tv_sec += t.tv_nsec / 1000000000;
    t.tv_nsec %= 1000000000;
    return t;
}

// When the module after slot i gets its command: 20 ms per slot after the
// cycle's instant, so that lateness does not add up, but never sooner than
// 10 ms after this send, so that a cycle that started late still keeps the
// modules apart.
std::timespec dalsislot(std::timespec cil, int i) {
    std::timespec plan = plus(cil, rozestup * (i + 1)), ted{};
    clock_gettime(CLOCK_REALTIME, &ted);
    std::timespec pauza = plus(ted, nejmensirozestup);
    bool pozdeji = pauza.tv_sec > plan.tv_sec ||
                   (pauza.tv_sec == plan.tv_sec && pauza.tv_nsec > plan.tv_nsec);
    return pozdeji ? pauza : plan;
}

} // namespace

int posliUDP(int slot, const std::uint8_t *data, int n) {
    if (slot < 0 || slot > pocetslotu - 1)
        return -1;
    if (slot >= konpolemod)
        return -2;
    sockaddr_in cil{};
    cil.sin_family = AF_INET;
    cil.sin_port = htons(portmodulu);
    cil.sin_addr.s_addr = polemod[static_cast<std::size_t>(slot)].adresa;
    if (sendto(vyssock, data, static_cast<std::size_t>(n), 0, reinterpret_cast<sockaddr *>(&cil),
               sizeof cil) < 0) {
        zapisdologuf(true, "Error: posliUDP nemuze odeslat paket pro modul c. %d \n ", slot);
        return -3;
    }
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

void posilamcas() {
    if (konpolemod == 0) {
        zapisdologu(true,
                    "Error: Vlakno posilamcas konci - v poli polemod neni zadna adresa modulu \n ");
        return;
    }
    prctl(PR_SET_TIMERSLACK, 1UL);
    while (!koncime) {
        std::timespec ted{};
        clock_gettime(CLOCK_REALTIME, &ted);
        std::timespec cil = casodeslani(ted.tv_sec);
        spido(cil);

        clock_gettime(CLOCK_REALTIME, &ted);
        for (int i = 0; i < konpolemod; ++i) {
            auto prikaz = sestavprikaz(static_cast<std::uint8_t>(casovyprikaz(i)), ted.tv_sec);
            posliUDP(i, prikaz.data(), static_cast<int>(prikaz.size()));
            // The console line reports the instant read before the sends; it
            // is written after the first one, so that it never delays it.
            if (i == 0)
                std::printf("posilamcas:  je  %7.2f  milisec  a cas je %10d \n ",
                            static_cast<double>(ted.tv_nsec / 1000) / 1000.0,
                            static_cast<int>(ted.tv_sec));
            hlidejmodul(i);
            spido(dalsislot(cil, i));
        }
        tepvysilani = monotonnims();
    }
    zapisdologu(true, "Vlakno posilamcas konci \n");
}

#include "receiver.hpp"

#include "datagram.hpp"
#include "lifecycle.hpp"
#include "log.hpp"
#include "tables.hpp"

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <string>
#include <sys/select.h>
#include <sys/socket.h>

namespace {

// Used by the receive thread alone.
std::uint8_t poslednistav = 0;

// "Prislo:  " and every byte as " %02x ", built whole so that the line is
// written in one piece beside the broadcaster's console output.
void vypispaket(std::span<const std::uint8_t> data) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string radek = "Prislo:  ";
    radek.reserve(radek.size() + 4 * data.size() + 2);
    for (std::uint8_t b : data) {
        const char bajt[] = {' ', hex[b >> 4], hex[b & 15], ' '};
        radek.append(bajt, sizeof bajt);
    }
    radek += " \n";
    std::fwrite(radek.data(), 1, radek.size(), stdout);
}

void zapamatujtmr1(modul &m, int hodnota) {
    for (std::size_t i = 0; i + 1 < m.tmr1.size(); ++i)
        m.tmr1[i] = m.tmr1[i + 1].load();
    m.tmr1[4] = hodnota;
    if (m.odpocet > 0)
        --m.odpocet;
    if (m.odpocet == 0)
        std::printf("\n %d  %d  %d  %d  %d \n", m.tmr1[0].load(), m.tmr1[1].load(),
                    m.tmr1[2].load(), m.tmr1[3].load(), m.tmr1[4].load());
    std::printf("TMR1 = %5d \n", hodnota);
}

bool cekejnapaket() {
    fd_set cteni;
    FD_ZERO(&cteni);
    FD_SET(prijsock, &cteni);
    timeval limit{0, 200000};
    int n = select(FD_SETSIZE, &cteni, nullptr, nullptr, &limit);
    if (n < 0)
        zapisdologu(true, "prijemUDP: Nejaka chyba pri volani select  \n");
    return n > 0;
}

} // namespace

void nulujstav() {
    poslednistav = 0;
}

void dekodujcosestalo(int modul, std::span<const std::uint8_t> data) {
    stavmodulu s = ctistav(data);
    if (s.cosestalo == nicnoveho)
        return;
    std::time_t cas = s.casmodulu;
    std::tm t{};
    localtime_r(&cas, &t); // the log prefix converts times at the same moment
    std::string text = textcosestalo(modul, s, t);
    if (!text.empty())
        zapisdologu(true, text.c_str());
}

void zpracujpaket(std::uint32_t odesilatel, std::span<const std::uint8_t> data) {
    char adresa[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &odesilatel, adresa, sizeof adresa);
    int cislo = najdimodul(odesilatel);
    if (cislo < 0) {
        zapisdologuf(
            true, "prijemUDP - prisel paket z adresy %s , ktera neni v konfiguracnim file !!! \n",
            adresa);
        return;
    }
    modul &m = polemod[static_cast<std::size_t>(cislo)];
    vypispaket(data);
    dekodujcosestalo(cislo, data);

    stavmodulu s = ctistav(data);
    if (s.typ == 1 || s.typ == 4) {
        zapamatujtmr1(m, s.hodnota);
    } else if (s.typ == 9) {
        m.defpr1 = s.hodnota;
        zapisdologuf(true, "modul %2d - prisla hodnota DEFPR1 %d \n", cislo, s.hodnota);
        std::printf("modul %2d - prisla hodnota DEFPR1 %d \n", cislo, s.hodnota);
    }

    if (m.hlidac.exchange(10) == 0)
        zapisdologuf(true, "Modul %d adresa %s uz zase odpovida \n", cislo, adresa);

    if (s.status == poslednistav)
        return;
    poslednistav = s.status;
    std::printf("\nstavmodulu je %2x \n ", s.status);
    if (s.status & 0x40)
        zapisdologuf(true, "cas modulu %02d %s   souhlasi s PC \n", cislo, adresa);
    else
        zapisdologuf(true, "cas modulu %02d %s nesouhlasi s PC \n", cislo, adresa);
}

void prijemUDP() {
    nulujstav();
    std::uint8_t buf[delkaprijmu];
    while (!koncime) {
        if (!cekejnapaket())
            continue;
        sockaddr_in od{};
        socklen_t delka = sizeof od;
        ssize_t n =
            recvfrom(prijsock, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&od), &delka);
        if (n < 0) {
            zapisdologu(true, "prijemUDP - problem s prijetim paketu - \n");
            continue;
        }
        zpracujpaket(od.sin_addr.s_addr, {buf, static_cast<std::size_t>(n)});
    }
    zapisdologu(true, "Vlakno prijemUDP skoncilo \n");
}

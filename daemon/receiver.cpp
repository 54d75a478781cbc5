#include "receiver.hpp"

#include "cekani.hpp"
#include "datagram.hpp"
#include "hodiny.hpp"
#include "konzole.hpp"
#include "log.hpp"
#include "notify.hpp"
#include "pricinyresetu.hpp"
#include "pripis.hpp"
#include "tables.hpp"
#include "zaplava.hpp"

#include <arpa/inet.h>
#include <array>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace {

// Used by the receive thread alone.
std::uint8_t poslednistav = 0;

// At most this many datagrams are read one after another before the stop
// flag is looked at again.
constexpr int nejvicenaraz = 64;

// Appends the dump of the datagram: "Prislo:  ", every byte as " %02x ", a
// space and the line end.
void pripisbajty(std::span<const std::uint8_t> data, std::string &konzole) {
    static constexpr char hex[] = "0123456789abcdef";
    konzole += "Prislo:  ";
    for (std::uint8_t b : data) {
        const char bajt[] = {' ', hex[b >> 4], hex[b & 15], ' '};
        konzole.append(bajt, sizeof bajt);
    }
    konzole += " \n";
}

// Logs the reset report of a datagram from module `modul`, unless it has
// nothing to report.
void dekodujcosestalo(int modul, const stavmodulu &s) {
    if (s.cosestalo == nicnoveho)
        return;
    std::time_t cas = s.casmodulu;
    std::tm t{};
    localtime_r(&cas, &t); // the log's writer converts times at the same moment
    std::string text = textcosestalo(modul, s.cosestalo, s.navrat, s.stavtrap, t);
    if (!text.empty() && zapismodulu(modul))
        zapisdologu(true, text.c_str());
}

// The receive thread's buffers for one batch of datagrams.
std::array<std::array<std::uint8_t, delkaprijmu>, nejvicenaraz> davka;
std::array<sockaddr_in, nejvicenaraz> odesilatele;

// Reads the datagrams waiting on the socket, at most nejvicenaraz of them,
// in one call, and handles them in order; their console text goes to the
// console in one piece at the end.
void prectidavku(int sock, std::string &text) {
    std::array<iovec, nejvicenaraz> casti;
    std::array<mmsghdr, nejvicenaraz> zpravy{};
    for (std::size_t i = 0; i < nejvicenaraz; ++i) {
        casti[i] = {davka[i].data(), davka[i].size()};
        zpravy[i].msg_hdr.msg_name = &odesilatele[i];
        zpravy[i].msg_hdr.msg_namelen = sizeof odesilatele[i];
        zpravy[i].msg_hdr.msg_iov = &casti[i];
        zpravy[i].msg_hdr.msg_iovlen = 1;
    }
    // The wait saw a datagram, so any failure here is a receive problem.
    int n = recvmmsg(sock, zpravy.data(), nejvicenaraz, MSG_DONTWAIT, nullptr);
    if (n < 0) {
        zapisdologu(true, "prijemUDP - problem s prijetim paketu - \n");
        return;
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i)
        zpracujpaket(odesilatele[i].sin_addr.s_addr, {davka[i].data(), zpravy[i].msg_len}, text);
    konzole(text);
    text.clear();
}

} // namespace

void nulujstav() {
    poslednistav = 0;
}

void zpracujpaket(std::uint32_t odesilatel, std::span<const std::uint8_t> data,
                  std::string &konzole) {
    char adresa[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &odesilatel, adresa, sizeof adresa);
    int cislo = najdimodul(odesilatel);
    shrnzaplavu(false);
    if (cislo < 0) {
        ++demon.odcizich;
        if (zapiscizi(odesilatel))
            zapisdologuf(
                true,
                "prijemUDP - prisel paket z adresy %s , ktera neni v konfiguracnim file !!! \n",
                adresa);
        return;
    }
    ++demon.odmodulu;
    modul &m = polemod[static_cast<std::size_t>(cislo)];
    stavmodulu s = ctistav(data);
    pripisbajty(data, konzole);
    dekodujcosestalo(cislo, s);
    zpravamodulu z = zapispaket(m, s, std::time(nullptr));

    if (nesetmr1(s.typ)) {
        if (z.historie)
            pripisf(konzole, "\n %d  %d  %d  %d  %d \n", m.tmr1[0].load(), m.tmr1[1].load(),
                    m.tmr1[2].load(), m.tmr1[3].load(), m.tmr1[4].load());
        pripisf(konzole, "TMR1 = %5d \n", s.hodnota);
    } else if (z.defpr1) {
        if (zapismodulu(cislo))
            zapisdologuf(true, "modul %2d - prisla hodnota DEFPR1 %d \n", cislo, s.hodnota);
        pripisf(konzole, "modul %2d - prisla hodnota DEFPR1 %d \n", cislo, s.hodnota);
    }
    if (z.odpovidaznovu && zapismodulu(cislo))
        zapisdologuf(true, "Modul %d adresa %s uz zase odpovida \n", cislo, adresa);

    if (s.status == poslednistav)
        return;
    poslednistav = s.status;
    pripisf(konzole, "\nstavmodulu je %2x \n ", s.status);
    if (!zapismodulu(cislo))
        return;
    if (s.status & bitsouhlasi)
        zapisdologuf(true, "cas modulu %02d %s   souhlasi s PC \n", cislo, adresa);
    else
        zapisdologuf(true, "cas modulu %02d %s nesouhlasi s PC \n", cislo, adresa);
}

void prijemUDP(int sock, const std::atomic<int> &konec) {
    nulujstav();
    nulujzaplavu();
    std::string text;
    text.reserve(nejvicenaraz * 128);
    while (!konec) {
        tepprijmu = monotonnims();
        int n = cekejnapaket(sock);
        if (n < 0)
            // The entry names select although the wait polls: the system's own text.
            zapisdologu(true, "prijemUDP: Nejaka chyba pri volani select  \n");
        else if (n > 0)
            prectidavku(sock, text);
    }
    shrnzaplavu(true);
    zapisdologu(true, "Vlakno prijemUDP skoncilo \n");
}

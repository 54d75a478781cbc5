#include "receiver.hpp"

#include "datagram.hpp"
#include "lifecycle.hpp"
#include "log.hpp"
#include "notify.hpp"
#include "tables.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// Used by the receive thread alone.
std::uint8_t poslednistav = 0;

// At most this many datagrams are read one after another before the stop
// flag is looked at again.
constexpr int nejvicenaraz = 64;

__attribute__((format(printf, 2, 3))) void pripis(std::string &konzole, const char *format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    konzole.append(text, static_cast<std::size_t>(std::clamp(n, 0, int{sizeof text} - 1)));
}

// "Prislo:  " and every byte as " %02x ", a space and the line end.
void vypispaket(std::span<const std::uint8_t> data, std::string &konzole) {
    static constexpr char hex[] = "0123456789abcdef";
    konzole += "Prislo:  ";
    for (std::uint8_t b : data) {
        const char bajt[] = {' ', hex[b >> 4], hex[b & 15], ' '};
        konzole.append(bajt, sizeof bajt);
    }
    konzole += " \n";
}

void zapamatujtmr1(modul &m, int hodnota, std::string &konzole) {
    for (std::size_t i = 0; i + 1 < m.tmr1.size(); ++i)
        m.tmr1[i] = m.tmr1[i + 1].load();
    m.tmr1[4] = hodnota;
    if (m.odpocet > 0)
        --m.odpocet;
    if (m.odpocet == 0)
        pripis(konzole, "\n %d  %d  %d  %d  %d \n", m.tmr1[0].load(), m.tmr1[1].load(),
               m.tmr1[2].load(), m.tmr1[3].load(), m.tmr1[4].load());
    pripis(konzole, "TMR1 = %5d \n", hodnota);
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

// Writes a batch's console text with one write; stdout is line-buffered, so
// stdio would make a write of every line. The stream is locked and flushed
// first, so the text keeps its place after what the time sender printed.
void vypiskonzoli(const std::string &text) {
    flockfile(stdout);
    std::fflush(stdout);
    for (std::size_t hotovo = 0; hotovo < text.size();) {
        ssize_t n = write(STDOUT_FILENO, text.data() + hotovo, text.size() - hotovo);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        hotovo += static_cast<std::size_t>(n);
    }
    funlockfile(stdout);
}

// The receive thread's buffers for one batch of datagrams.
std::array<std::array<std::uint8_t, delkaprijmu>, nejvicenaraz> davka;
std::array<sockaddr_in, nejvicenaraz> odesilatele;

// Reads the datagrams waiting on the socket, at most nejvicenaraz of them,
// in one call, and handles them in order; their console text is written in
// one piece at the end, whole lines only, so it never tears against the time
// sender's lines.
void prectidavku(std::string &konzole) {
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
    int n = recvmmsg(prijsock, zpravy.data(), nejvicenaraz, MSG_DONTWAIT, nullptr);
    if (n < 0) {
        zapisdologu(true, "prijemUDP - problem s prijetim paketu - \n");
        return;
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i)
        zpracujpaket(odesilatele[i].sin_addr.s_addr, {davka[i].data(), zpravy[i].msg_len}, konzole);
    vypiskonzoli(konzole);
    konzole.clear();
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

void zpracujpaket(std::uint32_t odesilatel, std::span<const std::uint8_t> data,
                  std::string &konzole) {
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
    vypispaket(data, konzole);
    dekodujcosestalo(cislo, data);

    stavmodulu s = ctistav(data);
    if (s.typ == 1 || s.typ == 4) {
        zapamatujtmr1(m, s.hodnota, konzole);
    } else if (s.typ == 9) {
        m.defpr1 = s.hodnota;
        zapisdologuf(true, "modul %2d - prisla hodnota DEFPR1 %d \n", cislo, s.hodnota);
        pripis(konzole, "modul %2d - prisla hodnota DEFPR1 %d \n", cislo, s.hodnota);
    }

    if (m.hlidac.exchange(10) == 0)
        zapisdologuf(true, "Modul %d adresa %s uz zase odpovida \n", cislo, adresa);

    if (s.status == poslednistav)
        return;
    poslednistav = s.status;
    pripis(konzole, "\nstavmodulu je %2x \n ", s.status);
    if (s.status & 0x40)
        zapisdologuf(true, "cas modulu %02d %s   souhlasi s PC \n", cislo, adresa);
    else
        zapisdologuf(true, "cas modulu %02d %s nesouhlasi s PC \n", cislo, adresa);
}

void zpracujpaket(std::uint32_t odesilatel, std::span<const std::uint8_t> data) {
    std::string konzole;
    zpracujpaket(odesilatel, data, konzole);
    std::fwrite(konzole.data(), 1, konzole.size(), stdout);
}

void prijemUDP() {
    nulujstav();
    std::string konzole;
    konzole.reserve(nejvicenaraz * 128);
    while (!koncime) {
        tepprijmu = monotonnims();
        if (cekejnapaket())
            prectidavku(konzole);
    }
    zapisdologu(true, "Vlakno prijemUDP skoncilo \n");
}

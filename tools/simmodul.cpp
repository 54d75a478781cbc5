// simmodul: a simulated heating module for development, tests and the demo.
//
//   simmodul ADDRESS [--silent] [--silent-after N] [--silent-first N]
//                    [--cause N] [--defpr1 N] [--flip] [--quiet]
//
// It binds UDP port 15151 on ADDRESS (a loopback address such as 127.0.0.2)
// and answers each time command with status datagrams to port 15150 of the
// sender: a TMR1 reading (type 1) every time, and after a command 8 also its
// DEFPR1 value (type 9). Its clock is set by the commands; from the second
// command on it agrees with them and the status byte carries bitsouhlasi. A reset
// command (13) "resets" it: the clock is lost and its next datagram reports
// the SOFTE reset with its last time. With --flip its clock agrees and
// disagrees by turns, a change of its status byte with every answer. It runs
// until it is killed.
#include "datagram.hpp"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct nastaveni {
    const char *adresa = nullptr;
    long mlcipo = -1;        // answer only the first N time commands (-1: always)
    long mlciprvnich = 0;    // stay silent for the first N time commands
    int pricina = nicnoveho; // reset cause reported in the first answer
    int defpr1 = 500;
    bool tise = false;
    bool strida = false; // the status byte changes with every answer
};

void pouziti() {
    std::puts("pouziti: simmodul ADRESA [--silent] [--silent-after N] [--silent-first N] "
              "[--cause N] [--defpr1 N] [--flip] [--quiet]");
    std::exit(2);
}

long cislo(int &i, int argc, char **argv) {
    if (++i >= argc)
        pouziti();
    char *konec = nullptr;
    long n = std::strtol(argv[i], &konec, 0);
    if (*konec != '\0')
        pouziti();
    return n;
}

nastaveni ctiargumenty(int argc, char **argv) {
    nastaveni n;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--silent")
            n.mlcipo = 0;
        else if (a == "--silent-after")
            n.mlcipo = cislo(i, argc, argv);
        else if (a == "--silent-first")
            n.mlciprvnich = cislo(i, argc, argv);
        else if (a == "--cause")
            n.pricina = static_cast<int>(cislo(i, argc, argv));
        else if (a == "--defpr1")
            n.defpr1 = static_cast<int>(cislo(i, argc, argv));
        else if (a == "--quiet")
            n.tise = true;
        else if (a == "--flip")
            n.strida = true;
        else if (!n.adresa && a[0] != '-')
            n.adresa = argv[i];
        else
            pouziti();
    }
    if (!n.adresa)
        pouziti();
    return n;
}

// What the module keeps between commands.
struct pamet {
    std::uint32_t hodiny = 0; // the module's clock, 0 until a command sets it
    std::uint16_t tmr1 = 1000;
    int pricina = nicnoveho;
    long prikazu = 0;
};

void posli(int sock, const sockaddr_in &kam, const stavmodulu &s) {
    auto b = sestavstav(s);
    sendto(sock, b.data(), b.size(), 0, reinterpret_cast<const sockaddr *>(&kam), sizeof kam);
}

// Answers one command from `od`, if it is one the module answers.
void odpovez(int sock, sockaddr_in od, const prikazmodulu &prikaz, const nastaveni &n, pamet &p) {
    std::uint32_t cas = prikaz.cas;
    if (!n.tise)
        std::printf("simmodul %s: prisel prikaz %d s casem %u\n", n.adresa, prikaz.kod, cas);
    if (prikaz.kod == prikazreset) {
        if (!n.tise)
            std::printf("simmodul %s: RESET, posledni cas %u\n", n.adresa, p.hodiny);
        p.pricina = 3; // SOFTE reset
        return;        // the clock survives as the last time, but no longer agrees
    }
    if (prikaz.kod != prikazcas && prikaz.kod != prikazcasdefpr1)
        return;
    ++p.prikazu;
    bool souhlasi = p.pricina == nicnoveho && p.hodiny != 0 && (cas - p.hodiny) <= 11;
    if (n.strida)
        souhlasi = p.prikazu % 2 == 0;
    std::uint32_t posledni = p.hodiny;
    p.hodiny = cas;
    if (p.prikazu <= n.mlciprvnich || (n.mlcipo >= 0 && p.prikazu > n.mlcipo)) {
        if (!n.tise)
            std::printf("simmodul %s: mlcim\n", n.adresa);
        return;
    }
    od.sin_port = htons(portdemona);
    const std::uint8_t status = souhlasi ? bitsouhlasi : 0;
    p.tmr1 = static_cast<std::uint16_t>(p.tmr1 + 7);
    posli(sock, od,
          {typtmr1, status, static_cast<std::uint8_t>(p.pricina), 0, 0, posledni, p.tmr1});
    if (!n.tise)
        std::printf("simmodul %s: odpovidam TMR1 %u, stav 0x%02x, pricina %d\n", n.adresa, p.tmr1,
                    status, p.pricina);
    p.pricina = nicnoveho;
    if (prikaz.kod == prikazcasdefpr1) {
        posli(sock, od,
              {typdefpr1, status, nicnoveho, 0, 0, 0, static_cast<std::uint16_t>(n.defpr1)});
        if (!n.tise)
            std::printf("simmodul %s: posilam DEFPR1 %d\n", n.adresa, n.defpr1);
    }
}

} // namespace

int main(int argc, char **argv) {
    nastaveni n = ctiargumenty(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in ja{};
    ja.sin_family = AF_INET;
    ja.sin_port = htons(portmodulu);
    ja.sin_addr.s_addr = inet_addr(n.adresa);
    if (sock < 0 || bind(sock, reinterpret_cast<sockaddr *>(&ja), sizeof ja) != 0) {
        std::printf("simmodul %s: nelze otevrit port %d - koncim\n", n.adresa, portmodulu);
        return 1;
    }
    if (!n.tise)
        std::printf("simmodul %s: posloucham na portu %d\n", n.adresa, portmodulu);

    pamet p;
    p.pricina = n.pricina;
    for (;;) {
        std::uint8_t buf[64];
        sockaddr_in od{};
        socklen_t delka = sizeof od;
        ssize_t m = recvfrom(sock, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&od), &delka);
        if (auto prikaz = ctiprikaz({buf, m > 0 ? static_cast<std::size_t>(m) : 0}))
            odpovez(sock, od, *prikaz, n, p);
    }
}

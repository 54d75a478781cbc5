// unitkick ADDRESS: makes one heating module reset itself. It sends the module
// the reset command at the next half-second mark, as the daemon sends its
// time commands, and leaves it to the daemon's event log to show the reset
// cause that the module then reports.
#include "cekani.hpp"
#include "datagram.hpp"
#include "priorita.hpp"
#include "rozvrh.hpp"

#include <arpa/inet.h>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::puts("Musi nasledovat prave jeden argument -IP adresa modulu");
        std::puts("Program unitkick konci \n");
        return 0;
    }
    in_addr_t adresa = inet_addr(argv[1]);
    if (adresa == INADDR_NONE) {
        std::puts(" !!! format adresy chybny, koncim !!!");
        return 0;
    }
    int sock = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (sock < 0) {
        // "vytyvorit" is the system's own spelling, kept byte for byte.
        std::puts("Fatalni chyba - nelze vytyvorit socket pro vysilani UDP - konec \n");
        return 1;
    }
    fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) & ~O_NONBLOCK);

    // Wake exactly at the next x.5 s, planned again on the new clock when the
    // clock is set during the wait: the wait never lasts a second more. With
    // real-time priority where it may have it (root, or RLIMIT_RTPRIO): a
    // busy PC then does not make the command late; otherwise it waits as a
    // normal process, without a word.
    presnecasovani();
    dejrealnycas(pthread_self());
    int budik = otevribudik();
    std::timespec ted{};
    do
        clock_gettime(CLOCK_REALTIME, &ted);
    while (!cekejdo(budik, pristipulsekunda(ted.tv_sec, ted.tv_nsec / 1000)));
    clock_gettime(CLOCK_REALTIME, &ted);
    auto prikaz = sestavprikaz(prikazreset, ted.tv_sec);

    sockaddr_in modul{};
    modul.sin_family = AF_INET;
    modul.sin_port = htons(portmodulu);
    modul.sin_addr.s_addr = adresa;
    if (sendto(sock, prikaz.data(), prikaz.size(), 0, reinterpret_cast<sockaddr *>(&modul),
               sizeof modul) < 0) {
        std::puts("Error: nelze odeslat paket pro modul ");
        return 2;
    }
    close(sock);
    std::puts("Pozadavek na reset byl odeslan");
    std::puts("Jeho vyplneni zkontrolujte ve vypisu kamnar.log\n");
    return 0;
}

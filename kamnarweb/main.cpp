// kamnarweb: the house at a glance in a browser. Reads the daemon's state
// file /run/kamnar/kamnar.prom every 2 s and serves, read-only, the page of
// the modules at / and the file as it is at /metrics (for Prometheus).
//   kamnarweb [ADDRESS [PORT]]      (default 127.0.0.1 8150)
// Runs until SIGTERM or SIGINT. Exit status 0 after such a stop, 1 for wrong
// arguments, 2 when it cannot listen.
#include "cteni.hpp"
#include "historie.hpp"
#include "http.hpp"
#include "oznameni.hpp"
#include "rodiny.hpp"
#include "stranka.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int obdobi = 2; // s between two readings of the file

historie pamet;

// Reads the file, records it and makes the new bodies public.
void obnov() {
    long long ted = std::time(nullptr);
    snimek s = nactistav(cestastavu, ted);
    zaznamenej(pamet, s, ted);
    obsah o;
    o.stranka = std::make_shared<const std::string>(stranka(s, pamet, cestastavu));
    // A stale file is not served as it is: Prometheus would take the values
    // of a daemon that is gone for current ones.
    if (jeplatny(s)) {
        o.metriky = std::make_shared<const std::string>(std::move(s.text));
        o.kodmetrik = 200;
    } else {
        o.metriky = std::make_shared<const std::string>(zprava(s, cestastavu) + "\n");
    }
    zverejni(std::move(o));
}

// A message to the service manager, when there is one.
void hlas(const char *zprava) {
    std::optional<adresaspravce> a = adresaoznameni(std::getenv("NOTIFY_SOCKET"));
    if (!a)
        return;
    int s = soketoznameni();
    oznam(s, *a, zprava);
    if (s >= 0)
        close(s);
}

// The listening socket on the address and port, or -1 with errno.
int naslouchej(const sockaddr_storage &adresa, socklen_t delka) {
    int s = socket(adresa.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0)
        return -1;
    int ano = 1;
    if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &ano, sizeof ano) != 0 ||
        bind(s, reinterpret_cast<const sockaddr *>(&adresa), delka) != 0 ||
        listen(s, static_cast<int>(nejvicespojeni)) != 0) {
        int chyba = errno;
        close(s);
        errno = chyba;
        return -1;
    }
    return s;
}

// Where to listen, as the arguments name it.
struct misto {
    const char *adresa = "127.0.0.1";
    const char *port = "8150";
    sockaddr_storage a{};
    socklen_t delka = 0;
};

// Reads the arguments into m; false, having said why, when they are wrong.
bool ctiargumenty(int argc, char **argv, misto &m) {
    if (argc > 3) {
        std::printf("Pouziti: kamnarweb [adresa [port]] - bez nich 127.0.0.1 8150\n");
        return false;
    }
    if (argc > 1)
        m.adresa = argv[1];
    if (argc > 2)
        m.port = argv[2];
    char *konec = nullptr;
    errno = 0;
    unsigned long port = std::strtoul(m.port, &konec, 10);
    if (*m.port < '0' || *m.port > '9' || *konec != '\0' || errno != 0 || port < 1 ||
        port > 65535) {
        std::printf("Port %s neni cislo od 1 do 65535 - koncim\n", m.port);
        return false;
    }
    auto *v4 = reinterpret_cast<sockaddr_in *>(&m.a);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&m.a);
    if (inet_pton(AF_INET, m.adresa, &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        m.delka = sizeof *v4;
    } else if (inet_pton(AF_INET6, m.adresa, &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        m.delka = sizeof *v6;
    } else {
        std::printf("Adresa %s neni IP adresa - koncim\n", m.adresa);
        return false;
    }
    return true;
}

// SIGINT and SIGTERM blocked, to be waited for; the library's thread
// inherits the mask, so the signals come to that wait alone.
sigset_t zablokujsignaly() {
    sigset_t signaly;
    sigemptyset(&signaly);
    sigaddset(&signaly, SIGINT);
    sigaddset(&signaly, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signaly, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return signaly;
}

// Reads the file every obdobi seconds until SIGINT or SIGTERM.
void obsluhuj(const sigset_t &signaly) {
    for (;;) {
        timespec cekej{obdobi, 0};
        int signal = sigtimedwait(&signaly, nullptr, &cekej);
        if (signal == SIGINT || signal == SIGTERM)
            return;
        hlidejspojeni();
        obnov();
    }
}

} // namespace

int main(int argc, char **argv) {
    misto m;
    if (!ctiargumenty(argc, argv, m))
        return 1;
    const sigset_t signaly = zablokujsignaly();
    obnov();
    int naslouchani = naslouchej(m.a, m.delka);
    if (naslouchani < 0) {
        std::printf("Nelze poslouchat na %s port %s - chyba cislo %d - koncim\n", m.adresa, m.port,
                    errno);
        return 2;
    }
    if (!spustserver(naslouchani)) {
        std::printf("Server HTTP se nepodarilo spustit - koncim\n");
        return 2;
    }
    std::printf("kamnarweb posloucha na %s port %s, stav cte ze souboru %s\n", m.adresa, m.port,
                cestastavu);
    std::fflush(stdout);
    hlas("READY=1");
    obsluhuj(signaly);
    hlas("STOPPING=1");
    zastavserver();
    std::printf("kamnarweb skoncil\n");
    return 0;
}

// simzarizeni: a stand-in for the board's device server, for development,
// tests and the demo. It listens on the device server's socket, takes each
// connection as one message read to its end, prints what the device would
// do with it and can append the raw bytes to a file. It never answers, and
// no message, however malformed, ends it.
#include "popiszpravy.hpp"
#include "zarizeni.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

// Far more than any command; the rest of a longer message is counted, not kept.
constexpr std::size_t nejvicbajtu = 4096;
// A client that neither writes nor closes for this long is cut off.
constexpr int necinnostsec = 5;

std::atomic<int> konec{0};

void nasignal(int) {
    konec = 1;
}

struct nastaveni {
    std::string cesta = cestasocketu;
    std::string zaznam; // empty: no recording
    long pocet = 0;     // 0: run until SIGINT or SIGTERM
    bool zavirat = false;
};

void pouziti() {
    std::printf("pouziti: simzarizeni [-s SOCKET] [-r SOUBOR] [-n POCET] [-x]\n"
                "  -s SOCKET  cesta socketu (jinak %s)\n"
                "  -r SOUBOR  syrove bajty kazde zpravy pripojit na konec souboru\n"
                "  -n POCET   skoncit po POCET zpravach\n"
                "  -x         kazde spojeni hned zavrit, nic necist\n",
                cestasocketu);
}

bool ctinastaveni(int argc, char **argv, nastaveni &n) {
    for (int i = 1; i < argc; ++i) {
        std::string volba = argv[i];
        if (volba == "-x") {
            n.zavirat = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const char *hodnota = argv[++i];
        if (volba == "-s")
            n.cesta = hodnota;
        else if (volba == "-r")
            n.zaznam = hodnota;
        else if (volba == "-n") {
            char *konecc = nullptr;
            n.pocet = std::strtol(hodnota, &konecc, 10);
            if (*hodnota == '\0' || *konecc != '\0' || n.pocet < 1)
                return false;
        } else
            return false;
    }
    sockaddr_un a{};
    return !n.cesta.empty() && n.cesta.size() < sizeof a.sun_path;
}

// Makes the directories above the socket file, like mkdir -p.
void udelejadresare(const std::string &cesta) {
    for (std::size_t i = 1; (i = cesta.find('/', i)) != std::string::npos; ++i)
        mkdir(cesta.substr(0, i).c_str(), 0755);
}

// Reads one connection to its end: the client's close, an error, or a
// client idle for too long. Keeps the first nejvicbajtu bytes.
std::vector<std::uint8_t> ctizpravu(int fd, std::size_t &celkem, const char *&jakskoncila) {
    timeval limit{necinnostsec, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::vector<std::uint8_t> z;
    celkem = 0;
    jakskoncila = nullptr;
    std::uint8_t buf[1024];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n == 0)
            return z;
        if (n < 0) {
            if (errno == EINTR && !konec)
                continue;
            jakskoncila = errno == EAGAIN ? "klient necinny, spojeni preruseno"
                                          : "chyba cteni, spojeni preruseno";
            return z;
        }
        celkem += static_cast<std::size_t>(n);
        std::size_t vejde = nejvicbajtu - z.size();
        z.insert(z.end(), buf, buf + std::min(vejde, static_cast<std::size_t>(n)));
    }
}

void zaznamenej(const std::string &soubor, const std::vector<std::uint8_t> &z) {
    int fd = open(soubor.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::printf("  zaznam do %s se nepodaril: %s\n", soubor.c_str(), std::strerror(errno));
        return;
    }
    std::size_t hotovo = 0;
    while (hotovo < z.size()) {
        ssize_t n = write(fd, z.data() + hotovo, z.size() - hotovo);
        if (n <= 0)
            break;
        hotovo += static_cast<std::size_t>(n);
    }
    close(fd);
}

// The listening socket at the path, its directories made and a socket left
// over from an earlier run removed; -1 with errno.
int naslouchej(const std::string &cesta) {
    udelejadresare(cesta);
    struct stat st {};
    if (lstat(cesta.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
        unlink(cesta.c_str());
    int posluchac = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un adresa{};
    adresa.sun_family = AF_UNIX;
    std::memcpy(adresa.sun_path, cesta.c_str(), cesta.size() + 1);
    if (posluchac >= 0 &&
        (bind(posluchac, reinterpret_cast<sockaddr *>(&adresa), sizeof adresa) != 0 ||
         listen(posluchac, 16) != 0)) {
        int chyba = errno;
        close(posluchac);
        errno = chyba;
        return -1;
    }
    return posluchac;
}

// The connection fd, message number `poradi`: read to its end, printed with
// what the device would do with it and recorded when asked to.
void obsluz(int fd, long poradi, const nastaveni &n) {
    if (n.zavirat) {
        close(fd);
        std::printf("zprava %ld: spojeni hned zavreno, nic neprecteno\n", poradi);
        std::fflush(stdout);
        return;
    }
    std::size_t celkem = 0;
    const char *jakskoncila = nullptr;
    std::vector<std::uint8_t> z = ctizpravu(fd, celkem, jakskoncila);
    close(fd);
    std::printf("zprava %ld, %zu bajtu: %s\n", poradi, celkem, hexvypis(z, 256).c_str());
    if (jakskoncila)
        std::printf("  %s\n", jakskoncila);
    if (celkem > z.size())
        std::printf("  zprava prilis dlouha, popis a zaznam jen z prvnich %zu bajtu\n", z.size());
    std::string popis = popiszpravu(z);
    for (std::size_t i = 0; i < popis.size();) {
        std::size_t konecradku = popis.find('\n', i);
        if (konecradku == std::string::npos)
            konecradku = popis.size();
        std::printf("  %.*s\n", static_cast<int>(konecradku - i), popis.c_str() + i);
        i = konecradku + 1;
    }
    if (!n.zaznam.empty())
        zaznamenej(n.zaznam, z);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv) {
    nastaveni n;
    if (!ctinastaveni(argc, argv, n)) {
        pouziti();
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = nasignal; // without SA_RESTART, so a waiting accept ends
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int posluchac = naslouchej(n.cesta);
    if (posluchac < 0) {
        std::printf("simzarizeni: nelze poslouchat na %s: %s\n", n.cesta.c_str(),
                    std::strerror(errno));
        return 1;
    }
    std::printf("simzarizeni posloucha na %s\n", n.cesta.c_str());
    std::fflush(stdout);

    // SIGINT and SIGTERM get through only while waiting for a connection, so
    // one that comes between the test of the flag and the wait is not lost.
    sigset_t signaly, puvodni;
    sigemptyset(&signaly);
    sigaddset(&signaly, SIGINT);
    sigaddset(&signaly, SIGTERM);
    sigprocmask(SIG_BLOCK, &signaly, &puvodni);
    long poradi = 0;
    while (!konec && (n.pocet == 0 || poradi < n.pocet)) {
        pollfd cekani{posluchac, POLLIN, 0};
        if (ppoll(&cekani, 1, nullptr, &puvodni) <= 0)
            continue;
        int fd = accept4(posluchac, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno != EINTR)
                std::printf("simzarizeni: accept: %s\n", std::strerror(errno));
            continue;
        }
        obsluz(fd, ++poradi, n);
    }
    close(posluchac);
    unlink(n.cesta.c_str());
    std::printf("simzarizeni konci po %ld zpravach\n", poradi);
    return 0;
}

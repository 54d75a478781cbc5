#include "lifecycle.hpp"

#include "broadcaster.hpp"
#include "cekani.hpp"
#include "datagram.hpp"
#include "hodinypc.hpp"
#include "konzole.hpp"
#include "log.hpp"
#include "notify.hpp"
#include "priorita.hpp"
#include "receiver.hpp"
#include "soubory.hpp"
#include "stav.hpp"
#include "tables.hpp"
#include "vlakna.hpp"
#include "zacatek.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

std::atomic<int> koncime{0};

namespace {

int prijsock = -1; // receive socket, UDP port 15150, non-blocking: the receiver's
int vyssock = -1;  // send socket, blocking: the time sender's

// How long the stop gives the log's writer for the last entries.
constexpr std::chrono::seconds dopsanilogu{1};

// The handler cannot log (it would wait for the log's queue, which the thread
// it interrupts may hold), so it leaves the entry to the main thread. One
// entry per run, however many signals come.
enum zaznamsignalu : int { zadny, kzapisu, zapsan };
std::atomic<int> signalkzapisu{zadny};
static_assert(std::atomic<int>::is_always_lock_free);

// The two workers: each started or not, for the rest of the run.
struct vlakno {
    pthread_t id;
    bool bezi = false;
    std::atomic<bool> skoncilo{false}; // its body has returned
};
vlakno prijem, vysilani;

// The workers get their socket and the stop flag from here.
void *vlakno1(void *) {
    prijemUDP(prijsock, koncime);
    prijem.skoncilo = true;
    return nullptr;
}

void *vlakno2(void *) {
    // Its entries and its console line go through rings of its own, made
    // before it started: it never waits for a lock that a normal thread holds.
    pouzijkruhlogu();
    pouzijkruhkonzole();
    posilamcas(vyssock, koncime);
    vysilani.skoncilo = true;
    return nullptr;
}

void nastavblokovani(int sock, bool blokujici) {
    int priznaky = fcntl(sock, F_GETFL);
    fcntl(sock, F_SETFL, blokujici ? priznaky & ~O_NONBLOCK : priznaky | O_NONBLOCK);
}

// A receive buffer of 4 MiB holds the status datagrams of a few seconds of
// heavy traffic, so that a moment in which the receive thread does not run
// loses none of them. Beyond the system's limit only a privileged process
// may go (SO_RCVBUFFORCE); otherwise the limit is what it gets.
void zvetsiprijem(int sock) {
    int velikost = 4 << 20;
    if (setsockopt(sock, SOL_SOCKET, SO_RCVBUFFORCE, &velikost, sizeof velikost) != 0)
        setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &velikost, sizeof velikost);
}

void zapissignal() {
    int nazapsani = kzapisu;
    if (signalkzapisu.compare_exchange_strong(nazapsani, zapsan))
        // "HUP" for SIGINT is the system's own text, kept byte for byte.
        zapisdologu(true, "Prisel signal HUP \n");
}

// A UDP socket; when the system refuses one, the text goes to the console
// and the log, and the result is -1. ("vytyvorit" in the texts is the
// system's own spelling, kept byte for byte.)
int novysocket(const char *fatalni) {
    int s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s < 0) {
        konzole(fatalni);
        zapisdologu(true, fatalni);
    }
    return s;
}

// Creates the receive socket bound to port 15150; returns false after
// reporting the failure.
bool otevriprijem() {
    prijsock = novysocket("Fatalni chyba - nelze vytyvorit socket pro prijem UDP - konec \n\n");
    if (prijsock < 0)
        return false;
    sockaddr_in mistni{};
    mistni.sin_family = AF_INET;
    mistni.sin_port = htons(portdemona);
    mistni.sin_addr.s_addr = htonl(INADDR_ANY);
    // "tady " before the bind is the system's own console line, kept as it is.
    konzole("tady \n");
    if (bind(prijsock, reinterpret_cast<const sockaddr *>(&mistni), sizeof mistni) != 0) {
        chybybind();
        close(prijsock);
        return false;
    }
    nastavblokovani(prijsock, false);
    zvetsiprijem(prijsock);
    return true;
}

bool otevrivysilani() {
    vyssock = novysocket("Fatalni chyba - nelze vytyvorit socket pro vysilani UDP - konec \n\n");
    if (vyssock < 0)
        return false;
    nastavblokovani(vyssock, true);
    return true;
}

// The console line that explains a bind error code, or nullptr for codes
// without one.
const char *vysvetlenibind(int chyba) {
    switch (chyba) {
    case EBADF:
        return "Deskriptor souboru neni platny ";
    case ENOTSOCK:
        return "Deskriptor neukazuje na socket ";
    case EINVAL:
        return "Deskriptor ukazuje na jiz pojmenovany socket ";
    case EADDRNOTAVAIL:
        return "Adresa neni k dispozici ";
    case EADDRINUSE:
        return "Adresa ma jiz prirazen socket ";
    default:
        return nullptr;
    }
}

void nastavsignal() {
    struct sigaction sa {};
    sa.sa_handler = skoncito;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: the main thread's sleep ends at once
    sigaction(SIGINT, &sa, nullptr);
}

} // namespace

// The entry's flag is set first: whoever sees koncime set also sees it.
void skoncito(int) {
    int dosud = zadny;
    signalkzapisu.compare_exchange_strong(dosud, kzapisu);
    koncime = 1;
}

void chybybind() {
    int e = errno;
    konzolef("je problem s bind - chyba cislo %d - koncim\n", e);
    // The entry's blank after its line end is the system's own, kept as it is.
    zapisdologuf(true, "je problem s bind - chyba cislo %d - koncim\n ", e);
    if (const char *text = vysvetlenibind(e)) {
        konzolef("%s\n", text);
        zapisdologuf(false, "%s\n", text);
    }
}

void pustvlakna() {
    zapisdologu(true, "poustim vlakna --\n");
    // The workers never take SIGINT: it always reaches the main thread, whose
    // sleep it cuts short so that the signal entry is written at once.
    prijem.bezi = pustvlakno(vlakno1, "prijemUDP", &prijem.id);
    if (!prijem.bezi)
        zapisdologu(false, "nepodarilo se pustit vlakno prijemUDP --\n");
    // It inherits a real-time priority the daemon was started with.
    vysilani.bezi = pustvlakno(vlakno2, "posilamcas", &vysilani.id, true);
    if (!vysilani.bezi)
        zapisdologu(false, "nepodarilo se pustit vlakno posilamcas --\n");
    zapisdologu(true, "skoncil jsem pousteni vlaken --\n");
}

namespace {

// How long each worker is given to end after SIGINT: the time sender
// finishes its wait for the next x0.5 s and that cycle's sends (up to about
// 11 s), the receiver its wait for a datagram (cekaniprijmu).
constexpr std::chrono::seconds dobavysilace{12}, dobaprijmu{1};

// The log entry that says at which priority the time sender runs. The
// priority is given here, by the main thread, so that the entry always
// comes at the same place in the log; then the main thread puts itself at
// normal priority, which it kept until now when it was started with a
// real-time one, for the time sender to inherit.
void zapisprioritu() {
    if (!vysilani.bezi || konpolemod == 0) { // no sender, or one that ended at once
        normalnipriorita();
        return;
    }
    int chyba = dejrealnycas(vysilani.id);
    normalnipriorita();
    if (chyba == 0)
        zapisdologuf(true, "Vlakno posilamcas bezi s prioritou realneho casu %d \n", prioritacasu);
    else
        zapisdologuf(true,
                     "Vlakno posilamcas bezi s normalni prioritou, realny cas nepovolen - "
                     "chyba cislo %d \n",
                     chyba);
}

// Locks the memory once every thread runs (their stacks are locked with it)
// and says whether it could. Sanitizer builds lock nothing and say nothing.
void zapispamet() {
    if (int chyba = zamknipamet(); chyba == 0)
        zapisdologu(true, "Pamet kamnar uzamcena \n");
    else if (chyba > 0)
        zapisdologuf(true, "Pamet kamnar nelze uzamknout - chyba cislo %d \n", chyba);
}

// Waits for the worker at most `doba` from `od` (the monotonic clock),
// looking every 10 ms whether its body has returned, then joins it; one that
// has not ended by then is named in the log and left to the end of the
// process. True when it ended.
bool dockejvlakna(const vlakno &v, const char *jmeno, std::chrono::seconds doba,
                  std::chrono::steady_clock::time_point od) {
    if (!v.bezi)
        return true;
    while (!v.skoncilo && std::chrono::steady_clock::now() < od + doba)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (v.skoncilo) {
        pthread_join(v.id, nullptr); // it returns right after its flag
        return true;
    }
    zapisdologuf(true, "Vlakno %s neskoncilo do %d sec - koncim bez nej \n", jmeno,
                 static_cast<int>(doba.count()));
    return false;
}

int beh() {
    koncime = 0;
    demon.start = std::time(nullptr);

    if (!zacatekprogramu("kamnar"))
        return -1;
    if (!otevriprijem() || !otevrivysilani())
        return -1;
    nastavsignal();
    pustvlakna();
    zapisprioritu();
    sledujhodiny();
    zapispamet();
    zapisstav();
    // Ready once the start's entries are in the log, or the log's disk has
    // had its time to take them.
    dopislog(dopsanilogu);
    hlaspripraven();

    // The state file is written here, once a second, and not by the time
    // sender, whose sends must never wait for a file; so it stays fresh
    // with no module configured too.
    while (!koncime) {
        sleep(1);
        zapissignal();
        sledujhodiny();
        zapisstav();
        hlasbeh();
    }
    // A SIGINT that came while the threads were started, or after the last
    // look at the flag, is logged here: every stop by SIGINT has its entry.
    zapissignal();
    hlaskonec();

    // Both bounds count from here, the moment the stop began. A worker that
    // has not ended (a send held in a stalled network queue) keeps its socket.
    auto od = std::chrono::steady_clock::now();
    bool prijemskoncil = dockejvlakna(prijem, "prijemUDP", dobaprijmu, od);
    bool vysilaniskoncilo = dockejvlakna(vysilani, "posilamcas", dobavysilace, od);
    // The one-second pause also lets the console take the workers' last text.
    auto konecpauzy = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    dopiskonzoli(std::chrono::seconds(1));
    std::this_thread::sleep_until(konecpauzy);
    if (prijemskoncil)
        close(prijsock);
    if (vysilaniskoncilo)
        close(vyssock);
    zapisstav(false);
    zapisdologu(false, " \n\n");
    zapisdologu(true, "Program kamnar radne skoncil \n\n");
    dopislog(dopsanilogu);
    return 0;
}

// The start ends when a writer thread cannot be started: the time sender
// would otherwise wait for the disk or the terminal itself.
bool pustpisare() {
    const char *nepusten = !pustkonzoli() ? "konzole" : !pustlog() ? "log" : nullptr;
    if (!nepusten)
        return true;
    konzolef("Fatalni chyba - nelze pustit vlakno %s - konec \n\n", nepusten);
    zapisdologuf(true, "Fatalni chyba - nelze pustit vlakno %s - konec \n\n", nepusten);
    return false;
}

} // namespace

int behdemona() {
    // One heap for every thread: the arenas that glibc makes per thread
    // reserve 64 MiB each, which the memory lock would count whole.
    mallopt(M_ARENA_MAX, 1);
    priorituzacatku(); // before any thread is started: only the sender keeps it
    // Everything the daemon prints goes through the console's writer thread,
    // and every entry through the log's, so that neither standard output
    // nor the log's disk can hold a thread, from the first line on.
    if (!pustpisare()) {
        dopiskonzoli(std::chrono::seconds(1));
        return -1;
    }
    int vysledek = beh();
    if (vysledek != 0) { // the orderly stop gave both their time
        dopislog(dopsanilogu);
        dopiskonzoli(std::chrono::seconds(1));
    }
    return vysledek;
}

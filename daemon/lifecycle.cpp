#include "lifecycle.hpp"

#include "broadcaster.hpp"
#include "cekani.hpp"
#include "config.hpp"
#include "datagram.hpp"
#include "konzole.hpp"
#include "log.hpp"
#include "notify.hpp"
#include "receiver.hpp"
#include "stav.hpp"
#include "tables.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

std::atomic<int> koncime{0};
int prijsock = -1;
int vyssock = -1;

namespace {

constexpr const char *jmenokonfigurace = "kamnar.conf";

// The handler cannot log (the thread it interrupts may hold pisudologu), so
// it leaves the entry to the main thread: 0 no SIGINT yet, 1 the entry is
// due, 2 it is written. One entry per run, however many signals come.
std::atomic<int> signalkzapisu{0};
static_assert(std::atomic<int>::is_always_lock_free);

pthread_t ukvlk1, ukvlk2;
bool bezi1 = false, bezi2 = false;

// The real-time priority the daemon was started with (zdedenyrealnycas).
// Only its initial thread has it, so that thread becomes the time sender,
// and start-up, the wait for SIGINT and the stop run in a thread it starts,
// at normal priority like the receiver: pustvlakna then hands the sending
// over to the initial thread instead of starting a thread for it.
int zdedenapriorita = 0;
struct {
    std::mutex zamek;
    std::condition_variable zmena;
    int stav = 0; // 0 not yet, 1 send now, 2 sent to the end or never to start
} predani;

// Moves the hand-over from state `ze` to `na`; from any other, not at all.
void nastavpredani(int ze, int na) {
    {
        std::lock_guard z(predani.zamek);
        if (predani.stav != ze)
            return;
        predani.stav = na;
    }
    predani.zmena.notify_all();
}

int cekejnapredani(int mimo) {
    std::unique_lock z(predani.zamek);
    predani.zmena.wait(z, [mimo] { return predani.stav != mimo; });
    return predani.stav;
}

void *vlakno1(void *) {
    prijemUDP();
    return nullptr;
}

void *vlakno2(void *) {
    posilamcas();
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
    int nazapsani = 1;
    if (signalkzapisu.compare_exchange_strong(nazapsani, 2))
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
    int zadny = 0;
    signalkzapisu.compare_exchange_strong(zadny, 1);
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
    sigset_t puvodni = bezsigint();

    pthread_attr_t atributy;
    pthread_attr_init(&atributy);
    bezi1 = pthread_create(&ukvlk1, &atributy, vlakno1, nullptr) == 0;
    if (!bezi1)
        zapisdologu(false, "nepodarilo se pustit vlakno prijemUDP --\n");
    if (zdedenapriorita) {
        nastavpredani(0, 1);
        bezi2 = true;
    } else
        bezi2 = pthread_create(&ukvlk2, &atributy, vlakno2, nullptr) == 0;
    if (!bezi2)
        zapisdologu(false, "nepodarilo se pustit vlakno posilamcas --\n");
    pthread_attr_destroy(&atributy);

    obnovmasku(puvodni);
    zapisdologu(true, "skoncil jsem pousteni vlaken --\n");
}

bool zacatekprogramu(const char *program) {
    FILE *log = otevrisoubor(cestalogu, true);
    if (!log) {
        konzolef("Nelze otevrit logfile %s - koncim !!! \n\n", cestalogu);
        return false;
    }
    std::fclose(log);
    zapisdologu(false, " \n\n\n");
    zapisdologuf(true, " ********  Program %s spusten ********* \n\n", program);

    FILE *konfigurace = otevrisoubor(jmenokonfigurace, false);
    if (!konfigurace) {
        konzolef("Nelze otevrit konfiguracni file %s - koncim !!! \n\n", jmenokonfigurace);
        zapisdologuf(true, "Nelze otevrit konfiguracni file %s - koncim !!! \n\n",
                     jmenokonfigurace);
        return false;
    }
    inicializujtabulky();
    ctikonfiguraci(konfigurace);
    return true;
}

namespace {

// The log entry that says at which priority the time sender runs. The
// priority is given here, by the main thread, so that the entry always
// comes at the same place in the log.
void zapisprioritu() {
    if (!bezi2 || konpolemod == 0) // no sender, or one that ended at once
        return;
    int priorita = zdedenapriorita, chyba = 0;
    if (!priorita) {
        chyba = dejrealnycas(ukvlk2);
        priorita = prioritacasu;
    }
    if (chyba == 0)
        zapisdologuf(true, "Vlakno posilamcas bezi s prioritou realneho casu %d \n", priorita);
    else
        zapisdologuf(true,
                     "Vlakno posilamcas bezi s normalni prioritou, realny cas nepovolen - "
                     "chyba cislo %d \n",
                     chyba);
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
    zapisstav();
    hlaspripraven();

    // The state file is written here, once a second, and not by the time
    // sender, whose sends must never wait for a file; so it stays fresh
    // with no module configured too.
    while (!koncime) {
        sleep(1);
        zapissignal();
        zapisstav();
        hlasbeh();
    }
    // A SIGINT that came while the threads were started, or after the last
    // look at the flag, is logged here: every stop by SIGINT has its entry.
    zapissignal();
    hlaskonec();

    if (bezi1)
        pthread_join(ukvlk1, nullptr);
    if (bezi2 && zdedenapriorita)
        cekejnapredani(1);
    else if (bezi2)
        pthread_join(ukvlk2, nullptr);
    // The one-second pause also lets the console take the workers' last text.
    auto konecpauzy = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    dopiskonzoli(std::chrono::seconds(1));
    std::this_thread::sleep_until(konecpauzy);
    close(prijsock);
    close(vyssock);
    zapisstav(false);
    zapisdologu(false, " \n\n");
    zapisdologu(true, "Program kamnar radne skoncil \n\n");
    return 0;
}

void *hlavniprace(void *vysledek) {
    *static_cast<int *>(vysledek) = beh();
    nastavpredani(0, 2); // the sending was never handed over
    return nullptr;
}

// The initial thread with real-time priority: the daemon's work in a thread
// of normal priority, the time sender here, once pustvlakna hands it over.
int behsprioritou() {
    int vysledek = -1;
    pthread_t prace;
    if (pthread_create(&prace, nullptr, hlavniprace, &vysledek) != 0) {
        zdedenapriorita = 0; // no second thread: the sender gets a thread of its own
        return beh();
    }
    bezsigint(); // SIGINT goes to the thread that waits for it
    if (cekejnapredani(0) == 1) {
        posilamcas();
        nastavpredani(1, 2);
    }
    pthread_join(prace, nullptr);
    return vysledek;
}

} // namespace

int behdemona() {
    // Everything the daemon prints goes through the console's writer thread,
    // so that standard output can hold no thread, from the first line on.
    zdedenapriorita = zdedenyrealnycas(); // before any thread is started
    pustkonzoli();
    int vysledek = zdedenapriorita ? behsprioritou() : beh();
    if (vysledek != 0) // the orderly stop gave the console its time in the pause
        dopiskonzoli(std::chrono::seconds(1));
    return vysledek;
}

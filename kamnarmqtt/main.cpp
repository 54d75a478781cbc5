// kamnarmqtt: the heating in Home Assistant. Reads the daemon's state file
// /run/kamnar/kamnar.prom every 2 s and publishes the daemon's and each
// module's state to an MQTT broker, with Home Assistant's discovery configs
// of their entities; everything retained, QoS 1, on change and every 5
// minutes. The daemon knows nothing of it.
//   kamnarmqtt [-c FILE]      (default /etc/kamnar/kamnarmqtt.conf)
// Runs until SIGTERM or SIGINT. Exit status 0 after such a stop, 1 for wrong
// arguments, 2 for a configuration that cannot be used.
#include "cteni.hpp"
#include "nastaveni.hpp"
#include "relace.hpp"
#include "rodiny.hpp"
#include "seznam.hpp"
#include "zpravy.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>

namespace {

constexpr long long obdobi = 2000;          // ms between two readings of the file
constexpr long long obnova = 5 * 60 * 1000; // ms: every state again at the latest

volatile std::sig_atomic_t konec = 0;
nastaveni nast;
prehled posledni; // what the last file of the daemon's said
bool bezi = false;
bool cerstvy = false;                        // the last reading was a file of the daemon's, fresh
std::map<std::string, std::string> odeslano; // the key last published, by topic
std::string cestaseznamu;
seznam publikovano;
bool seznamchyba = false;

void signal(int) {
    konec = 1;
}

// Reads the file: a torn, foreign, stale or missing one leaves everything as
// it was but that the daemon does not run.
void precti() {
    snimek s = nactistav(cestastavu, std::time(nullptr));
    cerstvy = s.stav == stavsouboru::bezi || s.stav == stavsouboru::skoncil;
    bezi = s.stav == stavsouboru::bezi;
    if (cerstvy)
        posledni = std::move(s.p);
}

void ulozseznamjednou() {
    if (ulozseznam(cestaseznamu, publikovano) || seznamchyba)
        return;
    seznamchyba = true;
    std::printf("Seznam %s nelze zapsat - chyba cislo %d - moduly odebrane z konfigurace "
                "zustanou v Home Assistant\n",
                cestaseznamu.c_str(), errno);
}

// The modules that left the daemon's configuration: every topic published
// about them is cleared; the new ones are listed before they are published.
void odeber(const std::set<std::string> &adresy) {
    bool zmena = false;
    for (const std::string &a : adresy)
        if (!publikovano.contains(a)) {
            publikovano[a] = tematamodulu(nast, a);
            zmena = true;
        }
    for (const std::string &a : odebrane(publikovano, adresy)) {
        bool vse = true;
        for (const std::string &tema : publikovano[a]) {
            vse = zverejni(tema, "") && vse;
            odeslano.erase(tema);
        }
        if (vse) {
            publikovano.erase(a);
            zmena = true;
        }
    }
    if (zmena)
        ulozseznamjednou();
}

// Publishes what changed since it was published last.
void zverejnizmeny() {
    std::vector<sdeleni> zpravy = vsechnyzpravy(nast, posledni, bezi);
    if (cerstvy) {
        std::set<std::string> adresy;
        for (const auto &[cislo, m] : posledni.moduly)
            if (platnaadresa(m.adresa))
                adresy.insert(m.adresa);
        odeber(adresy);
    }
    for (const sdeleni &z : zpravy) {
        auto o = odeslano.find(z.tema);
        if (o != odeslano.end() && o->second == z.klic)
            continue;
        if (zverejni(z.tema, z.obsah))
            odeslano[z.tema] = z.klic;
    }
}

// The configuration, or exit status 2 with its fault.
void nactinastaveni(const char *cesta, bool vychozi) {
    std::string text, heslo;
    std::string chyba = nactisoubor(cesta, vychozi, text);
    if (chyba.empty())
        chyba = ctinastaveni(text, cesta, nast);
    if (chyba.empty())
        chyba = overtlsca(nast, cesta);
    if (chyba.empty() && !nast.heslosoubor.empty())
        chyba = nactiheslo(nast, cesta, heslo);
    std::string zalozeni;
    if (chyba.empty() && !zalozrelaci(nast, heslo, zalozeni))
        chyba = zalozeni;
    if (!chyba.empty()) {
        std::printf("%s\n", chyba.c_str());
        std::exit(2);
    }
}

} // namespace

int main(int argc, char **argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const char *cesta = vychozinastaveni;
    if (argc == 3 && std::strcmp(argv[1], "-c") == 0)
        cesta = argv[2];
    else if (argc != 1) {
        std::printf("Pouziti: kamnarmqtt [-c soubor] - bez nej %s\n", vychozinastaveni);
        return 1;
    }
    nactinastaveni(cesta, argc == 1);
    const char *adresar = std::getenv("STATE_DIRECTORY");
    cestaseznamu =
        std::string(adresar && *adresar ? adresar : "/var/lib/kamnarmqtt") + "/publikovano";
    publikovano = nactiseznam(cestaseznamu);

    struct sigaction sa {};
    sa.sa_handler = signal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("kamnarmqtt cte stav ze souboru %s a posila ho brokeru %s port %d\n", cestastavu,
                nast.broker.c_str(), nast.port);

    long long dalsicteni = 0, dalsiobnova = 0;
    while (!konec) {
        obsluhuj(hodinyms());
        long long ted = hodinyms();
        bool zmena = false;
        if (ted >= dalsicteni) {
            precti();
            dalsicteni = ted + obdobi;
            zmena = true;
        }
        // After a connect, Home Assistant's birth message and every 5
        // minutes all is published again.
        if (novespojeni() || rozenivyprselo(ted) || ted >= dalsiobnova) {
            odeslano.clear();
            dalsiobnova = ted + obnova;
            zmena = true;
        }
        if (zmena && pripojeno())
            zverejnizmeny();
    }
    ukoncirelaci();
    std::printf("kamnarmqtt skoncil\n");
    return 0;
}

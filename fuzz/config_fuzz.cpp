// Any bytes as kamnar.conf, read by the daemon's configuration reader, with
// some calendar files present and others absent. After each read the tables,
// homedir and the log's overview must be what the reader promises.
#include "config.hpp"
#include "hlidac.hpp"
#include "spolecne.hpp"
#include "tables.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// kamnar.conf in the sandbox's working directory, set at start-up.
std::string konfigurace;

// The overview the reader writes at its end, built from the tables.
std::string prehled() {
    std::string text = "prehled nactenych kalendaru\n";
    char radek[400];
    char adresa[INET_ADDRSTRLEN];
    for (int i = 0; i < konkal; ++i) {
        const kalendar &k = polekal[static_cast<std::size_t>(i)];
        inet_ntop(AF_INET, &k.adresa, adresa, sizeof adresa);
        std::snprintf(radek, sizeof radek, "%16s  %2d %s \n", adresa, k.cislo, k.cesta);
        text += radek;
    }
    text += "\nprehled nactenych modulu\n";
    for (int i = 0; i < konpolemod; ++i) {
        inet_ntop(AF_INET, &polemod[static_cast<std::size_t>(i)].adresa, adresa, sizeof adresa);
        std::snprintf(radek, sizeof radek, " %02d --%16s  \n", i, adresa);
        text += radek;
    }
    return text + "\n";
}

bool jenulovy(const char *od, const char *po) {
    return std::all_of(od, po, [](char c) { return c == '\0'; });
}

void kontrolujkalendare() {
    INVARIANT(konkal >= 0 && konkal <= pocetslotu);
    for (int i = 0; i < pocetslotu; ++i) {
        const kalendar &k = polekal[static_cast<std::size_t>(i)];
        const char *konec = static_cast<const char *>(std::memchr(k.cesta, '\0', sizeof k.cesta));
        INVARIANT(konec != nullptr); // cesta terminated within its 204 bytes
        // Nothing is ever written behind the terminator (the slots were zeroed).
        INVARIANT(jenulovy(konec, k.cesta + sizeof k.cesta));
        if (i < konkal) {
            INVARIANT(k.cesta[0] == '/');
            INVARIANT(k.adresa != zadnaadresa);
            INVARIANT(access(k.cesta, F_OK) == 0); // it opened, so it is there
        } else {
            INVARIANT(k.cesta[0] == '\0');
            INVARIANT(k.cislo == -1);
            INVARIANT(k.adresa == zadnaadresa);
        }
    }
}

void kontrolujmoduly() {
    INVARIANT(konpolemod >= 0 && konpolemod <= pocetslotu - 1);
    INVARIANT(konpolemod <= konkal);
    // The modules are the distinct addresses of the calendar slots in the
    // order of their first appearance; a 31st calendar adds no module.
    std::vector<std::uint32_t> poradi;
    for (int i = 0; i < std::min(konkal, pocetslotu - 1); ++i) {
        std::uint32_t a = polekal[static_cast<std::size_t>(i)].adresa;
        if (std::find(poradi.begin(), poradi.end(), a) == poradi.end())
            poradi.push_back(a);
    }
    INVARIANT(poradi.size() == static_cast<std::size_t>(konpolemod));
    for (int i = 0; i < pocetslotu; ++i) {
        const modul &m = polemod[static_cast<std::size_t>(i)];
        if (i < konpolemod) {
            INVARIANT(m.adresa == poradi[static_cast<std::size_t>(i)]);
            INVARIANT(m.adresa != zadnaadresa);
            INVARIANT(najdimodul(m.adresa) == i); // pairwise distinct
        } else {
            INVARIANT(m.adresa == zadnaadresa);
        }
        // The reader sets nothing but the address.
        for (const auto &t : m.tmr1)
            INVARIANT(t == 0);
        INVARIANT(m.odpocet == 5 && m.hlidac == plnyhlidac && m.defpr1 == -1);
    }
}

void kontrolujlog() {
    const std::string log = ctilog();
    const std::string zacatek = "zaciname cist konfiguracni file\n\n";
    const std::string konec = "skonceno cteni konfiguracniho file\n\n";
    constexpr std::size_t prefix = 22; // "DD.MM.YYYY hh:mm:ss : "
    INVARIANT(log.size() >= prefix + zacatek.size());
    INVARIANT(log.compare(prefix, zacatek.size(), zacatek) == 0);
    // The overview, with the single line end after it, stands right before
    // the closing entry.
    std::string ocekavany = prehled();
    INVARIANT(log.size() >= ocekavany.size() + prefix + konec.size());
    INVARIANT(log.ends_with(konec));
    INVARIANT(log.compare(log.size() - konec.size() - prefix - ocekavany.size(), ocekavany.size(),
                          ocekavany) == 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    konfigurace = pripravfuzz() + "/kamnar.conf";
    mkdir("/home/kamnar", 0755);
    mkdir("/home/kamnar/d", 0755);
    mkdir("/home/k", 0755);
    for (const char *f : {"/home/kamnar/a.ics", "/home/kamnar/b.ics", "/home/kamnar/1",
                          "/home/kamnar/d/c.ics", "/home/kamnar/a b.ics", "/home/k/a.ics"})
        zapissoubor(f, "BEGIN:VCALENDAR\n", 16);
    // x.ics and everything else under /home stay absent.
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    nulujlog();
    zapissoubor(konfigurace.c_str(), data, size);
    // Zero whole slots first, so that a write behind a terminator shows.
    for (kalendar &k : polekal)
        std::memset(k.cesta, 0, sizeof k.cesta);
    std::memset(homedir, 0x55, sizeof homedir);
    inicializujtabulky();
    FILE *f = std::fopen(konfigurace.c_str(), "r");
    INVARIANT(f != nullptr);
    ctikonfiguraci(f);

    INVARIANT(std::memchr(homedir, '\0', sizeof homedir) != nullptr);
    INVARIANT(homedir[0] == '/');
    kontrolujkalendare();
    kontrolujmoduly();
    kontrolujlog();
    return 0;
}

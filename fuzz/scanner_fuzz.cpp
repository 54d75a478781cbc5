// Any bytes as a calendar file, scanned by prohledej, and every DTSTART or
// DTEND line of it converted by najdicas. The scan reads the file to its end
// and leaves both tables as they were; a refused time leaves its output alone.
#include "scanner.hpp"
#include "spolecne.hpp"
#include "tables.hpp"

#include <arpa/inet.h>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace {

const char *const kalendarovy = "/home/kamnar/f.ics";

// The identifying fields and state of both tables, to compare before and after.
struct obraz {
    std::array<kalendar, pocetslotu> kal;
    std::array<std::array<std::int32_t, 9>, pocetslotu> mod;
    int konkal, konpolemod;
};

obraz sejmi() {
    obraz o{};
    std::memcpy(o.kal.data(), polekal.data(), sizeof o.kal);
    for (std::size_t i = 0; i < pocetslotu; ++i) {
        const modul &m = polemod[i];
        o.mod[i] = {static_cast<std::int32_t>(m.adresa),
                    m.tmr1[0],
                    m.tmr1[1],
                    m.tmr1[2],
                    m.tmr1[3],
                    m.tmr1[4],
                    m.odpocet,
                    m.hlidac,
                    m.defpr1};
    }
    o.konkal = konkal;
    o.konpolemod = konpolemod;
    return o;
}

bool stejne(const obraz &a, const obraz &b) {
    return std::memcmp(a.kal.data(), b.kal.data(), sizeof a.kal) == 0 && a.mod == b.mod &&
           a.konkal == b.konkal && a.konpolemod == b.konpolemod;
}

// najdicas on one line as the scan reads it (up to its first NUL, the way the
// scan's string tests see it).
void kontrolujcas(std::string_view radek) {
    std::string text(radek.substr(0, radek.find('\0')));
    const std::time_t nedotceno = 0x5A5A5A5A;
    std::time_t cas = nedotceno;
    int vysledek = najdicas(text.c_str(), &cas);
    INVARIANT(vysledek == 0 || vysledek == 1);
    if (vysledek == 0) {
        INVARIANT(cas == nedotceno);
        return;
    }
    // Accepted only behind one of the two markers, with room for the fields.
    std::size_t z = text.find("TZID=Europe/Prague:");
    std::size_t d = text.find("VALUE=DATE:");
    INVARIANT(z != std::string::npos || d != std::string::npos);
    if (z != std::string::npos)
        INVARIANT(text.size() - z - 19 > 14 && text[z + 19 + 8] == 'T');
    else
        INVARIANT(text.size() - d - 11 > 7);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    pripravfuzz();
    mkdir("/home/kamnar", 0755);
    inicializujtabulky();
    pridejkalendar(kalendarovy, 1, inet_addr("127.0.0.2"));
    pridejmodul(inet_addr("127.0.0.2"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    nulujlog();
    zapissoubor(kalendarovy, data, size);
    const obraz pred = sejmi();
    INVARIANT(prohledej(0) == 0);
    INVARIANT(stejne(pred, sejmi()));

    std::string_view soubor(reinterpret_cast<const char *>(data), size);
    while (!soubor.empty()) {
        std::size_t konec = soubor.find('\n');
        std::string_view radek = soubor.substr(0, konec == soubor.npos ? konec : konec + 1);
        soubor.remove_prefix(radek.size());
        if (radek.find("DTSTART;") != radek.npos || radek.find("DTEND;") != radek.npos)
            kontrolujcas(radek);
    }
    return 0;
}

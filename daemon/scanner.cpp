#include "scanner.hpp"

#include "konzole.hpp"
#include "log.hpp"
#include "soubory.hpp"
#include "tables.hpp"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr const char *znackacasu = "TZID=Europe/Prague:";
constexpr const char *znackadata = "VALUE=DATE:";

// The lines of an event that the scanner passes over: those holding one of
// these words carry nothing it checks.
constexpr std::array<const char *, 11> slovapreskakovanych = {
    "CREATED",  "LAST-MODIFIED", "DTSTAMP", "UID",   "X-MOZ-GENERATION", "X-MOZ-FAKED", "LOCATION",
    "SEQUENCE", "STATUS",        "SUMMARY", "TRANSP"};

// The line buffer of one scan, grown by getline and released with the scan.
struct radky {
    char *buf = nullptr;
    std::size_t velikost = 0;
    radky() = default;
    radky(const radky &) = delete;
    radky &operator=(const radky &) = delete;
    ~radky() { std::free(buf); }
};

bool obsahuje(const char *radek, const char *slovo) {
    return std::strstr(radek, slovo) != nullptr;
}

// A field of `delka` characters at `od` in the time text, read as atoi reads
// it; the caller has checked that the text is long enough.
int pole(const char *text, std::size_t od, std::size_t delka) {
    char kus[8] = {};
    std::memcpy(kus, text + od, delka);
    return std::atoi(kus);
}

bool preskakovanyradek(const char *radek) {
    for (const char *slovo : slovapreskakovanych)
        if (obsahuje(radek, slovo))
            return true;
    return false;
}

// State of the event being read.
struct udalost {
    bool otevrena = false;
    bool chyba = false;
    std::time_t zacatek = 0;
    std::time_t konec = 0;
};

// A DTSTART or DTEND line: a refused time leaves the time 0 and marks the event.
void cticas(const char *radek, int cislo, const char *cesta, std::time_t *cas, bool *chyba) {
    *cas = 0;
    if (!najdicas(radek, cas)) {
        zapisdologuf(false, "na radku %d ve file %s spatne zadan cas %s \n", cislo, cesta, radek);
        *chyba = true;
    }
}

void uzavri(udalost &u, int cislo, const char *cesta) {
    if (u.zacatek == 0) {
        u.chyba = true;
        zapisdologuf(false, "pred radkem %d ve file %s neni zadan DTSTART \n", cislo, cesta);
    }
    if (u.konec == 0) {
        u.chyba = true;
        zapisdologuf(false, "pred radkem %d ve file %s neni zadan DTEND \n", cislo, cesta);
    }
    if (u.konec < u.zacatek) {
        u.chyba = true;
        zapisdologuf(false, "pred radkem %d ve file %s je DTEND < DTSTART \n", cislo, cesta);
    }
    // "dsend" for DTEND is the system's own console text, kept byte for byte.
    konzolef(" Nasel jsem END:VEVENT dtstart %lld  dsend %lld   %s",
             static_cast<long long>(u.zacatek), static_cast<long long>(u.konec),
             u.chyba ? " ERR \n " : " OK \n ");
    u.otevrena = false;
}

} // namespace

int najdicas(const char *line, std::time_t *out) {
    const char *text = nullptr;
    bool scasem = false;
    if (const char *z = std::strstr(line, znackacasu)) {
        text = z + std::strlen(znackacasu);
        scasem = true;
    } else if (const char *d = std::strstr(line, znackadata)) {
        text = d + std::strlen(znackadata);
    } else {
        zapisdologuf(
            false,
            "  najdicas: v radku nenalezeno TZID=Europe/Prague: ani VALUE=DATE:  ---%s--- \n",
            line);
        return 0;
    }
    // The length counts the line terminator too.
    if (std::strlen(text) <= (scasem ? 14u : 7u)) {
        zapisdologuf(false, "  najdicas: casovy retezec --%s-- ma chybnou delku \n", text);
        return 0;
    }
    std::tm t{};
    t.tm_year = pole(text, 0, 4) - 1900;
    t.tm_mon = pole(text, 4, 2) - 1;
    t.tm_mday = pole(text, 6, 2);
    t.tm_isdst = -1; // mktime decides whether summer time applies
    if (scasem) {
        if (text[8] != 'T') {
            zapisdologuf(false, "  najdicas: casovy retezec --%s-- neobsahuje pismeno T \n", text);
            return 0;
        }
        t.tm_hour = pole(text, 9, 2);
        t.tm_min = pole(text, 11, 2);
        t.tm_sec = pole(text, 13, 2);
    }
    *out = std::mktime(&t);
    return 1;
}

int prohledej(int index) {
    if (index < 0 || index >= konkal) {
        zapisdologuf(true, "prohledej: kalendar s cislem %d neexistuje ! \n", index);
        return 1;
    }
    const char *cesta = polekal[static_cast<std::size_t>(index)].cesta;
    otevrenysoubor f(otevrisoubor(cesta, false));
    if (!f) {
        zapisdologuf(true, "prohledej: kalendar %s s cislem %d nelze otevrit ! \n", cesta, index);
        return 2;
    }

    int cislo = 0;
    udalost u;
    radky r;
    while (getline(&r.buf, &r.velikost, f.get()) > 0) {
        ++cislo;
        const char *radek = r.buf;
        if (obsahuje(radek, "BEGIN:VEVENT")) {
            if (!u.otevrena)
                u = udalost{true, false, 0, 0};
            else
                zapisdologuf(true,
                             "na radku %d ve file %s nalezeno  BEGIN:VEVENT  bez predchoziho "
                             "END:VEVENT \n",
                             cislo, cesta);
        } else if (!u.otevrena) {
            // outside an event: the calendar's own lines and time-zone blocks
        } else if (obsahuje(radek, "END:VEVENT")) {
            uzavri(u, cislo, cesta);
        } else if (preskakovanyradek(radek)) {
            // nothing to check in it
        } else if (obsahuje(radek, "DTSTART")) {
            if (obsahuje(radek, "DTSTART;"))
                cticas(radek, cislo, cesta, &u.zacatek, &u.chyba);
        } else if (obsahuje(radek, "DTEND")) {
            if (obsahuje(radek, "DTEND;"))
                cticas(radek, cislo, cesta, &u.konec, &u.chyba);
        } else {
            zapisdologuf(false, "na radku %d ve file %s nerozumim %s \n", cislo, cesta, radek);
        }
    }
    return 0;
}

int prohledejvse() {
    int vysledek = 0;
    for (int i = 0; i < konkal; ++i)
        if (prohledej(i) != 0)
            vysledek = 1;
    return vysledek;
}

#include "config.hpp"

#include "log.hpp"
#include "soubory.hpp"
#include "tables.hpp"

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <string>

char homedir[101];

namespace {

constexpr const char *vychozidir = "/home/kamnar/";
// A header line this long (line end included) is taken as an empty address.
constexpr std::size_t nejdelsihlavicka = 199;

void nastavhomedir(const char *hodnota) {
    std::strncpy(homedir, hodnota, sizeof homedir - 1);
    homedir[sizeof homedir - 1] = '\0';
}

// Handles one calendar line in force of a valid section; returns false when
// the calendar table has just become full and reading must end.
bool zpracujkalendar(const char *radek, std::uint32_t sekce) {
    int cislo = 0;
    std::string_view soubor;
    switch (ctikalendar(radek, &cislo, &soubor)) {
    case kalradek::bezmezery:
        return true;
    case kalradek::necislo:
        zapisdologuf(false, "retezec %s nezacina cislem - zahazuji \n", radek);
        return true;
    case kalradek::platny:
        break;
    }
    std::string cesta = std::string(homedir).append(soubor);
    // A path that does not fit a calendar slot is refused as unopenable.
    FILE *f = cesta.size() < sizeof kalendar::cesta ? otevrisoubor(cesta.c_str(), false) : nullptr;
    if (!f) {
        zapisdologuf(false, "error: kalendarovy file %s nelze otevrit \n", cesta.c_str());
        return true;
    }
    std::fclose(f);
    pridejkalendar(cesta.c_str(), cislo, sekce);
    if (konkal == pocetslotu)
        return false;
    pridejmodul(sekce);
    return true;
}

void zapisprehled() {
    char adresa[INET_ADDRSTRLEN];
    zapisdologu(false, "prehled nactenych kalendaru\n");
    for (int i = 0; i < konkal; ++i) {
        const kalendar &k = polekal[static_cast<std::size_t>(i)];
        inet_ntop(AF_INET, &k.adresa, adresa, sizeof adresa);
        zapisdologuf(false, "%16s  %2d %s \n", adresa, k.cislo, k.cesta);
    }
    zapisdologu(false, "\nprehled nactenych modulu\n");
    for (int i = 0; i < konpolemod; ++i) {
        inet_ntop(AF_INET, &polemod[static_cast<std::size_t>(i)].adresa, adresa, sizeof adresa);
        zapisdologuf(false, " %02d --%16s  \n", i, adresa);
    }
}

} // namespace

char *najdidir(char *radek) {
    char *klic = std::strstr(radek, "homedir");
    if (!klic)
        return nullptr;
    char *hodnota = std::strchr(klic + std::strlen("homedir"), '/');
    if (!hodnota)
        return nullptr;
    hodnota[std::strcspn(hodnota, " \n\r")] = '\0';
    return hodnota;
}

hlavicka ctihlavicku(const char *radek, std::uint32_t *adresa) {
    const char *o = std::strchr(radek, '[');
    const char *c = std::strchr(radek, ']');
    if (!o || !c)
        return hlavicka::zadna;
    if (o > c)
        return hlavicka::obracena;
    std::string text;
    if (std::strlen(radek) < nejdelsihlavicka)
        text.assign(o + 1, c);
    std::uint32_t a = inet_addr(text.c_str());
    if (a == zadnaadresa)
        return hlavicka::chybna;
    *adresa = a;
    return hlavicka::platna;
}

kalradek ctikalendar(const char *radek, int *cislo, std::string_view *soubor) {
    if (!std::strchr(radek, ' '))
        return kalradek::bezmezery;
    char *konec = nullptr;
    long n = std::strtol(radek, &konec, 10);
    if (konec == radek || *konec != ' ')
        return kalradek::necislo;
    while (*konec == ' ')
        ++konec;
    *cislo = static_cast<int>(n);
    *soubor = std::string_view(konec, std::strcspn(konec, "\n\r"));
    return kalradek::platny;
}

void ctikonfiguraci(FILE *f) {
    nastavhomedir(vychozidir);
    std::uint32_t sekce = zadnaadresa;
    zapisdologu(true, "zaciname cist konfiguracni file\n\n");
    konkal = 0;
    konpolemod = 0;

    // One line buffer, grown by getline to hold each whole line.
    char *buf = nullptr;
    std::size_t velikost = 0;
    while (getline(&buf, &velikost, f) > 0) {
        if (std::strchr(buf, '#'))
            continue;
        if (const char *dir = najdidir(buf)) {
            nastavhomedir(dir);
            continue;
        }
        switch (ctihlavicku(buf, &sekce)) {
        case hlavicka::obracena:
        case hlavicka::platna:
            continue;
        case hlavicka::chybna:
            zapisdologu(false, " !!! format adresy chybny, sekci preskakuji !!!\n");
            sekce = zadnaadresa;
            continue;
        case hlavicka::zadna:
            break;
        }
        if (sekce != zadnaadresa && !zpracujkalendar(buf, sekce))
            break;
    }
    std::free(buf);

    zapisprehled();
    std::fclose(f);
    zapisdologu(false, '\n');
    zapisdologu(true, "skonceno cteni konfiguracniho file\n\n");
}

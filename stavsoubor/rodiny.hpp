// The daemon's state file: where it is, and the families of values it holds
// (the Prometheus text format, version 0.0.4). The one description that the
// daemon writes it by and kamnarstav and kamnarweb read it by.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// The file is written only while this directory exists (the service unit
// creates it); a daemon run by hand without it writes nothing.
inline constexpr const char *adresarstavu = "/run/kamnar";
inline constexpr const char *cestastavu = "/run/kamnar/kamnar.prom";
// Written first and renamed over the file, so a reader never sees half of it;
// the collector reads only *.prom, so it never sees this one.
inline constexpr const char *docasnystav = "/run/kamnar/kamnar.prom.tmp";

// How old the file may be by its time of change, in seconds, to be one that
// a running daemon keeps: it rewrites it every second. One older than that,
// or written more than nejvicezbudoucnosti after the present moment of the
// clock (so before the clock was set back, and not rewritten since), is not.
inline constexpr long long nejvysestari = 30;
inline constexpr long long nejvicezbudoucnosti = 2;

// The families, in the order the file holds them.
enum class rodina {
    bezi,
    start,
    odmodulu,
    odcizich,
    zpozdeni,
    vynechano,
    cekajici,
    nezapsano,
    ztraceno,
    hodinysync,
    maxerror,
    chybazapisu,
    // The families of the modules, each sample labelled modul="N",adresa="A"
    // (and the readings stari="0" to "4", the newest 0).
    odpovida,
    hlidac,
    tmr1,
    defpr1,
    souhlasi,
    poslednipaket,
    pricina,
    casresetu,
    prikazy,
    chybyodeslani,
};
// How many families there are: the last one's number and one.
inline constexpr std::size_t pocetrodin = static_cast<std::size_t>(rodina::chybyodeslani) + 1;

struct popisrodiny {
    rodina r;
    const char *jmeno;
    const char *typ;      // "gauge" or "counter"
    const char *napoveda; // its HELP line (pricina's ends with the legend of the causes)
};
extern const std::array<popisrodiny, pocetrodin> rodiny;

// Whether the family's samples are the modules'.
bool modulova(rodina r);

// The family of a name in the file, or nullptr.
const popisrodiny *najdirodinu(std::string_view jmeno);

// The family's HELP text.
std::string napovedarodiny(const popisrodiny &p);

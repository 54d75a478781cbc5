// kamnarweb's reading of the daemon's state file: the file read whole, but
// never more of it than nejvicebajtu, and what it says about the daemon. The
// file may be missing, cut short, huge or not the daemon's at all: each case
// is a state of its own that the page names.
#pragma once

#include "ctenistavu.hpp"
#include "rodiny.hpp"

#include <string>

// The daemon writes about 1 KiB per module and some 2 KiB besides.
inline constexpr long long nejvicebajtu = 1 << 20;

enum class stavsouboru {
    bezi,         // the daemon runs: the file is fresh and whole
    skoncil,      // the file the daemon wrote as it stopped
    stary,        // not rewritten for more than nejvysestari seconds, or from the future
    chybi,        // no file
    nelzeprecist, // open, stat or read failed (chyba)
    velky,        // more than nejvicebajtu (velikost)
    neuplny,      // its last line has no end: cut short
    cizi,         // no kamnar_bezi sample in it: not the daemon's
};

struct snimek {
    stavsouboru stav = stavsouboru::chybi;
    int chyba = 0;          // errno of nelzeprecist
    long long velikost = 0; // bytes, of velky
    long long zmena = 0;    // the file's modification, Unix time
    long long nacteno = 0;  // when it was read, Unix time
    std::string text;       // the file as it is, when read whole
    prehled p;              // what it says, with bezi, skoncil and stary
};

// What the text of a file modified at `zmena` says at `ted`.
snimek posud(std::string text, long long zmena, long long ted);

// Reads the file at `cesta` at `ted`.
snimek nactistav(const char *cesta, long long ted);

// Whether the snapshot holds the daemon's table (bezi, skoncil, stary).
bool matabulku(const snimek &s);

// Whether it is the daemon's whole and current file (bezi, skoncil): what
// kamnarstav tabulates and /metrics serves as it is.
bool jeplatny(const snimek &s);

// The state in one line for people, naming the file: empty while the daemon
// runs.
std::string zprava(const snimek &s, const char *cesta);

// kamnarstav's side of the state file: what it reads from the daemon's
// snapshot and the table it prints for people.
#pragma once

#include <ctime>
#include <map>
#include <optional>
#include <string>

// One module as the snapshot shows it; what the snapshot leaves out is empty.
struct prehledmodulu {
    std::string adresa;
    bool odpovida = false;
    std::optional<long long> poslednipaket; // Unix time
    std::optional<long long> tmr1;          // the newest reading
    std::optional<long long> defpr1;
    std::optional<bool> souhlasi; // clock agrees with the PC
    std::optional<int> pricina;   // last reported reset cause
};

struct prehled {
    bool bezi = true;                    // false: the daemon wrote the file as it stopped
    std::map<int, prehledmodulu> moduly; // by module number
    std::optional<long long> start;      // Unix time
    long long odmodulu = 0, odcizich = 0;
    std::optional<double> zpozdeni; // seconds
    // The log: entries waiting, how long the oldest has waited (s), entries lost.
    long long logceka = 0, logztraceno = 0;
    double lognezapsano = 0;
};

// How old the file may be by its time of change, in seconds, to be one that
// a running daemon keeps: it rewrites it every second. One older than that,
// or written more than nejvicezbudoucnosti after the present moment of the
// clock (so before the clock was set back, and not rewritten since), is not.
inline constexpr long long nejvysestari = 30;
inline constexpr long long nejvicezbudoucnosti = 2;

// Reads the snapshot's text; lines it does not know are passed over.
prehled ctiprehled(const std::string &text);

// The table: a header and one line per module, then the daemon's line, and
// a line on the log when its disk does not answer or entries were lost. The
// times are shown in local time, the ages counted to `ted`.
std::string tabulka(const prehled &p, std::time_t ted);

// kamnarstav's exit status for a snapshot it could read: 0 when every module
// answers, 1 when one or more does not, 2 when the daemon has stopped.
int vysledek(const prehled &p);

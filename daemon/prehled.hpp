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
    std::optional<bool> souhlasi;       // clock agrees with the PC
    std::optional<int> pricina;         // last reported reset cause
    std::optional<long long> casresetu; // the module's time it reported with that cause
    std::optional<int> hlidac;          // reply watchdog, 10 after each of its datagrams
};

struct prehled {
    bool bezi = true;                    // false: the daemon wrote the file as it stopped
    bool hlasibeh = false;               // the text holds the kamnar_bezi sample
    std::map<int, prehledmodulu> moduly; // by module number
    std::optional<long long> start;      // Unix time
    long long odmodulu = 0, odcizich = 0;
    std::optional<double> zpozdeni; // seconds
};

// Reads the snapshot's text; lines it does not know are passed over.
prehled ctiprehled(const std::string &text);

// Local time as the table shows it: 07.12.2026 19:15:20.
std::string mistnicas(long long t);

// A module's cells in the table's words: its clock ("-", "souhlasi",
// "nesouhlasi") and its last reset cause ("-", the event log's words, or the
// number the words are not known for).
const char *texthodin(const prehledmodulu &m);
std::string textresetu(const prehledmodulu &m);

// The daemon's line of the table, without its line end.
std::string radekdemona(const prehled &p);

// The table: a header and one line per module, then the daemon's line. The
// times are shown in local time, the ages counted to `ted`.
std::string tabulka(const prehled &p, std::time_t ted);

// kamnarstav's exit status for a snapshot it could read: 0 when every module
// answers, 1 when one or more does not, 2 when the daemon has stopped.
int vysledek(const prehled &p);

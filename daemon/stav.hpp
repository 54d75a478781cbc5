// The daemon's state file: a snapshot of the module table and of the daemon's
// counters in the Prometheus text exposition format (version 0.0.4), kept in
// /run/kamnar/kamnar.prom while the daemon runs. kamnarstav prints it for
// people; node_exporter's textfile collector serves it to Prometheus.
#pragma once

#include "datagram.hpp"
#include "tables.hpp"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <limits>
#include <string>

// The file is written only while this directory exists (the service unit
// creates it); a daemon run by hand without it writes nothing.
inline constexpr const char *adresarstavu = "/run/kamnar";
inline constexpr const char *cestastavu = "/run/kamnar/kamnar.prom";
// Written first and renamed over the file, so a reader never sees half of it;
// the collector reads only *.prom, so it never sees this one.
inline constexpr const char *docasnystav = "/run/kamnar/kamnar.prom.tmp";

// No send cycle has run yet.
inline constexpr std::int64_t zadnycyklus = std::numeric_limits<std::int64_t>::min();

// The daemon's own counters, each written by one thread and read by the
// snapshot.
struct pocitadla {
    std::atomic<std::int64_t> start{0};              // Unix time of the start (main thread)
    std::atomic<std::uint64_t> odmodulu{0};          // datagrams from configured modules (receiver)
    std::atomic<std::uint64_t> odcizich{0};          // datagrams from other addresses (receiver)
    std::atomic<std::uint64_t> vynechano{0};         // log entries the flood budget left out
    std::atomic<std::int64_t> zpozdeni{zadnycyklus}; // last cycle's lateness after x0.5 s, ns
};
extern pocitadla demon;

// The receiver: what a status datagram of module m says, received at `ted`.
void zaznamenejpaket(modul &m, const stavmodulu &s, std::time_t ted);

// The time sender: a cycle meant for `cil` read the clock at `ted` before
// its first send.
void zaznamenejcyklus(const std::timespec &cil, const std::timespec &ted);

// The snapshot's text from the tables and the counters. Every field is read
// whole, but the snapshot may mix the values of two datagrams. `bezi` is
// false for the last snapshot, written when the daemon stops.
std::string vytvorstav(bool bezi = true);

// Writes the snapshot: a temporary file in /run/kamnar renamed over the file.
// Nothing when the directory does not exist. The first failure is logged,
// and so is the first success after failures; nothing else is, so a failure
// never floods the log. Used by the main thread alone.
void zapisstav(bool bezi = true);

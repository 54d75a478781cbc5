// The module table and the calendar table: fixed arrays in static storage,
// filled once from the configuration before the worker threads start; and
// the daemon's own counters beside them.
#pragma once

#include "datagram.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <limits>

inline constexpr int pocetslotu = 31;
// All ones: what inet_addr returns for a bad text; marks an empty slot.
inline constexpr std::uint32_t zadnaadresa = 0xFFFFFFFFu;

// One heating module. The address is fixed after the configuration is read;
// the other fields are shared by the receiver and the time broadcaster, each
// read and written whole.
struct modul {
    std::uint32_t adresa;                          // IPv4, network byte order
    std::array<std::atomic<std::int32_t>, 5> tmr1; // last five TMR1 readings, [4] newest
    std::atomic<std::int32_t> odpocet;             // readings left before the history is shown
    std::atomic<std::int32_t> hlidac;              // reply watchdog in 10 s send periods
    std::atomic<std::int32_t> defpr1; // last DEFPR1 value reported, 0 to 65535; -1 = none yet

    // What the state file shows besides (stav.hpp); each written by one
    // worker and read by the main thread's snapshot.
    std::atomic<std::int64_t> poslednipaket; // Unix time of its last datagram, 0 = none yet
    std::atomic<std::int32_t> souhlasi;   // clock agrees by its last datagram: 1, 0; -1 = none yet
    std::atomic<std::int32_t> pricina;    // its last reported reset cause, -1 = none yet
    std::atomic<std::uint32_t> casresetu; // the module time reported with that cause
    std::atomic<std::uint64_t> odeslano;  // time commands sent
    std::atomic<std::uint64_t> chybodeslani; // time commands the system refused to send
};
static_assert(std::atomic<std::int64_t>::is_always_lock_free);
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);

// One calendar file of a module.
struct kalendar {
    char cesta[204];      // homedir followed by the file name
    std::int32_t cislo;   // number from the configuration line
    std::uint32_t adresa; // address of the section the line stood in
};

extern std::array<modul, pocetslotu> polemod;
extern int konpolemod;
extern std::array<kalendar, pocetslotu> polekal;
extern int konkal;

// Gives every slot of both tables its initial values and zeroes the counts.
void inicializujtabulky();

// Appends a calendar slot; the path must fit cesta (at most 203 characters).
void pridejkalendar(const char *cesta, int cislo, std::uint32_t adresa);

// Adds a module slot for the address unless it is there or the table is full.
void pridejmodul(std::uint32_t adresa);

// The first filled module slot with this address, or -1.
int najdimodul(std::uint32_t adresa);

// The time command a module gets: prikazcasdefpr1 (8) while it has reported
// no DEFPR1 value, or 0, else prikazcas (2).
std::uint8_t casovyprikaz(int slot);

// What one status datagram told of its module, for the receiver's texts.
struct zpravamodulu {
    bool historie;      // a reading that completes the five of the history, or a later one
    bool defpr1;        // a DEFPR1 value came
    bool odpovidaznovu; // the module had been reported silent
};
// Writes into the module's record everything that the status datagram `s`,
// received at `ted`, tells: the TMR1 reading or the DEFPR1 value, the
// watchdog set back to 10, the time of the datagram, the clock agreement and
// the reset reported. The one writer of these fields; the time sender writes
// the others (the watchdog's lowering and the commands sent).
zpravamodulu zapispaket(modul &m, const stavmodulu &s, std::time_t ted);

// No send cycle has run yet.
inline constexpr std::int64_t zadnycyklus = std::numeric_limits<std::int64_t>::min();

// The daemon's own counters, each written by one thread and read by the
// state file's snapshot.
struct pocitadla {
    std::atomic<std::int64_t> start{0};              // Unix time of the start (main thread)
    std::atomic<std::uint64_t> odmodulu{0};          // datagrams from configured modules (receiver)
    std::atomic<std::uint64_t> odcizich{0};          // datagrams from other addresses (receiver)
    std::atomic<std::uint64_t> vynechano{0};         // log entries the flood budget left out
    std::atomic<std::int64_t> zpozdeni{zadnycyklus}; // last cycle's lateness after x0.5 s, ns
};
extern pocitadla demon;

// The budget of the log entries that status datagrams cause. Without it a
// flood of datagrams, from strangers or forged with a module's address (easy
// on a house network), writes an entry for each of them and fills the disk
// within hours. Each module has a budget of its own, so that a flood in one
// module's name leaves the other modules' entries alone, and the strangers
// share one. A budget holds 60 entries and gains one every 2 s: a module
// sends a datagram every 10 s, which causes at most four entries (reset
// cause, DEFPR1 value, answering again, clock agreement), and a stranger
// that sends now and then gets one entry per datagram, so normal traffic
// never reaches it. Entries beyond it are counted instead of written, and at
// most one summary entry a minute says how many were left out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::int64_t rozestupzaznamu = 2000; // ms in which a budget gains one entry
inline constexpr std::int64_t zasobazaznamu = 60;     // entries that a full budget holds
inline constexpr std::int64_t oknoshrnuti = 60000;    // ms: at most one summary entry in them

// A budget is kept as the instant (ms of a monotonic clock) from which it is
// full again; an instant in the past means full.
struct propustka {
    bool zapsat;         // the entry may be written
    std::int64_t plnyod; // the budget afterwards
};
// The decision for one entry at the instant `ted`: a refused entry leaves
// the budget as it was.
propustka propust(std::int64_t plnyod, std::int64_t ted);

// The strangers' addresses of one summary, in a table of fixed size (the
// memory stays flat whatever the flood): 0 marks a free place, an address a
// is kept as a + 1. Adds the address and returns true when it is new; a
// table three quarters full takes no more and returns false.
bool pridejadresu(std::span<std::uint64_t> tabulka, std::size_t &pocet, std::uint32_t adresa);

// The receive thread's side (it alone calls these): whether the entry that a
// datagram of module `modul`, or of the stranger `adresa`, causes now is
// written. A refused one is counted for the summary.
bool zapismodulu(int modul);
bool zapiscizi(std::uint32_t adresa);

// Writes the summary entry when entries were left out and a minute has
// passed since the first of them, or with `konec` (the receiver stops) as
// soon as any were left out.
void shrnzaplavu(bool konec);

// Every budget full, nothing counted: the state of a receiver that starts.
void nulujzaplavu();

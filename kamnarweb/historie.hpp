// The modules' strips: for each minute of the last 24 hours, whether the
// module answered, kept in kamnarweb's memory from the snapshots it reads.
// Nothing is written anywhere: the history begins when kamnarweb starts.
#pragma once

#include "cteni.hpp"

#include <array>
#include <cstdint>
#include <map>
#include <string>

inline constexpr long long minutdne = 24 * 60;

// What a minute of a module's strip saw, as bits: a datagram from the module
// came in it, or a snapshot of it showed a whole cycle gone without an
// answer (cyklusbezodpovedi). Neither: nothing is known of that minute (kamnar
// or kamnarweb did not run).
inline constexpr std::uint8_t paketprisel = 1;
inline constexpr std::uint8_t mlcel = 2;

struct pasmodulu {
    std::string adresa;
    std::array<std::uint8_t, minutdne> minuty{}; // by Unix minute, modulo minutdne
};

struct historie {
    long long od = 0;     // Unix time of its first snapshot; 0: none yet
    long long minuta = 0; // the newest minute it holds (Unix time / 60)
    std::map<int, pasmodulu> moduly;
};

// Index of a Unix minute in a strip.
std::size_t policko(long long minuta);

// Records the snapshot s read at `ted`. Minutes that passed since the last
// one are cleared; only a running daemon's snapshot marks anything. A module
// no longer in the file is forgotten, one with a new address starts anew, and
// a clock that went back starts the whole history anew.
void zaznamenej(historie &h, const snimek &s, long long ted);

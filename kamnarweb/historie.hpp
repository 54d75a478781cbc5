// The modules' strips: for each minute of the last 7 days, whether the
// module answered, kept from the snapshots kamnarweb reads. The history is
// written to a file of the service's state directory once a minute and at
// the stop, and read from it at the start, so a restart keeps it.
#pragma once

#include "cteni.hpp"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

inline constexpr long long minutdne = 24 * 60;
inline constexpr long long minuttydne = 7 * minutdne;
// The most modules a history holds (the lowest numbers), as a daemon's
// configuration names.
inline constexpr std::size_t nejvicemodulu = 31;
// A clock gone back by less than this keeps the history; the snapshots
// older than its newest minute are passed over.
inline constexpr long long krokzpet = 60; // minutes

// What a minute of a module's strip saw, as bits: a datagram from the module
// came in it, or a snapshot of it showed a whole cycle gone without an
// answer (cyklusbezodpovedi). Neither: nothing is known of that minute (kamnar
// or kamnarweb did not run).
inline constexpr std::uint8_t paketprisel = 1;
inline constexpr std::uint8_t mlcel = 2;

struct pasmodulu {
    std::string adresa;
    std::array<std::uint8_t, minuttydne> minuty{}; // by Unix minute, modulo minuttydne
};

struct historie {
    long long od = 0;     // Unix time of its first snapshot; 0: none yet
    long long minuta = 0; // the newest minute it holds (Unix time / 60)
    std::map<int, pasmodulu> moduly;
};

// Index of a Unix minute in a strip.
std::size_t policko(long long minuta);

// A module's address as the history keeps it: at most 64 characters, each
// one printable and no blank ('?' instead), none at all as "?".
std::string adresavhistorii(std::string_view adresa);

// What recording a snapshot did.
enum class zaznam {
    zapsano,   // recorded
    preskocen, // older than the newest minute (the clock went back a little)
    znovu,     // the clock went back by krokzpet or more: a new history
};

// Records the snapshot s read at `ted`. Minutes that passed since the last
// one are cleared; only a running daemon's snapshot marks anything. A module
// no longer in the file is forgotten, one with a new address starts anew.
zaznam zaznamenej(historie &h, const snimek &s, long long ted);

// The share of the `minut` minutes that end with h's newest minute in which
// the module answered, of those known; empty when none is known.
std::optional<double> podil(const historie &h, const pasmodulu &pas, long long minut);

// The history as its file holds it, and back. ctihistorii gives false for a
// text that is not a whole history of kamnarweb (damaged or foreign).
std::string texthistorie(const historie &h);
bool ctihistorii(const std::string &text, historie &h);

// The file `cesta`: written atomically (a temporary file renamed over it),
// 0 or the error code; read, with its state.
int ulozhistorii(const historie &h, const std::string &cesta);
enum class souborhistorie { nacten, chybi, poskozen };
souborhistorie nactihistorii(const std::string &cesta, historie &h);

// Test support for the device clients: a listening device socket in the
// test's sandbox that records what each connection delivers.
#pragma once

#include "harness.hpp"
#include "zarizeni.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarizenitest {

// Creates the directories of the device path (cestasocketu) and, if listen
// is true, a socket listening on it with a queue of `fronta` connections
// (else a socket file that nobody listens on). Returns the descriptor,
// non-blocking; call inside harness::sandbox().
int posluchac(bool listen = true, int fronta = 16);

// The bytes of the next connection already waiting on the listening socket,
// read to its end; nullopt when no client has connected.
std::optional<std::vector<std::uint8_t>> prijato(int posluchac);

inline std::vector<std::uint8_t> bajty(const std::string &s) {
    return {s.begin(), s.end()};
}

// A built message's bytes, to compare and to show in a failure report.
inline std::string obsah(const zprava &z) {
    return {reinterpret_cast<const char *>(z.data()), z.size()};
}

} // namespace zarizenitest

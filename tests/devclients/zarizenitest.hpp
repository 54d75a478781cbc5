// Test support for the device clients: a listening device socket in the
// test's sandbox that records what each connection delivers.
#pragma once

#include "harness.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarizenitest {

inline const std::string cesta = "/home/system/zarizeni/komsock";

// Creates /home/system/zarizeni and, if listen is true, a socket listening
// on the device path with a queue of `fronta` connections (else a socket
// file that nobody listens on). Returns the descriptor, non-blocking; call
// inside harness::sandbox().
int posluchac(bool listen = true, int fronta = 16);

// The bytes of the next connection already waiting on the listening socket,
// read to its end; nullopt when no client has connected.
std::optional<std::vector<std::uint8_t>> prijato(int posluchac);

inline std::vector<std::uint8_t> bajty(const std::string &s) {
    return {s.begin(), s.end()};
}

} // namespace zarizenitest

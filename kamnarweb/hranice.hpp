// What kamnarweb lets a client hold, decided without the server: whether a
// new connection is let in beside those open, and whether a request's target
// is one to answer at all. The bounds keep one neighbour, or a few, from
// locking everyone out: a few connections per address and per network, and
// slots that only this computer's own address may take, so the local
// Prometheus and the checks on this computer always get in.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <sys/socket.h>
#include <vector>

inline constexpr unsigned nejvicespojeni = 64;   // connections at once
inline constexpr unsigned vyhrazenomistnim = 16; // of them for 127.0.0.1 and ::1 alone
inline constexpr unsigned nejvicezadresy = 4;    // at once from one address
inline constexpr unsigned nejvicezesite = 8;     // at once from one /24 (IPv4) or /64 (IPv6)
inline constexpr int frontaspojeni = 8;          // the listening socket's backlog

// A client's address; an IPv4 address mapped into IPv6 is taken as IPv4.
struct klient {
    std::array<std::uint8_t, 16> adresa{};
    bool v6 = false;
};
klient klientz(const sockaddr *a, socklen_t delka);

// This computer's own address, 127.0.0.1 or ::1: bound by the total alone.
bool mistni(const klient &k);

// Whether a connection from `novy` is let in beside the `otevrena` ones.
bool vpustit(const klient &novy, const std::vector<klient> &otevrena);

// Whether a request target, as the client sent it, holds a control
// character (a byte below 0x20, DEL) or one escaped as %XX: such a target
// gets 400.
bool maridiciznak(std::string_view cil);

// The datagrams exchanged with the heating modules. Every multi-byte field is
// little-endian and built or read byte by byte, whatever the host's order.
#pragma once

#include "porty.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>

// Command codes of the 6-byte command datagram.
inline constexpr std::uint8_t prikazcas = 2;       // time, the module's DEFPR1 known
inline constexpr std::uint8_t prikazcasdefpr1 = 8; // time, DEFPR1 still missing
inline constexpr std::uint8_t prikazreset = 13;    // reset yourself

// Reset causes a module reports; 6 means nothing to report.
inline constexpr std::uint8_t nicnoveho = 6;

// Command datagram: code, a reserved 0, the low 32 bits of the Unix time.
std::array<std::uint8_t, 6> sestavprikaz(std::uint8_t kod, std::time_t cas);

// The inverse, for the simulated module and tests: the code and the time
// field of a command datagram (bytes beyond the sixth are not looked at);
// nullopt when it is shorter than 6 bytes.
struct prikazmodulu {
    std::uint8_t kod;
    std::uint32_t cas; // the low 32 bits of the Unix time
    bool operator==(const prikazmodulu &) const = default;
};
std::optional<prikazmodulu> ctiprikaz(std::span<const std::uint8_t> data);

// The types of a status datagram: a TMR1 reading (1, and 4 read the same
// way) or the module's DEFPR1 value (9); any other carries no value.
inline constexpr std::uint8_t typtmr1 = 1;
inline constexpr std::uint8_t typtmr1tez = 4;
inline constexpr std::uint8_t typdefpr1 = 9;
constexpr bool nesetmr1(std::uint8_t typ) {
    return typ == typtmr1 || typ == typtmr1tez;
}

// The status byte's bit that the module sets while its clock agrees with the
// PC's; the other bits mean nothing to the daemon.
inline constexpr std::uint8_t bitsouhlasi = 0x40;

// The fields of a status datagram. The daemon reads up to 1000 bytes; the
// fields occupy the first 14, and bytes a short datagram lacks read as 0.
inline constexpr std::size_t delkaprijmu = 1000;
struct stavmodulu {
    std::uint8_t typ;        // typtmr1, typtmr1tez or typdefpr1
    std::uint8_t status;     // bitsouhlasi and bits of no meaning
    std::uint8_t cosestalo;  // reset cause
    std::uint16_t navrat;    // trap return address (causes 129 and 130)
    std::uint16_t stavtrap;  // trap status (causes 129 and 130)
    std::uint32_t casmodulu; // the module's last time before the event, Unix seconds
    std::uint16_t hodnota;   // TMR1 reading or DEFPR1 value
};
stavmodulu ctistav(std::span<const std::uint8_t> data);

// The inverse, for simulated modules and tests: the 14 bytes of a datagram.
std::array<std::uint8_t, 14> sestavstav(const stavmodulu &s);

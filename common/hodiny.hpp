// The clocks and the arithmetic of their instants, for every thread of the
// daemon and for unitkick: instants as nanoseconds in one 64-bit count
// (enough for centuries either side of 1970) and back.
#pragma once

#include <cstdint>
#include <ctime>

inline constexpr long long miliarda = 1000000000;

// The instant as nanoseconds since the clock's zero.
constexpr long long nanosekundy(std::timespec t) {
    return static_cast<long long>(t.tv_sec) * miliarda + t.tv_nsec;
}

// The instant of a count of nanoseconds, negative ones too (the nanoseconds
// of the result always from 0 to 999999999).
constexpr std::timespec zns(long long ns) {
    long long s = ns / miliarda, zbytek = ns % miliarda;
    if (zbytek < 0) {
        --s;
        zbytek += miliarda;
    }
    return {static_cast<std::time_t>(s), static_cast<long>(zbytek)};
}

// Nanoseconds from `od` to `po`.
constexpr long long nsmezi(std::timespec od, std::timespec po) {
    return nanosekundy(po) - nanosekundy(od);
}

// The clock's present reading.
std::timespec ctihodiny(clockid_t hodiny);

// Milliseconds of the monotonic clock.
std::int64_t monotonnims();

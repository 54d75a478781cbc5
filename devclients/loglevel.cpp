// loglevel: the device server's log level, a hexadecimal number of which
// the low 16 bits are sent. Any number is accepted.
#include "klienti.hpp"

#include <limits>

std::int32_t ctiuroven(const char *slovo) {
    // The board's long has 32 bits; nine hexadecimal digits fit in a long
    // long, and clamping gives what the board's strtol gives.
    long long cislo = ctidevet(slovo, 16);
    if (cislo > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (cislo < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(cislo);
}

prikaz loglevel(argumenty a) {
    prikaz p;
    if (a.empty())
        return konci(
            p, 0,
            "Musi nasledovat jedno hexadecimalni cislo 0 - 0xffff , posila se primo do loguj \n");
    std::int32_t uroven = ctiuroven(a[0]);
    pripis(p.vypis, " prectena pozadovana uroven LOGu 0x%04x  \n", static_cast<unsigned>(uroven));
    p.data = zpravalogu(uroven);
    return p;
}

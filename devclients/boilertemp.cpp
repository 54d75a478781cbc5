// boilertemp: a boiler temperature of 0 to 75 degrees Celsius; the device
// value is three times the temperature.
#include "klienti.hpp"

#include <algorithm>
#include <cstdlib>

int ctidesitkove(const char *slovo) {
    std::array<char, 10> devet{};
    std::string_view s = prvnichdevet(slovo);
    std::copy(s.begin(), s.end(), devet.begin());
    // Nine characters cannot overflow an int, so atoi is safe here.
    return std::atoi(devet.data());
}

prikaz boilertemp(argumenty a) {
    prikaz p;
    if (a.empty()) {
        pripis(p.vypis, "Musi nasledovat jedno cislo 0 - %d , teplota ve stupnich  \n", 75);
        p.konec = 0;
        return p;
    }
    int teplota = ctidesitkove(a[0]);
    pripis(p.vypis, " prectena pozadovana teplota  %d stupnu Celsia \n", teplota);
    if (teplota < 0) {
        p.vypis += "zaporne nelze - konec \n";
        p.konec = 1;
        return p;
    }
    if (teplota > 75) {
        p.vypis += "moc velke -  konec \n";
        p.konec = 1;
        return p;
    }
    int hodnota = 3 * teplota;
    p.data = zpravakotle(static_cast<std::uint8_t>(hodnota));
    pripis(p.vypis, "Do kotle posilam cislo %d \n ", hodnota);
    return p;
}

// boilertemp: a boiler temperature of 0 to 75 degrees Celsius; the device
// value is three times the temperature.
#include "klienti.hpp"

prikaz boilertemp(argumenty a) {
    prikaz p;
    if (a.empty())
        return konci(p, 0, "Musi nasledovat jedno cislo 0 - %d , teplota ve stupnich  \n", 75);
    int teplota = cislokotle(p, a[0], 75);
    if (p.konec)
        return p;
    int hodnota = 3 * teplota;
    p.data = zpravakotle(static_cast<std::uint8_t>(hodnota));
    pripis(p.vypis, "Do kotle posilam cislo %d \n ", hodnota);
    return p;
}

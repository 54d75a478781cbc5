// boilervolt: the boiler value of 0 to 240 itself, the same device value
// that boilertemp sets.
#include "klienti.hpp"

prikaz boilervolt(argumenty a) {
    prikaz p;
    if (a.empty())
        return konci(p, 0,
                     "Musi nasledovat jedno cislo 0 - 240 , posila se primo do BOILERTEMP \n");
    int hodnota = cislokotle(p, a[0], 240);
    if (!p.konec)
        p.data = zpravakotle(static_cast<std::uint8_t>(hodnota));
    return p;
}

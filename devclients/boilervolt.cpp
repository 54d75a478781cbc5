// boilervolt: the boiler value of 0 to 240 itself, the same device value
// that boilertemp sets.
#include "klienti.hpp"

prikaz boilervolt(argumenty a) {
    prikaz p;
    if (a.empty()) {
        p.vypis += "Musi nasledovat jedno cislo 0 - 240 , posila se primo do BOILERTEMP \n";
        p.konec = 0;
        return p;
    }
    int hodnota = ctidesitkove(a[0]);
    pripis(p.vypis, " prectena pozadovana teplota  %d stupnu Celsia \n", hodnota);
    if (hodnota < 0) {
        p.vypis += "zaporne nelze - konec \n";
        p.konec = 1;
        return p;
    }
    if (hodnota > 240) {
        p.vypis += "moc velke -  konec \n";
        p.konec = 1;
        return p;
    }
    p.data = zpravakotle(static_cast<std::uint8_t>(hodnota));
    return p;
}

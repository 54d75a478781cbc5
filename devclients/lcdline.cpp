// lcdline: a text of up to 16 characters for the display.
#include "klienti.hpp"

prikaz lcdline(argumenty a) {
    prikaz p;
    if (a.empty())
        return konci(p, 0, "Musi nasledovat to, co se ma napsat na displej - max 16 znaku \n");
    if (!zpravaradku(p.data, prikazdisplejekotle, konstdispleje, limitdispleje, a))
        p.vypis += "\nJe to moc dlouhe - orezavam \n";
    return p;
}

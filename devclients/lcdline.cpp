// lcdline: a text of up to 16 characters for the display.
#include "klienti.hpp"

prikaz lcdline(argumenty a) {
    prikaz p;
    if (a.empty()) {
        p.vypis += "Musi nasledovat to, co se ma napsat na displej - max 16 znaku \n";
        p.konec = 0;
        return p;
    }
    if (!zpravaradku(p.data, prikazdispleje, konstdispleje, limitdispleje, a))
        p.vypis += "\nJe to moc dlouhe - orezavam \n";
    return p;
}

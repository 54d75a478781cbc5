// modemline: a raw line for the GSM modem; the device server adds the
// closing carriage return itself.
#include "klienti.hpp"

prikaz modemline(argumenty a) {
    prikaz p;
    if (a.empty())
        return konci(
            p, 0,
            "Musi nasledovat to, co se ma poslat do GSM - max %d znaku BEZ koncoveho 0x0D\n"
            "Pokud je v retezci &   dej to cele do uvozovek",
            250);
    if (!zpravaradku(p.data, prikazgsm, konstgsm, limitgsm, a))
        p.vypis += "\nJe to moc dlouhe - orezavam \n";
    return p;
}

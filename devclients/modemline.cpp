// modemline: a raw line for the GSM modem; the device server adds the
// closing carriage return itself.
#include "klienti.hpp"

prikaz modemline(argumenty a) {
    prikaz p;
    if (a.empty()) {
        pripis(p.vypis,
               "Musi nasledovat to, co se ma poslat do GSM - max %d znaku BEZ koncoveho 0x0D\n",
               250);
        p.vypis += "Pokud je v retezci &   dej to cele do uvozovek";
        p.konec = 0;
        return p;
    }
    if (!zpravaradku(p.data, prikazgsm, konstgsm, limitgsm, a))
        p.vypis += "\nJe to moc dlouhe - orezavam \n";
    return p;
}

// txtany: an SMS to any number, unchecked. The device reads the text from
// byte 11 on and byte 10 closes the number, so the typed first character of
// the text is lost: the usage text tells the user to double it.
#include "klienti.hpp"

prikaz txtany(argumenty a) {
    prikaz p;
    if (a.empty())
        return konci(p, 0,
                     "Musi nasledovat cislo telefonu a text SMS, max. %d pismen \n"
                     "Pokud je v retezci &  dej to cele do uvozovek\n"
                     "Nedela kontrolu cisla a urezava to prvni pismenko SMS - zdvojit  \n",
                     160);
    if (a.size() == 1)
        return konci(p, 0, "No jo, ale chybi text ! \n");
    if (!zpravasmsprepsana(p.data, prvnichdevet(a[0]), a.subspan(1)))
        p.vypis += "\nJe to moc dlouhe - orezavam \n";
    p.zaver = "SMS odeslana do Zarizeni \n\n";
    return p;
}

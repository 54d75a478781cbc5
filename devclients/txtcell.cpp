// txtcell: an SMS to a mobile number, checked to be nine digits starting
// with 6 or 7. Refusals end with status 0, like the usage text.
#include "klienti.hpp"

prikaz txtcell(argumenty a) {
    prikaz p;
    if (a.empty())
        return konci(p, 0,
                     "Musi nasledovat cislo telefonu a text SMS, max. %d pismen \n"
                     "Pokud je v retezci &  dej to cele do uvozovek\n",
                     160);
    if (a.size() == 1)
        return konci(p, 0, "No jo, ale chybi text ! \n");

    std::string_view cislo = prvnichdevet(a[0]);
    pripis(p.vypis, "cislo je --%.*s-- \n", static_cast<int>(cislo.size()), cislo.data());
    if (cislo.empty() || (cislo[0] != '6' && cislo[0] != '7'))
        return konci(p, 0, "Cislo musi zacinat 6 nebo 7 \n");
    if (cislo.size() < 9)
        return konci(p, 0, "Cislo musi mit 9 cislic \n");
    for (std::size_t i = 0; i < cislo.size(); ++i) {
        unsigned char znak = static_cast<unsigned char>(cislo[i]);
        if (znak < '0' || znak > '9')
            return konci(p, 0, "NA pozyici %d je neciselny znak --%c--\n", static_cast<int>(i),
                         znak);
    }

    if (!zpravasms(p.data, cislo, a.subspan(1)))
        p.vypis += "\nJe to moc dlouhe - orezavam \n";
    p.zaver = "SMS odeslana do Zarizeni \n\n";
    return p;
}

// txtprobe: asks the device server for its test SMS and does not wait for
// it; sending it takes the device at least 18 seconds.
#include "klienti.hpp"

prikaz txtprobe(argumenty) {
    prikaz p;
    p.data = zpravatestsms();
    p.popripojeni = "Posilam prikaz pro odeslani testovaci SMS\n"
                    "Bude to trvat nejmene 3 * 6 sec, bud trpelivy \n";
    return p;
}

#include "receiver.hpp"

#include "lifecycle.hpp"
#include "log.hpp"

#include <sys/select.h>

void prijemUDP() {
    while (!koncime) {
        fd_set cteni;
        FD_ZERO(&cteni);
        FD_SET(prijsock, &cteni);
        timeval limit{0, 200000};
        select(FD_SETSIZE, &cteni, nullptr, nullptr, &limit);
    }
    zapisdologu(true, "Vlakno prijemUDP skoncilo \n");
}

#include "broadcaster.hpp"

#include "lifecycle.hpp"
#include "log.hpp"
#include "tables.hpp"

#include <ctime>

void posilamcas() {
    if (konpolemod == 0) {
        zapisdologu(true,
                    "Error: Vlakno posilamcas konci - v poli polemod neni zadna adresa modulu \n ");
        return;
    }
    while (!koncime) {
        // Wake half a second after the next full ten of the Unix time.
        timespec ted{};
        clock_gettime(CLOCK_REALTIME, &ted);
        timespec cil{ted.tv_sec - ted.tv_sec % 10 + 10, 500000000};
        clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &cil, nullptr);
    }
    zapisdologu(true, "Vlakno posilamcas konci \n");
}

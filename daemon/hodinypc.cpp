#include "hodinypc.hpp"

#include "log.hpp"

#include <ctime>
#include <sys/timex.h>

namespace {

hodinypc posledni;
long long poslednicyklus = -1;
// The state the last reading the kernel answered found: 1 synchronised, 0
// not, -1 none yet.
int bylsync = -1;

} // namespace

hodinypc posudhodiny(int vysledek, int status, long maxerrorus) {
    hodinypc h;
    if (vysledek == -1)
        return h;
    h.znamy = true;
    h.maxerror = static_cast<double>(maxerrorus) / 1e6;
    h.synchronizovany = (status & STA_UNSYNC) == 0 && maxerrorus < nejvetsichybaus;
    return h;
}

hodinypc ctihodiny() {
    // modes 0: only read. Setting anything would need CAP_SYS_TIME, which
    // the service does not have.
    timex t{};
    t.modes = 0;
    int v = adjtimex(&t);
    return posudhodiny(v, t.status, t.maxerror);
}

void sledujhodiny() {
    long long cyklus = static_cast<long long>(std::time(nullptr)) / 10;
    if (cyklus == poslednicyklus)
        return;
    poslednicyklus = cyklus;
    posledni = ctihodiny();
    if (!posledni.znamy)
        return;
    const int sync = posledni.synchronizovany ? 1 : 0;
    // Only a change is logged: what the first reading finds is in the state
    // file, and so in kamnarstav, on the page and in the alert, from the start.
    if (bylsync == 1 && sync == 0)
        zapisdologu(true, "Hodiny PC nejsou synchronizovany - moduly dostavaji cas bez zaruky \n");
    else if (bylsync == 0 && sync == 1)
        zapisdologu(true, "Hodiny PC jsou opet synchronizovany \n");
    bylsync = sync;
}

const hodinypc &poslednihodiny() {
    return posledni;
}

#include "priorita.hpp"

#include <cerrno>
#include <sched.h>
#include <sys/mman.h>

int dejrealnycas(pthread_t vlakno) {
    sched_param priorita{};
    priorita.sched_priority = prioritacasu;
    int chyba = pthread_setschedparam(vlakno, SCHED_FIFO, &priorita);
    int politika = 0;
    sched_param ted{};
    if (chyba != 0 && pthread_getschedparam(vlakno, &politika, &ted) == 0 && politika == SCHED_RR &&
        pthread_setschedparam(vlakno, SCHED_RR, &priorita) == 0)
        return 0;
    return chyba;
}

bool priorituzacatku() {
    int politika = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    if (politika == SCHED_FIFO || politika == SCHED_RR)
        return true;
    normalnipriorita();
    return false;
}

void normalnipriorita() {
    if ((sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) == SCHED_OTHER)
        return;
    sched_param normalni{};
    // Always allowed from a real-time policy, SCHED_BATCH and
    // SCHED_DEADLINE; from SCHED_IDLE as far as RLIMIT_NICE allows.
    sched_setscheduler(0, SCHED_OTHER, &normalni);
}

int zamknipamet() {
    if (sesanitizery)
        return -1;
    return mlockall(MCL_CURRENT | MCL_FUTURE) == 0 ? 0 : errno;
}

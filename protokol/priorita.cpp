#include "priorita.hpp"

#include <sched.h>

int dejrealnycas(pthread_t vlakno) {
    sched_param priorita{};
    priorita.sched_priority = prioritacasu;
    return pthread_setschedparam(vlakno, SCHED_FIFO, &priorita);
}

void normalnipriorita() {
    int politika = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    if (politika != SCHED_FIFO && politika != SCHED_RR)
        return;
    sched_param normalni{};
    sched_setscheduler(0, SCHED_OTHER, &normalni); // giving it up is always allowed
}

zamekpi::zamekpi() {
    pthread_mutexattr_t a;
    pthread_mutexattr_init(&a);
    pthread_mutexattr_setprotocol(&a, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&m, &a);
    pthread_mutexattr_destroy(&a);
}

zamekpi::~zamekpi() {
    pthread_mutex_destroy(&m);
}

void zamekpi::lock() {
    pthread_mutex_lock(&m);
}

void zamekpi::unlock() {
    pthread_mutex_unlock(&m);
}

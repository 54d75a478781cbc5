#include "cekani.hpp"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <unistd.h>

int otevribudik() {
    return timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC);
}

// A timer with TFD_TIMER_CANCEL_ON_SET wakes with ECANCELED as soon as the
// real-time clock is set, whichever way and however far; the wait is then
// planned again on the new clock, so no step can make it longer than a plan
// made after the step (at most 10.5 s for the time sender, 1 s for unitkick).
// A step that came while the timer was not being waited for (during the
// time sender's sends) makes the next arming fail with ECANCELED, although
// the timer is armed: that too is a step, planned again like the others.
bool cekejdo(int budik, std::timespec cil) {
    itimerspec budit{{0, 0}, cil};
    bool natazen = false;
    if (budik >= 0) {
        if (timerfd_settime(budik, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &budit, nullptr) ==
            0)
            natazen = true;
        else if (errno == ECANCELED)
            return false;
    }
    if (natazen) {
        std::uint64_t kolikrat = 0;
        for (;;) {
            ssize_t n = read(budik, &kolikrat, sizeof kolikrat);
            if (n == sizeof kolikrat)
                return true;
            if (n < 0 && errno == ECANCELED)
                return false;
            if (n >= 0 || errno != EINTR)
                break; // cannot happen with a timer; sleep as below
        }
    }
    while (clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &cil, nullptr) == EINTR) {
    }
    return true;
}

void spidomonotonni(std::timespec cil) {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &cil, nullptr) == EINTR) {
    }
}

int cekejnapaket(int sock) {
    pollfd p{sock, POLLIN, 0};
    int n = poll(&p, 1, cekaniprijmu);
    return n < 0 ? -1 : n > 0;
}

void presnecasovani() {
    prctl(PR_SET_TIMERSLACK, 1UL);
}

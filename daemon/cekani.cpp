#include "cekani.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

constexpr long long miliarda = 1000000000;
constexpr long long desetsekund = 10 * miliarda;
constexpr long long pulsekundy = miliarda / 2;

long long nanosekundy(std::timespec t) {
    return t.tv_sec * miliarda + t.tv_nsec;
}

std::timespec zns(long long ns) {
    long long s = ns / miliarda, zbytek = ns % miliarda;
    if (zbytek < 0) {
        --s;
        zbytek += miliarda;
    }
    return {static_cast<std::time_t>(s), static_cast<long>(zbytek)};
}

// The start of the ten seconds that hold the instant (also before 1970).
long long desitka(long long ns) {
    long long d = ns / desetsekund * desetsekund;
    return d > ns ? d - desetsekund : d;
}

} // namespace

std::timespec casodeslani(std::time_t sekundy) {
    return {sekundy - sekundy % 10 + 10, 500000000};
}

std::timespec planujodeslani(std::timespec ted, long long odposledniho) {
    if (odposledniho < 0)
        return casodeslani(ted.tv_sec);
    long long nyni = nanosekundy(ted);
    long long poposlednim = desitka(nyni - odposledniho) + desetsekund;
    // The first ten whose x0.5 has not yet passed by half a second.
    long long nejdrive = desitka(nyni - miliarda) + desetsekund;
    return zns(std::max(poposlednim, nejdrive) + pulsekundy);
}

std::timespec pristipulsekunda(std::time_t sekundy, long mikrosekundy) {
    return {mikrosekundy <= 500000 ? sekundy : sekundy + 1, 500000000};
}

std::timespec okamzikslotu(std::timespec kotva, int i, std::timespec ted) {
    constexpr long long rozestup = 20000000;         // 20 ms between the modules of one cycle
    constexpr long long nejmensirozestup = 10000000; // and never less than 10 ms
    return zns(
        std::max(nanosekundy(kotva) + rozestup * (i + 1), nanosekundy(ted) + nejmensirozestup));
}

int otevribudik() {
    return timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC);
}

// A timer with TFD_TIMER_CANCEL_ON_SET wakes with ECANCELED as soon as the
// real-time clock is set, whichever way and however far; the wait is then
// planned again on the new clock, so no step can make it longer than a plan
// made after the step (at most 10.5 s for the time sender, 1 s for unitkick).
bool cekejdo(int budik, std::timespec cil) {
    itimerspec budit{{0, 0}, cil};
    if (budik >= 0 &&
        timerfd_settime(budik, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &budit, nullptr) == 0) {
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

sigset_t bezsigint() {
    sigset_t jensigint, puvodni;
    sigemptyset(&jensigint);
    sigaddset(&jensigint, SIGINT);
    pthread_sigmask(SIG_BLOCK, &jensigint, &puvodni);
    return puvodni;
}

void obnovmasku(const sigset_t &maska) {
    pthread_sigmask(SIG_SETMASK, &maska, nullptr);
}

void presnecasovani() {
    prctl(PR_SET_TIMERSLACK, 1UL);
}

int dejrealnycas(pthread_t vlakno) {
    sched_param priorita{};
    priorita.sched_priority = prioritacasu;
    return pthread_setschedparam(vlakno, SCHED_FIFO, &priorita);
}

int zdedenyrealnycas() {
    int politika = sched_getscheduler(0);
    sched_param priorita{};
    if (politika < 0 || sched_getparam(0, &priorita) != 0)
        return 0;
    int bezresetu = politika & ~SCHED_RESET_ON_FORK;
    if (bezresetu != SCHED_FIFO && bezresetu != SCHED_RR)
        return 0;
    if (politika == bezresetu &&
        sched_setscheduler(0, politika | SCHED_RESET_ON_FORK, &priorita) != 0)
        return 0;
    return priorita.sched_priority;
}

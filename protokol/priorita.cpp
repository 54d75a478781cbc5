#include "priorita.hpp"

#include <cerrno>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

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

namespace {

// Whether the process may lock memory beyond RLIMIT_MEMLOCK.
bool zamykabezmeze() {
    __user_cap_header_struct hlavicka{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    return syscall(SYS_capget, &hlavicka, data) == 0 &&
           (data[CAP_IPC_LOCK / 32].effective & (1U << (CAP_IPC_LOCK % 32))) != 0;
}

} // namespace

int zamknipamet() {
    if (sesanitizery)
        return -1;
    // Locked, memory beyond the bound could not be had at all: the process
    // would fail where it allocates. Below nejvicezamceno it is not locked.
    rlimit mez{};
    if (getrlimit(RLIMIT_MEMLOCK, &mez) == 0 && mez.rlim_cur != RLIM_INFINITY &&
        mez.rlim_cur < nejvicezamceno && !zamykabezmeze())
        return ENOMEM;
    return mlockall(MCL_CURRENT | MCL_FUTURE) == 0 ? 0 : errno;
}

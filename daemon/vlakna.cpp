#include "vlakna.hpp"

#include <csignal>
#include <sched.h>

bool pustvlakno(void *(*telo)(void *), const char *jmeno, pthread_t *id, bool zdedit) {
    pthread_attr_t a;
    pthread_attr_init(&a);
    pthread_attr_setstacksize(&a, velikostzasobniku);
    int politika = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    if (!zdedit && (politika == SCHED_FIFO || politika == SCHED_RR)) {
        sched_param normalni{};
        pthread_attr_setinheritsched(&a, PTHREAD_EXPLICIT_SCHED);
        pthread_attr_setschedpolicy(&a, SCHED_OTHER);
        pthread_attr_setschedparam(&a, &normalni);
    }
    // The new thread inherits the mask of the one that starts it.
    sigset_t jensigint, puvodni;
    sigemptyset(&jensigint);
    sigaddset(&jensigint, SIGINT);
    pthread_sigmask(SIG_BLOCK, &jensigint, &puvodni);
    pthread_t vlakno;
    bool bezi = pthread_create(&vlakno, &a, telo, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &puvodni, nullptr);
    pthread_attr_destroy(&a);
    if (!bezi)
        return false;
    pthread_setname_np(vlakno, jmeno);
    if (id)
        *id = vlakno;
    else
        pthread_detach(vlakno);
    return true;
}

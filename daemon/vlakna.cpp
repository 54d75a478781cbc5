#include "vlakna.hpp"

#include <csignal>

bool pustvlakno(void *(*telo)(void *), const char *jmeno, pthread_t *id) {
    // The new thread inherits the mask of the one that starts it.
    sigset_t jensigint, puvodni;
    sigemptyset(&jensigint);
    sigaddset(&jensigint, SIGINT);
    pthread_sigmask(SIG_BLOCK, &jensigint, &puvodni);
    pthread_t vlakno;
    bool bezi = pthread_create(&vlakno, nullptr, telo, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &puvodni, nullptr);
    if (!bezi)
        return false;
    pthread_setname_np(vlakno, jmeno);
    if (id)
        *id = vlakno;
    else
        pthread_detach(vlakno);
    return true;
}

/* Preloaded into a program under test: every thread it creates is created
 * half a second late, so that a signal can come while it starts them. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <string.h>
#include <time.h>

int pthread_create(pthread_t *vlakno, const pthread_attr_t *atributy, void *(*beh)(void *),
                   void *argument) {
    struct timespec pul = {0, 500000000};
    while (nanosleep(&pul, &pul) != 0) {
    }
    int (*skutecne)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    void *symbol = dlsym(RTLD_NEXT, "pthread_create");
    memcpy(&skutecne, &symbol, sizeof skutecne); /* POSIX allows it; ISO C has no cast for it */
    return skutecne(vlakno, atributy, beh, argument);
}

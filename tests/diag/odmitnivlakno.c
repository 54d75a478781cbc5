/* Preloaded into a program under test: the thread start numbered
 * ODMITNIVLAKNO (counted from 1) fails as when the system has no room for
 * another thread, leaving the handle undefined; the others start as usual. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

typedef void *(*vstup)(void *);

int pthread_create(pthread_t *thread, const pthread_attr_t *attr, vstup start, void *arg) {
    static int calls;
    const char *refused = getenv("ODMITNIVLAKNO");
    if (++calls == (refused ? atoi(refused) : 0)) {
        memset(thread, 0xa5, sizeof *thread); /* left undefined by a failed start */
        return EAGAIN;
    }
    int (*real)(pthread_t *, const pthread_attr_t *, vstup, void *);
    void *symbol = dlsym(RTLD_NEXT, "pthread_create");
    memcpy(&real, &symbol, sizeof real); /* POSIX allows it; ISO C has no cast for it */
    return real(thread, attr, start, arg);
}

/* Preloaded into the daemon under test: counts the allocations (malloc and
 * realloc; operator new goes through malloc) of its time sender, the thread
 * named "posilamcas", from its ALOKACE_OD-th send (sendto) on, and at the
 * end of the process writes "alokaci A odeslani S\n" (allocations counted,
 * sends of the thread) to the file ALOKACE_SOUBOR. Used only by the tests:
 * no package carries it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

extern void *__libc_malloc(size_t);
extern void *__libc_realloc(void *, size_t);

static pthread_t vysilac;
static atomic_int znamvysilac;
static atomic_long odeslani, alokaci;

static int jevysilac(void) {
    return atomic_load(&znamvysilac) && pthread_equal(pthread_self(), vysilac);
}

static void pocitej(void) {
    const char *od = getenv("ALOKACE_OD");
    if (jevysilac() && atomic_load(&odeslani) >= (od ? atol(od) : 1))
        atomic_fetch_add(&alokaci, 1);
}

void *malloc(size_t n) {
    pocitej();
    return __libc_malloc(n);
}

void *realloc(void *p, size_t n) {
    pocitej();
    return __libc_realloc(p, n);
}

int pthread_setname_np(pthread_t vlakno, const char *jmeno) {
    if (strcmp(jmeno, "posilamcas") == 0) {
        vysilac = vlakno;
        atomic_store(&znamvysilac, 1);
    }
    int (*f)(pthread_t, const char *);
    void *s = dlsym(RTLD_NEXT, "pthread_setname_np");
    memcpy(&f, &s, sizeof f); /* POSIX allows it; ISO C has no cast for it */
    return f(vlakno, jmeno);
}

ssize_t sendto(int sock, const void *data, size_t n, int flags, __CONST_SOCKADDR_ARG adresa,
               socklen_t delka) {
    if (jevysilac())
        atomic_fetch_add(&odeslani, 1);
    ssize_t (*f)(int, const void *, size_t, int, __CONST_SOCKADDR_ARG, socklen_t);
    void *s = dlsym(RTLD_NEXT, "sendto");
    memcpy(&f, &s, sizeof f);
    return f(sock, data, n, flags, adresa, delka);
}

__attribute__((destructor)) static void skonci(void) {
    FILE *f = getenv("ALOKACE_SOUBOR") ? fopen(getenv("ALOKACE_SOUBOR"), "w") : NULL;
    if (f) {
        fprintf(f, "alokaci %ld odeslani %ld\n", atomic_load(&alokaci), atomic_load(&odeslani));
        fclose(f);
    }
}

/* Preloaded into the daemon under test: counts the allocations of its time
 * sender (the thread named "posilamcas") made from its ALOKACE_OD-th send on
 * (sendto), and at the end of the process writes "alokaci A odeslani S\n"
 * (allocations counted, sends of the thread) to the file ALOKACE_SOUBOR.
 * Used only by the tests: no package carries it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

extern void *__libc_malloc(size_t);
extern void *__libc_calloc(size_t, size_t);
extern void *__libc_realloc(void *, size_t);
extern void *__libc_memalign(size_t, size_t);

static pthread_t vysilac;
static atomic_int znamvysilac;
static atomic_long odeslani, alokaci;
static long od = 1;

static void pocitej(void) {
    if (atomic_load(&znamvysilac) && pthread_equal(pthread_self(), vysilac) &&
        atomic_load(&odeslani) >= od)
        atomic_fetch_add(&alokaci, 1);
}

void *malloc(size_t n) {
    pocitej();
    return __libc_malloc(n);
}
void *calloc(size_t k, size_t n) {
    pocitej();
    return __libc_calloc(k, n);
}
void *realloc(void *p, size_t n) {
    pocitej();
    return __libc_realloc(p, n);
}
int posix_memalign(void **p, size_t zarovnani, size_t n) {
    pocitej();
    *p = __libc_memalign(zarovnani, n);
    return *p ? 0 : 12; /* ENOMEM */
}
void *aligned_alloc(size_t zarovnani, size_t n) {
    pocitej();
    return __libc_memalign(zarovnani, n);
}
void *memalign(size_t zarovnani, size_t n) {
    pocitej();
    return __libc_memalign(zarovnani, n);
}

int pthread_setname_np(pthread_t vlakno, const char *jmeno) {
    if (strcmp(jmeno, "posilamcas") == 0) {
        vysilac = vlakno;
        atomic_store(&znamvysilac, 1);
    }
    int (*skutecna)(pthread_t, const char *);
    void *symbol = dlsym(RTLD_NEXT, "pthread_setname_np");
    memcpy(&skutecna, &symbol, sizeof skutecna);
    return skutecna(vlakno, jmeno);
}

ssize_t sendto(int sock, const void *data, size_t n, int flags, __CONST_SOCKADDR_ARG adresa,
               socklen_t delka) {
    if (atomic_load(&znamvysilac) && pthread_equal(pthread_self(), vysilac))
        atomic_fetch_add(&odeslani, 1);
    ssize_t (*skutecna)(int, const void *, size_t, int, __CONST_SOCKADDR_ARG, socklen_t);
    void *symbol = dlsym(RTLD_NEXT, "sendto");
    memcpy(&skutecna, &symbol, sizeof skutecna);
    return skutecna(sock, data, n, flags, adresa, delka);
}

__attribute__((constructor)) static void zacni(void) {
    const char *o = getenv("ALOKACE_OD");
    if (o)
        od = atol(o);
}

__attribute__((destructor)) static void skonci(void) {
    const char *cesta = getenv("ALOKACE_SOUBOR");
    FILE *f = cesta ? fopen(cesta, "w") : NULL;
    if (!f)
        return;
    fprintf(f, "alokaci %ld odeslani %ld\n", atomic_load(&alokaci), atomic_load(&odeslani));
    fclose(f);
}

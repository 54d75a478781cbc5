/* Preloaded into a program under test: socket() works for the first
 * FAILSOCKET_ALLOWED calls and fails after them, as when the system refuses
 * to create more. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

int socket(int domain, int type, int protocol) {
    static int calls;
    const char *allowed = getenv("FAILSOCKET_ALLOWED");
    if (calls++ >= (allowed ? atoi(allowed) : 0)) {
        errno = EACCES;
        return -1;
    }
    int (*real)(int, int, int);
    void *symbol = dlsym(RTLD_NEXT, "socket");
    memcpy(&real, &symbol, sizeof real); /* POSIX allows it; ISO C has no cast for it */
    return real(domain, type, protocol);
}

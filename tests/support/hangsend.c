/* Preloaded into the daemon under test: its time sender hangs. The first
 * HANGSEND_AFTER datagrams to the modules' UDP port (portmodulu) go out as
 * usual; the call that would send the next one never returns, as when a
 * thread is stuck in the kernel. Every other datagram (those of the service
 * manager's socket among them) is sent as usual. Used only by the tests: no
 * package carries it. */
#define _GNU_SOURCE
#include "porty.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

/* The C library declares the address as a transparent union. */
ssize_t sendto(int sock, const void *data, size_t n, int flags, __CONST_SOCKADDR_ARG adresa,
               socklen_t tolen) {
    const struct sockaddr *to = adresa.__sockaddr__;
    static atomic_int sent;
    if (to && to->sa_family == AF_INET && tolen >= sizeof(struct sockaddr_in)) {
        struct sockaddr_in cil;
        memcpy(&cil, to, sizeof cil);
        const char *after = getenv("HANGSEND_AFTER");
        if (ntohs(cil.sin_port) == portmodulu &&
            atomic_fetch_add(&sent, 1) >= (after ? atoi(after) : 0))
            for (;;)
                pause();
    }
    ssize_t (*real)(int, const void *, size_t, int, __CONST_SOCKADDR_ARG, socklen_t);
    void *symbol = dlsym(RTLD_NEXT, "sendto");
    memcpy(&real, &symbol, sizeof real); /* POSIX allows it; ISO C has no cast for it */
    return real(sock, data, n, flags, adresa, tolen);
}

/* Preloaded into a client under test to spoil the send() that writes its
 * message to the device server's socket:
 *   FAILSEND=epipe  the socket's sending side is shut down just before the
 *                   send, so the kernel answers EPIPE as for a device server
 *                   that has gone away. It would raise SIGPIPE too, but the
 *                   client sends with MSG_NOSIGNAL: the test sees the client
 *                   end with status 3 instead of dying of the signal.
 *   FAILSEND=short  every send takes one byte only.
 * The clients write to the socket with send() alone, so nothing else is
 * replaced. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

/* Whether to cut this send to one byte. */
static int mode(int fd) {
    const char *m = getenv("FAILSEND");
    if (!m)
        return 0;
    if (strcmp(m, "epipe") == 0) {
        shutdown(fd, SHUT_WR);
        return 0;
    }
    return strcmp(m, "short") == 0;
}

ssize_t send(int fd, const void *buf, size_t len, int flags) {
    ssize_t (*real)(int, const void *, size_t, int);
    void *symbol = dlsym(RTLD_NEXT, "send");
    memcpy(&real, &symbol, sizeof real); /* POSIX allows it; ISO C has no cast for it */
    if (mode(fd) && len > 1)
        len = 1;
    return real(fd, buf, len, flags);
}

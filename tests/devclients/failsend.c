/* Preloaded into a client under test to spoil its write to the device
 * server's socket:
 *   FAILSEND=epipe  the socket's sending side is shut down just before the
 *                   write, so the kernel answers EPIPE and raises SIGPIPE
 *                   exactly as for a device server that has gone away;
 *   FAILSEND=short  every write to a socket takes one byte only.
 * Writes to anything but a socket pass unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

static void *next(const char *name) {
    return dlsym(RTLD_NEXT, name);
}

static int mode(int fd) {
    struct stat st;
    const char *m = getenv("FAILSEND");
    if (!m || fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return 0;
    if (strcmp(m, "epipe") == 0) {
        shutdown(fd, SHUT_WR);
        return 0;
    }
    return strcmp(m, "short") == 0;
}

ssize_t send(int fd, const void *buf, size_t len, int flags) {
    ssize_t (*real)(int, const void *, size_t, int);
    void *symbol = next("send");
    memcpy(&real, &symbol, sizeof real); /* POSIX allows it; ISO C has no cast for it */
    if (mode(fd) && len > 1) len = 1;
    return real(fd, buf, len, flags);
}

ssize_t write(int fd, const void *buf, size_t len) {
    ssize_t (*real)(int, const void *, size_t);
    void *symbol = next("write");
    memcpy(&real, &symbol, sizeof real);
    if (mode(fd) && len > 1) len = 1;
    return real(fd, buf, len);
}

/* Preloaded into a program under test: adjtimex() reports the clock state
 * written in the file that HODINYPC names, "STATUS MAXERROR" (the status
 * bits and the maximum error in microseconds, as the kernel gives them),
 * read anew at each call, so a test changes the clock's state by rewriting
 * the file; the machine's clock is never read or set. A call that would set
 * anything, and any call while the file is missing or unreadable, fails
 * with EPERM, as under a service's ProtectClock=yes. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/timex.h>

int adjtimex(struct timex *t) {
    const char *cesta = getenv("HODINYPC");
    FILE *f = cesta && t->modes == 0 ? fopen(cesta, "re") : NULL;
    int status = 0;
    long maxerror = 0;
    int precteno = f ? fscanf(f, "%d %ld", &status, &maxerror) : 0;
    if (f)
        fclose(f);
    if (precteno != 2) {
        errno = EPERM;
        return -1;
    }
    t->status = status;
    t->maxerror = maxerror;
    return (status & STA_UNSYNC) ? TIME_ERROR : TIME_OK;
}

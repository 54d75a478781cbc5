/* Preloaded into a program under test: the clock stands still at the Unix
 * time given in PEVNYCAS. */
#include <stdlib.h>
#include <time.h>

time_t time(time_t *t) {
    const char *fixed = getenv("PEVNYCAS");
    time_t now = fixed ? (time_t)strtoll(fixed, NULL, 10) : 0;
    if (t) *t = now;
    return now;
}

/* Preloaded into a program under test: its real-time clock is set at chosen
 * moments, as an NTP step or `date -s` would set the machine's, while the
 * machine's clock stays untouched. POSUNHODIN="T:D[,T:D...]" adds D seconds
 * (D may be negative) to every reading of the real-time clock from the real
 * instant T (nanoseconds since 1970) on. The program's waits for instants of
 * that clock behave as the kernel's would: an absolute clock_nanosleep wakes
 * when the shifted clock reaches its instant, and a timerfd armed with
 * TFD_TIMER_CANCEL_ON_SET reads ECANCELED once the clock has been set; when
 * the clock was set after such a timer's last read, its next arming returns
 * ECANCELED (and arms it all the same).
 * System calls are made directly, so that no sanitizer's interceptor and no
 * dlsym is needed, even while the program starts. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#define MILIARDA 1000000000LL
#define KROKU 8
#define BUDIKU 64

static long long kdy[KROKU], posun[KROKU];
static int kroku = -1;

/* Timers armed on the shifted clock: the instant asked for, the flags, and
 * how many steps had passed when they were armed or last read ECANCELED. */
static struct {
    int cancel;
    long long cil, kroky;
} budiky[BUDIKU];

static long long skutecne(void) {
    struct timespec t;
    syscall(SYS_clock_gettime, CLOCK_REALTIME, &t);
    return t.tv_sec * MILIARDA + t.tv_nsec;
}

static void nacti(void) {
    if (kroku >= 0)
        return;
    kroku = 0;
    const char *s = getenv("POSUNHODIN");
    while (s && *s && kroku < KROKU) {
        char *konec;
        kdy[kroku] = strtoll(s, &konec, 10);
        posun[kroku] = strtoll(konec + 1, &konec, 10) * MILIARDA;
        ++kroku;
        s = *konec ? konec + 1 : konec;
    }
}

/* How many steps have come by the real instant t, and their sum. */
static int kroky(long long t, long long *soucet) {
    nacti();
    int n = 0;
    *soucet = 0;
    for (int i = 0; i < kroku; ++i)
        if (t >= kdy[i]) {
            ++n;
            *soucet += posun[i];
        }
    return n;
}

/* The next step after the real instant t, or a far instant. */
static long long dalsikrok(long long t) {
    long long nejblizsi = INT64_MAX;
    for (int i = 0; i < kroku; ++i)
        if (kdy[i] > t && kdy[i] < nejblizsi)
            nejblizsi = kdy[i];
    return nejblizsi;
}

static struct timespec ts(long long ns) {
    struct timespec t = {ns / MILIARDA, ns % MILIARDA};
    return t;
}

int clock_gettime(clockid_t hodiny, struct timespec *t) {
    if (syscall(SYS_clock_gettime, hodiny, t) != 0)
        return -1;
    if (hodiny == CLOCK_REALTIME || hodiny == CLOCK_REALTIME_COARSE) {
        long long soucet;
        kroky(t->tv_sec * MILIARDA + t->tv_nsec, &soucet);
        *t = ts(t->tv_sec * MILIARDA + t->tv_nsec + soucet);
    }
    return 0;
}

int gettimeofday(struct timeval *tv, void *tz) {
    (void)tz;
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    tv->tv_sec = t.tv_sec;
    tv->tv_usec = t.tv_nsec / 1000;
    return 0;
}

time_t time(time_t *kam) {
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    if (kam)
        *kam = t.tv_sec;
    return t.tv_sec;
}

/* Sleeps on the real clock until the shifted clock reads cil, waking at
 * every step in between to look again. */
int clock_nanosleep(clockid_t hodiny, int priznaky, const struct timespec *cil,
                    struct timespec *zbytek) {
    if (hodiny != CLOCK_REALTIME || !(priznaky & TIMER_ABSTIME))
        return syscall(SYS_clock_nanosleep, hodiny, priznaky, cil, zbytek) == 0 ? 0 : errno;
    for (;;) {
        long long soucet, ted = skutecne();
        kroky(ted, &soucet);
        long long konec = cil->tv_sec * MILIARDA + cil->tv_nsec - soucet;
        long long krok = dalsikrok(ted);
        struct timespec do_ = ts(konec < krok ? konec : krok);
        if (syscall(SYS_clock_nanosleep, CLOCK_REALTIME, TIMER_ABSTIME, &do_, NULL) != 0)
            return errno;
        if (konec < krok)
            return 0;
    }
}

/* Arms the real timer for the shifted clock's instant, or for the next step
 * when that comes first. */
static int natahni(int fd, long long cil) {
    long long soucet, ted = skutecne();
    budiky[fd].kroky = kroky(ted, &soucet);
    budiky[fd].cil = cil;
    long long konec = cil - soucet, krok = dalsikrok(ted);
    struct itimerspec t = {{0, 0}, ts(konec < krok ? konec : krok)};
    if (t.it_value.tv_sec == 0 && t.it_value.tv_nsec == 0)
        t.it_value.tv_nsec = 1; /* zero would disarm it */
    return (int)syscall(SYS_timerfd_settime, fd, TFD_TIMER_ABSTIME, &t, NULL);
}

int timerfd_settime(int fd, int priznaky, const struct itimerspec *nova, struct itimerspec *stara) {
    if (fd < 0 || fd >= BUDIKU || !(priznaky & TFD_TIMER_ABSTIME) ||
        (nova->it_value.tv_sec == 0 && nova->it_value.tv_nsec == 0))
        return (int)syscall(SYS_timerfd_settime, fd, priznaky, nova, stara);
    long long soucet;
    int zrusen = budiky[fd].cancel && kroky(skutecne(), &soucet) != budiky[fd].kroky;
    budiky[fd].cancel = (priznaky & TFD_TIMER_CANCEL_ON_SET) != 0;
    if (natahni(fd, nova->it_value.tv_sec * MILIARDA + nova->it_value.tv_nsec) != 0)
        return -1;
    if (zrusen) {
        errno = ECANCELED;
        return -1;
    }
    return 0;
}

int close(int fd) {
    if (fd >= 0 && fd < BUDIKU)
        budiky[fd].cil = budiky[fd].cancel = 0;
    return (int)syscall(SYS_close, fd);
}

ssize_t read(int fd, void *buf, size_t n) {
    for (;;) {
        ssize_t r = syscall(SYS_read, fd, buf, n);
        if (r < 0 || fd < 0 || fd >= BUDIKU || budiky[fd].cil == 0)
            return r;
        long long soucet;
        int kolik = kroky(skutecne(), &soucet);
        if (kolik == budiky[fd].kroky) {
            budiky[fd].cil = 0;
            return r; /* the instant came before any step */
        }
        if (budiky[fd].cancel) {
            budiky[fd].cil = 0;
            budiky[fd].kroky = kolik;
            errno = ECANCELED;
            return -1;
        }
        if (natahni(fd, budiky[fd].cil) != 0)
            return -1;
    }
}

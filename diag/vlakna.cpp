// vlakna: three threads beside the main thread, two printing counters at
// their own rates and one reading the keyboard in raw mode, until a chunk of
// input that begins with q (or the end of input) stops all four.
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

// 0 while the program runs, 1 once it stops; only the keyboard thread sets it.
std::atomic<int> jekonec{0};
pthread_t ukvlk1, ukvlk2, ukvlk3;

namespace {

// Each console text goes out whole in one write and at once, so the lines of
// the four threads never tear and show up even when the output is a pipe.
void radek(const char *text) {
    flockfile(stdout);
    std::puts(text);
    std::fflush(stdout);
    funlockfile(stdout);
}

__attribute__((format(printf, 1, 2))) void tiskni(const char *format, ...) {
    flockfile(stdout);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
    funlockfile(stdout);
}

} // namespace

// The flag is tested before each sleep, so after the stop each counter shows
// one more line, within its own period.
void necodelam() {
    for (int cislo = 0; jekonec == 0; ++cislo) {
        sleep(2);
        tiskni("\nvlakno necodelam - cislo %d \n\n", cislo);
    }
    radek(" vlakno necodelam skoncilo ");
}

void delamnecojineho() {
    for (int cislo = 0; jekonec == 0; ++cislo) {
        sleep(3);
        tiskni("\nvlakno delamnecojineho - cislo %d \n\n", cislo);
    }
    radek(" vlakno delamnecojineho skoncilo ");
}

// Raw keyboard: everything off, one read waits for the first character and
// then returns with 8 of them or 5 s after the last one came. The control
// modes (speed, character size, parity, receiver on) stay those of the line:
// zeroed, they would hang up a serial console (speed 0) and switch its
// receiver off, so that the q could never arrive.
termios surovyrezim(const termios &ulozene) {
    termios t{};
    t.c_cflag = ulozene.c_cflag;
    cfsetispeed(&t, cfgetispeed(&ulozene));
    cfsetospeed(&t, cfgetospeed(&ulozene));
    t.c_cc[VMIN] = 8;
    t.c_cc[VTIME] = 50;
    return t;
}

void testujiklavesnici() {
    termios ulozene{};
    // Without the saved attributes the terminal could not be given back, so
    // it is left as it is; on anything but a terminal both calls fail.
    bool zmeneno = false;
    if (tcgetattr(0, &ulozene) == 0) {
        const termios surove = surovyrezim(ulozene);
        tcflush(0, TCIFLUSH);
        zmeneno = tcsetattr(0, TCSANOW, &surove) == 0;
    }
    char buf[11];
    while (jekonec == 0) {
        buf[0] = '\0';
        ssize_t n = read(0, buf, sizeof buf - 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // End of input or a dead keyboard: nothing more can ever say q.
            jekonec = 1;
            break;
        }
        buf[n] = '\0';
        tiskni("\nprecetl jsem %d znaku --%s-- \n", static_cast<int>(n), buf);
        if (buf[0] == 'q')
            jekonec = 1;
    }
    radek(" vlakno testujiklavesnici konci ");
    if (zmeneno)
        tcsetattr(0, TCSANOW, &ulozene);
}

void *vlakno1(void *) {
    necodelam();
    return nullptr;
}

void *vlakno2(void *) {
    delamnecojineho();
    return nullptr;
}

void *vlakno3(void *) {
    testujiklavesnici();
    return nullptr;
}

int main() {
    // Full buffering with a flush after every text: each text is one write.
    std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
    jekonec = 0;
    radek("poustim vlakna --");
    const bool pusteno1 = pthread_create(&ukvlk1, nullptr, vlakno1, nullptr) == 0;
    if (!pusteno1)
        radek("nepodarilo se pustit vlakno 1 --");
    const bool pusteno2 = pthread_create(&ukvlk2, nullptr, vlakno2, nullptr) == 0;
    if (!pusteno2)
        radek("nepodarilo se pustit vlakno 2 --");
    const bool pusteno3 = pthread_create(&ukvlk3, nullptr, vlakno3, nullptr) == 0;
    if (!pusteno3)
        radek("nepodarilo se pustit vlakno 3 --");
    radek("skoncil jsem pousteni vlaken --");

    while (jekonec == 0) {
        sleep(5);
        radek("   ***  cyklus main ");
    }
    radek("\n*****cekam na skonceni vlaken ");
    if (pusteno1)
        pthread_join(ukvlk1, nullptr);
    if (pusteno2)
        pthread_join(ukvlk2, nullptr);
    if (pusteno3)
        pthread_join(ukvlk3, nullptr);
    radek("\na definitivni konec ");
    return 0;
}

// Speed of the calendar scanner: generates a calendar of many events, scans it
// with prohledej and, in the same run, reads the same file with `wc -l`, so the
// scanner's rate stands next to that of a plain line counter on this machine.
//
// bench_scan [EVENTS]   (default 100000; needs root)
//
// It runs in a private sandbox with tmpfs over /var/log and /home, so the
// calendar and any log entry vanish with it. It ends with status 1 when the
// scan does not read the calendar as the generator wrote it: every event good,
// no log entry, `wc -l` counting the lines written.
#include "benchlib.hpp"
#include "log.hpp"
#include "scanner.hpp"
#include "tables.hpp"
#include "zkusebna.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using hodiny = std::chrono::steady_clock;
constexpr int opakovani = 3;
constexpr const char *cesta = "/home/kamnar/bench.ics";

// One calendar as a calendar program writes it (CR LF line ends); every tenth
// event lasts whole days. Returns the number of lines.
long generuj(long udalosti) {
    FILE *f = std::fopen(cesta, "w");
    if (!f)
        return -1;
    long radky = 2;
    std::fputs("BEGIN:VCALENDAR\r\nPRODID:kamnar bench\r\n", f);
    for (long i = 0; i < udalosti; ++i) {
        int den = 1 + static_cast<int>(i % 28), mesic = 1 + static_cast<int>(i / 28 % 12);
        int hodina = 6 + static_cast<int>(i % 12);
        std::fprintf(
            f,
            "BEGIN:VEVENT\r\nCREATED:20240101T120000Z\r\nLAST-MODIFIED:20240101T120000Z\r\n"
            "DTSTAMP:20240101T120000Z\r\nUID:kamnar-%ld@doma\r\nSUMMARY:Topeni %ld\r\n",
            i, i);
        if (i % 10 == 0)
            std::fprintf(f, "DTSTART;VALUE=DATE:2024%02d%02d\r\nDTEND;VALUE=DATE:2024%02d%02d\r\n",
                         mesic, den, mesic, den + 1);
        else
            std::fprintf(f,
                         "DTSTART;TZID=Europe/Prague:2024%02d%02dT%02d0000\r\n"
                         "DTEND;TZID=Europe/Prague:2024%02d%02dT%02d3000\r\n",
                         mesic, den, hodina, mesic, den, hodina);
        std::fputs("TRANSP:OPAQUE\r\nEND:VEVENT\r\n", f);
        radky += 10;
    }
    std::fputs("END:VCALENDAR\r\n", f);
    std::fclose(f);
    return radky + 1;
}

double sekundy(hodiny::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The best of a few scans, with the console lines going to /dev/null.
double merscan(bool *v_poradku) {
    double nejlepsi = 1e9;
    int nic = open("/dev/null", O_WRONLY | O_CLOEXEC);
    harness::stdoutto(nic, [&] {
        for (int i = 0; i < opakovani; ++i) {
            auto start = hodiny::now();
            int r = prohledej(0);
            std::fflush(stdout);
            nejlepsi = std::min(nejlepsi, sekundy(hodiny::now() - start));
            *v_poradku = *v_poradku && r == 0;
        }
    });
    close(nic);
    return nejlepsi;
}

// The best of a few runs of `wc -l`, from its start to its end; *pocet is the
// count it printed.
double merwc(long *pocet) {
    double nejlepsi = 1e9;
    for (int i = 0; i < opakovani; ++i) {
        int roura[2];
        if (pipe(roura) != 0)
            return -1;
        auto start = hodiny::now();
        pid_t pid = fork();
        if (pid == 0) {
            dup2(roura[1], 1);
            execlp("wc", "wc", "-l", cesta, static_cast<char *>(nullptr));
            _exit(127);
        }
        close(roura[1]);
        char text[256] = {};
        ssize_t n = read(roura[0], text, sizeof text - 1);
        close(roura[0]);
        int stav = 0;
        waitpid(pid, &stav, 0);
        nejlepsi = std::min(nejlepsi, sekundy(hodiny::now() - start));
        *pocet = n > 0 && WIFEXITED(stav) && WEXITSTATUS(stav) == 0 ? std::atol(text) : -1;
    }
    return nejlepsi;
}

} // namespace

int main(int argc, char **argv) {
    long udalosti = argc > 1 ? std::atol(argv[1]) : 100000;
    if (udalosti <= 0) {
        std::printf("usage: bench_scan [EVENTS]\n");
        return 2;
    }
    harness::sandbox(); // the calendar and any log entry vanish with it
    mkdir("/home/kamnar", 0755);
    setvbuf(stdout, nullptr, _IOFBF, BUFSIZ); // as the console of overkal in a file
    setenv("TZ", "Europe/Prague", 1);
    tzset();

    long radky = generuj(udalosti);
    struct stat st {};
    if (radky < 0 || stat(cesta, &st) != 0) {
        std::printf("bench_scan: cannot write %s\n", cesta);
        return 2;
    }
    inicializujtabulky();
    pridejkalendar(cesta, 1, inet_addr("127.0.0.2"));

    bool v_poradku = true;
    double scan = merscan(&v_poradku);
    long pocet = 0;
    double wc = merwc(&pocet);
    struct stat zaznam {};
    bool bezlogu = stat(cestalogu, &zaznam) != 0 || zaznam.st_size == 0;

    double mb = static_cast<double>(st.st_size) / 1e6;
    std::printf("calendar: %ld events, %ld lines, %.1f MB (CR LF)\n", udalosti, radky, mb);
    std::printf("prohledej: %8.4f s %9.1f MB/s  (best of %d)\n", scan, mb / scan, opakovani);
    std::printf("wc -l:     %8.4f s %9.1f MB/s  (best of %d, process start included)\n", wc,
                mb / wc, opakovani);
    std::printf("prohledej reads at %.1f %% of the rate of wc -l\n", 100.0 * wc / scan);
    std::fflush(stdout);
    bench::figure("scan.rate", mb / scan, "MB/s", mb / wc);
    if (!v_poradku || !bezlogu || pocet != radky) {
        std::printf("bench_scan: the scan did not read the calendar as written "
                    "(result %s, log %s, wc -l %ld lines)\n",
                    v_poradku ? "0" : "not 0", bezlogu ? "empty" : "not empty", pocet);
        return 1;
    }
    return 0;
}

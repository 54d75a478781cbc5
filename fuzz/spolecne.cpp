#include "spolecne.hpp"

#include "log.hpp"
#include "sandbox.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

std::string pripravfuzz() {
    std::string work = harness::sandbox();
    setenv("TZ", "Europe/Prague", 1);
    tzset();
    // Console lines of the code under test would drown libFuzzer's report,
    // which goes to standard error.
    std::fflush(stdout);
    int nic = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nic < 0 || dup2(nic, 1) != 1) {
        std::perror("/dev/null");
        std::abort();
    }
    close(nic);
    return work;
}

void nulujlog() {
    // Before the first entry there is no log yet: the next entry creates it.
    if (truncate(cestalogu, 0) != 0 && errno != ENOENT) {
        std::perror(cestalogu);
        std::abort();
    }
}

std::string ctilog() {
    std::ifstream f(cestalogu, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

long long starisouboru(const std::uint8_t *data, std::size_t size) {
    return size && data[0] < 0x20 && data[0] != '\n' ? data[0] * 4 : 0;
}

void zapissoubor(const char *cesta, const void *data, std::size_t delka) {
    FILE *f = std::fopen(cesta, "w");
    if (!f || std::fwrite(data, 1, delka, f) != delka || std::fclose(f) != 0) {
        std::perror(cesta);
        std::abort();
    }
}

void poruseno(const char *soubor, int radek, const char *podminka) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", soubor, radek, podminka);
    std::abort();
}

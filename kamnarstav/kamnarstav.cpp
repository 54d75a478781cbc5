// kamnarstav: the house at a glance. Reads the daemon's state file
// /run/kamnar/kamnar.prom and prints one line per module, then the daemon's
// line. Exit status 0 when every module answers, 1 when one or more does
// not, 2 when the file is missing, older than 30 s or written after the
// present moment of the clock (the daemon is not running), so that a cron
// job or a monitoring check can use it as it is.
#include "ctenistavu.hpp"
#include "rodiny.hpp"
#include "tabulka.hpp"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

int nelzeprecist(int chyba) {
    std::printf("Soubor %s nelze precist - chyba cislo %d\n", cestastavu, chyba);
    return 2;
}

} // namespace

int main() {
    struct stat st {};
    if (stat(cestastavu, &st) != 0) {
        if (errno != ENOENT)
            return nelzeprecist(errno);
        std::printf("Soubor %s neexistuje - kamnar nebezi\n", cestastavu);
        return 2;
    }
    std::time_t ted = std::time(nullptr);
    long long stari = static_cast<long long>(ted - st.st_mtime);
    if (stari > nejvysestari) {
        std::printf("Soubor %s je %lld s stary - kamnar nebezi\n", cestastavu, stari);
        return 2;
    }
    if (stari < -nejvicezbudoucnosti) {
        std::printf("Soubor %s je z budoucnosti (o %lld s) - kamnar nebezi\n", cestastavu, -stari);
        return 2;
    }
    std::ifstream soubor(cestastavu, std::ios::binary);
    std::ostringstream text;
    if (!soubor || !(text << soubor.rdbuf()))
        return nelzeprecist(errno);
    prehled p = ctiprehled(text.str());
    std::fputs(tabulka(p, ted).c_str(), stdout);
    return vysledek(p);
}

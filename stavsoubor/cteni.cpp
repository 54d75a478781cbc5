#include "cteni.hpp"

#include "pripis.hpp"
#include "slova.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

snimek posud(std::string text, long long zmena, long long ted) {
    snimek s;
    s.zmena = zmena;
    s.nacteno = ted;
    s.velikost = static_cast<long long>(text.size());
    if (!text.empty() && text.back() != '\n')
        s.stav = stavsouboru::neuplny;
    else if (s.p = ctiprehled(text); !s.p.hlasibeh)
        s.stav = stavsouboru::cizi;
    else if (ted - zmena > nejvysestari || zmena - ted > nejvicezbudoucnosti)
        s.stav = stavsouboru::stary;
    else
        s.stav = s.p.bezi ? stavsouboru::bezi : stavsouboru::skoncil;
    if (matabulku(s))
        s.text = std::move(text);
    else
        s.p = prehled{};
    return s;
}

snimek nactistav(const char *cesta, long long ted) {
    snimek s;
    s.nacteno = ted;
    // Not blocking: whatever stands at the path, a pipe included, is only
    // looked at.
    int fd = open(cesta, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        s.stav = errno == ENOENT ? stavsouboru::chybi : stavsouboru::nelzeprecist;
        s.chyba = errno;
        return s;
    }
    struct stat st {};
    std::string text;
    int chyba = 0;
    if (fstat(fd, &st) != 0)
        chyba = errno;
    else if (S_ISDIR(st.st_mode))
        chyba = EISDIR;
    else if (!S_ISREG(st.st_mode))
        chyba = EINVAL;
    // One byte more than allowed tells a file that grew past the bound.
    char kus[16384];
    while (chyba == 0 && static_cast<long long>(text.size()) <= nejvicebajtu) {
        ssize_t n = read(fd, kus, sizeof kus);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            chyba = errno;
        if (n <= 0)
            break;
        text.append(kus, static_cast<std::size_t>(n));
    }
    close(fd);
    if (chyba != 0) {
        s.stav = stavsouboru::nelzeprecist;
        s.chyba = chyba;
    } else if (static_cast<long long>(text.size()) > nejvicebajtu) {
        s.stav = stavsouboru::velky;
        s.velikost =
            std::max(static_cast<long long>(st.st_size), static_cast<long long>(text.size()));
    } else {
        s = posud(std::move(text), static_cast<long long>(st.st_mtime), ted);
    }
    return s;
}

bool matabulku(const snimek &s) {
    return s.stav == stavsouboru::bezi || s.stav == stavsouboru::skoncil ||
           s.stav == stavsouboru::stary;
}

bool jeplatny(const snimek &s) {
    return s.stav == stavsouboru::bezi || s.stav == stavsouboru::skoncil;
}

std::string zprava(const snimek &s, const char *cesta) {
    std::string text;
    switch (s.stav) {
    case stavsouboru::bezi:
        break;
    case stavsouboru::skoncil:
        pripisf(text, "kamnar nebezi - skoncil %s", mistnicas(s.zmena).c_str());
        break;
    case stavsouboru::stary: // the same lines as kamnarstav's
        if (s.zmena > s.nacteno)
            pripisf(text, "Soubor %s je z budoucnosti (o %lld s) - kamnar nebezi", cesta,
                    s.zmena - s.nacteno);
        else
            pripisf(text, "Soubor %s je %lld s stary - kamnar nebezi", cesta, s.nacteno - s.zmena);
        break;
    case stavsouboru::chybi:
        pripisf(text, "Soubor %s neexistuje - kamnar nebezi", cesta);
        break;
    case stavsouboru::nelzeprecist:
        pripisf(text, "Soubor %s nelze precist - chyba cislo %d", cesta, s.chyba);
        break;
    case stavsouboru::velky:
        pripisf(text, "Soubor %s je prilis velky (%lld B, cte se nejvice %lld B)", cesta,
                s.velikost, nejvicebajtu);
        break;
    case stavsouboru::neuplny:
        pripisf(text, "Soubor %s neni cely - jeho posledni radek nema konec", cesta);
        break;
    case stavsouboru::cizi:
        pripisf(text, "Soubor %s neni stav kamnaru - chybi v nem kamnar_bezi", cesta);
        break;
    }
    return text;
}

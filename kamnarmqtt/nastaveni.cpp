#include "nastaveni.hpp"

#include "pripis.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr long nejvicenastaveni = 65536; // bytes of the file, far more than it needs
constexpr long nejviceheslo = 4096;

bool znaky(const std::string &t, const char *dovolene, std::size_t nejvice) {
    if (t.empty() || t.size() > nejvice)
        return false;
    for (char z : t)
        if (!((z >= 'a' && z <= 'z') || (z >= 'A' && z <= 'Z') || (z >= '0' && z <= '9') ||
              std::string_view(dovolene).find(z) != std::string_view::npos))
            return false;
    return true;
}

// A topic's levels of letters, digits, '_' and '-', one '/' between them:
// no wildcard, no empty level.
bool tema(const std::string &t) {
    return znaky(t, "_-/", 64) && t.front() != '/' && t.back() != '/' &&
           t.find("//") == std::string::npos;
}

bool port(const std::string &t, int &p) {
    if (!znaky(t, "", 5) || t.find_first_not_of("0123456789") != std::string::npos)
        return false;
    p = std::stoi(t);
    return p >= 1 && p <= 65535;
}

// The key in the fault's line: what is not printable is shown as '?'.
std::string citelne(std::string t) {
    if (t.size() > 40)
        t.resize(40);
    for (char &z : t)
        if (z < 0x21 || z > 0x7e)
            z = '?';
    return t;
}

// Sets one key; false when the value is not one of it.
bool nastav(nastaveni &n, const std::string &klic, const std::string &hodnota) {
    if (klic == "broker") {
        n.broker = hodnota;
        return znaky(hodnota, ".-:_", 253);
    }
    if (klic == "port")
        return port(hodnota, n.port);
    if (klic == "uzivatel") {
        n.uzivatel = hodnota;
        return znaky(hodnota, ".-_@+", 64);
    }
    if (klic == "heslo_soubor" || klic == "tls_ca") {
        (klic == "tls_ca" ? n.tlsca : n.heslosoubor) = hodnota;
        return hodnota.front() == '/' && znaky(hodnota, "/._-+@", 1024);
    }
    if (klic == "predpona_ha" || klic == "tema") {
        (klic == "tema" ? n.tema : n.predponaha) = hodnota;
        return tema(hodnota);
    }
    return false;
}

} // namespace

std::string ctinastaveni(const std::string &text, const char *jmeno, nastaveni &n) {
    static const char *const klice[] = {"broker", "port",        "uzivatel", "heslo_soubor",
                                        "tls_ca", "predpona_ha", "tema"};
    std::istringstream radky(text);
    std::string radek, chyba, videno = " ";
    for (int cislo = 1; std::getline(radky, radek); ++cislo) {
        std::istringstream slova(radek);
        std::string klic, hodnota, navic;
        if (!(slova >> klic) || klic[0] == '#')
            continue;
        slova >> hodnota >> navic;
        bool znamy = false;
        for (const char *k : klice)
            znamy = znamy || klic == k;
        if (!znamy)
            pripisf(chyba, "%s radek %d: neznamy klic %s - koncim", jmeno, cislo,
                    citelne(klic).c_str());
        else if (videno.find(" " + klic + " ") != std::string::npos)
            pripisf(chyba, "%s radek %d: klic %s je uveden podruhe - koncim", jmeno, cislo,
                    klic.c_str());
        else if (hodnota.empty())
            pripisf(chyba, "%s radek %d: klic %s nema hodnotu - koncim", jmeno, cislo,
                    klic.c_str());
        else if (!navic.empty() || !nastav(n, klic, hodnota))
            pripisf(chyba, "%s radek %d: spatna hodnota klice %s - koncim", jmeno, cislo,
                    klic.c_str());
        if (!chyba.empty())
            return chyba;
        videno += klic + " ";
        if (klic == "heslo_soubor")
            n.hesloradek = cislo;
        if (klic == "tls_ca")
            n.tlsradek = cislo;
    }
    if (!n.heslosoubor.empty() && n.uzivatel.empty())
        pripisf(chyba, "%s radek %d: heslo_soubor bez klice uzivatel - koncim", jmeno,
                n.hesloradek);
    return chyba;
}

bool hesloukryte(unsigned vlastnik, unsigned skupina, unsigned mod, unsigned uid, unsigned gid) {
    bool vlastnikok = vlastnik == 0 || vlastnik == uid;
    bool skupinaok = (mod & 070) == 0 || skupina == 0 || skupina == gid;
    return vlastnikok && skupinaok && (mod & 07) == 0;
}

namespace {

// Reads at most `nejvice` bytes of a regular file; errno of the fault, or
// EFBIG when it is larger, or 0.
int precti(const char *cesta, long nejvice, std::string &text, struct stat &st) {
    int fd = open(cesta, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return errno;
    int chyba = 0;
    if (fstat(fd, &st) != 0)
        chyba = errno;
    else if (!S_ISREG(st.st_mode))
        chyba = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    char kus[4096];
    while (chyba == 0) {
        ssize_t k = read(fd, kus, sizeof kus);
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0)
            chyba = errno;
        if (k <= 0)
            break;
        text.append(kus, static_cast<std::size_t>(k));
        if (static_cast<long>(text.size()) > nejvice)
            chyba = EFBIG;
    }
    close(fd);
    return chyba;
}

} // namespace

std::string nactisoubor(const char *cesta, bool vychozi, std::string &text) {
    struct stat st {};
    int chyba = precti(cesta, nejvicenastaveni, text, st);
    std::string zprava;
    if (chyba == ENOENT && vychozi)
        text.clear();
    else if (chyba != 0)
        pripisf(zprava, "Konfiguracni soubor %s nelze precist - chyba cislo %d - koncim", cesta,
                chyba);
    return zprava;
}

std::string nactiheslo(const nastaveni &n, const char *jmeno, std::string &heslo) {
    struct stat st {};
    std::string text, zprava;
    const char *cesta = n.heslosoubor.c_str();
    if (int chyba = precti(cesta, nejviceheslo, text, st); chyba != 0)
        pripisf(zprava, "%s radek %d: soubor %s nelze precist - chyba cislo %d - koncim", jmeno,
                n.hesloradek, cesta, chyba);
    else if (!hesloukryte(st.st_uid, st.st_gid, st.st_mode & 07777, getuid(), getgid()))
        pripisf(zprava, "%s radek %d: soubor s heslem %s smi cist jen root a sluzba - koncim",
                jmeno, n.hesloradek, cesta);
    heslo = text.substr(0, text.find_first_of("\r\n"));
    if (zprava.empty() && heslo.empty())
        pripisf(zprava, "%s radek %d: soubor s heslem %s je prazdny - koncim", jmeno, n.hesloradek,
                cesta);
    return zprava;
}

std::string overtlsca(const nastaveni &n, const char *jmeno) {
    struct stat st {};
    std::string text, zprava;
    if (n.tlsca.empty())
        return zprava;
    if (int chyba = precti(n.tlsca.c_str(), 1 << 20, text, st); chyba != 0)
        pripisf(zprava, "%s radek %d: soubor %s nelze precist - chyba cislo %d - koncim", jmeno,
                n.tlsradek, n.tlsca.c_str(), chyba);
    return zprava;
}

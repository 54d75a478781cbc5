#include "historie.hpp"

#include "hlidac.hpp"
#include "pripis.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The first line of the file; a file without it is not kamnarweb's.
constexpr char hlavickasouboru[] = "kamnarweb historie 1";
// Minutes past this (some two million years) are no clock's: the strips'
// arithmetic stays far from overflow.
constexpr long long nejpozdejsiminuta = 1LL << 40;
// The file is some 10 KiB a module.
constexpr long long nejvetsisoubor = 1 << 20;

long long minutaz(long long t) {
    return t / 60 - (t % 60 < 0);
}

// Clears the minutes after h's newest one up to m (at most a whole strip).
void vymaz(historie &h, long long m) {
    for (long long k = h.minuta + 1; k <= m && k <= h.minuta + minuttydne; ++k)
        for (auto &[c, pas] : h.moduly)
            pas.minuty[policko(k)] = 0;
    h.minuta = std::max(h.minuta, m);
}

} // namespace

std::size_t policko(long long minuta) {
    return static_cast<std::size_t>((minuta % minuttydne + minuttydne) % minuttydne);
}

std::string adresavhistorii(std::string_view adresa) {
    std::string a(adresa.substr(0, 64));
    for (char &z : a)
        if (z <= ' ' || z > '~')
            z = '?';
    // The file's line needs a word for it: an empty address would leave the
    // line one word short and the file unreadable.
    return a.empty() ? "?" : a;
}

zaznam zaznamenej(historie &h, const snimek &s, long long ted) {
    long long m = minutaz(ted);
    zaznam z = zaznam::zapsano;
    if (h.od != 0 && m < h.minuta) {
        if (h.minuta - m < krokzpet)
            return zaznam::preskocen;
        z = zaznam::znovu;
    }
    if (h.od == 0 || z == zaznam::znovu)
        h = historie{ted, m, {}};
    vymaz(h, m);
    if (s.stav != stavsouboru::bezi)
        return z;

    for (auto i = h.moduly.begin(); i != h.moduly.end();)
        i = s.p.moduly.contains(i->first) ? std::next(i) : h.moduly.erase(i);
    const long long prvni = std::max(minutaz(h.od), m - minuttydne + 1);
    for (const auto &[c, pm] : s.p.moduly) {
        if (!h.moduly.contains(c) && h.moduly.size() >= nejvicemodulu)
            continue;
        pasmodulu &pas = h.moduly[c];
        if (std::string a = adresavhistorii(pm.adresa); pas.adresa != a)
            pas = pasmodulu{a, {}};
        if (pm.poslednipaket) {
            long long k = minutaz(*pm.poslednipaket);
            if (k >= prvni && k <= m)
                pas.minuty[policko(k)] |= paketprisel;
        }
        if (pm.hlidac ? cyklusbezodpovedi(*pm.hlidac) : !pm.odpovida)
            pas.minuty[policko(m)] |= mlcel;
    }
    return z;
}

std::optional<double> podil(const historie &h, const pasmodulu &pas, long long minut) {
    long long zname = 0, odpovedel = 0;
    for (long long k = h.minuta - minut + 1; k <= h.minuta; ++k) {
        std::uint8_t b = pas.minuty[policko(k)];
        zname += b != 0;
        odpovedel += (b & paketprisel) != 0;
    }
    if (zname == 0)
        return std::nullopt;
    return static_cast<double>(odpovedel) / static_cast<double>(zname);
}

std::string texthistorie(const historie &h) {
    std::string t;
    pripisf(t, "%s\nod %lld minuta %lld\n", hlavickasouboru, h.od, h.minuta);
    for (const auto &[c, pas] : h.moduly) {
        pripisf(t, "modul %d %s ", c, pas.adresa.c_str());
        // The oldest minute first, one digit (its bits) each.
        for (long long k = h.minuta - minuttydne + 1; k <= h.minuta; ++k)
            t += static_cast<char>('0' + pas.minuty[policko(k)]);
        t += '\n';
    }
    return t;
}

bool ctihistorii(const std::string &text, historie &h) {
    std::istringstream radky(text);
    std::string radek, slovo;
    historie n;
    if (!std::getline(radky, radek) || radek != hlavickasouboru || !std::getline(radky, radek) ||
        std::sscanf(radek.c_str(), "od %lld minuta %lld", &n.od, &n.minuta) != 2 || n.od <= 0 ||
        n.minuta < minutaz(n.od) || n.minuta > nejpozdejsiminuta ||
        radek != "od " + std::to_string(n.od) + " minuta " + std::to_string(n.minuta))
        return false;
    while (std::getline(radky, radek)) {
        std::istringstream r(radek);
        int c = -1;
        pasmodulu pas;
        std::string minuty;
        if (!(r >> slovo >> c >> pas.adresa >> minuty) || slovo != "modul" || c < 0 || c > 99 ||
            n.moduly.contains(c) || n.moduly.size() >= nejvicemodulu || pas.adresa.size() > 64 ||
            minuty.size() != minuttydne || minuty.find_first_not_of("0123") != std::string::npos ||
            !(r >> std::ws).eof())
            return false;
        for (long long i = 0; i < minuttydne; ++i)
            pas.minuty[policko(n.minuta - minuttydne + 1 + i)] =
                static_cast<std::uint8_t>(minuty[static_cast<std::size_t>(i)] - '0');
        n.moduly[c] = std::move(pas);
    }
    if (!text.empty() && text.back() != '\n')
        return false;
    h = std::move(n);
    return true;
}

int ulozhistorii(const historie &h, const std::string &cesta) {
    const std::string docasny = cesta + ".tmp", text = texthistorie(h);
    int fd = open(docasny.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return errno;
    int chyba = 0;
    for (std::size_t hotovo = 0; hotovo < text.size() && chyba == 0;) {
        ssize_t n = write(fd, text.data() + hotovo, text.size() - hotovo);
        if (n < 0 && errno != EINTR)
            chyba = errno;
        else if (n == 0)
            chyba = EIO;
        else if (n > 0)
            hotovo += static_cast<std::size_t>(n);
    }
    if (chyba == 0 && fsync(fd) != 0)
        chyba = errno;
    if (close(fd) != 0 && chyba == 0)
        chyba = errno;
    if (chyba == 0 && rename(docasny.c_str(), cesta.c_str()) != 0)
        chyba = errno;
    if (chyba != 0)
        unlink(docasny.c_str());
    return chyba;
}

souborhistorie nactihistorii(const std::string &cesta, historie &h) {
    int fd = open(cesta.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? souborhistorie::chybi : souborhistorie::poskozen;
    struct stat st {};
    std::string text;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char kus[16384];
    while (ok && static_cast<long long>(text.size()) <= nejvetsisoubor) {
        ssize_t n = read(fd, kus, sizeof kus);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n >= 0;
        if (n <= 0)
            break;
        text.append(kus, static_cast<std::size_t>(n));
    }
    close(fd);
    ok = ok && static_cast<long long>(text.size()) <= nejvetsisoubor && ctihistorii(text, h);
    return ok ? souborhistorie::nacten : souborhistorie::poskozen;
}

#include "stav.hpp"

#include "hlidac.hpp"
#include "hodiny.hpp"
#include "hodinypc.hpp"
#include "log.hpp"
#include "pripis.hpp"
#include "rodiny.hpp"
#include "soubory.hpp"
#include "tables.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether the last attempt to write the file failed; main thread only.
bool selhava = false;

// The value of one of the daemon's own families; empty when it has none.
std::string hodnotademona(rodina r, bool bezi, const stavlogu &log) {
    std::string v;
    switch (r) {
    case rodina::bezi:
        pripisf(v, "%d", bezi ? 1 : 0);
        break;
    case rodina::start:
        pripisf(v, "%lld", static_cast<long long>(demon.start.load()));
        break;
    case rodina::odmodulu:
        pripisf(v, "%llu", static_cast<unsigned long long>(demon.odmodulu.load()));
        break;
    case rodina::odcizich:
        pripisf(v, "%llu", static_cast<unsigned long long>(demon.odcizich.load()));
        break;
    case rodina::zpozdeni:
        if (std::int64_t z = demon.zpozdeni; z != zadnycyklus)
            pripisf(v, "%.6f", static_cast<double>(z) / 1e9);
        break;
    case rodina::vynechano:
        pripisf(v, "%llu", static_cast<unsigned long long>(demon.vynechano.load()));
        break;
    case rodina::cekajici:
        pripisf(v, "%llu", static_cast<unsigned long long>(log.cekajicich));
        break;
    case rodina::nezapsano:
        pripisf(v, "%.3f",
                log.nejstarsi ? static_cast<double>(monotonnims() - log.nejstarsi) / 1e3 : 0.0);
        break;
    case rodina::ztraceno:
        pripisf(v, "%llu", static_cast<unsigned long long>(log.ztraceno));
        break;
    case rodina::hodinysync: // left out while the kernel does not say
        if (poslednihodiny().znamy)
            pripisf(v, "%d", poslednihodiny().synchronizovany ? 1 : 0);
        break;
    case rodina::maxerror:
        if (poslednihodiny().znamy)
            pripisf(v, "%.6f", poslednihodiny().maxerror);
        break;
    case rodina::chybazapisu:
        pripisf(v, "%d", log.chyba);
        break;
    default:
        break;
    }
    return v;
}

// Appends module m's samples of a family, with its labels `stitky`: one, or
// none for a value it has not reported, or one per TMR1 reading taken.
void vzorkymodulu(const popisrodiny &p, const modul &m, const std::string &stitky, std::string &v) {
    auto vzorek = [&](long long hodnota) {
        pripisf(v, "%s{%s} %lld\n", p.jmeno, stitky.c_str(), hodnota);
    };
    switch (p.r) {
    case rodina::odpovida:
        vzorek(modulodpovida(m.hlidac) ? 1 : 0);
        break;
    case rodina::hlidac:
        vzorek(m.hlidac);
        break;
    case rodina::tmr1: // the readings taken so far: odpocet counts down from 5
        for (int k = 0; k < 5 - std::clamp(m.odpocet.load(), 0, 5); ++k)
            pripisf(v, "%s{%s,stari=\"%d\"} %d\n", p.jmeno, stitky.c_str(), k,
                    m.tmr1[static_cast<std::size_t>(4 - k)].load());
        break;
    case rodina::defpr1:
        if (int d = m.defpr1; d >= 0)
            vzorek(d);
        break;
    case rodina::souhlasi:
        if (int a = m.souhlasi; a >= 0)
            vzorek(a);
        break;
    case rodina::poslednipaket:
        if (long long t = m.poslednipaket; t != 0)
            vzorek(t);
        break;
    case rodina::pricina:
        if (int c = m.pricina; c >= 0)
            vzorek(c);
        break;
    case rodina::casresetu: // the cause is stored last: with it, its time is there
        if (m.pricina >= 0)
            vzorek(m.casresetu);
        break;
    case rodina::prikazy:
        vzorek(static_cast<long long>(m.odeslano.load()));
        break;
    case rodina::chybyodeslani:
        vzorek(static_cast<long long>(m.chybodeslani.load()));
        break;
    default:
        break;
    }
}

// The labels of each filled module slot: modul="N",adresa="A.B.C.D".
std::array<std::string, pocetslotu> stitkymodulu() {
    std::array<std::string, pocetslotu> s;
    for (int i = 0; i < konpolemod; ++i) {
        char adresa[INET_ADDRSTRLEN];
        std::uint32_t a = polemod[static_cast<std::size_t>(i)].adresa;
        inet_ntop(AF_INET, &a, adresa, sizeof adresa);
        pripisf(s[static_cast<std::size_t>(i)], "modul=\"%d\",adresa=\"%s\"", i, adresa);
    }
    return s;
}

// 0 after the file was replaced, ENOENT when the directory does not exist,
// else the error code of the step that failed.
int nahradsoubor(bool bezi) {
    int fd = open(docasnystav, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return errno;
    // Readable by the collector, which runs as a user of its own, whatever
    // the umask.
    bool ok = fchmod(fd, 0644) == 0 && zapisvse(fd, vytvorstav(bezi));
    int chyba = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        chyba = errno;
    }
    if (ok && rename(docasnystav, cestastavu) == 0)
        return 0;
    if (ok)
        chyba = errno;
    unlink(docasnystav);
    return chyba == 0 ? EIO : chyba;
}

} // namespace

std::string vytvorstav(bool bezi) {
    const stavlogu log = jakjelog();
    const std::array<std::string, pocetslotu> stitky = stitkymodulu();
    std::string text, vzorky;
    text.reserve(1024 + 1024 * static_cast<std::size_t>(konpolemod));
    // A family without a sample is left out whole.
    for (const popisrodiny &p : rodiny) {
        vzorky.clear();
        if (!modulova(p.r)) {
            if (std::string h = hodnotademona(p.r, bezi, log); !h.empty())
                pripisf(vzorky, "%s %s\n", p.jmeno, h.c_str());
        } else
            for (int i = 0; i < konpolemod; ++i)
                vzorkymodulu(p, polemod[static_cast<std::size_t>(i)],
                             stitky[static_cast<std::size_t>(i)], vzorky);
        if (vzorky.empty())
            continue;
        pripisf(text, "# HELP %s %s\n# TYPE %s %s\n", p.jmeno, napovedarodiny(p).c_str(), p.jmeno,
                p.typ);
        text += vzorky;
    }
    return text;
}

void zapisstav(bool bezi) {
    int chyba = nahradsoubor(bezi);
    if (chyba == ENOENT)
        return; // no /run/kamnar: not run as the service
    if (chyba != 0 && !selhava)
        zapisdologuf(true, "Error: nelze zapsat stav do %s - chyba cislo %d \n", cestastavu, chyba);
    else if (chyba == 0 && selhava)
        zapisdologuf(true, "Stav se zase zapisuje do %s \n", cestastavu);
    selhava = chyba != 0;
}

// The soak: the daemon through MINUTES (default 60) of a house's traffic, in
// a private namespace, with 30 stand-in modules on 127.0.0.2 to 127.0.0.31
// that answer as simmodul does (a TMR1 reading for every time command, the
// DEFPR1 value after a command 8, the clock agreeing from the second command
// on, a SOFTE reset reported after unitkick). On the way:
//   - three modules fall silent for two to three minutes and come back;
//   - one module is reset with unitkick every ten minutes;
//   - a stranger (127.0.0.200) sends a datagram now and then;
//   - every quarter of an hour two strangers flood the daemon for 20 s (the
//     first flood ends within the warm-up: see bench::naplanuj);
//   - the console is a pipe that nobody reads;
//   - the daemon's clock is stepped back by an hour, later forward by one
//     (the preloaded posunhodin; the machine's clock stays as it is).
// It ends with SIGINT and prints one goal line per check:
//   soak-commands  every module got one command in every ten seconds from the
//                  first ten that begins two seconds after the start, each at
//                  or after x0.5 of the second its time field names (on the
//                  daemon's clock of that moment) and less than half a second
//                  after its slot's mark, x0.5 + 20 ms x slot;
//   soak-log       every log entry that the traffic causes is there and no
//                  other (the flood's: written or counted in a summary);
//   soak-state     the state file was never older than 5 s, and the one
//                  written at the stop counts every datagram sent;
//   soak-flat      VmRSS, open descriptors and threads grew by at most
//                  64 KiB, 0 and 0 after the first five minutes (the first
//                  half of a shorter run), and every sample of them was
//                  taken (a daemon that died leaves them missing);
//   soak-stop      the orderly stop: exit status 0 within 20 s of SIGINT,
//                  the stop banner once and last.
// Its exit status is 1 when a goal is missed.
//
// bench_soak [MINUTES]   (needs root; scripts/soak runs it)
#include "benchlib.hpp"
#include "cteni.hpp"
#include "datagram.hpp"
#include "mereni.hpp"
#include "rodiny.hpp"
#include "zkusebna.hpp"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int pocetmodulu = 30;
constexpr long zaplavarychle = 10000; // datagrams a second of a flood

std::string adresa(int modul) {
    return "127.0.0." + std::to_string(modul + 2);
}

// A stand-in module.
struct modul {
    int sock = -1;
    std::uint32_t hodiny = 0;         // the time field of the last command it heard
    std::uint8_t pricina = nicnoveho; // the reset cause its next answer reports
    std::uint16_t tmr1 = 1000;
    int nezodpovezeno = 0; // commands left unanswered since its last answer
    bool nahlasen = false; // the daemon has reported it silent
};

struct soak {
    bench::plansoaku p;
    std::vector<modul> moduly;
    std::vector<bench::prijaty> prikazy;
    std::vector<std::string> ocekavane;            // the log entries the traffic causes
    std::uint8_t poslednistav = 0;                 // the status byte of the last module datagram
    long odmodulu = 0, odcizich = 0, zaplavou = 0; // datagrams sent
    bool koncime = false;                          // SIGINT sent: no more answers
};

__attribute__((format(printf, 2, 3))) void ocekavej(soak &s, const char *format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    vpripisf(text, format, args);
    va_end(args);
    s.ocekavane.push_back(text);
}

// Sends a status datagram of module m and notes the entries it causes: the
// reset it reports, its DEFPR1 value, its return after a report of its
// silence, and a status byte other than that of the module datagram before.
void posli(soak &s, int m, const stavmodulu &st) {
    modul &md = s.moduly[static_cast<std::size_t>(m)];
    auto b = sestavstav(st);
    harness::sendstatus(md.sock, {b.begin(), b.end()});
    ++s.odmodulu;
    if (st.cosestalo == 3) {
        std::time_t t = st.casmodulu;
        std::tm u{};
        gmtime_r(&t, &u);
        ocekavej(s,
                 "Modul %02d - SOFTE Reset - jeho posledni cas  %02d:%02d:%02d %02d.%02d.%04d \n",
                 m, u.tm_hour, u.tm_min, u.tm_sec, u.tm_mday, u.tm_mon + 1, u.tm_year + 1900);
    }
    if (st.typ == typdefpr1)
        ocekavej(s, "modul %2d - prisla hodnota DEFPR1 %d \n", m, st.hodnota);
    if (md.nahlasen)
        ocekavej(s, "Modul %d adresa %s uz zase odpovida \n", m, adresa(m).c_str());
    md.nahlasen = false;
    if (st.status != s.poslednistav)
        ocekavej(s, "cas modulu %02d %s %ssouhlasi s PC \n", m, adresa(m).c_str(),
                 st.status & bitsouhlasi ? "  " : "ne");
    s.poslednistav = st.status;
}

bool mlci(const soak &s, int m, double t) {
    return std::any_of(s.p.ticha.begin(), s.p.ticha.end(), [&](const bench::plansoaku::ticho &x) {
        return x.modul == m && t >= x.od && t < x.dokdy;
    });
}

// A datagram to module m: a time command is noted and answered as simmodul
// answers it (unless the module is silent), a reset command is remembered.
void prijmi(soak &s, int m) {
    modul &md = s.moduly[static_cast<std::size_t>(m)];
    harness::command c;
    if (!harness::receive(md.sock, c, std::chrono::milliseconds(0)))
        return;
    auto prikaz = ctiprikaz(c.bytes);
    if (!prikaz)
        return;
    if (prikaz->kod == prikazreset) {
        md.pricina = 3; // SOFTE
        return;
    }
    s.prikazy.push_back({m, bench::seconds(c.stamp), prikaz->cas});
    const bool souhlasi =
        md.pricina == nicnoveho && md.hodiny != 0 && prikaz->cas - md.hodiny <= 11;
    const std::uint32_t posledni = md.hodiny;
    md.hodiny = prikaz->cas;
    if (s.koncime)
        return;
    if (mlci(s, m, bench::now())) {
        // The daemon reports it at the tenth command without an answer.
        if (++md.nezodpovezeno == 10) {
            ocekavej(s, "Modul cislo %d neodpovida - 100 sec !\n", m);
            md.nahlasen = true;
        }
        return;
    }
    md.nezodpovezeno = 0;
    const std::uint8_t stav = souhlasi ? bitsouhlasi : 0;
    md.tmr1 = static_cast<std::uint16_t>(md.tmr1 + 7);
    posli(s, m, {typtmr1, stav, md.pricina, 0, 0, posledni, md.tmr1});
    md.pricina = nicnoveho;
    if (prikaz->kod == prikazcasdefpr1)
        posli(s, m, {typdefpr1, stav, nicnoveho, 0, 0, 0, static_cast<std::uint16_t>(500 + m)});
}

// A value of the daemon's /proc/PID/status; -1 when it has none (it is gone,
// or a zombie).
long zestatusu(pid_t pid, const char *pole) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    const std::size_t delka = std::strlen(pole);
    for (std::string r; std::getline(f, r);)
        if (r.compare(0, delka, pole) == 0)
            return std::atol(r.c_str() + delka);
    return -1;
}

// Open descriptors: the least of three counts a few milliseconds apart, so
// that the log or the state file opened for a moment is not counted; -1
// when they cannot be read.
long deskriptory(pid_t pid) {
    long nejmene = -1;
    for (int i = 0; i < 3; ++i) {
        long n = 0;
        DIR *d = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
        if (!d)
            return -1;
        while (dirent *e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
        nejmene = nejmene < 0 ? n : std::min(nejmene, n);
        usleep(5000);
    }
    return nejmene;
}

// Seconds since the state file was last written; -1 when it is missing.
double starist() {
    struct stat st {};
    if (stat(cestastavu, &st) != 0)
        return -1;
    return bench::now() - bench::seconds(st.st_mtim);
}

// The run from the daemon's start to SIGINT: the modules answered, the
// plan carried out, the state file and the daemon's resources watched.
struct sledovani {
    double nejstarsi = 0; // the state file's greatest age, s (-1: it was missing)
    std::vector<bench::vzorek> vzorky;
    double pristivzorek, prististari, pristihlaseni;
};

// The strangers of the run and what they send.
struct cizinci {
    int cizi = harness::fakemodule("127.0.0.200");
    int zaplava[2] = {harness::fakemodule("127.0.0.201"), harness::fakemodule("127.0.0.202")};
    std::vector<unsigned char> tmr1 = [] {
        auto b = sestavstav({typtmr1, bitsouhlasi, nicnoveho, 0, 0, 0, 7});
        return std::vector<unsigned char>(b.begin(), b.end());
    }();
    std::vector<long> poslano; // of each flood
    std::size_t kopanec = 0, cizinec = 0;
    std::vector<harness::process> kopance;
};

// At `t`: the floods' datagrams due by then; true while one is on.
bool zaplavuj(soak &s, cizinci &c, double t) {
    const auto celkem = static_cast<long>(zaplavarychle * bench::zaplavadelka);
    bool zaplavuje = false;
    for (std::size_t z = 0; z < s.p.zaplavy.size(); ++z) {
        if (t < s.p.zaplavy[z] || c.poslano[z] >= celkem)
            continue;
        zaplavuje = true;
        const long nacas = std::min(
            celkem, static_cast<long>((t - s.p.zaplavy[z]) * static_cast<double>(zaplavarychle)));
        for (; c.poslano[z] < nacas; ++c.poslano[z])
            s.zaplavou += harness::sendquick(c.zaplava[c.poslano[z] % 2], c.tmr1) ? 1 : 0;
    }
    return zaplavuje;
}

// At `t`: unitkick and the stranger's datagram when their time has come.
void vyrus(soak &s, cizinci &c, double t) {
    if (c.kopanec < s.p.kopance.size() && t >= s.p.kopance[c.kopanec]) {
        c.kopance.push_back(harness::start({harness::bin("unitkick"), adresa(bench::resetovany)}));
        ++c.kopanec;
    }
    if (c.cizinec < s.p.cizinci.size() && t >= s.p.cizinci[c.cizinec]) {
        harness::sendstatus(c.cizi, c.tmr1);
        ++s.odcizich;
        ocekavej(s, "prijemUDP - prisel paket z adresy 127.0.0.200 , ktera neni v "
                    "konfiguracnim file !!! \n");
        ++c.cizinec;
    }
}

// At `t`: the state file's age every second, the daemon's resources every
// 10 s, a line of progress every five minutes.
void sleduj(const soak &s, sledovani &v, pid_t demon, double t) {
    if (t >= v.prististari) {
        double stari = starist();
        v.nejstarsi = stari < 0 || v.nejstarsi < 0 ? -1 : std::max(v.nejstarsi, stari);
        v.prististari += 1;
    }
    if (t >= v.pristivzorek) {
        v.vzorky.push_back({t - s.p.zacatek, zestatusu(demon, "VmRSS:"), deskriptory(demon),
                            zestatusu(demon, "Threads:"), zestatusu(demon, "RssAnon:")});
        v.pristivzorek += 10;
    }
    if (t >= v.pristihlaseni) {
        std::printf("info soak: %.0f min, %zu commands, VmRSS %ld KiB\n", (t - s.p.zacatek) / 60,
                    s.prikazy.size(), v.vzorky.empty() ? 0 : v.vzorky.back().rss);
        v.pristihlaseni += 300;
    }
}

sledovani beh(soak &s, pid_t demon) {
    cizinci c;
    c.poslano.assign(s.p.zaplavy.size(), 0);
    std::vector<pollfd> cekani;
    for (const modul &m : s.moduly)
        cekani.push_back({m.sock, POLLIN, 0});
    sledovani v{0, {}, s.p.zacatek + 10, s.p.zacatek + 3, s.p.zacatek + 300};
    for (double t = bench::now(); t < s.p.konec; t = bench::now()) {
        const bool zaplavuje = zaplavuj(s, c, t);
        vyrus(s, c, t);
        sleduj(s, v, demon, t);
        if (poll(cekani.data(), cekani.size(), zaplavuje ? 1 : 100) <= 0)
            continue;
        for (std::size_t m = 0; m < cekani.size(); ++m)
            if (cekani[m].revents & POLLIN)
                prijmi(s, static_cast<int>(m));
    }
    for (harness::process &k : c.kopance)
        harness::finish(k, 0);
    close(c.cizi);
    close(c.zaplava[0]);
    close(c.zaplava[1]);
    return v;
}

// Whether the log holds, between the start of the threads and the stop
// banner, exactly the entries the traffic caused, those of the stop and any
// of the PC's clock; `zaplavou` datagrams of the floods must each have an
// entry or be counted in a summary.
bool zkontrolujlog(const soak &s) {
    const std::string log = harness::maskprefixes(harness::logtext());
    const std::string zacatek = "<T>skoncil jsem pousteni vlaken --\n";
    const std::string konec = " \n\n<T>Program kamnar radne skoncil \n\n";
    std::size_t od = log.find(zacatek), po = log.rfind(konec);
    if (od == std::string::npos || po == std::string::npos || po < od) {
        std::printf("info soak: the log has no start of the threads or no stop banner\n");
        return false;
    }
    od += zacatek.size();
    std::vector<std::string> nalezene, ocekavane = s.ocekavane;
    for (const char *z :
         {"Prisel signal HUP \n", "Vlakno posilamcas konci \n", "Vlakno prijemUDP skoncilo \n"})
        ocekavane.push_back(z);
    bool priorita = false, pamet = false;
    long zaplavovych = 0, vynechanomodulu = 0, vynechanocizich = 0;
    for (std::string &z : bench::zaznamylogu(log.substr(od, po - od))) {
        unsigned long moduly = 0, cizich = 0;
        if (!priorita && z.rfind("Vlakno posilamcas bezi s ", 0) == 0)
            priorita = true; // the time sender's priority, written once at the start
        else if (!pamet && z.rfind("Pamet kamnar ", 0) == 0)
            pamet = true; // whether its memory is locked, written once at the start
        else if (z.rfind("Hodiny PC ", 0) == 0)
            continue; // the PC's clock, whatever this machine's time service does
        else if (z.find("prisel paket z adresy 127.0.0.201 ") != std::string::npos ||
                 z.find("prisel paket z adresy 127.0.0.202 ") != std::string::npos)
            ++zaplavovych;
        else if (std::sscanf(z.c_str(),
                             "prijemUDP - prilis mnoho paketu - do logu nezapsano %lu zaznamu o "
                             "modulech a %lu o paketech z",
                             &moduly, &cizich) == 2) {
            vynechanomodulu += static_cast<long>(moduly);
            vynechanocizich += static_cast<long>(cizich);
        } else
            nalezene.push_back(std::move(z));
    }
    bench::rozdil r = bench::porovnej(ocekavane, nalezene);
    for (std::size_t i = 0; i < std::min<std::size_t>(5, r.chybi.size()); ++i)
        std::printf("info soak: missing from the log: %s", r.chybi[i].c_str());
    for (std::size_t i = 0; i < std::min<std::size_t>(5, r.navic.size()); ++i)
        std::printf("info soak: not expected in the log: %s", r.navic[i].c_str());
    const bool zaplavy = vynechanomodulu == 0 && zaplavovych + vynechanocizich == s.zaplavou;
    bench::goal("soak-log", r.chybi.empty() && r.navic.empty() && zaplavy,
                bench::format("%zu missing, %zu other; of the floods' %ld datagrams %ld logged "
                              "and %ld counted, %ld module entries counted",
                              r.chybi.size(), r.navic.size(), s.zaplavou, zaplavovych,
                              vynechanocizich, vynechanomodulu),
                bench::format("%zu entries expected", ocekavane.size()));
    return r.chybi.empty() && r.navic.empty() && zaplavy;
}

// The sandbox, the daemon's configuration, the stand-in modules and the
// plan; returns the working directory.
std::string priprav(soak &s, double minut) {
    const std::string work = harness::sandbox();
    mkdir("/home/kamnar", 0755);
    mkdir(adresarstavu, 0755); // the daemon writes its state file there
    harness::writefile("/home/kamnar/a.ics", "BEGIN:VCALENDAR\n");
    std::string konfigurace;
    for (int m = 0; m < pocetmodulu; ++m) {
        konfigurace += "[" + adresa(m) + "]\n" + std::to_string(m) + " a.ics\n";
        s.moduly.push_back({});
        s.moduly.back().sock = harness::fakemodule(adresa(m));
    }
    harness::writefile(work + "/kamnar.conf", konfigurace);
    s.p = bench::naplanuj(bench::now(), minut * 60);
    return work;
}

// The daemon with its clock stepped as planned and a console that is a pipe
// whose other end is held open (`konzole`) and never read.
harness::process spust(const soak &s, const std::string &work, int &konzole) {
    harness::options opt;
    opt.cwd = work;
    opt.env = {"TZ=UTC"};
    opt.timeout = std::chrono::seconds(20); // the stop's bound, with room
    std::vector<harness::clockstep> kroky;
    for (const bench::krok &k : s.p.kroky)
        kroky.push_back({{static_cast<std::time_t>(k.od), 0}, k.posun});
    harness::stepclock(opt, kroky);
    int roura[2];
    if (pipe2(roura, O_CLOEXEC) != 0) {
        std::perror("pipe2");
        std::exit(1);
    }
    opt.stdoutfd = roura[1];
    harness::process demon = harness::start({harness::bin("kamnar")}, opt);
    close(roura[1]);
    konzole = roura[0];
    return demon;
}

struct zastaveni {
    double sigint = 0, trvani = 0;
    harness::result r;
    std::size_t bannery = 0;
    bool radne = false;
};

// The orderly stop; the commands of the cycle after SIGINT are not
// answered (and not judged).
zastaveni zastav(soak &s, harness::process &demon) {
    s.koncime = true;
    zastaveni z;
    z.sigint = bench::now();
    z.r = harness::finish(demon, SIGINT);
    z.trvani = bench::now() - z.sigint;
    for (std::size_t m = 0; m < s.moduly.size(); ++m)
        for (pollfd f{s.moduly[m].sock, POLLIN, 0}; poll(&f, 1, 0) == 1;)
            prijmi(s, static_cast<int>(m));
    const std::string log = harness::maskprefixes(harness::logtext());
    z.bannery = harness::count(log, "<T>Program kamnar radne skoncil \n\n");
    z.radne = z.r.status == 0 && z.trvani <= 20 && z.bannery == 1 &&
              log.ends_with("<T>Program kamnar radne skoncil \n\n");
    return z;
}

// Every module one command in every ten from the first that begins two
// seconds after the start (bench::prvnidesitka) to the one of SIGINT.
bool goalprikazy(const soak &s, double sigint) {
    bench::vysledekprikazu c =
        bench::zkontrolujprikazy(s.prikazy, pocetmodulu, bench::prvnidesitka(s.p.zacatek),
                                 static_cast<long>(std::floor(sigint / 10)), s.p.kroky);
    const bool splneno = c.ocekavano > 0 && c.chybi == 0 && c.navic == 0 && c.mimo == 0;
    bench::goal(
        "soak-commands", splneno,
        bench::format("%ld missing, %ld extra, %ld off their mark", c.chybi, c.navic, c.mimo),
        bench::format("%ld commands to %d modules", c.ocekavano, pocetmodulu));
    return splneno;
}

// The state file was never older than 5 s, and the one written at the stop
// counts every datagram sent.
bool goalstav(const soak &s, const sledovani &v) {
    const snimek k = nactistav(cestastavu, std::time(nullptr));
    const prehled &p = k.p;
    const bool splneno = v.nejstarsi >= 0 && v.nejstarsi <= 5 && k.stav == stavsouboru::skoncil &&
                         p.odmodulu == s.odmodulu && p.odcizich == s.odcizich + s.zaplavou;
    bench::goal(
        "soak-state", splneno,
        bench::format("oldest %.1f s; at the stop %lld from modules, %lld from strangers",
                      v.nejstarsi, p.odmodulu, p.odcizich),
        bench::format("at most 5 s; %ld and %ld sent", s.odmodulu, s.odcizich + s.zaplavou));
    return splneno;
}

// The daemon's resources flat after the warm-up, and every sample of them
// taken: a daemon that died has none.
bool goalflat(const soak &s, const sledovani &v) {
    const double zahrati = s.p.zahrati - s.p.zacatek;
    const bench::narust n = bench::narustod(v.vzorky, zahrati);
    const bool splneno = !v.vzorky.empty() && v.vzorky.back().kdy > zahrati && n.chybi == 0 &&
                         n.rss <= 64 && n.deskriptory == 0 && n.vlakna == 0;
    if (!splneno)
        for (const bench::vzorek &z : v.vzorky)
            std::printf("info soak: at %.0f s VmRSS %ld KiB (%ld anonymous), %ld descriptors, "
                        "%ld threads\n",
                        z.kdy, z.rss, z.anon, z.deskriptory, z.vlakna);
    bench::goal("soak-flat", splneno,
                bench::format("VmRSS +%ld KiB, descriptors +%ld, threads +%ld after %.0f s "
                              "(VmRSS %ld KiB at the end), %ld of %zu samples missing",
                              n.rss, n.deskriptory, n.vlakna, zahrati,
                              v.vzorky.empty() ? 0 : v.vzorky.back().rss, n.chybi, v.vzorky.size()),
                "at most 64 KiB, 0, 0, none missing");
    return splneno;
}

bool goalstop(const zastaveni &z) {
    bench::goal("soak-stop", z.radne,
                bench::format("%.1f s, exit status %d, stop banner %zu time(s)%s", z.trvani,
                              z.r.status, z.bannery, z.radne || z.bannery != 1 ? "" : " not last"),
                "at most 20 s, 0, once and last");
    return z.radne;
}

} // namespace

int main(int argc, char **argv) {
    const double minut = argc > 1 ? std::atof(argv[1]) : 60;
    if (minut < 5) {
        std::puts("usage: bench_soak [MINUTES]   (5 or more; default 60)");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    soak s;
    const std::string work = priprav(s, minut);
    int konzole = -1;
    harness::process demon = spust(s, work, konzole);
    std::printf("info soak: %.0f min, %d modules, the clock stepped at %.0f s and %.0f s\n", minut,
                pocetmodulu, s.p.kroky[0].od - s.p.zacatek, s.p.kroky[1].od - s.p.zacatek);
    const sledovani v = beh(s, demon.pid);
    const zastaveni z = zastav(s, demon);
    close(konzole);
    const bool prikazy = goalprikazy(s, z.sigint);
    const bool zaznamy = zkontrolujlog(s);
    const bool stav = goalstav(s, v);
    const bool rovne = goalflat(s, v);
    const bool zastaven = goalstop(z);
    return prikazy && zaznamy && stav && rovne && zastaven ? 0 : 1;
}

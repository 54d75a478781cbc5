// The running daemon under load, in a private namespace with stand-in modules
// on loopback addresses. It reports figures; it asserts nothing about time.
//
//   bench_daemon flood [SECONDS [RATE]]  status datagrams at RATE per second
//                                        (default 20 s, 20000/s), half from a
//                                        configured module, half from a stranger
//   bench_daemon full [SECONDS [RATE]]   31 calendars and 30 modules; each module
//                                        answers every time command and sends
//                                        RATE datagrams per second of its own
//                                        (default 60 s, 100/s)
//   bench_daemon budget [SECONDS [RATE]] a flood at RATE per second (default
//                                        60 s, 20000/s) from two strangers,
//                                        then one as long forged with the
//                                        address of a configured module, while
//                                        four real modules send every 10 s
//
// It ends with status 1 when it measured nothing: the daemon did not start,
// nothing could be sent, no module got a command (full) or module 0's
// DEFPR1 value never turned its commands (flood), or the stop was not the
// orderly one. A missed goal is reported, not a failure.
//
// budget reports how much each flood grew the log, beside what the real
// modules' entries of the same time take, whether every entry of theirs is
// there, and the daemon's memory; its goal line is flood-log. The others
// report the daemon's resident memory (VmRSS) before and after, how much
// it handled, how long a module's DEFPR1 value took to reach its commands
// afterwards, and how long the orderly stop took; the "figure" lines are for
// scripts/bench's table.
#include "benchlib.hpp"
#include "datagram.hpp"
#include "harness.hpp"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <numeric>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using hodiny = std::chrono::steady_clock;

// The sandbox's working directory, where the daemon runs; main sets it.
std::string pracovni;

long vmrss(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string radek; std::getline(f, radek);)
        if (radek.rfind("VmRSS:", 0) == 0)
            return std::atol(radek.c_str() + 6);
    return -1;
}

std::vector<unsigned char> stav(int typ, int hodnota) {
    auto b = sestavstav({static_cast<std::uint8_t>(typ), bitsouhlasi, nicnoveho, 0, 0, 0,
                         static_cast<std::uint16_t>(hodnota)});
    return {b.begin(), b.end()};
}

double sekund(hodiny::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct demon {
    std::string jmeno; // of its figures
    std::string work;
    harness::process p;
};

// Starts the daemon in the sandbox that main entered.
demon spust(const std::string &jmeno, const std::string &konfigurace, bool bezkonzole = false) {
    demon d;
    d.jmeno = jmeno;
    d.work = pracovni;
    mkdir("/home/kamnar", 0755);
    harness::writefile("/home/kamnar/a.ics", "BEGIN:VCALENDAR\n");
    harness::writefile(d.work + "/kamnar.conf", konfigurace);
    harness::options opt;
    opt.cwd = d.work;
    opt.env = {"TZ=UTC"};
    opt.timeout = 60s;
    int nic = bezkonzole ? open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
    opt.stdoutfd = nic;
    d.p = harness::start({harness::bin("kamnar")}, opt);
    if (nic >= 0)
        close(nic);
    if (!harness::waitfor([] {
            return harness::logtext().find("skoncil jsem pousteni vlaken --\n") !=
                   std::string::npos;
        })) {
        std::puts("the daemon did not start");
        std::exit(1);
    }
    std::this_thread::sleep_for(1s);
    return d;
}

// After the load: how long module 0's DEFPR1 value (sent again each half
// second, as a lost datagram is possible) takes to turn its time commands
// into command 2. False when it never did.
bool odezva(demon &d, int modul0) {
    auto od = hodiny::now();
    bool videno = false;
    for (int i = 0; i < 120 && !videno; ++i) {
        harness::sendquick(modul0, stav(9, 0x2A0));
        videno = harness::waitfor(
            [&] { return harness::output(d.p).find("DEFPR1 672 \n") != std::string::npos; }, 500ms);
    }
    std::printf("DEFPR1 taken after       %.2f s%s\n", sekund(hodiny::now() - od),
                videno ? "" : " (never)");
    harness::command c;
    bool dva = false;
    while (!dva && hodiny::now() - od < 40s && harness::receive(modul0, c, 12s))
        dva = !c.bytes.empty() && c.bytes[0] == prikazcas;
    std::printf("command 2 after          %.2f s%s\n", sekund(hodiny::now() - od),
                dva ? "" : " (never)");
    bench::figure(d.jmeno + "_defpr1_to_command2", dva ? sekund(hodiny::now() - od) : -1, "s");
    return dva;
}

// The orderly stop; false when it was not one (an exit status other than 0,
// or not one stop banner).
bool zastav(demon &d) {
    auto od = hodiny::now();
    harness::result r = harness::finish(d.p, SIGINT);
    std::string log = harness::logtext();
    std::printf("orderly stop             %.2f s, exit status %d, stop banner %zu time(s)\n",
                sekund(hodiny::now() - od), r.status,
                harness::count(log, "Program kamnar radne skoncil"));
    std::printf("silent-module reports    %zu\n", harness::count(log, "neodpovida"));
    bench::figure(d.jmeno + "_stop", sekund(hodiny::now() - od), "s");
    return r.status == 0 && harness::count(log, "Program kamnar radne skoncil") == 1;
}

int zaplava(double sekundy, long rychlost) {
    int znamy = harness::fakemodule("127.0.0.2");
    int cizi = harness::fakemodule("127.0.0.9");
    demon d = spust("daemon_flood", "[127.0.0.2]\n1 a.ics\n");
    long pred = vmrss(d.p.pid), nejvic = pred;
    std::printf("flood: %.0f s at %ld datagrams/s, half known, half unknown\n", sekundy, rychlost);
    std::printf("VmRSS before             %ld kB\n", pred);

    const auto b = stav(1, 7);
    const long celkem = static_cast<long>(sekundy * static_cast<double>(rychlost));
    long odeslano = 0, ztraceno = 0;
    auto zacatek = hodiny::now(), pristivypis = zacatek + 5s;
    // One tick a millisecond, each with its share of the rate; bounded both
    // by the count and by the time.
    for (long tik = 0; odeslano + ztraceno < celkem && hodiny::now() - zacatek < sekundy * 1s + 5s;
         ++tik) {
        long do_ = std::min(celkem, rychlost * (tik + 1) / 1000);
        for (long i = odeslano + ztraceno; i < do_; ++i) {
            if (harness::sendquick(i % 2 ? cizi : znamy, b))
                ++odeslano;
            else
                ++ztraceno;
        }
        std::this_thread::sleep_until(zacatek + (tik + 1) * 1ms);
        if (hodiny::now() >= pristivypis) {
            long r = vmrss(d.p.pid);
            nejvic = std::max(nejvic, r);
            std::printf("  %5.1f s: %ld sent, VmRSS %ld kB\n", sekund(hodiny::now() - zacatek),
                        odeslano, r);
            std::fflush(stdout);
            pristivypis += 5s;
        }
    }
    double trvani = sekund(hodiny::now() - zacatek);
    std::printf("sent                     %ld in %.2f s (%.0f/s), %ld refused by the sender\n",
                odeslano, trvani, static_cast<double>(odeslano) / trvani, ztraceno);
    bench::figure("daemon_flood_rate", static_cast<double>(odeslano) / trvani, "datagrams/s");
    bool odpovida = odezva(d, znamy);
    long po = vmrss(d.p.pid);
    std::printf("VmRSS after (max during) %ld kB (%ld kB)\n", po, std::max(nejvic, po));
    bench::figure("daemon_flood_rss_after", static_cast<double>(po), "kB",
                  static_cast<double>(pred));
    std::printf("handled                  %zu known (console), %zu unknown (log)\n",
                harness::count(harness::output(d.p), "Prislo:"),
                harness::count(harness::logtext(), "ktera neni v konfiguracnim file"));
    bool zastaven = zastav(d);
    close(znamy);
    close(cizi);
    return odeslano > 0 && odpovida && zastaven ? 0 : 1;
}

int plna(double sekundy, long rychlost) {
    std::string konfigurace;
    std::vector<int> moduly;
    for (int m = 0; m < 31; ++m) {
        std::string adresa = "127.0.0." + std::to_string(m + 2);
        konfigurace += "[" + adresa + "]\n" + std::to_string(m) + " a.ics\n";
        if (m < 30)
            moduly.push_back(harness::fakemodule(adresa));
    }
    demon d = spust("daemon_full", konfigurace);
    long pred = vmrss(d.p.pid), nejvic = pred;
    std::printf("full: 31 calendars, 30 modules, %.0f s, each module %ld datagrams/s\n", sekundy,
                rychlost);
    std::printf("VmRSS before             %ld kB\n", pred);

    std::vector<pollfd> cekani;
    for (int s : moduly)
        cekani.push_back({s, POLLIN, 0});
    std::vector<long> prikazy(moduly.size(), 0);
    long odeslano = 0;
    auto zacatek = hodiny::now();
    auto pristi = zacatek;
    long tik = 0;
    while (hodiny::now() - zacatek < sekundy * 1s) {
        // Every 10 ms each module sends its share of the rate.
        if (hodiny::now() >= pristi) {
            long kolik = rychlost * (tik + 1) / 100 - rychlost * tik / 100;
            for (std::size_t m = 0; m < moduly.size(); ++m)
                for (long i = 0; i < kolik; ++i)
                    odeslano += harness::sendquick(moduly[m], stav(1, static_cast<int>(i))) ? 1 : 0;
            ++tik;
            pristi += 10ms;
        }
        if (poll(cekani.data(), cekani.size(), 1) <= 0)
            continue;
        for (std::size_t m = 0; m < moduly.size(); ++m) {
            if (!(cekani[m].revents & POLLIN))
                continue;
            harness::command c;
            if (harness::receive(moduly[m], c, 0ms)) {
                ++prikazy[m];
                harness::sendquick(moduly[m], stav(9, static_cast<int>(m) + 1)); // the answer
            }
        }
        nejvic = std::max(nejvic, vmrss(d.p.pid));
    }
    auto [nejmene, nejvice] = std::minmax_element(prikazy.begin(), prikazy.end());
    std::printf("status datagrams sent    %ld\n", odeslano);
    std::printf("time commands per module %ld to %ld (%.0f s: %.0f expected)\n", *nejmene, *nejvice,
                sekundy, sekundy / 10);
    long po = vmrss(d.p.pid);
    std::printf("VmRSS after (max during) %ld kB (%ld kB)\n", po, std::max(nejvic, po));
    bench::figure("daemon_full_rss_after", static_cast<double>(po), "kB",
                  static_cast<double>(pred));
    bench::figure("daemon_full_commands_min", static_cast<double>(*nejmene), "per module",
                  sekundy / 10);
    bool zastaven = zastav(d);
    for (int s : moduly)
        close(s);
    return odeslano > 0 && *nejmene > 0 && zastaven ? 0 : 1;
}

long velikostlogu() {
    struct stat st {};
    return stat("/var/log/kamnar.log", &st) == 0 ? static_cast<long>(st.st_size) : 0;
}

// The real modules of the budget run: each sends a DEFPR1 value with a SOFTE
// reset report every 10 s, both unique to the datagram, and a status that
// differs from the one before it (bitsouhlasi and 0 in turn, and neither is a
// forged one's), so that each datagram causes three entries.
struct skutecne {
    std::vector<int> socks;
    int poradi = 0;
    std::vector<std::string> zaznamy; // every entry they caused, without the prefix
    std::vector<std::size_t> stavu;   // clock entries per module

    void odesli() {
        for (std::size_t m = 0; m < socks.size(); ++m, ++poradi) {
            const std::uint32_t cas = 1700000000u + static_cast<std::uint32_t>(poradi);
            const auto hodnota = static_cast<std::uint16_t>(poradi + 1);
            auto b = sestavstav({typdefpr1, static_cast<std::uint8_t>(m % 2 ? 0 : bitsouhlasi), 3,
                                 0, 0, cas, hodnota});
            if (!harness::sendquick(socks[m], {b.begin(), b.end()}))
                continue;
            std::time_t t = cas;
            std::tm u{};
            gmtime_r(&t, &u);
            char text[160];
            std::snprintf(text, sizeof text,
                          "Modul %02zu - SOFTE Reset - jeho posledni cas  %02d:%02d:%02d "
                          "%02d.%02d.%04d \n",
                          m, u.tm_hour, u.tm_min, u.tm_sec, u.tm_mday, u.tm_mon + 1,
                          u.tm_year + 1900);
            zaznamy.push_back(text);
            std::snprintf(text, sizeof text, "modul %2zu - prisla hodnota DEFPR1 %d \n", m,
                          hodnota);
            zaznamy.push_back(text);
            ++stavu[m];
        }
    }
};

struct vysledekfaze {
    long odeslano = 0;   // datagrams sent
    long narust = 0;     // bytes the log grew by
    long skutecnych = 0; // bytes of the real modules' entries among them
    long chybi = 0;      // real modules' entries missing
    long rssdo = 0, rsspo = 0;
};

// One flood of `sekundy` at `rychlost`: datagram i goes out through
// kudy(i); the real modules send at 1 s and every 10 s after.
template <typename F>
vysledekfaze faze(const char *jmeno, demon &d, skutecne &s, double sekundy, long rychlost, F kudy) {
    vysledekfaze v;
    const std::string logpred = harness::logtext();
    const long pred = static_cast<long>(logpred.size());
    v.rssdo = vmrss(d.p.pid);
    long nejvic = v.rssdo;
    s.zaznamy.clear();
    std::fill(s.stavu.begin(), s.stavu.end(), 0);

    const long celkem = static_cast<long>(sekundy * static_cast<double>(rychlost));
    long odeslano = 0, ztraceno = 0;
    auto zacatek = hodiny::now(), pristivypis = zacatek + 5s, pristiskutecne = zacatek + 1s;
    for (long tik = 0; odeslano + ztraceno < celkem && hodiny::now() - zacatek < sekundy * 1s + 5s;
         ++tik) {
        long do_ = std::min(celkem, rychlost * (tik + 1) / 1000);
        for (long i = odeslano + ztraceno; i < do_; ++i) {
            auto [sock, bajty] = kudy(i);
            if (harness::sendquick(sock, *bajty))
                ++odeslano;
            else
                ++ztraceno;
        }
        if (hodiny::now() >= pristiskutecne) {
            s.odesli();
            pristiskutecne += 10s;
        }
        std::this_thread::sleep_until(zacatek + (tik + 1) * 1ms);
        if (hodiny::now() >= pristivypis) {
            nejvic = std::max(nejvic, vmrss(d.p.pid));
            pristivypis += 5s;
        }
    }
    double trvani = sekund(hodiny::now() - zacatek);
    v.odeslano = odeslano;
    // The daemon works off its queue; the log then stands still.
    long posledni = -1;
    for (int i = 0; i < 50 && velikostlogu() != posledni; ++i) {
        posledni = velikostlogu();
        std::this_thread::sleep_for(200ms);
    }
    const std::string log = harness::logtext().substr(logpred.size());
    v.narust = velikostlogu() - pred;
    for (const std::string &z : s.zaznamy) {
        std::size_t n = harness::count(log, " : " + z);
        v.chybi += n == 1 ? 0 : 1;
        v.skutecnych += static_cast<long>(n * (z.size() + 22));
    }
    for (std::size_t m = 0; m < s.stavu.size(); ++m) {
        std::size_t n = 0;
        for (const char *jak : {"  ", "ne"}) {
            char radek[80];
            std::snprintf(radek, sizeof radek, " : cas modulu %02zu 127.0.0.%zu %ssouhlasi s PC \n",
                          m, m + 2, jak);
            std::size_t k = harness::count(log, radek);
            n += k;
            v.skutecnych += static_cast<long>(k * (std::strlen(radek) + 19));
        }
        v.chybi += static_cast<long>(s.stavu[m] > n ? s.stavu[m] - n : 0);
    }
    v.rsspo = vmrss(d.p.pid);
    std::printf("%s: %.0f s, %ld datagrams sent (%.0f/s), %ld refused by the sender\n", jmeno,
                trvani, odeslano, static_cast<double>(odeslano) / trvani, ztraceno);
    std::printf("  log grew by             %ld bytes (%.1f KiB), the real modules' entries %ld "
                "bytes\n",
                v.narust, static_cast<double>(v.narust) / 1024, v.skutecnych);
    std::printf("  real modules' entries   %zu expected, %ld missing\n",
                s.zaznamy.size() + static_cast<std::size_t>(std::accumulate(
                                       s.stavu.begin(), s.stavu.end(), std::size_t{0})),
                v.chybi);
    std::printf("  summary entries         %zu\n", harness::count(log, "prilis mnoho paketu"));
    std::printf("  VmRSS before, after (max during) %ld kB, %ld kB (%ld kB)\n", v.rssdo, v.rsspo,
                std::max(nejvic, v.rsspo));
    return v;
}

int rozpocet(double sekundy, long rychlost) {
    skutecne s;
    std::string konfigurace;
    for (int m = 0; m < 5; ++m) {
        std::string adresa = "127.0.0." + std::to_string(m + 2);
        konfigurace += "[" + adresa + "]\n1 a.ics\n";
        if (m < 4)
            s.socks.push_back(harness::fakemodule(adresa));
    }
    s.stavu.assign(s.socks.size(), 0);
    const int podvrzeny = harness::fakemodule("127.0.0.6"); // module 04, no real one behind
    const int cizi[] = {harness::fakemodule("127.0.0.9"), harness::fakemodule("127.0.0.10")};
    demon d = spust("daemon_budget", konfigurace, true);
    std::printf("budget: %.0f s at %ld datagrams/s, 4 real modules every 10 s\n", sekundy,
                rychlost);

    const auto tmr1 = stav(1, 7);
    vysledekfaze a = faze("strangers", d, s, sekundy, rychlost, [&](long i) {
        return std::pair{cizi[i % 2], &tmr1};
    });
    std::vector<unsigned char> stavy[2];
    for (int k = 0; k < 2; ++k) {
        auto b = sestavstav({1, static_cast<std::uint8_t>(k ? 0x41 : 0x01), nicnoveho, 0, 0, 0, 7});
        stavy[k].assign(b.begin(), b.end());
    }
    vysledekfaze b = faze("forged as module 04", d, s, sekundy, rychlost, [&](long i) {
        return std::pair{podvrzeny, &stavy[i % 2]};
    });

    bench::figure("daemon_budget_strangers_log", static_cast<double>(a.narust) / 1024, "KiB",
                  static_cast<double>(a.skutecnych) / 1024);
    bench::figure("daemon_budget_forged_log", static_cast<double>(b.narust) / 1024, "KiB",
                  static_cast<double>(b.skutecnych) / 1024);
    bench::figure("daemon_budget_rss_after", static_cast<double>(b.rsspo), "kB",
                  static_cast<double>(a.rssdo));
    const long narust = std::max(a.narust, b.narust);
    const bool splneno =
        narust <= 256 * 1024 && a.chybi == 0 && b.chybi == 0 && b.rsspo <= a.rssdo + 1024;
    bench::goal("flood-log", splneno,
                bench::format("%.1f KiB, %ld real entries missing, VmRSS %+ld kB",
                              static_cast<double>(narust) / 1024, a.chybi + b.chybi,
                              b.rsspo - a.rssdo),
                bench::format("%.1f KiB",
                              static_cast<double>(std::max(a.skutecnych, b.skutecnych)) / 1024));
    bool zastaven = zastav(d);
    for (int sock : s.socks)
        close(sock);
    close(podvrzeny);
    close(cizi[0]);
    close(cizi[1]);
    return a.odeslano > 0 && b.odeslano > 0 && zastaven ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    std::string rezim = argc > 1 ? argv[1] : "";
    if (rezim != "flood" && rezim != "full" && rezim != "budget") {
        std::puts("usage: bench_daemon flood|full|budget [SECONDS [RATE]]");
        return 2;
    }
    bool zaplavou = rezim != "full";
    double sekundy = argc > 2 ? std::atof(argv[2]) : (rezim == "flood" ? 20 : 60);
    long rychlost = argc > 3 ? std::atol(argv[3]) : (zaplavou ? 20000 : 100);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Before any socket exists: all traffic stays in the private namespace.
    pracovni = harness::sandbox();
    if (rezim == "budget")
        return rozpocet(sekundy, rychlost);
    return zaplavou ? zaplava(sekundy, rychlost) : plna(sekundy, rychlost);
}

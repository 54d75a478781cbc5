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
//
// Both report the daemon's resident memory (VmRSS) before and after, how much
// it handled, how long a module's DEFPR1 value took to reach its commands
// afterwards, and how long the orderly stop took; the "figure" lines are for
// scripts/bench's table.
#include "benchlib.hpp"
#include "datagram.hpp"
#include "harness.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using hodiny = std::chrono::steady_clock;

long vmrss(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string radek; std::getline(f, radek);)
        if (radek.rfind("VmRSS:", 0) == 0)
            return std::atol(radek.c_str() + 6);
    return -1;
}

std::size_t pocet(const std::string &text, const std::string &co) {
    std::size_t n = 0;
    for (std::size_t i = text.find(co); i != std::string::npos; i = text.find(co, i + 1))
        ++n;
    return n;
}

std::vector<unsigned char> stav(int typ, int hodnota) {
    auto b = sestavstav({static_cast<std::uint8_t>(typ), 0x40, nicnoveho, 0, 0, 0,
                         static_cast<std::uint16_t>(hodnota)});
    return {b.begin(), b.end()};
}

bool posli(int sock, const std::vector<unsigned char> &b) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(portdemona);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sendto(sock, b.data(), b.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&a),
                  sizeof a) >= 0;
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
demon spust(const std::string &jmeno, const std::string &konfigurace) {
    demon d;
    d.jmeno = jmeno;
    d.work = "/home/test-work";
    mkdir("/home/kamnar", 0755);
    harness::writefile("/home/kamnar/a.ics", "BEGIN:VCALENDAR\n");
    harness::writefile(d.work + "/kamnar.conf", konfigurace);
    harness::options opt;
    opt.cwd = d.work;
    opt.env = {"TZ=UTC"};
    opt.timeout = 60s;
    d.p = harness::start({harness::bin("kamnar")}, opt);
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
// into command 2.
void odezva(demon &d, int modul0) {
    auto od = hodiny::now();
    bool videno = false;
    for (int i = 0; i < 120 && !videno; ++i) {
        posli(modul0, stav(9, 0x2A0));
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
}

void zastav(demon &d) {
    auto od = hodiny::now();
    harness::result r = harness::finish(d.p, SIGINT);
    std::string log = harness::logtext();
    std::printf("orderly stop             %.2f s, exit status %d, stop banner %zu time(s)\n",
                sekund(hodiny::now() - od), r.status, pocet(log, "Program kamnar radne skoncil"));
    std::printf("silent-module reports    %zu\n", pocet(log, "neodpovida"));
    bench::figure(d.jmeno + "_stop", sekund(hodiny::now() - od), "s");
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
            if (posli(i % 2 ? cizi : znamy, b))
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
    odezva(d, znamy);
    long po = vmrss(d.p.pid);
    std::printf("VmRSS after (max during) %ld kB (%ld kB)\n", po, std::max(nejvic, po));
    bench::figure("daemon_flood_rss_after", static_cast<double>(po), "kB",
                  static_cast<double>(pred));
    std::printf("handled                  %zu known (console), %zu unknown (log)\n",
                pocet(harness::output(d.p), "Prislo:"),
                pocet(harness::logtext(), "ktera neni v konfiguracnim file"));
    zastav(d);
    close(znamy);
    close(cizi);
    return 0;
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
                    odeslano += posli(moduly[m], stav(1, static_cast<int>(i))) ? 1 : 0;
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
                posli(moduly[m], stav(9, static_cast<int>(m) + 1)); // the answer
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
    zastav(d);
    for (int s : moduly)
        close(s);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    std::string rezim = argc > 1 ? argv[1] : "";
    if (rezim != "flood" && rezim != "full") {
        std::puts("usage: bench_daemon flood|full [SECONDS [RATE]]");
        return 2;
    }
    bool zaplavou = rezim == "flood";
    double sekundy = argc > 2 ? std::atof(argv[2]) : (zaplavou ? 20 : 60);
    long rychlost = argc > 3 ? std::atol(argv[3]) : (zaplavou ? 20000 : 100);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Before any socket exists: all traffic stays in the private namespace.
    harness::sandbox();
    return zaplavou ? zaplava(sekundy, rychlost) : plna(sekundy, rychlost);
}

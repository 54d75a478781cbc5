// Receive capacity: the highest steady rate of status datagrams that the
// daemon takes in for a whole run without losing one. Two mixes: TMR1
// readings that write no log entry, and DEFPR1 values that write one entry
// each. Baseline: a bare recvfrom loop on the same port. The count of
// datagrams the daemon handled is the count of datagrams from modules in its
// state file (read with nactistav) (rewritten every second); its console goes to /dev/null.
//
// Each search stops once its figure is resolved to an eighth (see
// bench::hledejkapacitu): the goal asks the daemon for half the bare loop's
// rate, so the daemon's searches start at that rate, and the first run
// already tells on which side of the goal it lies; they go up to twice the
// bare loop's rate (a figure there means "at least").
//
// It ends with status 1 when it measured nothing: a program that did not
// start, ended before its time or handled no datagram at all (a rate with
// losses is a measurement, not a failure).
//
// bench_capacity [SECONDS]   (the confirming run's length, default 10; needs root)
// bench_capacity --once bare|quiet|logged RATE SECONDS
//                            (one run at one rate: for profiling the daemon)
#include "benchlib.hpp"
#include "cteni.hpp"
#include "datagram.hpp"
#include "mereni.hpp"
#include "porty.h"
#include "rodiny.hpp"
#include "zkusebna.hpp"

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class mix { bare, quiet, logged };

// Set by a run that measured nothing (see above).
bool broken = false;

void fault(const char *what) {
    std::fprintf(stderr, "bench_capacity: %s\n", what);
    broken = true;
}

// The daemon's count of datagrams from modules, from its state file; -1
// when there is none yet.
long handledsofar() {
    const snimek s = nactistav(cestastavu, std::time(nullptr));
    return s.stav == stavsouboru::bezi ? static_cast<long>(s.p.odmodulu) : -1;
}

// Sends `rate` datagrams a second for `seconds` from 127.0.0.2, spread evenly
// over millisecond ticks; returns the number sent. It stops after a fifth
// more than its time: a rate beyond the sender's (or the machine's) would
// otherwise stretch the run without end.
long flood(mix m, long rate, double seconds) {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    from.sin_addr.s_addr = inet_addr("127.0.0.2");
    to.sin_port = htons(portdemona);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr *>(&from), sizeof from);
    connect(s, reinterpret_cast<sockaddr *>(&to), sizeof to);
    auto d = sestavstav({m == mix::logged ? typdefpr1 : typtmr1, 0, nicnoveho, 0, 0, 0, 0});
    constexpr int batch = 256;
    mmsghdr msgs[batch];
    iovec iov{d.data(), d.size()};
    for (mmsghdr &h : msgs) {
        std::memset(&h, 0, sizeof h);
        h.msg_hdr.msg_iov = &iov;
        h.msg_hdr.msg_iovlen = 1;
    }
    long sent = 0, total = static_cast<long>(static_cast<double>(rate) * seconds);
    std::timespec tick{}, now{};
    clock_gettime(CLOCK_MONOTONIC, &tick);
    const double end = bench::seconds(tick) + seconds * 1.2;
    for (long ms = 1; sent < total; ++ms) {
        long due = std::min(total, rate * ms / 1000);
        while (sent < due) {
            int n = sendmmsg(s, msgs, static_cast<unsigned>(std::min<long>(batch, due - sent)), 0);
            if (n <= 0)
                break;
            sent += n;
        }
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (bench::seconds(now) > end)
            break;
        tick.tv_nsec += 1000000;
        if (tick.tv_nsec >= 1000000000) {
            tick.tv_nsec -= 1000000000;
            ++tick.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr);
    }
    close(s);
    return sent;
}

// One run in a fresh sandbox: true when the whole rate was sent and every
// datagram handled.
bool lossless(mix m, long rate, double seconds) {
    std::string work = harness::sandbox();
    harness::options opt;
    opt.cwd = work;
    opt.timeout = std::chrono::seconds(20);
    harness::process p;
    if (m == mix::bare) {
        p = harness::start({harness::bin("bench_bareloop")}, opt);
        if (!harness::waitfor([&] { return harness::output(p) == "ready\n"; }))
            fault("the bare loop did not start");
    } else {
        mkdir("/home/kamnar", 0755);
        mkdir(adresarstavu, 0755); // where the daemon writes its state file
        harness::writefile("/home/kamnar/a.ics", "BEGIN:VCALENDAR\n");
        harness::writefile(work + "/kamnar.conf", "[127.0.0.2]\n1 a.ics\n");
        int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        opt.stdoutfd = null;
        p = harness::start({harness::bin("kamnar")}, opt);
        close(null);
        if (!harness::waitfor([] {
                return harness::logtext().find("skoncil jsem pousteni") != std::string::npos;
            }))
            fault("the daemon did not start");
    }
    long sent = flood(m, rate, seconds);
    const auto total = static_cast<long>(static_cast<double>(rate) * seconds);
    long handled = 0;
    if (m == mix::bare) {
        harness::result r = harness::finish(p, 0);
        handled = std::atol(r.out.c_str() + 6);
        if (r.status != 0)
            fault("the bare loop failed");
    } else {
        // Let the daemon drain its socket: done when its count reaches what
        // was sent, or has stood still for two of its rewrites.
        auto still = std::chrono::steady_clock::now();
        for (long last = -2; handled != sent; usleep(100000)) {
            handled = handledsofar();
            if (handled != last)
                still = std::chrono::steady_clock::now();
            else if (std::chrono::steady_clock::now() - still > std::chrono::milliseconds(2100))
                break;
            last = handled;
        }
        if (harness::finish(p, SIGKILL).status != 128 + SIGKILL)
            fault("the daemon ended before it was stopped");
    }
    if (sent == 0 || handled <= 0)
        fault("nothing was sent or nothing handled");
    std::fprintf(stderr, "  rate %ld/s for %.0f s: sent %ld, handled %ld%s\n", rate, seconds, sent,
                 handled, sent < total ? " (the sender fell behind the rate)" : "");
    return sent == total && handled == sent;
}

// The highest lossless rate from `from` up to `limit`, resolved to an eighth
// in short runs of `trial` seconds and confirmed in one of `confirm`.
long capacity(mix m, double confirm, double trial, long from, long limit) {
    if (confirm < 1) // a smoke run: one short run at a modest rate
        return lossless(m, 5000, confirm) ? 5000 : 0;
    return bench::hledejkapacitu([&](long rate) { return lossless(m, rate, trial); },
                                 [&](long rate) { return lossless(m, rate, confirm); }, from, limit,
                                 8);
}

// The daemon's lossless rate without log entries at least half the bare
// loop's.
void goalnolog(long bare, long quiet, long logged) {
    bench::figure("capacity.nolog", static_cast<double>(quiet), "datagrams/s",
                  static_cast<double>(bare));
    bench::figure("capacity.logentry", static_cast<double>(logged), "datagrams/s",
                  static_cast<double>(bare));
    bench::goal("capacity-nolog", bare > 0 && quiet > 0 && quiet * 2 >= bare,
                bench::format("%ld/s", quiet), bench::format("%ld/s", bare));
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 5 && std::strcmp(argv[1], "--once") == 0) {
        std::string m = argv[2];
        if (m != "bare" && m != "quiet" && m != "logged") {
            std::fprintf(stderr, "bench_capacity --once bare|quiet|logged RATE SECONDS\n");
            return 2;
        }
        mix which = m == "bare" ? mix::bare : m == "logged" ? mix::logged : mix::quiet;
        return lossless(which, std::atol(argv[3]), std::atof(argv[4])) ? 0 : 1;
    }
    double confirm = argc > 1 ? std::atof(argv[1]) : 10;
    double trial = std::min(confirm, 1.0);
    // The daemon is measured from the goal's half of the bare loop's rate up
    // to twice it: beyond that the runs only cost time.
    long bare = capacity(mix::bare, confirm, trial, 16000, 4000000);
    long from = bare > 0 ? bare / 2 : 16000, limit = bare > 0 ? 2 * bare : 4000000;
    long quiet = capacity(mix::quiet, confirm, trial, from, limit);
    long logged = capacity(mix::logged, confirm, trial, from, limit);
    goalnolog(bare, quiet, logged);
    return broken ? 1 : 0;
}

// Receive capacity: the highest steady rate of status datagrams that the
// daemon takes in for a whole run without losing one. Two mixes: TMR1
// readings that write no log entry, and DEFPR1 values that write one entry
// each. Baseline: a bare recvfrom loop on the same port. The count of
// datagrams the daemon handled is the count of its "Prislo:" console lines.
//
// It ends with status 1 when it measured nothing: a program that did not
// start, ended before its time or handled no datagram at all (a rate with
// losses is a measurement, not a failure).
//
// bench_capacity [SECONDS]   (the confirming run's length, default 10; needs root)
// bench_capacity --once bare|quiet|logged RATE SECONDS
//                            (one run at one rate: for profiling the daemon)
#include "benchlib.hpp"
#include "harness.hpp"
#include "porty.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

enum class mix { bare, quiet, logged };

// Set by a run that measured nothing (see above).
bool broken = false;

void fault(const char *what) {
    std::fprintf(stderr, "bench_capacity: %s\n", what);
    broken = true;
}

// Occurrences of `what` in the file, read in pieces: a fast run's output
// runs to hundreds of megabytes.
long countinfile(const std::string &path, const std::string &what) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    long n = 0;
    std::string text;
    std::vector<char> piece(1 << 20);
    for (std::size_t got; (got = std::fread(piece.data(), 1, piece.size(), f)) > 0;) {
        // Keep the last bytes of the previous piece: a match may straddle.
        text.erase(0, text.size() - std::min(text.size(), what.size() - 1));
        text.append(piece.data(), got);
        for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
            ++n;
    }
    std::fclose(f);
    return n;
}

off_t filesize(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// Sends `rate` datagrams a second for `seconds` from 127.0.0.2, spread evenly
// over millisecond ticks; returns the number sent.
long flood(mix m, long rate, double seconds) {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    from.sin_addr.s_addr = inet_addr("127.0.0.2");
    to.sin_port = htons(portdemona);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr *>(&from), sizeof from);
    connect(s, reinterpret_cast<sockaddr *>(&to), sizeof to);
    std::uint8_t d[14] = {m == mix::logged ? std::uint8_t{9} : std::uint8_t{1}, 0, 6};
    constexpr int batch = 256;
    mmsghdr msgs[batch];
    iovec iov{d, sizeof d};
    for (mmsghdr &h : msgs) {
        std::memset(&h, 0, sizeof h);
        h.msg_hdr.msg_iov = &iov;
        h.msg_hdr.msg_iovlen = 1;
    }
    long sent = 0, total = static_cast<long>(static_cast<double>(rate) * seconds);
    std::timespec tick{};
    clock_gettime(CLOCK_MONOTONIC, &tick);
    for (long ms = 1; sent < total; ++ms) {
        long due = std::min(total, rate * ms / 1000);
        while (sent < due) {
            int n = sendmmsg(s, msgs, static_cast<unsigned>(std::min<long>(batch, due - sent)), 0);
            if (n <= 0)
                break;
            sent += n;
        }
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

// One run in a fresh sandbox: true when every datagram sent was handled.
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
        harness::writefile("/home/kamnar/a.ics", "BEGIN:VCALENDAR\n");
        harness::writefile(work + "/kamnar.conf", "[127.0.0.2]\n1 a.ics\n");
        p = harness::start({harness::bin("kamnar")}, opt);
        if (!harness::waitfor([] {
                return harness::logtext().find("skoncil jsem pousteni") != std::string::npos;
            }))
            fault("the daemon did not start");
    }
    long sent = flood(m, rate, seconds);
    long handled = 0;
    if (m == mix::bare) {
        harness::result r = harness::finish(p, 0);
        handled = std::atol(r.out.c_str() + 6);
        if (r.status != 0)
            fault("the bare loop failed");
    } else {
        // Let the daemon drain its socket: done when its output stops growing.
        off_t last = -1;
        for (off_t size = filesize(p.outpath); size != last; size = filesize(p.outpath)) {
            last = size;
            usleep(300000);
        }
        handled = countinfile(p.outpath, "Prislo:");
        // Counted: the output need not be read again when the daemon ends.
        if (truncate(p.outpath.c_str(), 0) != 0)
            std::perror("truncate");
        if (harness::finish(p, SIGKILL).status != 128 + SIGKILL)
            fault("the daemon ended before it was stopped");
    }
    if (sent == 0 || handled == 0)
        fault("nothing was sent or nothing handled");
    std::fprintf(stderr, "  rate %ld/s for %.0f s: sent %ld, handled %ld\n", rate, seconds, sent,
                 handled);
    return handled == sent;
}

// The highest lossless rate up to `limit`: doubling, then halving the gap,
// in short runs, then confirmed by a run of `confirm` seconds (lowered until
// one passes).
long capacity(mix m, double confirm, double trial, long limit) {
    if (confirm < 1) // a smoke run: one short run at a modest rate
        return lossless(m, 5000, confirm) ? 5000 : 0;
    long good = 0, bad = 16000;
    while (good < limit) {
        long rate = std::min(bad, limit);
        if (!lossless(m, rate, trial)) {
            bad = rate;
            break;
        }
        good = rate;
        bad *= 2;
    }
    for (int step = 0; step < 3 && good < limit && bad - good > good / 20; ++step) {
        long mid = (good + bad) / 2;
        (lossless(m, mid, trial) ? good : bad) = mid;
    }
    // A long run meets more of the machine's stalls than a short one: step
    // down by a fifth until one passes, to a quarter of the short runs' rate.
    for (long floor = good / 4; good > 0 && good >= floor; good = good * 4 / 5)
        if (lossless(m, good, confirm))
            return good;
    return 0;
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
    // The daemon is measured up to twice the bare loop's rate: beyond that
    // the runs only cost time (and the console output, 80 bytes a datagram,
    // runs to gigabytes).
    long bare = capacity(mix::bare, confirm, trial, 4000000);
    long limit = bare > 0 ? 2 * bare : 4000000;
    long quiet = capacity(mix::quiet, confirm, trial, limit);
    long logged = capacity(mix::logged, confirm, trial, limit);
    bench::figure("capacity.nolog", static_cast<double>(quiet), "datagrams/s",
                  static_cast<double>(bare));
    bench::figure("capacity.logentry", static_cast<double>(logged), "datagrams/s",
                  static_cast<double>(bare));
    bench::goal("capacity-nolog", bare > 0 && quiet > 0 && quiet * 2 >= bare,
                bench::format("%ld/s", quiet), bench::format("%ld/s", bare));
    return broken ? 1 : 0;
}

// How punctually the time commands leave: the daemon with MODULES stand-in
// modules for CYCLES cycles. Each command's lateness is its kernel receive
// time stamp (SO_TIMESTAMPNS) minus its intended instant, x0.5 s + 20 ms x
// slot. The baseline program does the same five seconds out of phase, and
// unitkick's lateness after x.5 is measured after the cycles.
//
// bench_punctuality [CYCLES [MODULES]]   (needs root; runs in a sandbox)
#include "benchlib.hpp"
#include "harness.hpp"

#include <cmath>
#include <csignal>
#include <map>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string address(int net, int slot) {
    return "127.0." + std::to_string(net) + "." + std::to_string(2 + slot);
}

// Lateness after the last instant of the form 10k + offset before the stamp.
double lateness(const std::timespec &stamp, double offset) {
    double s = bench::seconds(stamp);
    double k = std::floor((s - offset) / 10.0);
    return s - (10.0 * k + offset);
}

// Lateness after the last x.5 of any second before the stamp.
double afterhalf(const std::timespec &stamp) {
    double s = bench::seconds(stamp);
    return s - (std::floor(s - 0.5) + 0.5);
}

struct series {
    std::vector<double> late;
    void report(const std::string &name, const series &base) const {
        bench::figure(name + ".median", bench::quantile(late, 0.5) * 1e6, "us",
                      bench::quantile(base.late, 0.5) * 1e6);
        bench::figure(name + ".p99", bench::quantile(late, 0.99) * 1e6, "us",
                      bench::quantile(base.late, 0.99) * 1e6);
        bench::figure(name + ".worst", bench::quantile(late, 1.0) * 1e6, "us",
                      bench::quantile(base.late, 1.0) * 1e6);
    }
};

} // namespace

int main(int argc, char **argv) {
    int cycles = argc > 1 ? std::atoi(argv[1]) : 12;
    int modules = argc > 2 ? std::atoi(argv[2]) : 30;
    std::string work = harness::sandbox();
    mkdir("/home/kamnar", 0755);
    harness::writefile("/home/kamnar/a.ics", "BEGIN:VCALENDAR\n");
    std::string conf;
    std::vector<pollfd> fds;
    for (int i = 0; i < modules; ++i) {
        conf += "[" + address(0, i) + "]\n" + std::to_string(i) + " a.ics\n";
        fds.push_back({harness::fakemodule(address(0, i)), POLLIN, 0});
    }
    for (int i = 0; i < modules; ++i)
        fds.push_back({harness::fakemodule(address(1, i)), POLLIN, 0});
    harness::writefile(work + "/kamnar.conf", conf);

    harness::options opt;
    opt.cwd = work;
    opt.timeout = std::chrono::seconds(20);
    harness::process daemon = harness::start({harness::bin("kamnar")}, opt);
    harness::options bopt;
    bopt.timeout = std::chrono::seconds(cycles * 10 + 20);
    harness::process base = harness::start(
        {harness::bin("bench_sendbase"), std::to_string(cycles), std::to_string(modules)}, bopt);

    series kamnar, baseline, unitkick;
    std::vector<int> got(fds.size(), 0);
    double deadline = bench::now() + cycles * 10 + 15;
    auto done = [&] {
        for (int n : got)
            if (n < cycles)
                return false;
        return true;
    };
    while (!done() && bench::now() < deadline) {
        if (poll(fds.data(), fds.size(), 1000) <= 0)
            continue;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            harness::command c;
            harness::receive(fds[i].fd, c);
            if (got[i]++ >= cycles)
                continue;
            int slot = static_cast<int>(i % static_cast<std::size_t>(modules));
            bool isbase = i >= static_cast<std::size_t>(modules);
            double offset = (isbase ? 5.5 : 0.5) + 0.02 * slot;
            (isbase ? baseline : kamnar).late.push_back(lateness(c.stamp, offset));
        }
    }
    harness::finish(base, SIGKILL);
    harness::finish(daemon, SIGKILL);

    // unitkick: five resets to one more stand-in, each timed after its x.5.
    int target = harness::fakemodule("127.0.2.2");
    for (int run = 0; run < 5; ++run) {
        harness::run({harness::bin("unitkick"), "127.0.2.2"});
        harness::command c;
        if (harness::receive(target, c, std::chrono::seconds(3)))
            unitkick.late.push_back(afterhalf(c.stamp));
    }

    std::printf("info punctuality: %zu commands of the daemon, %zu of the baseline, %d modules\n",
                kamnar.late.size(), baseline.late.size(), modules);
    kamnar.report("punctuality", baseline);
    bench::figure("unitkick.median", bench::quantile(unitkick.late, 0.5) * 1e6, "us",
                  bench::quantile(baseline.late, 0.5) * 1e6);
    bench::figure("unitkick.worst", bench::quantile(unitkick.late, 1.0) * 1e6, "us");

    double med = bench::quantile(kamnar.late, 0.5), p99 = bench::quantile(kamnar.late, 0.99);
    double bmed = bench::quantile(baseline.late, 0.5), bp99 = bench::quantile(baseline.late, 0.99);
    bool complete = kamnar.late.size() == static_cast<std::size_t>(cycles * modules);
    bench::goal("punctuality-median", complete && med <= 200e-6 && med <= 1.5 * bmed,
                bench::format("%.0f us", med * 1e6), bench::format("%.0f us", bmed * 1e6));
    bench::goal("punctuality-p99", complete && p99 <= 2e-3 && p99 <= 1.5 * bp99,
                bench::format("%.0f us", p99 * 1e6), bench::format("%.0f us", bp99 * 1e6));
    return complete ? 0 : 1;
}

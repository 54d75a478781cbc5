// The daemon's idle cost: kamnar with three simulated modules for SECONDS
// (default 60), writing its state file; CPU time of all its threads, its
// peak resident memory and the memory it holds locked (VmLck).
// Baseline: /bin/sleep over the same time, measured the same way.
//
// bench_idle [SECONDS]   (needs root; runs in a sandbox)
// It ends with status 1 when it measured nothing: the modules were never
// heard, or the daemon ended before it was stopped.
#include "benchlib.hpp"
#include "rodiny.hpp"
#include "zkusebna.hpp"

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace {

// CPU time of every thread of the process so far, in seconds.
double cputime(pid_t pid) {
    double total = 0;
    std::string dir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            std::ifstream f(dir + "/" + e->d_name + "/schedstat");
            double ns = 0;
            if (f >> ns)
                total += ns / 1e9;
        }
        closedir(d);
    }
    return total;
}

// A value of /proc/PID/status in KiB (VmHWM: the peak resident set size,
// VmLck: the memory locked); 0 without it.
double status(pid_t pid, const std::string &name) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(f, line);)
        if (line.rfind(name + ":", 0) == 0)
            return std::stod(line.substr(name.size() + 1));
    return 0;
}

struct cost {
    double cpu, rss, locked;
};

cost measure(harness::process &p, double seconds) {
    double before = cputime(p.pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return {cputime(p.pid) - before, status(p.pid, "VmHWM"), status(p.pid, "VmLck")};
}

// The daemon's share of a core, beside the sleeper's.
bool goalcpu(const cost &k, const cost &base, double seconds, bool answered) {
    const double share = k.cpu / seconds * 100, baseshare = base.cpu / seconds * 100;
    bench::figure("idle.cpu", share, "%core", baseshare);
    bench::goal("idle-cpu", answered && share < 0.1, bench::format("%.4f %%", share),
                bench::format("%.4f %%", baseshare));
    return answered && share < 0.1;
}

// Its peak resident memory, beside the sleeper's; and what it holds locked.
// A daemon that locked its memory has every page it maps resident, so its
// bound is the lock's (16 MiB, kamnar(8) MEMORY), with nothing left unlocked;
// one that could not lock it keeps the 4 MiB of the pages it touches.
bool goalrss(const cost &k, const cost &base, bool answered) {
    bench::figure("idle.peakrss", k.rss, "KiB", base.rss);
    bench::figure("idle.vmlck", k.locked, "KiB", base.locked);
    const bool met = answered && (k.locked > 0 ? k.rss < 16384 && k.locked >= k.rss : k.rss < 4096);
    bench::goal("idle-rss", met, bench::format("%.0f KiB, %.0f KiB of it locked", k.rss, k.locked),
                bench::format("%.0f KiB", base.rss));
    return met;
}

} // namespace

int main(int argc, char **argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    std::string work = harness::sandbox();
    // As the service runs it: with the state file's directory, so the state
    // file written every second is part of the idle cost.
    mkdir(adresarstavu, 0755);
    mkdir("/home/kamnar", 0755);
    harness::writefile("/home/kamnar/a.ics", "BEGIN:VCALENDAR\n");
    harness::writefile(work + "/kamnar.conf",
                       "[127.0.0.2]\n1 a.ics\n[127.0.0.3]\n2 a.ics\n[127.0.0.4]\n3 a.ics\n");
    std::vector<harness::process> modules;
    for (const char *a : {"127.0.0.2", "127.0.0.3", "127.0.0.4"})
        modules.push_back(harness::start({harness::bin("simmodul"), a, "--quiet"}));
    harness::options opt;
    opt.cwd = work;
    harness::process daemon = harness::start({harness::bin("kamnar")}, opt);
    // Measured from the first exchange with the modules on, so that even a
    // run of seconds sees the daemon at work.
    harness::waitfor([&] { return harness::output(daemon).find("Prislo:") != std::string::npos; },
                     std::chrono::seconds(15));
    harness::process sleeper = harness::start({"/bin/sleep", std::to_string(seconds + 5)});

    // Both measured over the same stretch of time.
    cost base{};
    std::thread t([&] { base = measure(sleeper, seconds); });
    cost k = measure(daemon, seconds);
    t.join();
    bool answered = harness::output(daemon).find("Prislo:") != std::string::npos;
    bool ran = harness::finish(daemon, SIGKILL).status == 128 + SIGKILL;
    harness::finish(sleeper, SIGKILL);
    for (harness::process &m : modules)
        harness::finish(m, SIGKILL);

    if (!answered)
        std::printf("info idle: the simulated modules were not heard; the figures are void\n");
    if (!ran)
        std::printf("info idle: the daemon ended before it was stopped; the figures are void\n");
    goalcpu(k, base, seconds, answered);
    goalrss(k, base, answered);
    return answered && ran ? 0 : 1;
}

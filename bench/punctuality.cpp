// How punctually the time commands leave: the daemon with MODULES stand-in
// modules for CYCLES cycles. Each command's lateness is its kernel receive
// time stamp (SO_TIMESTAMPNS) minus its intended instant, x0.5 s + 20 ms x
// slot. The baseline program does the same five seconds out of phase, and
// unitkick's lateness after x.5 is measured after the cycles.
//
// With --load the same runs on a busy PC: one process per core that only
// computes, one that churns memory and one that writes to disk, all at normal
// priority, throughout. The daemon runs twice, first started by root (its
// time sender then takes real-time priority), then with that refused (no
// CAP_SYS_NICE, RLIMIT_RTPRIO 0); the baseline sends beside both. Beside the
// first run, under the same load and for as long, cyclictest (Debian's
// rt-tests) measures what the kernel allows a thread of the time sender's
// policy and priority (SCHED_FIFO 1, memory locked, a wake every 20 ms): the
// limit that no sender on this machine can beat. The goals are the daemon's
// p99 and worst against that limit, and against fixed bounds (with a line
// saying so when the limit itself is over them). --load-nodisk is the same
// load without the disk writer (its figures have no goals): it shows what the
// writer's work in the kernel, which a kernel without full pre-emption does
// not interrupt for any priority of a process, adds to the lateness.
//
// bench_punctuality [--load | --load-nodisk] [CYCLES [MODULES]]
// (needs root; runs in a sandbox)
// bench_punctuality --machine   one line: kernel, pre-emption model, CPU
#include "benchlib.hpp"
#include "harness.hpp"
#include "mereni.hpp"

#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
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
    double median() const { return bench::quantile(late, 0.5); }
    double p99() const { return bench::quantile(late, 0.99); }
    double worst() const { return bench::quantile(late, 1.0); }
    void report(const std::string &name, const series &base) const {
        bench::figure(name + ".median", median() * 1e6, "us", base.median() * 1e6);
        bench::figure(name + ".p99", p99() * 1e6, "us", base.p99() * 1e6);
        bench::figure(name + ".worst", worst() * 1e6, "us", base.worst() * 1e6);
    }
};

// The stand-in modules: the daemon's on 127.0.0.x, the baseline's on
// 127.0.1.x, the same slot at the same index of each half.
struct modules {
    int count;
    std::vector<pollfd> fds;
};

// Receives until every daemon stand-in has `cycles` commands and the
// baseline `basewanted` in all (or the time is up), adding the lateness of
// each to the daemon's or the baseline's series. The baseline sends five
// seconds out of phase, so its last cycle may come after the daemon's.
void collect(modules &m, int cycles, series &daemon, series &baseline, std::size_t basewanted = 0) {
    std::vector<int> got(m.fds.size(), 0);
    auto n = static_cast<std::size_t>(m.count);
    double deadline = bench::now() + cycles * 10 + 15;
    auto done = [&] {
        for (std::size_t i = 0; i < n; ++i)
            if (got[i] < cycles)
                return false;
        return baseline.late.size() >= basewanted;
    };
    while (!done() && bench::now() < deadline) {
        if (poll(m.fds.data(), m.fds.size(), 1000) <= 0)
            continue;
        for (std::size_t i = 0; i < m.fds.size(); ++i) {
            if (!(m.fds[i].revents & POLLIN))
                continue;
            harness::command c;
            harness::receive(m.fds[i].fd, c);
            bool isbase = i >= n;
            if (!isbase && got[i]++ >= cycles)
                continue;
            double offset = (isbase ? 5.5 : 0.5) + 0.02 * static_cast<double>(i % n);
            (isbase ? baseline : daemon).late.push_back(lateness(c.stamp, offset));
        }
    }
}

harness::process startdaemon(const std::string &work, std::vector<std::string> wrapper) {
    harness::options opt;
    opt.cwd = work;
    opt.timeout = std::chrono::seconds(20);
    wrapper.push_back(harness::bin("kamnar"));
    return harness::start(wrapper, opt);
}

// --- The load of a busy PC.

[[noreturn]] void compute() {
    volatile unsigned long x = 0;
    for (;;)
        x = x + 1;
}

// Maps 64 MiB, writes every page, unmaps, again: page faults, zeroing and
// the memory bandwidth of a process that works through large data.
[[noreturn]] void churn() {
    constexpr std::size_t size = 64 << 20;
    for (unsigned char round = 0;; ++round) {
        void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            _exit(1);
        std::memset(p, round, size);
        munmap(p, size);
    }
}

// Writes 4 MiB blocks to a file on disk, syncing every 16 MiB and starting
// over after 256 MiB: the writeback of a backup.
[[noreturn]] void writedisk(const char *path) {
    static char block[4 << 20];
    std::memset(block, 'k', sizeof block);
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        _exit(1);
    for (long written = 0;; written += sizeof block) {
        if (::write(fd, block, sizeof block) < 0)
            _exit(1);
        if (written % (16 << 20) == 0)
            fdatasync(fd);
        if (written >= 256L << 20) {
            lseek(fd, 0, SEEK_SET);
            written = 0;
        }
    }
}

// Without a file, no disk writer.
std::vector<pid_t> startload(const std::string &file) {
    std::vector<pid_t> load;
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    for (long i = 0; i < cores + (file.empty() ? 1 : 2); ++i) {
        pid_t p = fork();
        if (p == 0) {
            if (i == cores)
                churn();
            if (i == cores + 1)
                writedisk(file.c_str());
            compute();
        }
        load.push_back(p);
    }
    std::printf("info load: %ld computing processes, a memory churner, %s%s\n", cores,
                file.empty() ? "no disk writer" : "a disk writer: ", file.c_str());
    return load;
}

void stopload(const std::vector<pid_t> &load) {
    for (pid_t p : load)
        if (p > 0) {
            kill(p, SIGKILL);
            waitpid(p, nullptr, 0);
        }
}

// The machine: kernel, pre-emption model (and where it was read), CPU.
std::string machine() {
    utsname u{};
    uname(&u);
    const char *preempt = "/sys/kernel/debug/sched/preempt";
    std::string debugfs = harness::readfile(preempt);
    std::string cpu = "?";
    std::string info = harness::readfile("/proc/cpuinfo");
    if (std::size_t at = info.find("model name"); at != std::string::npos) {
        std::size_t from = info.find(':', at) + 2, to = info.find('\n', at);
        cpu = info.substr(from, to - from);
    }
    return bench::format("kernel %s, pre-emption %s (%s), CPU %s, %ld cores", u.release,
                         bench::preempce(debugfs, u.version).c_str(),
                         debugfs.empty() ? "uname -v" : preempt, cpu.c_str(),
                         sysconf(_SC_NPROCESSORS_ONLN));
}

const char *const cyclictest = "/usr/bin/cyclictest";

// cyclictest as the time sender runs: SCHED_FIFO 1, memory locked, one wake
// every 20 ms, its histogram to 100 ms; the machine's power management left
// as it is, as the daemon finds it. It runs until SIGINT.
harness::process startlimit(int cycles) {
    harness::options opt;
    opt.timeout = std::chrono::seconds(cycles * 10 + 60);
    return harness::start({cyclictest, "--mlockall", "--priority=1", "--policy=fifo",
                           "--interval=20000", "--histogram=100000", "--quiet", "--default-system"},
                          opt);
}

std::optional<bench::rozlozeni> stoplimit(harness::process &p) {
    harness::result r = harness::finish(p, SIGINT);
    auto d = bench::ctihistogram(r.out);
    if (!d)
        std::printf("info limit: cyclictest measured nothing (exit status %d): %s\n", r.status,
                    r.err.c_str());
    return d;
}

// The daemon with and without real-time priority, and the baseline, on the
// busy PC, and cyclictest beside the first; returns whether every command
// arrived and the limit was measured.
bool underload(modules &m, const std::string &work, int cycles, bool disk) {
    std::printf("info machine: %s\n", machine().c_str());
    if (access(cyclictest, X_OK) != 0) {
        std::printf("info limit: no %s (Debian's rt-tests): nothing to measure against\n",
                    cyclictest);
        return false;
    }
    char dir[] = "/var/tmp/kamnar-bench-XXXXXX"; // on disk, not the sandbox's tmpfs
    if (!mkdtemp(dir))
        return false;
    std::string file = disk ? std::string(dir) + "/zapis" : "";
    std::vector<pid_t> load = startload(file);
    sleep(2); // let the load settle

    harness::options bopt;
    bopt.timeout = std::chrono::seconds(2 * cycles * 10 + 60);
    harness::process base = harness::start(
        {harness::bin("bench_sendbase"), std::to_string(2 * cycles + 2), std::to_string(m.count)},
        bopt);
    series rt, normal, baseline;
    // Started by root: the daemon gives its time sender real-time priority.
    harness::process limit = startlimit(cycles);
    harness::process daemon = startdaemon(work, {});
    collect(m, cycles, rt, baseline);
    harness::finish(daemon, SIGKILL);
    std::optional<bench::rozlozeni> ct = stoplimit(limit);
    // Refused: without CAP_SYS_NICE and with RLIMIT_RTPRIO 0.
    daemon = startdaemon(
        work, {"/usr/bin/setpriv", "--bounding-set=-sys_nice", "/usr/bin/prlimit", "--rtprio=0:0"});
    collect(m, cycles, normal, baseline);
    harness::finish(daemon, SIGKILL);
    harness::finish(base, SIGKILL);
    stopload(load);
    unlink(file.c_str());
    rmdir(dir);

    std::printf("info punctuality under load: %zu commands with real-time priority, %zu without, "
                "%zu of the baseline, %ld wakes of cyclictest\n",
                rt.late.size(), normal.late.size(), baseline.late.size(), ct ? ct->vzorku : 0L);
    std::string name = disk ? "punctuality.load." : "punctuality.nodisk.";
    rt.report(name + "rt", normal);
    if (ct) {
        bench::figure(name + "cyclictest.median", ct->median, "us");
        bench::figure(name + "cyclictest.p99", ct->p99, "us");
        bench::figure(name + "cyclictest.worst", ct->nejhorsi, "us");
    }
    normal.report(name + "normal", baseline);
    bool complete = rt.late.size() == static_cast<std::size_t>(cycles * m.count) &&
                    normal.late.size() == rt.late.size() && ct;
    if (!disk || !ct)
        return complete;
    // Against the limit: at most 1.25 x its p99 + 100 us and its worst + 500 us.
    const double p99 = rt.p99() * 1e6, worst = rt.worst() * 1e6;
    const double p99limit = 1.25 * ct->p99 + 100, worstlimit = 1.25 * ct->nejhorsi + 500;
    bench::goal("punctuality-load-p99-limit", complete && p99 <= p99limit,
                bench::format("%.0f us", p99),
                bench::format("%.0f us of cyclictest, at most %.0f us", ct->p99, p99limit));
    bench::goal("punctuality-load-worst-limit", complete && worst <= worstlimit,
                bench::format("%.0f us", worst),
                bench::format("%.0f us of cyclictest, at most %.0f us", ct->nejhorsi, worstlimit));
    bench::goal("punctuality-load-p99", complete && rt.p99() <= 2e-3,
                bench::format("%.0f us", rt.p99() * 1e6),
                bench::format("%.0f us without real-time priority", normal.p99() * 1e6));
    bench::goal("punctuality-load-worst", complete && rt.worst() <= 5e-3,
                bench::format("%.0f us", rt.worst() * 1e6),
                bench::format("%.0f us without real-time priority", normal.worst() * 1e6));
    if (ct->p99 > 2000)
        std::printf("info load: cyclictest's p99 is %.0f us, over the 2000 us of "
                    "punctuality-load-p99: the host, not the daemon, is over it\n",
                    ct->p99);
    if (ct->nejhorsi > 5000)
        std::printf("info load: cyclictest's worst is %.0f us, over the 5000 us of "
                    "punctuality-load-worst: the host, not the daemon, is over it\n",
                    ct->nejhorsi);
    if (normal.p99() <= 2e-3 && normal.worst() <= 5e-3)
        std::printf("info load: the daemon without real-time priority meets both too\n");
    return complete;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--machine") == 0) {
        std::printf("%s\n", machine().c_str());
        return 0;
    }
    bool load = argc > 1 && std::strncmp(argv[1], "--load", 6) == 0;
    bool disk = load && std::strcmp(argv[1], "--load-nodisk") != 0;
    if (load) {
        --argc;
        ++argv;
    }
    int cycles = argc > 1 ? std::atoi(argv[1]) : 12;
    modules m{argc > 2 ? std::atoi(argv[2]) : 30, {}};
    std::string work = harness::sandbox();
    mkdir("/home/kamnar", 0755);
    harness::writefile("/home/kamnar/a.ics", "BEGIN:VCALENDAR\n");
    std::string conf;
    for (int i = 0; i < m.count; ++i) {
        conf += "[" + address(0, i) + "]\n" + std::to_string(i) + " a.ics\n";
        m.fds.push_back({harness::fakemodule(address(0, i)), POLLIN, 0});
    }
    for (int i = 0; i < m.count; ++i)
        m.fds.push_back({harness::fakemodule(address(1, i)), POLLIN, 0});
    harness::writefile(work + "/kamnar.conf", conf);
    if (load)
        return underload(m, work, cycles, disk) ? 0 : 1;

    harness::process daemon = startdaemon(work, {});
    harness::options bopt;
    bopt.timeout = std::chrono::seconds(cycles * 10 + 20);
    harness::process base = harness::start(
        {harness::bin("bench_sendbase"), std::to_string(cycles), std::to_string(m.count)}, bopt);
    series kamnar, baseline, unitkick;
    collect(m, cycles, kamnar, baseline, static_cast<std::size_t>(cycles * m.count));
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
                kamnar.late.size(), baseline.late.size(), m.count);
    kamnar.report("punctuality", baseline);
    bench::figure("unitkick.median", unitkick.median() * 1e6, "us", baseline.median() * 1e6);
    bench::figure("unitkick.worst", unitkick.worst() * 1e6, "us");

    bool complete = kamnar.late.size() == static_cast<std::size_t>(cycles * m.count) &&
                    baseline.late.size() == kamnar.late.size();
    bench::goal("punctuality-median",
                complete && kamnar.median() <= 200e-6 && kamnar.median() <= 1.5 * baseline.median(),
                bench::format("%.0f us", kamnar.median() * 1e6),
                bench::format("%.0f us", baseline.median() * 1e6));
    bench::goal("punctuality-p99",
                complete && kamnar.p99() <= 2e-3 && kamnar.p99() <= 1.5 * baseline.p99(),
                bench::format("%.0f us", kamnar.p99() * 1e6),
                bench::format("%.0f us", baseline.p99() * 1e6));
    return complete ? 0 : 1;
}

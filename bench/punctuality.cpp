// How punctually the time commands leave: the daemon with MODULES stand-in
// modules for CYCLES cycles. Each command's lateness is its kernel receive
// time stamp (SO_TIMESTAMPNS) minus its intended instant, x0.5 s + 20 ms x
// slot. The baseline program does the same five seconds out of phase, and
// unitkick's lateness after x.5 is measured after the cycles.
//
// With --load the same runs on a busy PC: one process per core that only
// computes, one that churns memory and one that writes to disk, all at normal
// priority, throughout. The daemon runs twice, first started as its service
// unit starts it (real-time priority for its time sender), then with that
// refused (no CAP_SYS_NICE, RLIMIT_RTPRIO 0); the baseline sends beside both.
// --load-nodisk is the same load without the disk writer (its figures have
// no goals): it shows what the writer's work in the kernel, which no priority
// of a process can pre-empt, adds to the lateness.
//
// bench_punctuality [--load | --load-nodisk] [CYCLES [MODULES]]
// (needs root; runs in a sandbox)
#include "benchlib.hpp"
#include "harness.hpp"

#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// Receives until every daemon stand-in has `cycles` commands (or the time is
// up), adding the lateness of each to the daemon's or the baseline's series.
void collect(modules &m, int cycles, series &daemon, series &baseline) {
    std::vector<int> got(m.fds.size(), 0);
    auto n = static_cast<std::size_t>(m.count);
    double deadline = bench::now() + cycles * 10 + 15;
    auto done = [&] {
        for (std::size_t i = 0; i < n; ++i)
            if (got[i] < cycles)
                return false;
        return true;
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

// The daemon with and without real-time priority, and the baseline, on the
// busy PC; returns whether every command arrived.
bool underload(modules &m, const std::string &work, int cycles, bool disk) {
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
    // As the service unit starts it: real-time priority for the initial
    // thread only, which becomes the time sender.
    harness::process daemon =
        startdaemon(work, {"/usr/bin/chrt", "--fifo", "--reset-on-fork", "1"});
    collect(m, cycles, rt, baseline);
    harness::finish(daemon, SIGKILL);
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
                "%zu of the baseline\n",
                rt.late.size(), normal.late.size(), baseline.late.size());
    std::string name = disk ? "punctuality.load." : "punctuality.nodisk.";
    rt.report(name + "rt", normal);
    normal.report(name + "normal", baseline);
    bool complete = rt.late.size() == static_cast<std::size_t>(cycles * m.count) &&
                    normal.late.size() == rt.late.size();
    if (!disk)
        return complete;
    bench::goal("punctuality-load-p99", complete && rt.p99() <= 2e-3,
                bench::format("%.0f us", rt.p99() * 1e6),
                bench::format("%.0f us without real-time priority", normal.p99() * 1e6));
    bench::goal("punctuality-load-worst", complete && rt.worst() <= 5e-3,
                bench::format("%.0f us", rt.worst() * 1e6),
                bench::format("%.0f us without real-time priority", normal.worst() * 1e6));
    if (normal.p99() <= 2e-3 && normal.worst() <= 5e-3)
        std::printf("info load: the daemon without real-time priority meets both too\n");
    return complete;
}

} // namespace

int main(int argc, char **argv) {
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
    collect(m, cycles, kamnar, baseline);
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

    bool complete = kamnar.late.size() == static_cast<std::size_t>(cycles * m.count);
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

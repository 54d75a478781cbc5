#include "load.hpp"

#include "benchlib.hpp"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {
namespace {

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

} // namespace

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
    return format("kernel %s, pre-emption %s (%s), CPU %s, %ld cores", u.release,
                  preempce(debugfs, u.version).c_str(), debugfs.empty() ? "uname -v" : preempt,
                  cpu.c_str(), sysconf(_SC_NPROCESSORS_ONLN));
}

harness::process startlimit(int seconds) {
    harness::options opt;
    opt.timeout = std::chrono::seconds(seconds + 60);
    return harness::start({cyclictest, "--mlockall", "--priority=1", "--policy=fifo",
                           "--interval=20000", "--histogram=100000", "--quiet", "--default-system"},
                          opt);
}

std::optional<rozlozeni> stoplimit(harness::process &p) {
    harness::result r = harness::finish(p, SIGINT);
    auto d = ctihistogram(r.out);
    if (!d)
        std::printf("info limit: cyclictest measured nothing (exit status %d): %s\n", r.status,
                    r.err.c_str());
    return d;
}

} // namespace bench

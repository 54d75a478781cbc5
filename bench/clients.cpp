// The board clients' footprint: the stripped size of each ARM binary, beside
// that of a program that does nothing built by the same cross compiler, and
// the native time of one invocation (its usage text, no socket), beside
// /bin/true, run alternately so that both see the same machine.
//
// bench_clients ARMBIN STRIPPED_MINIMAL [RUNS]
//   ARMBIN: the ARM build's bin directory; STRIPPED_MINIMAL: the stripped
//   minimal ARM program. Sizes are skipped when ARMBIN has no clients.
// It ends with status 1 when a client could not be run or was killed by a
// signal.
#include "benchlib.hpp"
#include "zkusebna.hpp"

#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

const char *const klienti[] = {"txtcell", "txtany",     "txtprobe",   "modemline",
                               "lcdline", "boilertemp", "boilervolt", "loglevel"};

double sizeof_stripped(const std::string &path) {
    std::string out = "/tmp/bench-stripped-" + std::to_string(getpid());
    std::string cmd = "arm-linux-gnueabihf-strip -o " + out + " " + path + " 2>/dev/null";
    struct stat st {};
    bool ok = std::system(cmd.c_str()) == 0 && stat(out.c_str(), &st) == 0;
    unlink(out.c_str());
    return ok ? static_cast<double>(st.st_size) : -1;
}

// Wall time of one run of the program, its output to /dev/null; -1 when it
// could not be started or a signal ended it.
double once(const std::string &path) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    char *argv[] = {const_cast<char *>(path.c_str()), nullptr};
    auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, path.c_str(), &fa, nullptr, argv, environ);
    int status = 0;
    bool ran = spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status);
    posix_spawn_file_actions_destroy(&fa);
    return ran ? std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()
               : -1;
}

// The stripped size of each client beside the minimal program's; the goal
// only when every client was measured.
void goalsize(const std::string &armbin, double minimal) {
    double biggest = 0;
    bool sizes = true;
    for (const char *k : klienti) {
        double size = sizeof_stripped(armbin + "/" + k);
        sizes = sizes && size > 0;
        biggest = std::max(biggest, size);
        bench::figure(std::string("size.") + k, size / 1024, "KiB", minimal / 1024);
    }
    if (sizes)
        bench::goal("client-size", biggest < 32 * 1024, bench::format("%.1f KiB", biggest / 1024),
                    bench::format("%.1f KiB", minimal / 1024));
    else
        std::printf("info clients: no ARM build at %s, sizes not measured\n", armbin.c_str());
}

// The median time of a run of each client beside /bin/true's, the two run
// alternately; false when a run failed.
bool goaltime(int runs) {
    double worst = 0, worstbase = 0;
    bool ran = true;
    for (const char *k : klienti) {
        std::vector<double> mine, base;
        for (int i = 0; i < runs; ++i) {
            mine.push_back(once(harness::bin(k)));
            base.push_back(once("/bin/true"));
            ran = ran && mine.back() >= 0 && base.back() >= 0;
        }
        double m = bench::quantile(mine, 0.5), b = bench::quantile(base, 0.5);
        bench::figure(std::string("run.") + k, m * 1e6, "us", b * 1e6);
        if (m / b > worst / std::max(worstbase, 1e-9))
            worst = m, worstbase = b;
    }
    bench::goal("client-time", worst <= 2 * worstbase, bench::format("%.0f us", worst * 1e6),
                bench::format("%.0f us", worstbase * 1e6));
    if (!ran)
        std::printf("info clients: a run failed to start or was killed; the times are void\n");
    return ran;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3)
        return 2;
    int runs = argc > 3 ? std::atoi(argv[3]) : 400;
    goalsize(argv[1], sizeof_stripped(argv[2]));
    return goaltime(runs) && runs > 0 ? 0 : 1;
}

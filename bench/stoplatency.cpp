// Stop latency: SIGINT to exit of the daemon over RUNS runs (default 4), each
// in its own sandbox and all at once, the signals spread over a 10 s send
// period. The time sender finishes its wait and its sends before it ends, so
// the design bounds the stop near 12 s.
//
// bench_stoplatency [RUNS]   (needs root)
// It ends with status 1 when a daemon did not stop within 40 s (it is then
// killed) or stopped with an exit status other than 0.
#include "benchlib.hpp"
#include "zkusebna.hpp"

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// One daemon in a sandbox of its own.
harness::process startdaemon() {
    std::string work = harness::sandbox();
    mkdir("/home/kamnar", 0755);
    harness::writefile("/home/kamnar/a.ics", "BEGIN:VCALENDAR\n");
    harness::writefile(work + "/kamnar.conf", "[127.0.0.2]\n1 a.ics\n");
    harness::options opt;
    opt.cwd = work;
    opt.timeout = std::chrono::seconds(20);
    return harness::start({harness::bin("kamnar")}, opt);
}

// SIGINT to each, spread over a send period; the time from each signal to
// its daemon's exit (-1: none within 40 s of the first, then killed). False
// when a stop was not the orderly one.
bool stopall(std::vector<harness::process> &daemons, std::vector<double> &stops) {
    const std::size_t runs = daemons.size();
    std::vector<double> sent(runs);
    double start = bench::now();
    for (std::size_t i = 0; i < runs; ++i) {
        double at = start + 10.0 * static_cast<double>(i) / static_cast<double>(runs);
        std::this_thread::sleep_for(std::chrono::duration<double>(at - bench::now()));
        sent[i] = bench::now();
        kill(daemons[i].pid, SIGINT);
    }
    bool orderly = true;
    for (std::size_t left = runs; left > 0 && bench::now() - start <= 40;) {
        for (std::size_t i = 0; i < runs; ++i) {
            int status = 0;
            if (stops[i] < 0 && waitpid(daemons[i].pid, &status, WNOHANG) == daemons[i].pid) {
                stops[i] = bench::now() - sent[i];
                orderly = orderly && WIFEXITED(status) && WEXITSTATUS(status) == 0;
                daemons[i].pid = -1;
                --left;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (std::size_t i = 0; i < runs; ++i) {
        if (daemons[i].pid > 0) {
            std::printf("info stop: daemon %zu did not stop within 40 s\n", i);
            harness::finish(daemons[i], SIGKILL);
            orderly = false;
        } else {
            unlink(daemons[i].outpath.c_str());
            unlink(daemons[i].errpath.c_str());
        }
    }
    return orderly;
}

} // namespace

int main(int argc, char **argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 4;
    if (runs <= 0)
        return 2;
    std::vector<harness::process> daemons;
    for (int i = 0; i < runs; ++i)
        daemons.push_back(startdaemon());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::vector<double> stops(static_cast<std::size_t>(runs), -1);
    const bool orderly = stopall(daemons, stops);
    for (double s : stops)
        std::printf("info stop: %.3f s\n", s);
    bench::figure("stop.median", bench::quantile(stops, 0.5), "s");
    bench::figure("stop.worst", bench::quantile(stops, 1.0), "s");
    if (!orderly)
        std::printf("info stop: not every stop was orderly; the figures are void\n");
    return orderly ? 0 : 1;
}

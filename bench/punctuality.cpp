// How punctually the time commands leave: the daemon with MODULES stand-in
// modules for CYCLES cycles. Each command's lateness is its kernel receive
// time stamp (SO_TIMESTAMPNS) minus its intended instant, x0.5 s + 20 ms x
// slot of its ten seconds of real time. The tens are judged from the first
// one that begins two seconds after the daemon's start (bench::prvnidesitka),
// a module's j-th command against the j-th ten: never modulo ten seconds, so
// a skipped cycle or a command a cycle late is ten seconds late. Every module
// must have exactly one command in every ten judged (the goal
// punctuality-every-cycle). The baseline program does the same five seconds
// out of phase, and unitkick's lateness after the x.5 it sends at is
// measured after the cycles.
//
// Each run of the daemon says what its time sender had (the policy and
// priority of the thread named posilamcas, and the log's entry about it),
// its latest command's cycle and module, and the sender thread's page faults
// and context switches over the run (from /proc), so that a stall of the
// sender (a fault, a wait) can be told from one of the host.
//
// With --load the same runs on a busy PC (bench/load): one process per core
// that only computes, one that churns memory and one that writes to disk, all
// at normal priority, throughout. The daemon runs twice, first started by
// root (its time sender then takes real-time priority), then with that
// refused (no CAP_SYS_NICE, RLIMIT_RTPRIO 0); the baseline sends beside both.
// Beside the first run, under the same load and for as long, cyclictest
// measures what the kernel allows a thread of the time sender's policy and
// priority: the limit that no sender on this machine can beat. The goals are
// the daemon's p99 against cyclictest's, its worst against cyclictest's
// quantile 1 - 1/n (n the daemon's count of samples: the worst of as many
// draws), and both against fixed bounds (with a line saying so when the limit
// itself is over them). When the first run's sender had no real-time policy
// after all, its series is named "rt-refused" and those goals are only
// information. --load-nodisk is the same load without the disk writer (its
// figures have no goals): it shows what the writer's work in the kernel adds.
//
// bench_punctuality [--load | --load-nodisk] [CYCLES [MODULES]]
// (needs root; runs in a sandbox)
// bench_punctuality --machine   one line: kernel, pre-emption model, CPU
#include "benchlib.hpp"
#include "load.hpp"
#include "mereni.hpp"
#include "rozvrh.hpp"
#include "zkusebna.hpp"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

std::string address(int net, int slot) {
    return "127.0." + std::to_string(net) + "." + std::to_string(2 + slot);
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

// The commands received, by slot.
struct arrivals {
    std::vector<bench::prijaty> daemon, baseline;
};

// Receives every command until the real instant `until`.
void receiveuntil(modules &m, double until, arrivals &a) {
    const auto n = static_cast<std::size_t>(m.count);
    for (double t = bench::now(); t < until; t = bench::now()) {
        if (poll(m.fds.data(), m.fds.size(), static_cast<int>((until - t) * 1000) + 1) <= 0)
            continue;
        for (std::size_t i = 0; i < m.fds.size(); ++i) {
            harness::command c;
            if ((m.fds[i].revents & POLLIN) && harness::receive(m.fds[i].fd, c, 0ms))
                (i < n ? a.daemon : a.baseline)
                    .push_back({static_cast<int>(i % n), bench::seconds(c.stamp), 0});
        }
    }
}

// Whether every slot has a command in the ten `ten` (numbered from x`posun`).
bool tenfull(const std::vector<bench::prijaty> &got, int slots, double posun, long ten) {
    std::vector<bool> has(static_cast<std::size_t>(slots), false);
    for (const bench::prijaty &p : got)
        if (static_cast<long>(std::floor((p.kdy - posun) / 10)) == ten)
            has[static_cast<std::size_t>(p.modul)] = true;
    return std::find(has.begin(), has.end(), false) == has.end();
}

// Receives until the ten `ten` is over, or until a second after every slot
// has its command in it: a command that comes later in the ten, or not at
// all, counts as one too many or missing all the same.
void receiveten(modules &m, std::vector<bench::prijaty> &got, double posun, long ten, arrivals &a) {
    const double end = 10.0 * static_cast<double>(ten + 1) + posun;
    while (bench::now() < end && !tenfull(got, m.count, posun, ten))
        receiveuntil(m, std::min(end, bench::now() + 0.1), a);
    receiveuntil(m, std::min(end, bench::now() + 1), a);
}

// The daemon's time sender, the thread named posilamcas, as /proc shows it now.
std::optional<bench::vlakno> sender(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/task/";
    std::optional<bench::vlakno> v;
    DIR *d = opendir(dir.c_str());
    while (dirent *e = d ? readdir(d) : nullptr)
        if (e->d_name[0] != '.' && harness::readfile(dir + e->d_name + "/comm") == "posilamcas\n")
            v = bench::ctivlakno(harness::readfile(dir + e->d_name + "/stat"),
                                 harness::readfile(dir + e->d_name + "/status"));
    if (d)
        closedir(d);
    return v;
}

// The log's last entry about the time sender's priority, without its prefix.
std::string priorityentry() {
    const std::string log = harness::logtext();
    const std::size_t at = log.rfind("Vlakno posilamcas bezi");
    return at == std::string::npos ? "none" : log.substr(at, log.find(" \n", at) - at);
}

// One run of the daemon.
struct run {
    long first = 0; // the first ten judged
    bench::presnost judged;
    // Its sender at the start of the tens judged, and after the last.
    std::optional<bench::vlakno> before, after;
    std::string entry; // the log's entry about its priority
    double step = 0;   // how far the real-time clock moved against the monotonic one, s

    // What the sender had: as it ended the run (or began it, when it was not
    // found at the end).
    const std::optional<bench::vlakno> &had() const { return after ? after : before; }
    bool realtime() const { return had() && bench::realnycas(had()->politika); }
};

// The real-time clock less the monotonic one: it changes only when the
// real-time clock is set, or the machine was paused and its clock set after.
double realtimeoffset() {
    return bench::now() - bench::seconds(ctihodiny(CLOCK_MONOTONIC));
}

run daemonrun(modules &m, const std::string &work, std::vector<std::string> argv, int cycles,
              arrivals &a) {
    run r;
    r.step = realtimeoffset();
    r.first = bench::prvnidesitka(bench::now());
    harness::options opt;
    opt.cwd = work;
    opt.timeout = 20s;
    argv.push_back(harness::bin("kamnar"));
    harness::process daemon = harness::start(argv, opt);
    a.daemon.clear();
    receiveuntil(m, 10.0 * static_cast<double>(r.first) - 0.2, a);
    r.before = sender(daemon.pid);
    receiveuntil(m, 10.0 * static_cast<double>(r.first + cycles - 1), a);
    receiveten(m, a.daemon, 0, r.first + cycles - 1, a);
    r.after = sender(daemon.pid);
    r.step = realtimeoffset() - r.step;
    harness::finish(daemon, SIGKILL);
    r.entry = priorityentry();
    r.judged = bench::posoudpresnost(a.daemon, m.count, 0, r.first, cycles);
    return r;
}

std::string clockof(long ten) {
    std::time_t t = ten * 10;
    std::tm u{};
    gmtime_r(&t, &u);
    return bench::format("%02d:%02d:%02d UTC", u.tm_hour, u.tm_min, u.tm_sec);
}

// What the run's sender had and did, and its latest command.
void describe(const std::string &name, const run &r, int cycles) {
    if (!r.had())
        std::printf("info %s: the time sender not found in /proc\n", name.c_str());
    else
        std::printf("info %s: the time sender %s %d (the log: %s)\n", name.c_str(),
                    bench::jmenopolitiky(r.had()->politika).c_str(), r.had()->priorita,
                    r.entry.c_str());
    if (r.before && r.after)
        std::printf("info %s: over the run the time sender had %ld major and %ld minor page "
                    "faults, %ld voluntary and %ld involuntary context switches\n",
                    name.c_str(), r.after->vypadky - r.before->vypadky,
                    r.after->drobne - r.before->drobne, r.after->dobrovolne - r.before->dobrovolne,
                    r.after->vynucene - r.before->vynucene);
    if (std::fabs(r.step) > 0.05)
        std::printf("info %s: the real-time clock moved %+.3f s against the monotonic one during "
                    "the run (set, or the machine paused): its figures are the host's\n",
                    name.c_str(), r.step);
    const bench::presnost &p = r.judged;
    if (p.cyklus >= 0)
        std::printf("info %s: the latest command %.0f us late, cycle %d of %d (the ten from %s), "
                    "module %d\n",
                    name.c_str(), p.nejhorsi * 1e6, p.cyklus + 1, cycles,
                    clockof(r.first + p.cyklus).c_str(), p.modul);
}

harness::process startbase(int cycles, int slots) {
    harness::options opt;
    opt.timeout = std::chrono::seconds(cycles * 10 + 30);
    return harness::start(
        {harness::bin("bench_sendbase"), std::to_string(cycles), std::to_string(slots)}, opt);
}

// The baseline's tens from the first that begins two seconds after its start
// (numbered from x5.0), up to the last that ended by `end`.
bench::presnost judgebase(const arrivals &a, int slots, double start, double end) {
    const long first = bench::prvnidesitka(start - 5);
    const auto last = static_cast<long>(std::floor((end - 15) / 10));
    return bench::posoudpresnost(a.baseline, slots, 5, first, last - first + 1);
}

// Every module one command in every ten judged, in each of the runs.
bool everycycle(const char *goal, const std::vector<const run *> &runs, int slots, int cycles) {
    long bad = 0, missing = 0, extra = 0;
    for (const run *r : runs) {
        bad += r->judged.spatnych;
        missing += r->judged.chybi;
        extra += r->judged.navic;
    }
    const long tens = static_cast<long>(runs.size()) * cycles * slots;
    bench::goal(goal, bad == 0,
                bench::format("%ld of %ld tens of a module without exactly one command (%ld "
                              "missing, %ld extra)",
                              bad, tens, missing, extra),
                bench::format("%zu run(s) of %d cycles x %d modules", runs.size(), cycles, slots));
    return bad == 0;
}

// --- Idle.

// unitkick: five resets to one more stand-in, each started at x.6 and timed
// after the next x.5 (rozvrh's pristipulsekunda, as unitkick takes it).
series unitkickruns() {
    series s;
    int target = harness::fakemodule("127.0.2.2");
    for (int i = 0; i < 5; ++i) {
        const double t = bench::now(), at = std::floor(t - 0.6) + 1.6;
        usleep(static_cast<useconds_t>((at - t) * 1e6));
        const std::timespec start = ctihodiny(CLOCK_REALTIME);
        const double mark =
            bench::seconds(pristipulsekunda(start.tv_sec, start.tv_nsec / 1000 + 1));
        harness::run({harness::bin("unitkick"), "127.0.2.2"});
        harness::command c;
        if (harness::receive(target, c, 3s))
            s.late.push_back(bench::seconds(c.stamp) - mark);
    }
    close(target);
    return s;
}

void idlegoals(const series &daemon, const series &baseline, bool complete) {
    bench::goal("punctuality-median",
                complete && daemon.median() <= 200e-6 && daemon.median() <= 1.5 * baseline.median(),
                bench::format("%.0f us", daemon.median() * 1e6),
                bench::format("%.0f us", baseline.median() * 1e6));
    bench::goal("punctuality-p99",
                complete && daemon.p99() <= 2e-3 && daemon.p99() <= 1.5 * baseline.p99(),
                bench::format("%.0f us", daemon.p99() * 1e6),
                bench::format("%.0f us", baseline.p99() * 1e6));
}

int idle(modules &m, const std::string &work, int cycles) {
    arrivals a;
    const double start = bench::now();
    // One more cycle than judged: its first may come before the tens judged.
    harness::process base = startbase(cycles + 1, m.count);
    run d = daemonrun(m, work, {}, cycles, a);
    const long basefirst = bench::prvnidesitka(start - 5);
    receiveuntil(m, 10.0 * static_cast<double>(basefirst + cycles - 1) + 5, a);
    receiveten(m, a.baseline, 5, basefirst + cycles - 1, a);
    const double end = 10.0 * static_cast<double>(basefirst + cycles) + 5;
    harness::finish(base, SIGKILL);
    bench::presnost b = judgebase(a, m.count, start, end);
    series kamnar{d.judged.zpozdeni}, baseline{b.zpozdeni}, unitkick = unitkickruns();

    std::printf("info punctuality: %zu commands of the daemon, %zu of the baseline, %d modules\n",
                kamnar.late.size(), baseline.late.size(), m.count);
    describe("punctuality", d, cycles);
    kamnar.report("punctuality", baseline);
    bench::figure("unitkick.median", unitkick.median() * 1e6, "us", baseline.median() * 1e6);
    bench::figure("unitkick.worst", unitkick.worst() * 1e6, "us");
    const bool every = everycycle("punctuality-every-cycle", {&d}, m.count, cycles);
    const bool complete = b.spatnych == 0 && !kamnar.late.empty();
    if (b.spatnych != 0)
        std::printf("info punctuality: the baseline missed a cycle: nothing to compare with\n");
    idlegoals(kamnar, baseline, complete);
    return every && complete ? 0 : 1;
}

// --- Under load.

struct loadrun {
    run rt, normal;
    bench::presnost base;
    std::optional<bench::rozlozeni> limit;
};

// The daemon with and without real-time priority, and the baseline, on the
// busy PC, and cyclictest beside the first.
loadrun measureunderload(modules &m, const std::string &work, int cycles, bool disk) {
    char dir[] = "/var/tmp/kamnar-bench-XXXXXX"; // on disk, not the sandbox's tmpfs
    std::string file = disk && mkdtemp(dir) ? std::string(dir) + "/zapis" : "";
    std::vector<pid_t> load = bench::startload(file);
    sleep(2); // let the load settle
    arrivals a;
    const double start = bench::now();
    harness::process base = startbase(2 * cycles + 6, m.count);
    loadrun l;
    // Started by root: the daemon gives its time sender real-time priority.
    harness::process limit = bench::startlimit(cycles * 10 + 20);
    l.rt = daemonrun(m, work, {}, cycles, a);
    l.limit = bench::stoplimit(limit);
    // Refused: without CAP_SYS_NICE and with RLIMIT_RTPRIO 0.
    l.normal = daemonrun(
        m, work,
        {"/usr/bin/setpriv", "--bounding-set=-sys_nice", "/usr/bin/prlimit", "--rtprio=0:0"},
        cycles, a);
    receiveuntil(m, bench::now() + 0.2, a); // what waits in the sockets
    harness::finish(base, SIGKILL);
    l.base = judgebase(a, m.count, start, bench::now());
    bench::stopload(load);
    if (!file.empty()) {
        unlink(file.c_str());
        rmdir(dir);
    }
    return l;
}

// Against the limit: at most 1.25 x its p99 + 100 us, and 1.25 x its
// quantile 1 - 1/n + 500 us for the worst of the daemon's n samples.
void limitgoals(const series &rt, const bench::rozlozeni &ct, bool judged) {
    const double p99 = rt.p99() * 1e6, worst = rt.worst() * 1e6;
    const double p99limit = 1.25 * ct.p99 + 100;
    const auto n = static_cast<double>(rt.late.size());
    const double q = bench::kvantil(ct, n > 0 ? 1 - 1 / n : 1), worstlimit = 1.25 * q + 500;
    bench::goal("punctuality-load-p99-limit", !rt.late.empty() && p99 <= p99limit,
                bench::format("%.0f us", p99),
                bench::format("%.0f us of cyclictest, at most %.0f us", ct.p99, p99limit), judged);
    bench::goal("punctuality-load-worst-limit", !rt.late.empty() && worst <= worstlimit,
                bench::format("%.0f us, the worst of %zu samples", worst, rt.late.size()),
                bench::format("%.0f us, cyclictest's quantile 1 - 1/%zu of %ld wakes (its worst "
                              "%.0f us), at most %.0f us",
                              q, rt.late.size(), ct.vzorku, ct.nejhorsi, worstlimit),
                judged);
}

void fixedgoals(const series &rt, const series &normal, bool judged) {
    bench::goal("punctuality-load-p99", !rt.late.empty() && rt.p99() <= 2e-3,
                bench::format("%.0f us", rt.p99() * 1e6),
                bench::format("%.0f us without real-time priority", normal.p99() * 1e6), judged);
    bench::goal("punctuality-load-worst", !rt.late.empty() && rt.worst() <= 5e-3,
                bench::format("%.0f us", rt.worst() * 1e6),
                bench::format("%.0f us without real-time priority", normal.worst() * 1e6), judged);
}

// Where the host itself is over the fixed bounds, or the daemon meets them
// without real-time priority too.
void hostinfo(const bench::rozlozeni &ct, const series &normal) {
    if (ct.p99 > 2000)
        std::printf("info load: cyclictest's p99 is %.0f us, over the 2000 us of "
                    "punctuality-load-p99: the host, not the daemon, is over it\n",
                    ct.p99);
    if (ct.nejhorsi > 5000)
        std::printf("info load: cyclictest's worst is %.0f us, over the 5000 us of "
                    "punctuality-load-worst: the host, not the daemon, is over it\n",
                    ct.nejhorsi);
    if (normal.p99() <= 2e-3 && normal.worst() <= 5e-3)
        std::printf("info load: the daemon without real-time priority meets both too\n");
}

// Returns whether every command arrived and the limit was measured.
bool underload(modules &m, const std::string &work, int cycles, bool disk) {
    std::printf("info machine: %s\n", bench::machine().c_str());
    if (access(bench::cyclictest, X_OK) != 0) {
        std::printf("info limit: no %s (Debian's rt-tests): nothing to measure against\n",
                    bench::cyclictest);
        return false;
    }
    loadrun l = measureunderload(m, work, cycles, disk);
    series rt{l.rt.judged.zpozdeni}, normal{l.normal.judged.zpozdeni}, baseline{l.base.zpozdeni};
    std::printf("info punctuality under load: %zu commands with real-time priority, %zu without, "
                "%zu of the baseline, %ld wakes of cyclictest\n",
                rt.late.size(), normal.late.size(), baseline.late.size(),
                l.limit ? l.limit->vzorku : 0L);
    const std::string name = disk ? "punctuality.load." : "punctuality.nodisk.";
    const bool realtime = l.rt.realtime();
    if (!realtime)
        std::printf("info %srt-refused: the time sender had no real-time policy: its goals are "
                    "only information\n",
                    name.c_str());
    const std::string rtname = name + (realtime ? "rt" : "rt-refused");
    describe(rtname, l.rt, cycles);
    describe(name + "normal", l.normal, cycles);
    rt.report(rtname, normal);
    if (l.limit) {
        bench::figure(name + "cyclictest.median", l.limit->median, "us");
        bench::figure(name + "cyclictest.p99", l.limit->p99, "us");
        bench::figure(name + "cyclictest.worst", l.limit->nejhorsi, "us");
    }
    normal.report(name + "normal", baseline);
    if (!disk)
        return l.limit && l.rt.judged.spatnych == 0 && l.normal.judged.spatnych == 0;
    const bool every =
        everycycle("punctuality-load-every-cycle", {&l.rt, &l.normal}, m.count, cycles);
    fixedgoals(rt, normal, realtime);
    if (!l.limit)
        return false;
    limitgoals(rt, *l.limit, realtime);
    hostinfo(*l.limit, normal);
    return every;
}

// The sandbox, the daemon's configuration and the stand-in modules.
std::string arrange(modules &m) {
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
    return work;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--machine") == 0) {
        std::printf("%s\n", bench::machine().c_str());
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
    if (cycles < 1 || m.count < 1 || m.count > 200)
        return 2;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string work = arrange(m);
    if (load)
        return underload(m, work, cycles, disk) ? 0 : 1;
    return idle(m, work, cycles);
}

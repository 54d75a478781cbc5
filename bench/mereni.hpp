// What the benchmarks and the soak compute from what they measured, as
// functions of their inputs (no socket, clock or file), so that tests reach
// them: cyclictest's histogram, the kernel's pre-emption model,
// the capacity search, the punctuality of a sender, a thread's counts, and the
// soak's checks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// --- The machine's limit.

// A distribution of latencies, in microseconds: the histogram's buckets
// (latency, samples) in order, and the samples beyond it.
struct rozlozeni {
    long vzorku = 0;
    double median = 0, p99 = 0, nejhorsi = 0;
    std::vector<std::pair<long, long>> kose;
    long pretekle = 0;
};

// The distribution in cyclictest's histogram output (-h USEC -q, one
// thread): lines "USEC COUNT", then "# Total:", "# Max Latencies:" and
// "# Histogram Overflows:". Quantiles by nearest rank, as bench::quantile
// takes them; a sample beyond the histogram counts as the worst one. nullopt
// when the output holds no sample.
std::optional<rozlozeni> ctihistogram(const std::string &vystup);

// The q-quantile (0..1) of the distribution, by nearest rank. The worst of n
// samples is compared with the quantile 1 - 1/n of a larger run: its maximum
// would hold the n samples to the worst of many more draws.
double kvantil(const rozlozeni &d, double q);

// The kernel's pre-emption model: the mode in parentheses in the text of
// /sys/kernel/debug/sched/preempt ("none voluntary (full) lazy": "full"),
// or, without that text, the word of `uname -v` that names it
// (PREEMPT_DYNAMIC, PREEMPT, PREEMPT_RT, ...), or "none".
std::string preempce(const std::string &debugfs, const std::string &verze);

// --- Receive capacity.

// The highest rate at which `kratce` (a short run) loses nothing: from `od`
// doubling up to `strop` (or halving down to od/64 when `od` loses already),
// then halving the gap between the last lossless rate and the first lossy
// one until it is at most 1/`dilu` of the lossless one; a figure at `strop`
// means "at least". Then `dlouze` (a long run, which meets more of the
// machine's stalls) confirms it, the rate lowered by 1/`dilu` until one
// passes, down to a quarter. 0 when nothing passed.
long hledejkapacitu(const std::function<bool(long)> &kratce,
                    const std::function<bool(long)> &dlouze, long od, long strop, int dilu);

// --- Punctuality.

// A time command as a stand-in module received it: its slot, the real
// instant of its arrival (kernel time stamp, seconds) and its time field.
struct prijaty {
    int modul;
    double kdy;
    std::uint32_t cas;
};

// The seconds a freshly started sender is given before its commands are
// judged: from the first ten seconds of real time that begin this long after
// its start (numbered floor(t / 10)).
inline constexpr double nabeh = 2;
long prvnidesitka(double start);

// How punctual a sender was over `desitek` tens of real time from the ten
// `prvni`, the tens numbered floor((t - posun) / 10); module m's mark in ten
// k is 10k + posun + 0.5 s + 20 ms x m. Each module must have exactly one
// command in every ten. The lateness of module m's j-th command (from 0, in
// order of arrival) is taken after the mark of ten prvni + j, never modulo
// ten seconds: after a skipped cycle every later command is ten seconds
// late, and so is one that came a whole cycle late.
struct presnost {
    std::vector<double> zpozdeni; // seconds, of every command judged
    long spatnych = 0;            // tens of a module without exactly one command
    long chybi = 0, navic = 0;    // tens without one; second and further ones
    int cyklus = -1, modul = -1;  // of the latest command (cycle from 0)
    double nejhorsi = 0;          // its lateness, s
};
presnost posoudpresnost(const std::vector<prijaty> &prikazy, int moduly, double posun, long prvni,
                        long desitek);

// --- A thread, from /proc/PID/task/TID/stat and status.
struct vlakno {
    int politika = -1, priorita = 0;   // its scheduling policy (SCHED_*) and real-time priority
    long drobne = 0, vypadky = 0;      // minor and major page faults
    long dobrovolne = 0, vynucene = 0; // voluntary and involuntary context switches
};
// nullopt when the stat text is not one.
std::optional<vlakno> ctivlakno(const std::string &stat, const std::string &status);
// The policy's name ("SCHED_FIFO"), or its number.
std::string jmenopolitiky(int politika);
// Whether the policy is a real-time one (SCHED_FIFO, SCHED_RR).
bool realnycas(int politika);

// --- The soak.

// A step of the daemon's clock, as the preloaded posunhodin makes it: from
// the real instant `od` on, the clock reads `posun` seconds more.
struct krok {
    double od;
    long posun;
};

inline constexpr int resetovany = 7;              // the module reset with unitkick
inline constexpr int tichamoduly[] = {3, 13, 23}; // the modules that fall silent
inline constexpr double zaplavadelka = 20;        // seconds of a flood

// What happens when in a soak, in real instants (seconds since 1970).
struct plansoaku {
    double zacatek, konec; // the daemon's start; SIGINT, at x5.0 of a ten
    double zahrati;        // from here on its resources must stay flat
    struct ticho {
        int modul;
        double od, dokdy;
    };
    std::vector<ticho> ticha;    // each module of tichamoduly silent once
    std::vector<double> kopance; // unitkick for module `resetovany`
    std::vector<double> cizinci; // a datagram of the stranger
    std::vector<double> zaplavy; // the start of a flood
    std::vector<krok> kroky;     // the daemon's clock back an hour, then forward
};
// The plan of a soak of `delka` seconds from `zacatek`: the warm-up is the
// first five minutes, or the first half of a shorter run; the silences last
// two to three minutes from a fifth of the run on; unitkick from 2 min on
// every ten minutes; a flood every quarter of an hour, the first ending
// within the warm-up; a stranger about every 97 s but never in or just
// after a flood (the two share the strangers' budget of log entries); the
// clock steps at x5.0 of a ten, at two and three fifths of the run. Nothing
// starts in the last 30 s, so that all of it is seen before the stop.
plansoaku naplanuj(double zacatek, double delka);

// How the commands kept their marks. Every module must have one command in
// every ten seconds of real time from the ten `prvni` to the ten `posledni`
// (numbered floor(t / 10)), and each must arrive, on the daemon's clock of
// that moment, at or after x0.5 of the second its time field names and less
// than half a second after its slot's mark, x0.5 + 20 ms x slot.
struct vysledekprikazu {
    long ocekavano = 0; // commands expected
    long chybi = 0;     // tens of a module without a command
    long navic = 0;     // second and further commands of a module in one ten
    long mimo = 0;      // commands off their mark
};
vysledekprikazu zkontrolujprikazy(const std::vector<prijaty> &prikazy, int moduly, long prvni,
                                  long posledni, const std::vector<krok> &kroky);

// The log's entries, in the text with every time-stamp prefix replaced by
// "<T>" (harness::maskprefixes): each from its "<T>" to the next one, without
// the "<T>". Text before the first prefix is left out.
std::vector<std::string> zaznamylogu(const std::string &maskovany);

// The entries expected and not found, and those found and not expected,
// counting repeated ones.
struct rozdil {
    std::vector<std::string> chybi, navic;
};
rozdil porovnej(std::vector<std::string> ocekavane, std::vector<std::string> nalezene);

// A sample of the daemon's resources; a value that could not be read (the
// daemon gone) is -1.
struct vzorek {
    double kdy; // seconds since the start
    long rss;   // VmRSS, KiB
    long deskriptory, vlakna;
    long anon = 0; // of VmRSS the anonymous memory (RssAnon), KiB
};
// How far each grew over the whole samples from `od` on: the highest of them
// less the first of them; zeros without a sample. `chybi` counts the samples
// (of the whole run) with a value missing.
struct narust {
    long rss = 0, deskriptory = 0, vlakna = 0;
    long chybi = 0;
};
narust narustod(const std::vector<vzorek> &vzorky, double od);

} // namespace bench

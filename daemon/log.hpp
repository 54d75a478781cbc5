// The daemon's event log: one plain-text file, opened, appended to and
// closed again for every entry, so that a log moved away or deleted is
// recreated by the next entry.
//
// In the daemon the entries are handed to one writer thread (pustlog), and
// no other thread ever waits for the log's disk: a disk that stops answering
// for a while (a dying SD card or USB stick, NFS, a disk in error recovery)
// holds only the writer, and so does one that refuses the entries (a full
// disk, a read-only remount, an immutable file, a quota): the entry it
// refuses stays first and is tried again every second, the rest of it after
// a short write, so no entry is ever cut short. Meanwhile the entries wait
// in memory, in the order they were made, each with the time it was made, up
// to nejvicevlogu bytes; the ones beyond are lost and counted, and once the
// disk answers one entry says how many (textztracenych). Until the writer
// starts, and in overkal, which never starts it, the thread that makes an
// entry writes it itself.
//
// The time sender hands its entries over through a ring of its own
// (kruh.hpp, pouzijkruhlogu), made before it starts: it takes no lock and
// allocates nothing, and wakes the writer with a write to an eventfd that
// never blocks. The writer takes the entries of the ring and of the other
// threads' queue in the order they were made.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

// The one log of the daemon; the path is fixed, not configurable.
inline constexpr const char *cestalogu = "/var/log/kamnar.log";

// Held for exactly one entry's open-write-close, never nested, never taken in
// a signal handler. In the daemon only the writer thread takes it.
extern std::mutex pisudologu;

// The time-stamp prefix "DD.MM.YYYY hh:mm:ss : " of the local time t.
// Pure, so the padding can be checked for any instant.
struct prefixlogu {
    char text[80]; // 22 characters for any real date; room for any int
};
prefixlogu vytvorprefix(const std::tm &t);

// One log entry each: a fixed text written as its exact bytes, a printf-style
// format with its arguments, or a single character. An entry whose open fails
// is dropped.
void zapisdologu(bool sprefixem, const char *text);
void zapisdologu(bool sprefixem, char znak);
void zapisdologuf(bool sprefixem, const char *format, ...) __attribute__((format(printf, 2, 3)));

// --- The writer thread.

// One entry as it was made.
struct zaznam {
    bool sprefixem = false;
    std::time_t cas = 0;       // when it was made: the time of its prefix
    std::int64_t vytvoren = 0; // the same moment, in ms of the monotonic clock
    std::string text;
    std::uint64_t poradi = 0; // its place among the entries of every thread
};

// What the entries waiting in memory may take: some 10,000 entries of the
// usual length, hours of a house's entries, minutes of a flood's.
inline constexpr std::size_t nejvicevlogu = 1 << 20;

// The entries waiting for the writer, in order. Pure: the writer and the
// threads that make entries share it under a lock.
struct frontalogu {
    std::deque<zaznam> zaznamy;
    std::size_t bajtu = 0;            // what they take, against nejvicevlogu
    unsigned long ztraceno = 0;       // lost since the last summary
    std::uint64_t ztracenocelkem = 0; // lost in all
    std::uint64_t poradiztraty = 0;   // the place of the last one lost
};
// Adds the entry at the end, or counts it lost when the waiting entries take
// nejvicevlogu bytes. The first entry that fits after losses is preceded by
// the summary of them, made at the same moment, so the summary stands where
// the entries are missing.
void zarad(frontalogu &f, zaznam z);
// The next entry to write: the first waiting one; else, after losses, their
// summary, made at `cas` (`ms` on the monotonic clock); else nothing.
std::optional<zaznam> vyjmi(frontalogu &f, std::time_t cas, std::int64_t ms);
// The summary entry's message.
std::string textztracenych(unsigned long pocet);

// What the time sender's ring holds, counted against nejvicevlogu too.
inline constexpr std::size_t velikostkruhulogu = 64 << 10;

// Starts the writer thread (with SIGINT blocked); from now on every entry
// waits for it. Its first task is the start's probe of the log. False when
// the system refuses the thread: the thread that makes an entry then writes
// it itself.
bool pustlog();

// From now on the calling thread (the time sender, once) hands its entries
// over through the ring made by pustlog. Nothing when there is no writer.
void pouzijkruhlogu();

// The start's probe: opens the log for appending, creating it, and closes it
// again. 0 when it opened, or when the writer has not got an answer within
// `limit` (a disk that does not answer now: the entries wait for it), else
// the error number of the open.
int zkouskalogu(std::chrono::milliseconds limit);

// Waits at most `limit` until every entry made so far is written.
void dopislog(std::chrono::milliseconds limit);

// What the state file shows of the log: the entries not yet written (the one
// being written included), when the oldest of them was made (ms of the
// monotonic clock, 0 when none waits), the entries lost in all and the error
// number of the last refused write (0 once an entry is taken again).
struct stavlogu {
    std::uint64_t cekajicich = 0;
    std::int64_t nejstarsi = 0;
    std::uint64_t ztraceno = 0;
    int chyba = 0;
};
stavlogu jakjelog();

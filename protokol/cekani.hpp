// The waits of the daemon's threads and of unitkick: how the threads wait for
// the instants of rozvrh and for datagrams, and what the orderly stop after
// SIGINT rests on.
//
// The stop's bound, about 12 s after SIGINT, is the sum of:
// - SIGINT is blocked in every thread but the main one (vlakna.hpp), so it
//   always reaches the main thread and cuts its one-second sleep short;
// - the receiver looks at koncime after every wait for a datagram, which
//   lasts at most cekaniprijmu (200 ms);
// - the time sender looks at it only between send cycles: after its wait for
//   the next x0.5 s (at most 10.5 s, also when the clock is set meanwhile:
//   see cekejdo) and after that cycle's sends, 20 ms per module;
// - then the main thread joins both workers, waiting at most 12 s for the
//   sender and 1 s for the receiver from the start of the stop (a worker
//   that has not ended by then, a send held in a stalled network queue, is
//   named in the log and left), and pauses one second; the log's
//   writer is given at most a second more for the last entries (log.hpp),
//   so a log whose disk does not answer never holds the stop.
// The time sender and unitkick wait with a timer slack of 1 ns (each calls
// presnecasovani for its own thread): the kernel would otherwise move a
// wake-up up to 50 us later to batch it with others. The receiver's poll and
// the main thread's sleep keep the default slack; nothing waits on them to
// the microsecond.
#pragma once

#include <csignal>
#include <ctime>
#include <pthread.h>

// The receiver's wait for a datagram, in milliseconds.
inline constexpr int cekaniprijmu = 200;

// A timer on the real-time clock that notices when the clock is set (an NTP
// step, `date -s`); -1 when the system gives none (then cekejdo sleeps as
// before, without noticing a step).
int otevribudik();

// Waits until the real-time clock reads `cil`. Returns true when it does,
// false when the clock was set during the wait, or since the last wait
// ended: the instant must then be planned again on the new clock. An absolute wait on the real-time
// clock alone would grow by the size of a step back (an hour's step would stop the modules' time
// for an hour) and the stop with it.
bool cekejdo(int budik, std::timespec cil);

// Sleeps until the monotonic clock reads `cil`.
void spidomonotonni(std::timespec cil);

// Waits until the socket has a datagram, at most cekaniprijmu ms: 1 when it
// has, 0 on time-out, -1 when the wait failed. poll, unlike select, takes any
// descriptor number.
int cekejnapaket(int sock);

// Wake-ups without the kernel's timer slack, for the calling thread.
void presnecasovani();

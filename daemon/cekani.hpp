// The waits of the daemon's threads and of unitkick: how the threads wait for
// the instants of rozvrh and for datagrams, at which priority, and what the
// orderly stop after SIGINT rests on.
//
// The stop's bound, about 12 s after SIGINT, is the sum of:
// - SIGINT is blocked in the worker threads (bezsigint), so it always reaches
//   the main thread (the thread that runs start-up and the stop, which is not
//   the initial one when the time sender has that: see zdedenyrealnycas) and
//   cuts its one-second sleep short;
// - the receiver looks at koncime after every wait for a datagram, which
//   lasts at most cekaniprijmu (200 ms);
// - the time sender looks at it only between send cycles: after its wait for
//   the next x0.5 s (at most 10.5 s, also when the clock is set meanwhile:
//   see cekejdo) and after that cycle's sends, 20 ms per module;
// - then the main thread joins both workers and pauses one second.
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

// --- Waiting.

// A timer on the real-time clock that notices when the clock is set (an NTP
// step, `date -s`); -1 when the system gives none (then cekejdo sleeps as
// before, without noticing a step).
int otevribudik();

// Waits until the real-time clock reads `cil`. Returns true when it does,
// false when the clock was set during the wait: the instant must then be
// planned again on the new clock. An absolute wait on the real-time clock
// alone would grow by the size of a step back (an hour's step would stop the
// modules' time for an hour) and the stop with it.
bool cekejdo(int budik, std::timespec cil);

// Sleeps until the monotonic clock reads `cil`.
void spidomonotonni(std::timespec cil);

// Waits until the socket has a datagram, at most cekaniprijmu ms: 1 when it
// has, 0 on time-out, -1 when the wait failed. poll, unlike select, takes any
// descriptor number.
int cekejnapaket(int sock);

// Blocks SIGINT in the calling thread and returns the mask it had; threads
// created meanwhile inherit the block.
sigset_t bezsigint();
void obnovmasku(const sigset_t &maska);

// Wake-ups without the kernel's timer slack, for the calling thread.
void presnecasovani();

// --- Priority.

// The time sender's real-time priority: SCHED_FIFO at its lowest level. When
// its instant comes it runs ahead of every normal process (on a busy PC it
// would otherwise wait for a time slice of one, several milliseconds), and
// behind all else that is real-time. It sleeps nearly all the time, so it
// takes nothing from the rest of the machine.
inline constexpr int prioritacasu = 1;

// Gives the thread SCHED_FIFO at prioritacasu when the process may have it:
// with CAP_SYS_NICE, or with RLIMIT_RTPRIO of at least prioritacasu. Returns
// 0, or the error number when it may not; the thread then runs on at normal
// priority.
int dejrealnycas(pthread_t vlakno);

// The real-time priority the calling thread was started with, 0 for none.
// The service manager starts the daemon so (CPUSchedulingPolicy=fifo with
// CPUSchedulingResetOnFork=yes): then only this thread has it, and every
// thread it starts runs at normal priority. When the reset is missing (a
// start by hand with chrt), it is set here, and when that is refused the
// thread counts as normal.
int zdedenyrealnycas();

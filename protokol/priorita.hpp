// Which thread runs at which priority, and the memory the daemon locks. The
// time sender alone runs with real-time priority, where the process may have
// it; every other thread of the daemon runs at normal priority.
//
// What the time sender does after its first cycle, and all it does: it waits
// for its timer (timerfd_settime and read on a timerfd, clock_nanosleep for
// the pacing between modules), reads the clocks (through the vDSO, no system
// call), sends with sendto, and wakes the log's and the console's writers
// with a write to an eventfd that never blocks. It takes no lock (its log
// entries and console line go into rings of its own, kruh.hpp), allocates
// nothing, opens, closes and writes no file and no terminal, and with its
// memory locked (zamknipamet) takes no page fault.
#pragma once

#include <pthread.h>

// Sanitizer builds: their shadow memory is too large to lock, and their
// threads need larger stacks.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool sesanitizery = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
inline constexpr bool sesanitizery = true;
#else
inline constexpr bool sesanitizery = false;
#endif
#else
inline constexpr bool sesanitizery = false;
#endif

// The time sender's real-time priority: SCHED_FIFO at its lowest level. When
// its instant comes it runs ahead of every normal process (on a busy PC it
// would otherwise wait for a time slice of one, several milliseconds), and
// behind all else that is real-time. It sleeps nearly all the time, so it
// takes nothing from the rest of the machine.
inline constexpr int prioritacasu = 1;

// Gives the thread SCHED_FIFO at prioritacasu when the process may have it:
// with CAP_SYS_NICE, with RLIMIT_RTPRIO of at least prioritacasu (the
// service unit's LimitRTPRIO), or when the thread already runs SCHED_FIFO,
// inherited from a privileged starter (lowering is always allowed; a thread
// that inherited SCHED_RR and may not change the policy is lowered to
// prioritacasu within it). Returns 0, or the error number when it may not (a
// container that grants no real-time priority, RT group scheduling without a
// budget); the thread then runs on at normal priority.
int dejrealnycas(pthread_t vlakno);

// The start's priority, before the process starts any thread. A real-time
// policy it was started with (chrt, a unit's CPUSchedulingPolicy=fifo) is
// kept by the calling thread, for the time sender to inherit (the process
// may not be allowed to set it again), and true is returned: the threads
// are then started at normal priority (pustvlakno), the sender inheriting
// it, and the caller puts itself at normal priority (normalnipriorita) once
// the sender runs. Any other policy (SCHED_IDLE, SCHED_BATCH,
// SCHED_DEADLINE, whose threads cannot even be started) is put to normal
// priority at once, so that every thread starts at it.
bool priorituzacatku();

// Puts the calling thread at normal priority (SCHED_OTHER) whatever it had.
void normalnipriorita();

// What the daemon may lock at most: what it maps (some 7 MiB), its bounded
// queues when full, and room. The service unit grants it (LimitMEMLOCK).
inline constexpr unsigned long nejvicezamceno = 16UL << 20;

// Locks the process's memory, present and future (mlockall), so that the
// time sender never waits for a page to be read back; 0, or the error
// number when it may not: ENOMEM without CAP_IPC_LOCK when RLIMIT_MEMLOCK
// is below nejvicezamceno (the memory it could still get would be too
// little) or below what the process maps. Sanitizer builds do not lock: -1.
int zamknipamet();

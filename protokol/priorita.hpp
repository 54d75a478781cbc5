// Which thread runs at which priority. The time sender alone runs with
// real-time priority, where the process may have it; every other thread of
// the daemon runs at normal priority. And the lock that those threads share
// with it, which lends its holder the priority of a thread that waits for it.
#pragma once

#include <pthread.h>

// The time sender's real-time priority: SCHED_FIFO at its lowest level. When
// its instant comes it runs ahead of every normal process (on a busy PC it
// would otherwise wait for a time slice of one, several milliseconds), and
// behind all else that is real-time. It sleeps nearly all the time, so it
// takes nothing from the rest of the machine.
inline constexpr int prioritacasu = 1;

// Gives the thread SCHED_FIFO at prioritacasu when the process may have it:
// with CAP_SYS_NICE, or with RLIMIT_RTPRIO of at least prioritacasu (the
// service unit's LimitRTPRIO). Returns 0, or the error number when it may
// not (a container that grants no real-time priority, RT group scheduling
// without a budget); the thread then runs on at normal priority.
int dejrealnycas(pthread_t vlakno);

// Puts the calling thread at normal priority when it was started with a
// real-time one (by chrt, say), before it starts any thread: the threads it
// starts would inherit it, the receiver too, which a flood of datagrams
// keeps busy.
void normalnipriorita();

// A mutex with priority inheritance (PTHREAD_PRIO_INHERIT): while the time
// sender waits for it, the thread that holds it runs at the sender's
// priority, so a normal thread that a busy PC keeps waiting for the CPU
// while it holds the lock cannot hold the sender back with it. For the
// queues that the time sender shares (the log's, the console's); none of
// their holders makes a blocking call while holding it. With lock_guard,
// unique_lock and condition_variable_any.
struct zamekpi {
    zamekpi();
    ~zamekpi();
    zamekpi(const zamekpi &) = delete;
    zamekpi &operator=(const zamekpi &) = delete;
    void lock();
    void unlock();

    pthread_mutex_t m;
};

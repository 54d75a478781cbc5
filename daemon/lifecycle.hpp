// Start-up, the two worker threads, the wait for SIGINT and the orderly stop.
#pragma once

#include <atomic>

// The stop flag: set once from the SIGINT handler, read by the main thread
// and handed to both workers.
extern std::atomic<int> koncime;
static_assert(std::atomic<int>::is_always_lock_free);

// The whole run of the daemon; returns its exit status (0, or -1 when the
// start-up fails).
int behdemona();

// Starts the receive thread and then the time-sender thread.
void pustvlakna();

// The SIGINT handler: sets flags and nothing else.
void skoncito(int signal);

// Reports a failed bind of the receive socket from the errno it left.
void chybybind();

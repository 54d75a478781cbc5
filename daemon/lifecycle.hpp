// Start-up, the two worker threads, the wait for SIGINT and the orderly stop.
#pragma once

#include <atomic>
#include <cstdio>

// The stop flag: set once from the SIGINT handler, read by all three threads.
extern std::atomic<int> koncime;
static_assert(std::atomic<int>::is_always_lock_free);

extern int prijsock; // receive socket, UDP port 15150, non-blocking
extern int vyssock;  // send socket, blocking

// The whole run of the daemon; returns its exit status (0, or -1 when the
// start-up fails).
int behdemona();

// The start-up probe of the event log: opens it for appending (creating it)
// and closes it at once. When it does not open, prints the console line and
// returns false; nothing has been logged then.
bool zkouskalogu();

// Opens "kamnar.conf" in the working directory for reading. When it does not
// open, prints the console line, logs the same text and returns nullptr.
FILE *otevrikonfiguraci();

// Starts the receive thread and then the time-sender thread.
void pustvlakna();

// The SIGINT handler: sets flags and nothing else.
void skoncito(int signal);

// Reports a failed bind of the receive socket from the errno it left.
void chybybind();

// The console line that explains a bind error code, or nullptr for codes
// without one.
const char *vysvetlenibind(int chyba);

// The daemon's console: its standard output, one path for every thread.
//
// Until pustkonzoli starts the console's writer thread (and in overkal, which
// never starts it) text goes straight to stdout. Afterwards the threads only
// queue their text, and the writer thread alone writes it: standard output
// that blocks (a pipe nobody reads, a terminal held with Ctrl-S, a stalled
// journal), that is gone (SIGPIPE is ignored) or full never holds a worker.
// What does not fit the queue is dropped, a whole text of one call at a time;
// a console that takes nothing for 10 s gets nothing queued until it takes
// text again. The time sender's text goes through a ring of its own
// (kruh.hpp, pouzijkruhkonzole): it takes no lock, allocates nothing and
// wakes the writer with a write to an eventfd that never blocks.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

// Writes text to the console, in the order of the calls, whole or not at all.
void konzole(std::string_view text);
void konzolef(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Starts the writer thread (with SIGINT blocked) and ignores SIGPIPE. False
// when the system refuses the thread: text then goes straight to stdout.
bool pustkonzoli();

// From now on the calling thread (the time sender, once) hands its text over
// through the ring made by pustkonzoli.
void pouzijkruhkonzole();

// Waits at most `limit` until the queued text has been written.
void dopiskonzoli(std::chrono::milliseconds limit);

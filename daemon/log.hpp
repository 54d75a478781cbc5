// The daemon's event log: one plain-text file, reopened for every entry.
#pragma once

#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

// The one log of the daemon; the path is fixed, not configurable.
inline constexpr const char *cestalogu = "/var/log/kamnar.log";

// Held for exactly one entry's open-write-close, never nested, never taken in
// a signal handler.
extern std::mutex pisudologu;

// Opens one of the daemon's files, never waiting: for reading, or for
// appending (created when missing, as fopen's "a"). Only a regular file is
// taken; a FIFO, a device, a socket or a directory under that name is
// refused as a file that does not open (a FIFO would hold the open, or its
// reads, until someone came to its other end). nullptr when refused.
FILE *otevrisoubor(const char *cesta, bool pripisovat);

// An open stream that is closed when it goes out of scope.
struct zavrisoubor {
    void operator()(FILE *f) const { std::fclose(f); }
};
using otevrenysoubor = std::unique_ptr<FILE, zavrisoubor>;

// The time-stamp prefix "DD.MM.YYYY hh:mm:ss : " of the local time t.
// Pure, so the padding can be checked for any instant.
struct prefixlogu {
    char text[80]; // 22 characters for any real date; room for any int
};
prefixlogu vytvorprefix(const std::tm &t);

// Writes the prefix for the current local time to the open stream; returns
// the number of characters written.
int casdologu(FILE *stream);

// One log entry each: a fixed text written as its exact bytes, a printf-style
// format with its arguments, or a single character. An entry whose open fails
// is dropped.
void zapisdologu(bool sprefixem, const char *text);
void zapisdologu(bool sprefixem, char znak);
void zapisdologuf(bool sprefixem, const char *format, ...) __attribute__((format(printf, 2, 3)));

// The daemon's files: opened without ever waiting, and written whole.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

// Opens one of the daemon's files, never waiting: for reading, or for
// appending (created when missing, as fopen's "a"). A regular file is taken,
// and for appending a character device too (a log linked to /dev/null); a
// FIFO, a socket, a block device or a directory under that name is refused
// as a file that does not open (a FIFO would hold the open, or its reads,
// until someone came to its other end). The descriptor, or -1 with errno.
int otevripopisovac(const char *cesta, bool pripisovat);

// The same as a stream; nullptr when refused.
FILE *otevrisoubor(const char *cesta, bool pripisovat);

// An open stream that is closed when it goes out of scope.
struct zavrisoubor {
    void operator()(FILE *f) const { std::fclose(f); }
};
using otevrenysoubor = std::unique_ptr<FILE, zavrisoubor>;

// Writes the whole text to the descriptor, in as many writes as it takes;
// false, with errno, when one fails.
bool zapisvse(int fd, std::string_view text);

// What every fuzz target shares: its own private sandbox, entered once at
// start-up, the event log kept short, and the check of an invariant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Enters a private mount and network namespace (tmpfs over /var/log, /home
// and /srv, loopback up), sets the local time zone and sends the console output
// of the code under test to /dev/null. Returns the sandbox's working
// directory, for the files a target writes. Called from LLVMFuzzerInitialize.
std::string pripravfuzz();

// Empties the event log, so that it holds only the entries of one input.
void nulujlog();

// The event log as it is now.
std::string ctilog();

// The moment the targets that judge a state file take as now.
constexpr long long fuzzted = 1796630410;

// How old the state file made of the input is when read: a leading control
// byte other than a line end ages it by 4 s per its value, up to two minutes
// and more, so that inputs reach both a fresh file and a stale one.
long long starisouboru(const std::uint8_t *data, std::size_t size);

// Writes bytes to a file, replacing it.
void zapissoubor(const char *cesta, const void *data, std::size_t delka);

// A broken invariant: reports it on standard error and aborts, which
// libFuzzer records as a finding together with the input.
[[noreturn]] void poruseno(const char *soubor, int radek, const char *podminka);

#define INVARIANT(podminka)                                                                        \
    do {                                                                                           \
        if (!(podminka))                                                                           \
            poruseno(__FILE__, __LINE__, #podminka);                                               \
    } while (0)

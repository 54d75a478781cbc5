// The proving ground that the tests and the benchmarks share: the sandbox
// (sandbox.hpp), the built programs run with their output and exit status
// collected, stand-in heating modules on loopback addresses, a clock set for
// one program (the preloaded posunhodin), and the event log read back.
#pragma once

#include "sandbox.hpp"

#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace harness {

// Full path of a built program (build/bin/NAME).
std::string bin(const std::string &name);

// The command line that runs argv: a program of this build is started
// through the emulator when the programs run under one.
std::vector<std::string> commandline(const std::vector<std::string> &argv);

struct options {
    std::string cwd;              // working directory; empty: the test's own
    std::vector<std::string> env; // NAME=VALUE entries added to the environment
    std::string input;            // written to the program's standard input
    bool closestdin = false;      // start with descriptor 0 closed
    int stdoutfd = -1;            // standard output: this descriptor instead of a file
    long maxfds = 0;              // RLIMIT_NOFILE for the program, 0: unchanged
    std::chrono::milliseconds timeout{30000};
};

struct result {
    int status = -1; // exit status, or 128 + signal number
    std::string out; // everything written to standard output
    std::string err; // everything written to standard error
};

// Preloads a stand-in library into the program (through the emulator, when
// the programs run under one).
void preload(options &opt, const std::string &lib);

// Sets the program's real-time clock by `seconds` at each real instant `at`
// (a preloaded stand-in: the machine's clock stays as it is).
struct clockstep {
    std::timespec at;
    long seconds;
};
void stepclock(options &opt, const std::vector<clockstep> &steps);

// Runs a program to its end (killed after the time-out).
result run(const std::vector<std::string> &argv, const options &opt = {});

// A program running in the background; its output goes to files.
struct process {
    pid_t pid = -1;
    std::string outpath, errpath;
    std::chrono::milliseconds timeout{30000};
};
process start(const std::vector<std::string> &argv, const options &opt = {});
// Standard output written so far.
std::string output(const process &p);
// Sends a signal (0: none) and waits for the end (killed after the time-out).
result finish(process &p, int signal);

// Runs f in this process with its standard output (stdio's and descriptor 1)
// going to the descriptor `to`, and puts it back after.
void stdoutto(int to, const std::function<void()> &f);

// How many times `what` stands in `text` (overlapping ones counted).
std::size_t count(const std::string &text, const std::string &what);

// Polls cond every 10 ms until it holds or the time runs out.
bool waitfor(const std::function<bool()> &cond,
             std::chrono::milliseconds limit = std::chrono::seconds(30));

std::string readfile(const std::string &path);
void writefile(const std::string &path, const std::string &text);

// The event log, and the same with every time-stamp prefix replaced by "<T>",
// so that tests compare the rest byte for byte.
std::string logtext();
std::string maskprefixes(const std::string &text);

// A stand-in heating module: a UDP socket bound to port 15151 of a loopback
// address, with kernel receive time stamps.
int fakemodule(const std::string &address);
struct command {
    std::vector<unsigned char> bytes;
    struct timespec stamp; // when the kernel received it (SO_TIMESTAMPNS)
};
// Waits for the next datagram; false on time-out.
bool receive(int sock, command &c, std::chrono::milliseconds limit = std::chrono::seconds(15));
// Sends a status datagram from the module's socket to the daemon's port.
void sendstatus(int sock, const std::vector<unsigned char> &bytes);
// The same without waiting and without failing on a full queue (a flood is
// allowed to lose datagrams); false when the datagram was not sent.
bool sendquick(int sock, const std::vector<unsigned char> &bytes);

} // namespace harness

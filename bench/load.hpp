// The busy PC that bench_punctuality --load runs the daemon on, the machine's
// description, and cyclictest: what the machine's kernel allows a thread of
// the time sender's policy and rhythm.
#pragma once

#include "mereni.hpp"
#include "zkusebna.hpp"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace bench {

// One process per core that only computes, one that churns memory and, with
// a file, one that writes to it on disk, all at normal priority; they run
// until stopload.
std::vector<pid_t> startload(const std::string &file);
void stopload(const std::vector<pid_t> &load);

// The machine: kernel, pre-emption model (and where it was read), CPU.
std::string machine();

// Debian's rt-tests.
inline constexpr const char *cyclictest = "/usr/bin/cyclictest";

// cyclictest as the time sender runs: SCHED_FIFO 1, memory locked, one wake
// every 20 ms, its histogram to 100 ms; the machine's power management left
// as it is, as the daemon finds it. It runs until stoplimit, at most
// `seconds` and a minute.
harness::process startlimit(int seconds);
std::optional<rozlozeni> stoplimit(harness::process &p);

} // namespace bench

// Test support: what the tests share with the benchmarks (tools/zkusebna:
// the sandbox, the built programs, the stand-in modules), and what only the
// tests need.
#pragma once

#include "zkusebna.hpp"

#include <functional>
#include <string>

namespace harness {

// Makes the system refuse sockets to the program after its first `allowed`
// ones (a preloaded stand-in for socket()).
void refusesockets(options &opt, int allowed);

// Everything f writes to this process's standard output.
std::string stdoutof(const std::function<void()> &f);

} // namespace harness

// A private sandbox for the system's fixed paths and ports, shared by the tests
// and the fuzz targets: nothing here depends on a test framework.
#pragma once

#include <string>

namespace harness {

// Moves the calling thread into its own mount and network namespace: tmpfs
// over /var/log, /home, /srv and /run (empty: no /run/kamnar), loopback up
// (127.0.0.0/8 all local). Returns a new empty working directory inside that
// sandbox. Children started afterwards
// inherit it; the host's files and ports are never touched.
std::string sandbox();

} // namespace harness

// The daemon's state file /run/kamnar/kamnar.prom (rodiny.hpp): a snapshot
// of the module table and of the daemon's counters, written by the main
// thread. kamnarstav prints it for people; node_exporter's textfile
// collector serves it to Prometheus.
#pragma once

#include <string>

// The snapshot's text from the tables, the counters and the log's queue,
// family by family in the order of rodiny. Every field is read whole, but
// the snapshot may mix the values of two datagrams. `bezi` is false for the
// last snapshot, written when the daemon stops.
std::string vytvorstav(bool bezi = true);

// Writes the snapshot: a temporary file in /run/kamnar renamed over the file.
// Nothing when the directory does not exist. The first failure is logged,
// and so is the first success after failures; nothing else is, so a failure
// never floods the log. Used by the main thread alone.
void zapisstav(bool bezi = true);

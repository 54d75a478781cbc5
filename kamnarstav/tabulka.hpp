// kamnarstav's table of the modules for people, and its exit status.
#pragma once

#include "cteni.hpp"
#include "ctenistavu.hpp"
#include "slova.hpp"

#include <ctime>
#include <string>

// The table: a header and one line per module, then the daemon's line, and
// a line on the log when its disk does not answer or entries were lost. The
// times are shown in local time, the ages counted to `ted`.
std::string tabulka(const prehled &p, std::time_t ted);

// kamnarstav's exit status for a snapshot it could read: 0 when every module
// answers, 1 when one or more does not, 2 when the daemon has stopped.
int vysledek(const prehled &p);

// What kamnarstav prints of the snapshot s of the file at `cesta`, and its
// exit status: the table of a running or a stopped daemon; of a file not
// rewritten for long, or one that is not the daemon's whole file, only its
// line, and 2.
int vypis(const snimek &s, const char *cesta, std::string &text);

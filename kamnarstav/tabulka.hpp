// kamnarstav's table of the modules for people, and its exit status.
#pragma once

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

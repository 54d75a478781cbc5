// kamnarstav's table of the modules for people, and its exit status.
#pragma once

#include "ctenistavu.hpp"

#include <ctime>
#include <string>

// Local time as the table shows it: 07.12.2026 19:15:20.
std::string mistnicas(long long t);

// A module's cells in the table's words: its clock ("-", "souhlasi",
// "nesouhlasi") and its last reset cause ("-", the event log's words, or the
// number the words are not known for).
const char *texthodin(const prehledmodulu &m);
std::string textresetu(const prehledmodulu &m);

// The daemon's line of the table, without its line end.
std::string radekdemona(const prehled &p);

// The line on the log, without its line end, when its disk has not answered
// for a second or more or entries were lost; else empty.
std::string radeklogu(const prehled &p);

// The line on the PC's clock, without its line end: whether it is
// synchronised and its maximum error; empty when the file does not say.
std::string radekhodin(const prehled &p);

// The table: a header and one line per module, then the daemon's line, and
// a line on the log when its disk does not answer or entries were lost, and
// the line on the PC's clock. The
// times are shown in local time, the ages counted to `ted`.
std::string tabulka(const prehled &p, std::time_t ted);

// kamnarstav's exit status for a snapshot it could read: 0 when every module
// answers, 1 when one or more does not, 2 when the daemon has stopped.
int vysledek(const prehled &p);

// The state file's values in the words people read them in: kamnarstav's
// table and kamnarweb's page both show them so.
#pragma once

#include "ctenistavu.hpp"

#include <string>
#include <vector>

// Local time as the table shows it: 07.12.2026 19:15:20.
std::string mistnicas(long long t);

// A module's cells in the table's words: its clock ("-", "souhlasi",
// "nesouhlasi") and its last reset cause ("-", the event log's words, or the
// number the words are not known for).
const char *texthodin(const prehledmodulu &m);
std::string textresetu(const prehledmodulu &m);

// One cell of a module's row: its column's heading, its text in the table,
// its longer text on the page (empty: the same), its class on the page (""
// none) and its column's width in the table (negative: the text aligned
// left; 0: the last column, not padded).
struct bunka {
    const char *nadpis;
    std::string text;
    std::string naweb;
    const char *trida;
    int sirka;
};

// A module's row, its cells in the order of the columns, the ages counted
// to `ted`. The headings alone are those of any row, an empty module's too.
std::vector<bunka> radekmodulu(int cislo, const prehledmodulu &m, long long ted);

// The daemon's line of the table, without its line end.
std::string radekdemona(const prehled &p);

// The line on the log, without its line end, when its disk has not answered
// for a second or more or entries were lost; else empty.
std::string radeklogu(const prehled &p);

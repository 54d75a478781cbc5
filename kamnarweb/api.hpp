// kamnarweb's answers for scripts and monitors: /api/v1/stav, the state
// file's snapshot and the history as JSON (raw numbers, times as RFC 3339
// with their offset and as Unix seconds, null for what is not known), and
// /healthz, whether the daemon runs.
#pragma once

#include "cteni.hpp"
#include "historie.hpp"

#include <string>

// The JSON of /api/v1/stav: {"verze": 1, ...} as kamnarweb(8) shows it.
std::string apistav(const snimek &s, const historie &h, const char *cesta);

// /healthz: 200 and "ok" while the daemon runs and its file is fresh, else
// 503 and the line that says why (the page's).
struct zdravi {
    unsigned kod;
    std::string text;
};
zdravi posudzdravi(const snimek &s, const char *cesta);

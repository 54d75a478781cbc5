// The page at /: the table kamnarstav shows, a strip of the last 24 hours
// under each module, what is wrong when something is, and the daemon's line.
// Plain HTML with its style and inline SVG, made here on the server: no
// script, refreshed by the browser every 10 s. Everything the state file
// says reaches the page only as text, escaped.
#pragma once

#include "cteni.hpp"
#include "historie.hpp"

#include <cstddef>
#include <string>
#include <string_view>

// The most the page can grow to: a module's row and strip (the strip at
// most one rectangle per minute) for each of the hundred module numbers the
// file can name, and the rest.
inline constexpr std::size_t nejvetsistranka = 65536 + 100 * (4096 + minutdne * 64);

// A text for HTML, as element content and as an attribute value in double
// quotes: printable ASCII only (any other byte becomes '?'), at most `nejvic`
// characters of it, and & < > " ' as entities.
std::string html(std::string_view text, std::size_t nejvic = 64);

// A module's strip for the 24 hours that end with the minute `minuta`.
std::string pasek(const pasmodulu &pas, long long minuta);

// The page for the snapshot s and the history h; cesta names the file.
std::string stranka(const snimek &s, const historie &h, const char *cesta);

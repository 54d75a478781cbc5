// The pieces of JSON that kamnarmqtt's messages are built of: a string
// quoted and escaped, a time in RFC 3339 with its offset, a number or null.
// Whatever the state file holds, what these make is valid JSON.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The text as a JSON string, quotes included: '"', '\\' and every control
// character escaped, every byte outside ASCII written as U+FFFD (the texts
// it is given are the daemon's, which are ASCII).
std::string jsontext(std::string_view text);

// A Unix time in local time with its offset from UTC, "2026-12-09T05:02:03+01:00".
std::string rfc3339(long long cas);

// The value or null, as JSON.
std::string jsoncislo(const std::optional<long long> &cislo);
std::string jsonbool(const std::optional<bool> &hodnota);
std::string jsoncas(const std::optional<long long> &cas); // a quoted rfc3339() or null

// Pieces of JSON text for the programs that answer scripts: values appended
// to a text, an unknown one as null, never as 0 or "-". Pure: no I/O, the
// time zone only through localtime_r.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// A string in double quotes: printable ASCII as it is, " and \ escaped, any
// other byte below 0x20 (and DEL) as \u00XX, any byte above 0x7e as '?' (the
// text stays valid UTF-8 whatever it was given).
void jsontext(std::string &t, std::string_view text);
std::string jsontext(std::string_view text); // the same, as a value

// A time as RFC 3339 in local time with its offset from UTC,
// "2026-12-09T05:12:00+01:00".
std::string rfc3339(long long unixcas);

// Values, or null when empty. A time outside RFC 3339's four-digit years
// (before 1970 or after 9999 in any zone) is null too.
void jsoncas(std::string &t, const std::optional<long long> &unixcas);
void jsoncele(std::string &t, const std::optional<long long> &n);
void jsoncislo(std::string &t, const std::optional<double> &x); // shortest exact form
void jsonano(std::string &t, const std::optional<bool> &b);

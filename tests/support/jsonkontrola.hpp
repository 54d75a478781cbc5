// Test support: whether a text is one JSON value (RFC 8259), strictly: no
// trailing commas, no control characters in strings, valid escapes and
// UTF-8 only in ASCII (what kamnarmqtt writes). For the tests and the fuzz
// targets; no test framework.
#pragma once

#include <string_view>

bool platnyjson(std::string_view text);

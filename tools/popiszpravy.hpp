// How the simulated device server reads a command message: a description
// of what the device would do with it, or of what is wrong with it. Any
// bytes at all are accepted and described; nothing is trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// One or more lines, each ending in a newline, printable ASCII only.
std::string popiszpravu(std::span<const std::uint8_t> z);

// The bytes in hexadecimal, separated by blanks; at most limit bytes are
// shown, and "..." marks the rest.
std::string hexvypis(std::span<const std::uint8_t> z, std::size_t limit);

// A text field quoted for the console: printable ASCII as is, every other
// byte (and the quote and the backslash) escaped as \xHH.
std::string uvozovky(std::span<const std::uint8_t> text);

// printf-formatted text appended to a std::string, however long: the one
// formatter of the daemon's texts, casy's lines and the benchmarks' figures.
#pragma once

#include <cstdarg>
#include <string>

void pripisf(std::string &text, const char *format, ...) __attribute__((format(printf, 2, 3)));
void vpripisf(std::string &text, const char *format, va_list args)
    __attribute__((format(printf, 2, 0)));

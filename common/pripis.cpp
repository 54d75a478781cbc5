#include "pripis.hpp"

#include <cstdio>

void vpripisf(std::string &text, const char *format, va_list args) {
    char kratky[256]; // most texts: formatted once
    va_list kopie;
    va_copy(kopie, args);
    int n = std::vsnprintf(kratky, sizeof kratky, format, kopie);
    va_end(kopie);
    if (n <= 0)
        return;
    if (n < static_cast<int>(sizeof kratky)) {
        text.append(kratky, static_cast<std::size_t>(n));
        return;
    }
    std::size_t zacatek = text.size();
    text.resize(zacatek + static_cast<std::size_t>(n) + 1);
    std::vsnprintf(text.data() + zacatek, static_cast<std::size_t>(n) + 1, format, args);
    text.pop_back();
}

void pripisf(std::string &text, const char *format, ...) {
    va_list args;
    va_start(args, format);
    vpripisf(text, format, args);
    va_end(args);
}

#include "textcasu.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

__attribute__((format(printf, 2, 3))) void pridej(std::string &text, const char *format, ...) {
    char radek[128];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(radek, sizeof radek, format, args);
    va_end(args);
    if (n > 0)
        text.append(radek, std::min(static_cast<std::size_t>(n), sizeof radek - 1));
}

std::tm mistni(std::time_t kdy) {
    std::tm t{};
    localtime_r(&kdy, &t);
    return t;
}

} // namespace

std::string textcasu(std::time_t ted) {
    std::string text;
    // Each line ends with a blank, a newline and one more blank: the second
    // line starts with a blank and so does what follows the last newline.
    std::tm t = mistni(ted);
    pridej(text, "CAs je %02d:%02d   letni %d \n ", t.tm_hour, t.tm_min, t.tm_isdst);
    t = mistni(ted - predtremidny);
    pridej(text, "Porduhe CAs je %02d:%02d   letni %d \n ", t.tm_hour, t.tm_min, t.tm_isdst);
    return text;
}

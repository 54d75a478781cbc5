#include "textcasu.hpp"

#include "pripis.hpp"

namespace {

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
    // "CAs" and "Porduhe" are casy's own spellings, kept byte for byte.
    std::tm t = mistni(ted);
    pripisf(text, "CAs je %02d:%02d   letni %d \n ", t.tm_hour, t.tm_min, t.tm_isdst);
    t = mistni(ted - predtremidny);
    pripisf(text, "Porduhe CAs je %02d:%02d   letni %d \n ", t.tm_hour, t.tm_min, t.tm_isdst);
    return text;
}

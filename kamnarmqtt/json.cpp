#include "json.hpp"

#include "pripis.hpp"

#include <cstdlib>
#include <ctime>

std::string jsontext(std::string_view text) {
    std::string j = "\"";
    for (char z : text) {
        auto b = static_cast<unsigned char>(z);
        if (z == '"' || z == '\\') {
            j += '\\';
            j += z;
        } else if (b < 0x20 || b == 0x7f) {
            pripisf(j, "\\u%04x", b);
        } else if (b > 0x7f) {
            j += "\\ufffd";
        } else {
            j += z;
        }
    }
    return j + "\"";
}

std::string rfc3339(long long cas) {
    auto t = static_cast<std::time_t>(cas);
    std::tm m{};
    std::string text;
    if (!localtime_r(&t, &m))
        return "1970-01-01T00:00:00Z";
    long posun = m.tm_gmtoff / 60;
    pripisf(text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", m.tm_year + 1900, m.tm_mon + 1,
            m.tm_mday, m.tm_hour, m.tm_min, m.tm_sec, posun < 0 ? '-' : '+', std::labs(posun) / 60,
            std::labs(posun) % 60);
    return text;
}

std::string jsoncislo(const std::optional<long long> &cislo) {
    return cislo ? std::to_string(*cislo) : "null";
}

std::string jsonbool(const std::optional<bool> &hodnota) {
    return hodnota ? (*hodnota ? "true" : "false") : "null";
}

std::string jsoncas(const std::optional<long long> &cas) {
    // RFC 3339 has four-digit years: a time outside them is no time.
    if (!cas || *cas < 0 || *cas > 253402210799LL)
        return "null";
    return jsontext(rfc3339(*cas));
}

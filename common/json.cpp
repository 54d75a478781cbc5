#include "json.hpp"

#include "pripis.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

void jsontext(std::string &t, std::string_view text) {
    t += '"';
    for (char z : text) {
        auto b = static_cast<unsigned char>(z);
        if (z == '"' || z == '\\') {
            t += '\\';
            t += z;
        } else if (b < 0x20 || b == 0x7f) {
            pripisf(t, "\\u%04x", b);
        } else {
            t += b > 0x7e ? '?' : z;
        }
    }
    t += '"';
}

std::string jsontext(std::string_view text) {
    std::string t;
    jsontext(t, text);
    return t;
}

std::string rfc3339(long long unixcas) {
    std::time_t tt = static_cast<std::time_t>(unixcas);
    std::tm m{};
    localtime_r(&tt, &m);
    long posun = m.tm_gmtoff / 60;
    std::string t;
    pripisf(t, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", m.tm_year + 1900, m.tm_mon + 1,
            m.tm_mday, m.tm_hour, m.tm_min, m.tm_sec, posun < 0 ? '-' : '+', std::labs(posun) / 60,
            std::labs(posun) % 60);
    return t;
}

void jsoncas(std::string &t, const std::optional<long long> &unixcas) {
    // 9999-12-31T23:59:59 UTC less 25 hours: the last time with four digits
    // of year in every zone.
    if (unixcas && *unixcas >= 0 && *unixcas <= 253402210799LL)
        jsontext(t, rfc3339(*unixcas));
    else
        t += "null";
}

void jsoncele(std::string &t, const std::optional<long long> &n) {
    if (n)
        pripisf(t, "%lld", *n);
    else
        t += "null";
}

void jsoncislo(std::string &t, const std::optional<double> &x) {
    // JSON has no NaN or infinity.
    if (!x || !std::isfinite(*x)) {
        t += "null";
        return;
    }
    // The fewest digits that read back as the same number.
    char text[32];
    for (int presnost = 1; presnost <= 17; ++presnost) {
        std::snprintf(text, sizeof text, "%.*g", presnost, *x);
        if (std::strtod(text, nullptr) == *x)
            break;
    }
    t += text;
}

void jsonano(std::string &t, const std::optional<bool> &b) {
    t += !b ? "null" : *b ? "true" : "false";
}

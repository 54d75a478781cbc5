#include "datagram.hpp"

#include <cstdio>

namespace {

std::uint16_t ctidva(const std::array<std::uint8_t, 14> &b, std::size_t i) {
    return static_cast<std::uint16_t>(b[i] | b[i + 1] << 8);
}

void zapisdva(std::array<std::uint8_t, 14> &b, std::size_t i, std::uint16_t v) {
    b[i] = static_cast<std::uint8_t>(v);
    b[i + 1] = static_cast<std::uint8_t>(v >> 8);
}

} // namespace

std::array<std::uint8_t, 6> sestavprikaz(std::uint8_t kod, std::time_t cas) {
    auto c = static_cast<std::uint32_t>(cas); // the low 32 bits
    return {kod,
            0,
            static_cast<std::uint8_t>(c),
            static_cast<std::uint8_t>(c >> 8),
            static_cast<std::uint8_t>(c >> 16),
            static_cast<std::uint8_t>(c >> 24)};
}

stavmodulu ctistav(std::span<const std::uint8_t> data) {
    std::array<std::uint8_t, 14> b{};
    for (std::size_t i = 0; i < b.size() && i < data.size(); ++i)
        b[i] = data[i];
    stavmodulu s{};
    s.typ = b[0];
    s.status = b[1];
    s.cosestalo = b[2];
    s.navrat = ctidva(b, 3);
    s.stavtrap = ctidva(b, 5);
    s.casmodulu = static_cast<std::uint32_t>(b[8] | b[9] << 8 | b[10] << 16) |
                  static_cast<std::uint32_t>(b[11]) << 24;
    s.hodnota = ctidva(b, 12);
    return s;
}

std::array<std::uint8_t, 14> sestavstav(const stavmodulu &s) {
    std::array<std::uint8_t, 14> b{};
    b[0] = s.typ;
    b[1] = s.status;
    b[2] = s.cosestalo;
    zapisdva(b, 3, s.navrat);
    zapisdva(b, 5, s.stavtrap);
    for (std::size_t i = 0; i < 4; ++i)
        b[8 + i] = static_cast<std::uint8_t>(s.casmodulu >> (8 * i));
    zapisdva(b, 12, s.hodnota);
    return b;
}

std::string textcosestalo(int modul, const stavmodulu &s, const std::tm &cas) {
    char text[256];
    int h = cas.tm_hour, mi = cas.tm_min, se = cas.tm_sec;
    int d = cas.tm_mday, mo = cas.tm_mon + 1, r = cas.tm_year + 1900;
    switch (s.cosestalo) {
    case 0:
        std::snprintf(text, sizeof text,
                      "Modul %02d - prisla nesmyslna hodnota cosestalo[0] = 0 \n", modul);
        break;
    case 1:
        std::snprintf(text, sizeof text, "Modul %02d - PowerUp Reset ****** \n", modul);
        break;
    case 2:
        std::snprintf(text, sizeof text,
                      "Modul %02d - BOR reset - pokles napajeni - jeho posledni cas  "
                      "%02d:%02d:%02d %02d.%02d.%04d \n",
                      modul, h, mi, se, d, mo, r);
        break;
    case 3:
        std::snprintf(
            text, sizeof text,
            "Modul %02d - SOFTE Reset - jeho posledni cas  %02d:%02d:%02d %02d.%02d.%04d \n", modul,
            h, mi, se, d, mo, r);
        break;
    case 4:
        std::snprintf(
            text, sizeof text,
            "Modul %02d - WDT Reset - jeho posledni cas  %02d:%02d:%02d %02d.%02d.%04d \n", modul,
            h, mi, se, d, mo, r);
        break;
    case 5:
        std::snprintf(text, sizeof text,
                      "Modul %02d - Nejaky jiny RESET - jeho posledni cas  "
                      "%02d:%02d:%02d %02d.%02d.%04d \n",
                      modul, h, mi, se, d, mo, r);
        break;
    case 129:
        std::snprintf(text, sizeof text,
                      "Modul %02d - AddressErrorTrap  - jeho posledni cas  "
                      "%02d:%02d:%02d %02d.%02d.%04d  navratova adresa 0x%04x status 0x%04x \n",
                      modul, h, mi, se, d, mo, r, s.navrat, s.stavtrap);
        break;
    case 130:
        std::snprintf(text, sizeof text,
                      "Modul %02d - StackErrorTrap - jeho posledni cas  "
                      "%02d:%02d:%02d %02d.%02d.%04d  navratova adresa 0x%04x status 0x%04x  \n",
                      modul, h, mi, se, d, mo, r, s.navrat, s.stavtrap);
        break;
    default:
        return {};
    }
    return text;
}

const char *slovacosestalo(int pricina) {
    switch (pricina) {
    case 0:
        return "nesmyslna hodnota";
    case 1:
        return "PowerUp Reset";
    case 2:
        return "BOR reset";
    case 3:
        return "SOFTE Reset";
    case 4:
        return "WDT Reset";
    case 5:
        return "Nejaky jiny RESET";
    case 129:
        return "AddressErrorTrap";
    case 130:
        return "StackErrorTrap";
    default:
        return nullptr;
    }
}

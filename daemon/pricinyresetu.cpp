#include "pricinyresetu.hpp"

#include <cstdio>

namespace {

// The causes 2 to 5, whose entries name the module's last time.
constexpr const char *resetscasem[] = {"BOR reset - pokles napajeni", "SOFTE Reset", "WDT Reset",
                                       "Nejaky jiny RESET"};

} // namespace

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
    case 3:
    case 4:
    case 5:
        std::snprintf(text, sizeof text,
                      "Modul %02d - %s - jeho posledni cas  %02d:%02d:%02d %02d.%02d.%04d \n",
                      modul, resetscasem[s.cosestalo - 2], h, mi, se, d, mo, r);
        break;
    case 129: // the two blanks before the dash are the system's own text
        std::snprintf(text, sizeof text,
                      "Modul %02d - AddressErrorTrap  - jeho posledni cas  "
                      "%02d:%02d:%02d %02d.%02d.%04d  navratova adresa 0x%04x status 0x%04x \n",
                      modul, h, mi, se, d, mo, r, s.navrat, s.stavtrap);
        break;
    case 130: // so are the two blanks before the line end
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

#include "pricinyresetu.hpp"

#include "pripis.hpp"

namespace {

constexpr pricinaresetu pricinyresetu[] = {
    {0, "nesmyslna hodnota", "nesmyslna hodnota", nullptr},
    {1, "PowerUp Reset", "PowerUp", nullptr},
    {2, "BOR reset", "BOR", "BOR reset - pokles napajeni"},
    {3, "SOFTE Reset", "SOFTE", "SOFTE Reset"},
    {4, "WDT Reset", "WDT", "WDT Reset"},
    {5, "Nejaky jiny RESET", "jiny", "Nejaky jiny RESET"},
    {129, "AddressErrorTrap", "AddressErrorTrap", nullptr},
    {130, "StackErrorTrap", "StackErrorTrap", nullptr},
};

const pricinaresetu *najdi(int kod) {
    for (const pricinaresetu &p : pricinyresetu)
        if (p.kod == kod)
            return &p;
    return nullptr;
}

} // namespace

std::string textcosestalo(int modul, int pricina, unsigned navrat, unsigned stavtrap,
                          const std::tm &cas) {
    const pricinaresetu *p = najdi(pricina);
    if (!p)
        return {};
    std::string text;
    int h = cas.tm_hour, mi = cas.tm_min, se = cas.tm_sec;
    int d = cas.tm_mday, mo = cas.tm_mon + 1, r = cas.tm_year + 1900;
    if (p->vlogu)
        pripisf(text, "Modul %02d - %s - jeho posledni cas  %02d:%02d:%02d %02d.%02d.%04d \n",
                modul, p->vlogu, h, mi, se, d, mo, r);
    else if (pricina == 0)
        pripisf(text, "Modul %02d - prisla nesmyslna hodnota cosestalo[0] = 0 \n", modul);
    else if (pricina == 1)
        pripisf(text, "Modul %02d - PowerUp Reset ****** \n", modul);
    else if (pricina == 129) // the two blanks before the dash are the system's own text
        pripisf(
            text,
            "Modul %02d - AddressErrorTrap  - jeho posledni cas  %02d:%02d:%02d %02d.%02d.%04d  "
            "navratova adresa 0x%04x status 0x%04x \n",
            modul, h, mi, se, d, mo, r, navrat, stavtrap);
    else // 130; so are the two blanks before the line end
        pripisf(text,
                "Modul %02d - StackErrorTrap - jeho posledni cas  %02d:%02d:%02d %02d.%02d.%04d  "
                "navratova adresa 0x%04x status 0x%04x  \n",
                modul, h, mi, se, d, mo, r, navrat, stavtrap);
    return text;
}

const char *slovacosestalo(int pricina) {
    const pricinaresetu *p = najdi(pricina);
    return p ? p->slova : nullptr;
}

std::string legendaresetu() {
    std::string text;
    for (const pricinaresetu &p : pricinyresetu)
        pripisf(text, "%s%d %s", text.empty() ? "" : ", ", p.kod, p.zkratka);
    return text;
}

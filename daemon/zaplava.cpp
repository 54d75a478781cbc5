#include "zaplava.hpp"

#include "hodiny.hpp"
#include "log.hpp"
#include "tables.hpp"

#include <algorithm>
#include <array>
#include <ctime>

namespace {

// The budgets of the modules by their numbers, the strangers' last.
constexpr std::size_t budgetcizich = pocetslotu;
std::array<std::int64_t, pocetslotu + 1> budgety{};

// What the next summary reports; the receive thread's alone.
unsigned long vynechanomodulu = 0, vynechanocizich = 0;
std::int64_t prvnivynechany = 0; // when the first of them was left out
std::array<std::uint64_t, 4096> adresycizich{};
std::size_t pocetadres = 0;
bool adresprilis = false; // a stranger found the table full

bool rozhodni(std::size_t budget, std::int64_t cas) {
    propustka p = propust(budgety[budget], cas);
    budgety[budget] = p.plnyod;
    if (!p.zapsat && vynechanomodulu == 0 && vynechanocizich == 0)
        prvnivynechany = cas;
    return p.zapsat;
}

// Starts the next summary.
void nulujsouhrn() {
    vynechanomodulu = vynechanocizich = 0;
    if (pocetadres > 0)
        adresycizich.fill(0);
    pocetadres = 0;
    adresprilis = false;
}

} // namespace

propustka propust(std::int64_t plnyod, std::int64_t ted) {
    // The budget is full from `plnyod` on; every entry written moves that
    // instant one step later, and an entry is refused while it stands more
    // than the steps of a full budget ahead.
    std::int64_t od = std::max(plnyod, ted);
    if (od - ted > (zasobazaznamu - 1) * rozestupzaznamu)
        return {false, plnyod};
    return {true, od + rozestupzaznamu};
}

bool pridejadresu(std::span<std::uint64_t> tabulka, std::size_t &pocet, std::uint32_t adresa) {
    const std::uint64_t klic = std::uint64_t{adresa} + 1;
    std::size_t i = (adresa * 2654435761u) % tabulka.size();
    for (;; i = (i + 1) % tabulka.size()) {
        if (tabulka[i] == klic)
            return true;
        if (tabulka[i] == 0)
            break;
    }
    if (pocet >= tabulka.size() / 4 * 3)
        return false;
    tabulka[i] = klic;
    ++pocet;
    return true;
}

bool zapismodulu(int modul) {
    if (modul < 0 || modul >= pocetslotu ||
        rozhodni(static_cast<std::size_t>(modul), monotonnims()))
        return true;
    ++vynechanomodulu;
    ++demon.vynechano;
    return false;
}

bool zapiscizi(std::uint32_t adresa) {
    if (rozhodni(budgetcizich, monotonnims()))
        return true;
    ++vynechanocizich;
    ++demon.vynechano;
    if (!pridejadresu(adresycizich, pocetadres, adresa))
        adresprilis = true;
    return false;
}

void shrnzaplavu(bool konec) {
    if (vynechanomodulu == 0 && vynechanocizich == 0)
        return;
    if (!konec && monotonnims() - prvnivynechany < oknoshrnuti)
        return;
    zapisdologuf(true,
                 "prijemUDP - prilis mnoho paketu - do logu nezapsano %lu zaznamu o modulech a %lu "
                 "o paketech z %s%zu adres, ktere nejsou v konfiguracnim file !!! \n",
                 vynechanomodulu, vynechanocizich, adresprilis ? "vice nez " : "", pocetadres);
    nulujsouhrn();
}

void nulujzaplavu() {
    budgety.fill(0);
    nulujsouhrn();
}

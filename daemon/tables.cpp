#include "tables.hpp"

#include <cstring>

std::array<modul, pocetslotu> polemod;
int konpolemod = 0;
std::array<kalendar, pocetslotu> polekal;
int konkal = 0;

void inicializujtabulky() {
    for (modul &m : polemod) {
        m.adresa = zadnaadresa;
        for (auto &t : m.tmr1)
            t = 0;
        m.odpocet = 5;
        m.hlidac = 10;
        m.defpr1 = 0;
        m.defpr1prislo = false;
        m.poslednipaket = 0;
        m.souhlasi = -1;
        m.pricina = -1;
        m.casresetu = 0;
        m.odeslano = 0;
        m.chybodeslani = 0;
    }
    for (kalendar &k : polekal) {
        k.cesta[0] = '\0';
        k.cislo = -1;
        k.adresa = zadnaadresa;
    }
    konpolemod = 0;
    konkal = 0;
}

void pridejkalendar(const char *cesta, int cislo, std::uint32_t adresa) {
    kalendar &k = polekal.at(static_cast<std::size_t>(konkal));
    std::size_t delka = std::strlen(cesta);
    if (delka >= sizeof k.cesta)
        return; // the reader refuses such a path before it gets here
    std::memcpy(k.cesta, cesta, delka + 1);
    k.cislo = cislo;
    k.adresa = adresa;
    ++konkal;
}

void pridejmodul(std::uint32_t adresa) {
    if (najdimodul(adresa) >= 0 || konpolemod >= pocetslotu)
        return;
    polemod[static_cast<std::size_t>(konpolemod)].adresa = adresa;
    ++konpolemod;
}

int najdimodul(std::uint32_t adresa) {
    for (int i = 0; i < konpolemod; ++i)
        if (polemod[static_cast<std::size_t>(i)].adresa == adresa)
            return i;
    return -1;
}

int casovyprikaz(int slot) {
    return polemod.at(static_cast<std::size_t>(slot)).defpr1 == 0 ? 8 : 2;
}

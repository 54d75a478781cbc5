#include "tables.hpp"

#include "hlidac.hpp"
#include "pricinyresetu.hpp"

#include <cstring>

std::array<modul, pocetslotu> polemod;
pocitadla demon;
int konpolemod = 0;
std::array<kalendar, pocetslotu> polekal;
int konkal = 0;

void inicializujtabulky() {
    for (modul &m : polemod) {
        m.adresa = zadnaadresa;
        for (auto &t : m.tmr1)
            t = 0;
        m.odpocet = 5;
        m.hlidac = plnyhlidac;
        m.defpr1 = -1;
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

std::uint8_t casovyprikaz(int slot) {
    return polemod.at(static_cast<std::size_t>(slot)).defpr1 <= 0 ? prikazcasdefpr1 : prikazcas;
}

zpravamodulu zapispaket(modul &m, const stavmodulu &s, std::time_t ted) {
    zpravamodulu z{};
    if (nesetmr1(s.typ)) {
        for (std::size_t i = 0; i + 1 < m.tmr1.size(); ++i)
            m.tmr1[i] = m.tmr1[i + 1].load();
        m.tmr1[4] = s.hodnota;
        if (m.odpocet > 0)
            --m.odpocet;
        z.historie = m.odpocet == 0;
    } else if (s.typ == typdefpr1) {
        m.defpr1 = s.hodnota;
        z.defpr1 = true;
    }
    z.odpovidaznovu = m.hlidac.exchange(plnyhlidac) == 0;
    m.poslednipaket = ted;
    m.souhlasi = (s.status & bitsouhlasi) ? 1 : 0;
    if (slovacosestalo(s.cosestalo)) {
        m.casresetu = s.casmodulu; // before the cause: with the cause, its time is there
        m.pricina = s.cosestalo;
    }
    return z;
}

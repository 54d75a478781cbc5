#include "rodiny.hpp"

#include "pricinyresetu.hpp"

constexpr std::array<popisrodiny, pocetrodin> rodiny{{
    {rodina::bezi, "kamnar_bezi", "gauge",
     "1 dokud kamnar bezi, 0 ve stavu zapsanem, kdyz skoncil"},
    {rodina::start, "kamnar_start_timestamp_seconds", "gauge",
     "Cas spusteni kamnaru (Unixovy cas)"},
    {rodina::odmodulu, "kamnar_pakety_od_modulu_total", "counter",
     "Pakety prijate od modulu z konfigurace"},
    {rodina::odcizich, "kamnar_pakety_od_cizich_total", "counter",
     "Pakety prijate z adres, ktere nejsou v konfiguracnim file"},
    {rodina::zpozdeni, "kamnar_cyklus_zpozdeni_seconds", "gauge",
     "O kolik pozdeji nez v x0.5 s zacal posledni cyklus posilani casu"},
    {rodina::vynechano, "kamnar_log_vynechano_total", "counter",
     "Zaznamy, ktere pri zaplave paketu nebyly zapsany do logu"},
    {rodina::cekajici, "kamnar_log_cekajici", "gauge", "Zaznamy, ktere cekaji na zapis do logu"},
    {rodina::nezapsano, "kamnar_log_nezapsano_seconds", "gauge",
     "Jak dlouho ceka nejstarsi nezapsany zaznam logu, 0 kdyz zadny neceka"},
    {rodina::ztraceno, "kamnar_log_ztraceno_total", "counter",
     "Zaznamy ztracene, protoze disk s logem neodpovidal a fronta v pameti byla plna"},
    {rodina::hodinysync, "kamnar_hodiny_pc_synchronizovany", "gauge",
     "1 kdyz jsou hodiny PC synchronizovany (jadro nehlasi STA_UNSYNC a maxerror je pod 16 s), "
     "jinak 0"},
    {rodina::maxerror, "kamnar_hodiny_pc_maxerror_seconds", "gauge",
     "Nejvetsi mozna chyba hodin PC podle jadra (maxerror z adjtimex)"},
    {rodina::chybazapisu, "kamnar_log_chyba_zapisu", "gauge",
     "Cislo chyby, se kterou system naposledy odmitl zapis do logu, 0 kdyz se zaznamy zapisuji"},
    {rodina::odpovida, "kamnar_modul_odpovida", "gauge",
     "1 kdyz modul odpovida (hlidac nad nulou), 0 kdyz byl hlasen, ze neodpovida"},
    {rodina::hlidac, "kamnar_modul_hlidac", "gauge",
     "Hlidac odpovedi modulu v periodach 10 s: 10 po kazdem jeho paketu, 0 neodpovida"},
    {rodina::tmr1, "kamnar_modul_tmr1", "gauge",
     "Posledni hodnoty TMR1 modulu, stari 0 je nejnovejsi"},
    {rodina::defpr1, "kamnar_modul_defpr1", "gauge",
     "Posledni hodnota DEFPR1, kterou modul poslal"},
    {rodina::souhlasi, "kamnar_modul_cas_souhlasi", "gauge",
     "1 kdyz cas modulu souhlasi s PC podle jeho posledniho paketu, jinak 0"},
    {rodina::poslednipaket, "kamnar_modul_posledni_paket_timestamp_seconds", "gauge",
     "Cas posledniho paketu od modulu (Unixovy cas)"},
    {rodina::pricina, "kamnar_modul_reset_pricina", "gauge",
     "Posledni hlasena pricina resetu modulu: "},
    {rodina::casresetu, "kamnar_modul_reset_cas_modulu_timestamp_seconds", "gauge",
     "Posledni cas modulu pred hlasenym resetem (Unixovy cas)"},
    {rodina::prikazy, "kamnar_modul_prikazy_total", "counter", "Odeslane prikazy casu"},
    {rodina::chybyodeslani, "kamnar_modul_chyby_odeslani_total", "counter",
     "Prikazy casu, ktere se nepodarilo odeslat"},
}};

namespace {

// Each family has its row, in the order of the enumeration.
constexpr bool vporadi() {
    for (std::size_t i = 0; i < rodiny.size(); ++i)
        if (static_cast<std::size_t>(rodiny[i].r) != i || !rodiny[i].jmeno)
            return false;
    return true;
}
static_assert(vporadi());

} // namespace

bool modulova(rodina r) {
    return r >= rodina::odpovida;
}

const popisrodiny *najdirodinu(std::string_view jmeno) {
    for (const popisrodiny &p : rodiny)
        if (jmeno == p.jmeno)
            return &p;
    return nullptr;
}

std::string napovedarodiny(const popisrodiny &p) {
    std::string text = p.napoveda;
    if (p.r == rodina::pricina)
        text += legendaresetu();
    return text;
}

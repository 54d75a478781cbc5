#include "prehled.hpp"

#include "pricinyresetu.hpp"
#include "pripis.hpp"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// The value of label `jmeno` in a label text such as modul="1",adresa="..."
// (the daemon writes no escaped quotes), or nothing.
std::optional<std::string> stitek(const std::string &stitky, const std::string &jmeno) {
    std::string hledam = jmeno + "=\"";
    for (std::size_t i = stitky.find(hledam); i != std::string::npos;
         i = stitky.find(hledam, i + 1)) {
        if (i != 0 && stitky[i - 1] != ',')
            continue;
        std::size_t od = i + hledam.size(), konec = stitky.find('"', od);
        if (konec == std::string::npos)
            return std::nullopt;
        return stitky.substr(od, konec - od);
    }
    return std::nullopt;
}

std::optional<int> cislomodulu(const std::string &stitky) {
    std::optional<std::string> m = stitek(stitky, "modul");
    if (!m || m->empty() || m->size() > 2 ||
        m->find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::atoi(m->c_str());
}

std::string cislo(const std::optional<long long> &n) {
    return n ? std::to_string(*n) : "-";
}

} // namespace

std::string mistnicas(long long t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm m{};
    localtime_r(&tt, &m);
    std::string text;
    pripisf(text, "%02d.%02d.%04d %02d:%02d:%02d", m.tm_mday, m.tm_mon + 1, m.tm_year + 1900,
            m.tm_hour, m.tm_min, m.tm_sec);
    return text;
}

const char *texthodin(const prehledmodulu &m) {
    return !m.souhlasi ? "-" : *m.souhlasi ? "souhlasi" : "nesouhlasi";
}

std::string textresetu(const prehledmodulu &m) {
    const char *reset = m.pricina ? slovacosestalo(*m.pricina) : nullptr;
    return reset ? reset : m.pricina ? std::to_string(*m.pricina) : "-";
}

std::string radekdemona(const prehled &p) {
    std::string text, zpozdeni;
    if (p.zpozdeni)
        pripisf(zpozdeni, "%.3f ms", *p.zpozdeni * 1000);
    pripisf(text, "%s %s, paketu od modulu %lld, z cizich adres %lld, zpozdeni cyklu %s",
            p.bezi ? "kamnar bezi od" : "kamnar skoncil, bezel od",
            p.start ? mistnicas(*p.start).c_str() : "-", p.odmodulu, p.odcizich,
            p.zpozdeni ? zpozdeni.c_str() : "-");
    return text;
}

prehled ctiprehled(const std::string &text) {
    prehled p;
    std::istringstream radky(text);
    for (std::string radek; std::getline(radky, radek);) {
        if (radek.empty() || radek[0] == '#')
            continue;
        std::size_t mezera = radek.rfind(' ');
        if (mezera == std::string::npos)
            continue;
        std::string jmeno = radek.substr(0, mezera), stitky;
        if (std::size_t z = jmeno.find('{'); z != std::string::npos) {
            if (jmeno.back() != '}')
                continue;
            stitky = jmeno.substr(z + 1, jmeno.size() - z - 2);
            jmeno.resize(z);
        }
        char *konec = nullptr;
        double hodnota = std::strtod(radek.c_str() + mezera + 1, &konec);
        // Not a number, or none the daemon writes (NaN, infinities and
        // values that would overflow a count of seconds).
        if (konec == radek.c_str() + mezera + 1 || !(std::fabs(hodnota) < 1e15))
            continue;
        auto cele = static_cast<long long>(hodnota);

        if (jmeno == "kamnar_bezi") {
            p.bezi = cele != 0;
            p.hlasibeh = true;
        } else if (jmeno == "kamnar_start_timestamp_seconds")
            p.start = cele;
        else if (jmeno == "kamnar_pakety_od_modulu_total")
            p.odmodulu = cele;
        else if (jmeno == "kamnar_pakety_od_cizich_total")
            p.odcizich = cele;
        else if (jmeno == "kamnar_cyklus_zpozdeni_seconds")
            p.zpozdeni = hodnota;
        if (jmeno.rfind("kamnar_modul_", 0) != 0)
            continue;
        std::optional<int> c = cislomodulu(stitky);
        if (!c)
            continue;
        prehledmodulu &m = p.moduly[*c];
        if (std::optional<std::string> a = stitek(stitky, "adresa"))
            m.adresa = *a;
        if (jmeno == "kamnar_modul_odpovida")
            m.odpovida = cele != 0;
        else if (jmeno == "kamnar_modul_tmr1" && stitek(stitky, "stari") == "0")
            m.tmr1 = cele;
        else if (jmeno == "kamnar_modul_defpr1")
            m.defpr1 = cele;
        else if (jmeno == "kamnar_modul_cas_souhlasi")
            m.souhlasi = cele != 0;
        else if (jmeno == "kamnar_modul_posledni_paket_timestamp_seconds")
            m.poslednipaket = cele;
        else if (jmeno == "kamnar_modul_reset_pricina")
            m.pricina = static_cast<int>(cele);
        else if (jmeno == "kamnar_modul_reset_cas_modulu_timestamp_seconds")
            m.casresetu = cele;
        else if (jmeno == "kamnar_modul_hlidac")
            m.hlidac = static_cast<int>(cele);
    }
    return p;
}

std::string tabulka(const prehled &p, std::time_t ted) {
    std::string text;
    if (p.moduly.empty())
        text += "v konfiguraci neni zadny modul\n";
    else
        text += "modul  adresa           odpovida  posledni paket  TMR1   DEFPR1  cas modulu  "
                "posledni reset\n";
    for (const auto &[c, m] : p.moduly) {
        std::string paket = "nikdy";
        if (m.poslednipaket)
            paket = "pred " + std::to_string(std::max(0LL, ted - *m.poslednipaket)) + " s";
        pripisf(text, "   %02d  %-15s  %-8s  %-14s  %5s  %6s  %-10s  %s\n", c, m.adresa.c_str(),
                m.odpovida ? "ano" : "NE", paket.c_str(), cislo(m.tmr1).c_str(),
                cislo(m.defpr1).c_str(), texthodin(m), textresetu(m).c_str());
    }
    return text + radekdemona(p) + "\n";
}

int vysledek(const prehled &p) {
    if (!p.bezi)
        return 2;
    for (const auto &[c, m] : p.moduly)
        if (!m.odpovida)
            return 1;
    return 0;
}

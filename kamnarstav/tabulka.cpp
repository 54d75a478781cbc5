#include "tabulka.hpp"

#include "pricinyresetu.hpp"
#include "pripis.hpp"

#include <algorithm>

namespace {

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

std::string radeklogu(const prehled &p) {
    std::string text;
    if (p.lognezapsano >= 1 || p.logztraceno > 0 || p.logchyba != 0)
        pripisf(text, "log se nezapisuje %.0f s, ceka %lld zaznamu, ztraceno %lld zaznamu",
                p.lognezapsano, p.logceka, p.logztraceno);
    if (p.logchyba != 0)
        pripisf(text, ", system odmita zapis - chyba cislo %lld", p.logchyba);
    return text;
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
    text += radekdemona(p) + "\n";
    if (std::string log = radeklogu(p); !log.empty())
        text += log + "\n";
    return text;
}

int vysledek(const prehled &p) {
    if (!p.bezi)
        return 2;
    for (const auto &[c, m] : p.moduly)
        if (!m.odpovida)
            return 1;
    return 0;
}

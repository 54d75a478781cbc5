#include "slova.hpp"

#include "pricinyresetu.hpp"
#include "pripis.hpp"

#include <algorithm>
#include <ctime>

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

std::vector<bunka> radekmodulu(int c, const prehledmodulu &m, long long ted) {
    std::string modul, paket = "nikdy", paketweb, reset = textresetu(m), resetweb;
    pripisf(modul, "%02d", c);
    if (m.poslednipaket) {
        paket = "pred " + std::to_string(std::max(0LL, ted - *m.poslednipaket)) + " s";
        paketweb = mistnicas(*m.poslednipaket) + " (" + paket + ")";
    }
    // A module that had not been given the time yet reports 0.
    if (m.casresetu && *m.casresetu > 0)
        resetweb = reset + ", cas modulu " + mistnicas(*m.casresetu);
    const char *odpovida = m.odpovida ? "ano" : "NE";
    return {
        {"modul", modul, "", "", 5},
        {"adresa", m.adresa, "", "", -15},
        {"odpovida", odpovida, "", odpovida, -8},
        {"posledni paket", paket, paketweb, "", -14},
        {"TMR1", cislo(m.tmr1), "", "", 5},
        {"DEFPR1", cislo(m.defpr1), "", "", 6},
        {"cas modulu", texthodin(m), "", "", -10},
        {"posledni reset", reset, resetweb, "", 0},
    };
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

std::string radekhodin(const prehled &p) {
    std::string text;
    if (p.hodinysync && *p.hodinysync)
        pripisf(text, "hodiny PC synchronizovany, maxerror %.3f s", p.maxerror.value_or(0));
    else if (p.hodinysync)
        pripisf(text,
                "hodiny PC NEJSOU synchronizovany, maxerror %.3f s - moduly dostavaji cas bez "
                "zaruky",
                p.maxerror.value_or(0));
    return text;
}

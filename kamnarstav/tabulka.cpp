#include "tabulka.hpp"

#include "pripis.hpp"

#include <algorithm>

namespace {

std::string cislo(const std::optional<long long> &n) {
    return n ? std::to_string(*n) : "-";
}

} // namespace

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

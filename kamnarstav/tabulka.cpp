#include "tabulka.hpp"

#include "pripis.hpp"

#include <cstdlib>

namespace {

// One line of the table: the headings, or a module's cells, each padded to
// its column's width, two blanks between them.
void radek(std::string &text, const std::vector<bunka> &bunky, bool nadpisy) {
    for (std::size_t i = 0; i < bunky.size(); ++i) {
        const bunka &b = bunky[i];
        if (i > 0)
            text += "  ";
        if (nadpisy)
            pripisf(text, "%-*s", std::abs(b.sirka), b.nadpis);
        else
            pripisf(text, "%*s", b.sirka, b.text.c_str());
    }
    text += "\n";
}

} // namespace

std::string tabulka(const prehled &p, std::time_t ted) {
    std::string text;
    if (p.moduly.empty())
        text += "v konfiguraci neni zadny modul\n";
    else
        radek(text, radekmodulu(0, {}, ted), true);
    for (const auto &[c, m] : p.moduly)
        radek(text, radekmodulu(c, m, ted), false);
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

int vypis(const snimek &s, const char *cesta, std::string &text) {
    if (!jeplatny(s)) {
        text = zprava(s, cesta) + "\n";
        return 2;
    }
    text = tabulka(s.p, s.nacteno);
    return vysledek(s.p);
}

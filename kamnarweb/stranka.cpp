#include "stranka.hpp"

#include "pripis.hpp"
#include "slova.hpp"

#include <algorithm>

namespace {

const char *const zacatek = R"(<!DOCTYPE html>
<html lang="cs">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta http-equiv="refresh" content="10">
<title>kamnar - moduly</title>
<style>
body{font-family:sans-serif;margin:0.6em;color:#111;background:#fff}
h1{font-size:1.3em;margin:0 0 0.4em}
p{margin:0.4em 0}
.dobre,.zle{padding:0.4em;font-weight:bold;border:2px solid}
.dobre{background:#dfd;border-color:#080}
.zle{background:#fdd;border-color:#c00}
table{border-collapse:collapse;width:100%;margin:0.6em 0}
th,td{text-align:left;padding:0.2em 0.4em;vertical-align:top}
th{border-bottom:2px solid #888}
tbody{border-bottom:1px solid #bbb}
td.NE{color:#c00;font-weight:bold}
td.ano{color:#080}
td.pas{padding-bottom:0.5em}
svg{display:block;width:100%;height:16px}
.a{fill:#2a2}.n{fill:#d22}.x{fill:#ccc}
.osa{display:flex;justify-content:space-between;font-size:0.75em;color:#555}
.pozn{font-size:0.85em;color:#444}
@media (max-width:720px){
thead{display:none}
table,tbody{display:block}
tbody{border-top:2px solid #888;padding:0.3em 0}
tr{display:flex;flex-wrap:wrap;column-gap:1em}
td{display:block;padding:0.1em 0}
td::before{content:attr(data-h) ": ";color:#555}
td.pas{flex:1 1 100%}
td.pas::before{content:none}
}
</style>
</head>
<body>
<h1>kamnar - moduly v dome</h1>
)";

// The table's head: the columns' headings.
void hlavicka(std::string &t, long long ted) {
    t += "<table id=\"moduly\">\n<thead><tr>";
    for (const bunka &b : radekmodulu(0, {}, ted))
        pripisf(t, "<th>%s</th>", b.nadpis);
    t += "</tr></thead>\n";
}

// A module's rows: its cells, each with its heading for the phone's layout,
// its class and its text (HTML), and its strip under them.
void modul(std::string &t, int c, const prehledmodulu &m, const historie &h, long long ted) {
    pripisf(t, "<tbody id=\"modul-%02d\" class=\"%s\">\n<tr>", c, m.odpovida ? "ano" : "NE");
    const std::vector<bunka> bunky = radekmodulu(c, m, ted);
    for (const bunka &b : bunky)
        pripisf(t, "<td data-h=\"%s\"%s%s%s>%s</td>", b.nadpis, *b.trida ? " class=\"" : "",
                b.trida, *b.trida ? "\"" : "", html(b.naweb.empty() ? b.text : b.naweb).c_str());
    pripisf(t, "</tr>\n<tr><td class=\"pas\" colspan=\"%zu\">", bunky.size());
    auto pas = h.moduly.find(c);
    t += pasek(pas != h.moduly.end() && pas->second.adresa == m.adresa ? pas->second : pasmodulu{},
               h.minuta);
    t += "<div class=\"osa\"><span>pred 24 h</span><span>pred 12 h</span><span>ted</span></div>"
         "</td></tr>\n</tbody>\n";
}

// The line on top: what is wrong, or that all is well.
void souhrn(std::string &t, const snimek &s, const char *cesta) {
    std::string text = zprava(s, cesta);
    if (text.empty() && s.p.moduly.empty())
        text = "v konfiguraci neni zadny modul";
    if (text.empty()) {
        std::string mlci;
        int pocet = 0;
        for (const auto &[c, m] : s.p.moduly)
            if (!m.odpovida) {
                ++pocet;
                pripisf(mlci, " %02d %s,", c, m.adresa.substr(0, 64).c_str());
            }
        if (pocet == 0)
            pripisf(text, "Vsechny moduly odpovidaji (%zu)", s.p.moduly.size());
        else
            pripisf(text, "Neodpovida %d z %zu modulu:%s", pocet, s.p.moduly.size(),
                    mlci.substr(0, mlci.size() - 1).c_str());
    }
    bool dobre =
        s.stav == stavsouboru::bezi && std::all_of(s.p.moduly.begin(), s.p.moduly.end(),
                                                   [](const auto &m) { return m.second.odpovida; });
    pripisf(t, "<p id=\"souhrn\" class=\"%s\">%s</p>\n", dobre ? "dobre" : "zle",
            html(text, 4096).c_str());
}

} // namespace

std::string html(std::string_view text, std::size_t nejvic) {
    std::string t;
    for (std::size_t i = 0; i < text.size() && i < nejvic; ++i) {
        char z = text[i];
        switch (z) {
        case '&':
            t += "&amp;";
            break;
        case '<':
            t += "&lt;";
            break;
        case '>':
            t += "&gt;";
            break;
        case '"':
            t += "&quot;";
            break;
        case '\'':
            t += "&#39;";
            break;
        default:
            t += z >= ' ' && z <= '~' ? z : '?';
        }
    }
    if (text.size() > nejvic)
        t += "...";
    return t;
}

std::string pasek(const pasmodulu &pas, long long minuta) {
    std::string t;
    pripisf(t,
            "<svg viewBox=\"0 0 %lld 1\" preserveAspectRatio=\"none\" role=\"img\" "
            "aria-label=\"pakety a cele cykly bez odpovedi za poslednich 24 hodin po minutach\">"
            "<rect width=\"%lld\" height=\"1\" class=\"x\"/>",
            minutdne, minutdne);
    // One rectangle per run of minutes alike, the oldest on the left.
    auto trida = [&](long long x) -> char {
        std::uint8_t b = pas.minuty[policko(minuta - minutdne + 1 + x)];
        return (b & paketprisel) ? 'a' : (b & mlcel) ? 'n' : 'x';
    };
    for (long long x = 0; x < minutdne;) {
        char c = trida(x);
        long long konec = x + 1;
        while (konec < minutdne && trida(konec) == c)
            ++konec;
        if (c != 'x')
            pripisf(t, "<rect x=\"%lld\" width=\"%lld\" height=\"1\" class=\"%c\"/>", x, konec - x,
                    c);
        x = konec;
    }
    return t + "</svg>";
}

std::string stranka(const snimek &s, const historie &h, const char *cesta) {
    std::string t = zacatek;
    souhrn(t, s, cesta);
    if (matabulku(s)) {
        if (!s.p.moduly.empty()) {
            hlavicka(t, s.nacteno);
            for (const auto &[c, m] : s.p.moduly)
                modul(t, c, m, h, s.nacteno);
            t += "</table>\n";
        }
        pripisf(t, "<p id=\"demon\">%s</p>\n", html(radekdemona(s.p), 4096).c_str());
        if (std::string log = radeklogu(s.p); !log.empty())
            pripisf(t, "<p id=\"log\" class=\"zle\">%s</p>\n", html(log, 4096).c_str());
    }
    pripisf(t,
            "<p id=\"historie\" class=\"pozn\">Historie od %s - kamnarweb ji drzi jen v pameti. "
            "Pruh pod modulem ukazuje poslednich 24 hodin po minutach: zelena prisel paket od "
            "modulu, cervena cely cyklus (10 s) bez odpovedi, seda nevime (kamnar nebo kamnarweb "
            "nebezel). Sloupec odpovida ukazuje NE, az kamnar hlasi, ze modul neodpovida (po "
            "100 s bez odpovedi).</p>\n"
            "<p class=\"pozn\">Stav nacten %s ze souboru %s, stranka se sama obnovuje kazdych "
            "10 s.</p>\n</body>\n</html>\n",
            h.od ? mistnicas(h.od).c_str() : "-", mistnicas(s.nacteno).c_str(),
            html(cesta).c_str());
    return t;
}

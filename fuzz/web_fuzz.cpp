// Any bytes as the state file that kamnarweb reads, recorded in its history
// over a day and made into its page. Whatever the file holds, the page stays
// within nejvetsistranka, holds one module's rows per module the file names
// (none when it is not the daemon's), and nothing of the file reaches it but
// as text: every '<' opens one of the page's own elements, every '&' is one of
// the entities the escaping writes, and the quotes of every tag pair up. The
// API's JSON holds printable ASCII alone and its quotes pair up (escaped ones
// aside), and the history's file reads back as the history it was written
// from. The same bytes as the history's file are refused, or read as a
// history within its bounds that is written back the same and takes the
// snapshot into a page within its bound.
#include "api.hpp"
#include "cteni.hpp"
#include "historie.hpp"
#include "rodiny.hpp"
#include "spolecne.hpp"
#include "stranka.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

namespace {

std::size_t kolikrat(const std::string &t, const std::string &co) {
    std::size_t n = 0;
    for (std::size_t i = t.find(co); i != std::string::npos; i = t.find(co, i + 1))
        ++n;
    return n;
}

bool jenznacky(const std::string &t) {
    static const std::set<std::string> prvky = {
        "!DOCTYPE", "html",  "head", "meta", "title", "style", "body", "h1",  "p",   "table",
        "thead",    "tbody", "tr",   "th",   "td",    "svg",   "rect", "div", "span"};
    static const char *const entity[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&#39;"};
    for (std::size_t i = t.find_first_of("<&"); i != std::string::npos;
         i = t.find_first_of("<&", i + 1)) {
        if (t[i] == '&') {
            if (std::none_of(std::begin(entity), std::end(entity),
                             [&](const char *e) { return t.compare(i, std::strlen(e), e) == 0; }))
                return false;
            continue;
        }
        std::size_t konec = t.find('>', i);
        if (konec == std::string::npos)
            return false;
        std::size_t od = i + 1 + (t[i + 1] == '/');
        std::string jmeno = t.substr(od, t.find_first_of(" />", od) - od);
        if (!prvky.contains(jmeno) || std::count(t.begin() + static_cast<long>(i),
                                                 t.begin() + static_cast<long>(konec), '"') %
                                              2 !=
                                          0)
            return false;
        i = konec;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    pripravfuzz();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string soubor(reinterpret_cast<const char *>(data), size);
    const long long ted = fuzzted, stari = starisouboru(data, size);
    historie h;
    snimek s;
    for (long long k : {0LL, 61LL, 3600LL, 86400LL + 7}) {
        s = posud(soubor, ted + k - stari, ted + k);
        zaznamenej(h, s, ted + k);
    }
    const std::string t = stranka(s, h, cestastavu);

    INVARIANT(t.size() <= nejvetsistranka);
    INVARIANT(t.starts_with("<!DOCTYPE html>\n") && t.ends_with("</html>\n"));
    INVARIANT(kolikrat(t, "<tbody id=\"modul-") == (matabulku(s) ? s.p.moduly.size() : 0));
    INVARIANT(jenznacky(t));
    for (const auto &[c, pas] : h.moduly)
        INVARIANT(s.p.moduly.contains(c) && pas.adresa == adresavhistorii(s.p.moduly.at(c).adresa));

    const std::string j = apistav(s, h, cestastavu);
    INVARIANT(j.starts_with("{\"verze\": 1, ") && j.ends_with("]}\n"));
    INVARIANT(std::all_of(j.begin(), j.end() - 1, [](char z) { return z >= ' ' && z <= '~'; }));
    std::size_t uvozovky = 0;
    for (std::size_t i = 0; i < j.size(); ++i)
        if (j[i] == '\\')
            ++i;
        else
            uvozovky += j[i] == '"';
    INVARIANT(uvozovky % 2 == 0);
    historie zpet;
    INVARIANT(ctihistorii(texthistorie(h), zpet) && texthistorie(zpet) == texthistorie(h));
    if (ctihistorii(soubor, zpet)) {
        INVARIANT(zpet.moduly.size() <= nejvicemodulu);
        INVARIANT(ctihistorii(texthistorie(zpet), h) && texthistorie(h) == texthistorie(zpet));
        zaznamenej(zpet, s, zpet.minuta * 60 + 30);
        INVARIANT(stranka(s, zpet, cestastavu).size() <= nejvetsistranka);
    }
    return 0;
}

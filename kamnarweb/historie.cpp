#include "historie.hpp"

#include "hlidac.hpp"

#include <algorithm>
#include <iterator>

namespace {

long long minutaz(long long t) {
    return t / 60 - (t % 60 < 0);
}

} // namespace

std::size_t policko(long long minuta) {
    return static_cast<std::size_t>((minuta % minutdne + minutdne) % minutdne);
}

void zaznamenej(historie &h, const snimek &s, long long ted) {
    long long m = minutaz(ted);
    if (h.od == 0 || m < h.minuta)
        h = historie{ted, m, {}};
    for (long long k = h.minuta + 1; k <= m && k <= h.minuta + minutdne; ++k)
        for (auto &[c, pas] : h.moduly)
            pas.minuty[policko(k)] = 0;
    h.minuta = m;
    if (s.stav != stavsouboru::bezi)
        return;

    for (auto i = h.moduly.begin(); i != h.moduly.end();)
        i = s.p.moduly.contains(i->first) ? std::next(i) : h.moduly.erase(i);
    const long long prvni = std::max(minutaz(h.od), m - minutdne + 1);
    for (const auto &[c, pm] : s.p.moduly) {
        pasmodulu &pas = h.moduly[c];
        if (pas.adresa != pm.adresa)
            pas = pasmodulu{pm.adresa, {}};
        if (pm.poslednipaket) {
            long long k = minutaz(*pm.poslednipaket);
            if (k >= prvni && k <= m)
                pas.minuty[policko(k)] |= paketprisel;
        }
        if (pm.hlidac ? cyklusbezodpovedi(*pm.hlidac) : !pm.odpovida)
            pas.minuty[policko(m)] |= mlcel;
    }
}

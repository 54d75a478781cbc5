// Any bytes as kamnarweb's history file, read at its start: refused, or a
// history within its bounds (31 modules, addresses of 64 printable
// characters, a minute's bits) that is written back as the same history and
// goes on taking snapshots, before and after its newest minute, into a page
// within its bound.
#include "cteni.hpp"
#include "historie.hpp"
#include "rodiny.hpp"
#include "spolecne.hpp"
#include "stranka.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    pripravfuzz();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    historie h;
    if (!ctihistorii(text, h))
        return 0;
    INVARIANT(h.od > 0 && h.minuta >= h.od / 60 && h.moduly.size() <= nejvicemodulu);
    for (const auto &[c, pas] : h.moduly) {
        INVARIANT(c >= 0 && c <= 99 && pas.adresa == adresavhistorii(pas.adresa));
        INVARIANT(std::all_of(pas.minuty.begin(), pas.minuty.end(),
                              [](std::uint8_t b) { return b <= (paketprisel | mlcel); }));
    }
    historie zpet;
    INVARIANT(ctihistorii(texthistorie(h), zpet) && texthistorie(zpet) == texthistorie(h));

    const std::string dum = "kamnar_bezi 1\nkamnar_modul_hlidac{modul=\"0\",adresa=\"127.0.0.2\"} "
                            "10\nkamnar_modul_posledni_paket_timestamp_seconds{modul=\"0\","
                            "adresa=\"127.0.0.2\"} 1796630400\n";
    for (long long ted : {h.minuta * 60 - 600, h.minuta * 60 + 30, 1796630410LL}) {
        snimek s = posud(dum, ted, ted);
        zaznamenej(h, s, ted);
        INVARIANT(stranka(s, h, cestastavu).size() <= nejvetsistranka);
    }
    return 0;
}

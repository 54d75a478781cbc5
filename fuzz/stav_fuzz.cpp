// Any bytes as the state file that kamnarstav reads, judged as kamnarweb
// judges it: what it takes from it, what it prints and its exit status.
// A file that is not the daemon's whole one gets its line alone and 2.
// Otherwise each module gets exactly one line of the table between the header
// and the daemon's line, which only the log's and the PC clock's lines may
// follow, in that order, and the exit status is 2 when the daemon has
// stopped, else 1 exactly when one of them does not answer.
#include "rodiny.hpp"
#include "spolecne.hpp"
#include "tabulka.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    pripravfuzz();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string soubor(reinterpret_cast<const char *>(data), size);
    const snimek s = posud(soubor, fuzzted - 10, fuzzted);
    const prehled &p = s.p;
    std::string t;
    const int vysledek = vypis(s, cestastavu, t);
    if (!jeplatny(s)) {
        INVARIANT(vysledek == 2 && p.moduly.empty() && t == zprava(s, cestastavu) + "\n");
        INVARIANT(t.find('\n') == t.size() - 1);
        return 0;
    }

    for (const auto &[c, m] : p.moduly)
        INVARIANT(c >= 0 && c <= 99);
    INVARIANT(t.ends_with("\n"));
    // The log's line and the clock's, when there are, follow the daemon's.
    std::string ocas;
    for (const std::string &r : {radeklogu(p), radekhodin(p)})
        if (!r.empty())
            ocas += r + "\n";
    INVARIANT(t.ends_with("\n" + ocas));
    const std::size_t konecdemona = t.size() - ocas.size();
    const auto radky = static_cast<std::size_t>(std::count(t.begin(), t.end(), '\n'));
    INVARIANT(radky == p.moduly.size() + 2 +
                           static_cast<std::size_t>(std::count(ocas.begin(), ocas.end(), '\n')));
    const std::size_t demona = t.rfind('\n', konecdemona - 2) + 1;
    INVARIANT(t.compare(demona, 15, p.bezi ? "kamnar bezi od " : "kamnar skoncil,") == 0);
    const bool nekdomlci = std::any_of(p.moduly.begin(), p.moduly.end(),
                                       [](const auto &m) { return !m.second.odpovida; });
    INVARIANT(vysledek == (!p.bezi ? 2 : nekdomlci ? 1 : 0));
    return 0;
}

// Any bytes as the state file that kamnarmqtt reads, judged fresh or stale,
// made into everything it publishes. Whatever the file holds, every message
// is one valid JSON value (so every string in it escaped), every topic is
// one kamnarmqtt may publish to (no wildcard, no empty level, no control
// character) and every object id of a config is made of [a-zA-Z0-9_-].
#include "cteni.hpp"
#include "jsonkontrola.hpp"
#include "spolecne.hpp"
#include "zpravy.hpp"

#include <cstdint>
#include <string>

namespace {

bool platnetema(const std::string &t) {
    if (t.empty() || t.front() == '/' || t.back() == '/' || t.find("//") != std::string::npos)
        return false;
    for (char z : t)
        if (z == '+' || z == '#' || static_cast<unsigned char>(z) < 0x21 ||
            static_cast<unsigned char>(z) > 0x7e)
            return false;
    return true;
}

bool platnyobjekt(const std::string &tema) {
    if (!tema.ends_with("/config"))
        return true;
    std::string id = tema.substr(0, tema.size() - 7);
    id = id.substr(id.rfind('/') + 1);
    return id.starts_with("kamnar_") &&
           id.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-") ==
               std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    pripravfuzz();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string soubor(reinterpret_cast<const char *>(data), size);
    const long long ted = fuzzted, stari = starisouboru(data, size);
    snimek s = posud(soubor, ted - stari, ted);
    nastaveni n;
    for (bool bezi : {s.stav == stavsouboru::bezi, false})
        for (const sdeleni &z : vsechnyzpravy(n, s.p, bezi)) {
            INVARIANT(platnyjson(z.obsah));
            INVARIANT(platnyjson(z.klic));
            INVARIANT(platnetema(z.tema));
            INVARIANT(platnyobjekt(z.tema));
        }
    for (const auto &[cislo, m] : s.p.moduly)
        INVARIANT(platnyjson(stavmodulu(cislo, m, true)));
    return 0;
}

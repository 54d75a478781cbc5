#include "api.hpp"

#include "json.hpp"
#include "pripis.hpp"
#include "slova.hpp"

namespace {

// "name": followed by a value the caller appends.
void klic(std::string &t, const char *jmeno) {
    pripisf(t, "\"%s\": ", jmeno);
}

// A time as the two fields "NAME" (RFC 3339) and "NAME_unix".
void cas(std::string &t, const char *jmeno, const std::optional<long long> &unixcas) {
    klic(t, jmeno);
    jsoncas(t, unixcas);
    pripisf(t, ", \"%s_unix\": ", jmeno);
    jsoncele(t, unixcas);
}

template <typename T>
std::optional<T> kdyz(bool zname, const T &hodnota) {
    return zname ? std::optional<T>(hodnota) : std::nullopt;
}

void demon(std::string &t, const snimek &s) {
    const prehled &p = s.p;
    const bool z = matabulku(s);
    t += "\"demon\": {\"bezi\": ";
    jsonano(t, s.stav == stavsouboru::bezi);
    t += ", ";
    cas(t, "od", z ? p.start : std::nullopt);
    t += ", \"pakety_od_modulu\": ";
    jsoncele(t, kdyz(z, p.odmodulu));
    t += ", \"pakety_od_cizich\": ";
    jsoncele(t, kdyz(z, p.odcizich));
    t += ", \"zpozdeni_cyklu_ms\": ";
    jsoncislo(t, z && p.zpozdeni ? std::optional<double>(*p.zpozdeni * 1000) : std::nullopt);
    t += ", \"log\": {\"cekajici\": ";
    jsoncele(t, kdyz(z, p.logceka));
    t += ", \"nezapsano_s\": ";
    jsoncislo(t, kdyz(z, p.lognezapsano));
    t += ", \"vynechano\": ";
    jsoncele(t, kdyz(z, p.logvynechano));
    t += ", \"ztraceno\": ";
    jsoncele(t, kdyz(z, p.logztraceno));
    t += ", \"chyba_zapisu\": ";
    jsoncele(t, kdyz(z, p.logchyba));
    t += "}}, \"hodiny_pc\": {\"synchronizovany\": ";
    jsonano(t, z ? p.hodinysync : std::nullopt);
    t += ", \"maxerror_s\": ";
    jsoncislo(t, z ? p.maxerror : std::nullopt);
    t += "}";
}

void modul(std::string &t, int c, const prehledmodulu &m, const historie &h) {
    pripisf(t, "{\"cislo\": %d, \"adresa\": ", c);
    jsontext(t, m.adresa);
    t += ", \"odpovida\": ";
    jsonano(t, m.odpovida);
    t += ", \"cas_souhlasi\": ";
    jsonano(t, m.souhlasi);
    t += ", \"tmr1\": ";
    jsoncele(t, m.tmr1);
    t += ", \"defpr1\": ";
    jsoncele(t, m.defpr1);
    t += ", ";
    cas(t, "posledni_paket", m.poslednipaket);
    t += ", \"reset\": ";
    if (m.pricina)
        jsontext(t, textresetu(m));
    else
        t += "null";
    t += ", \"reset_pricina\": ";
    jsoncele(t, m.pricina ? std::optional<long long>(*m.pricina) : std::nullopt);
    t += ", ";
    // A module that had not been given the time yet reports 0.
    cas(t, "reset_cas", m.casresetu && *m.casresetu > 0 ? m.casresetu : std::nullopt);
    t += ", \"hlidac\": ";
    jsoncele(t, m.hlidac ? std::optional<long long>(*m.hlidac) : std::nullopt);
    auto pas = h.moduly.find(c);
    bool mapas = pas != h.moduly.end() && pas->second.adresa == adresavhistorii(m.adresa);
    t += ", \"dostupnost_24h\": ";
    jsoncislo(t, mapas ? podil(h, pas->second, minutdne) : std::nullopt);
    t += ", \"dostupnost_7d\": ";
    jsoncislo(t, mapas ? podil(h, pas->second, minuttydne) : std::nullopt);
    t += "}";
}

} // namespace

std::string apistav(const snimek &s, const historie &h, const char *cesta) {
    std::string t = "{\"verze\": 1, ";
    klic(t, "historie_od");
    jsoncas(t, h.od ? std::optional<long long>(h.od) : std::nullopt);
    t += ", ";
    cas(t, "nacteno", s.nacteno);
    t += ", \"zprava\": ";
    if (std::string z = zprava(s, cesta); !z.empty())
        jsontext(t, z);
    else
        t += "null";
    t += ", ";
    demon(t, s);
    t += ", \"moduly\": [";
    const char *oddelovac = "";
    if (matabulku(s))
        for (const auto &[c, m] : s.p.moduly) {
            t += oddelovac;
            modul(t, c, m, h);
            oddelovac = ", ";
        }
    return t + "]}\n";
}

zdravi posudzdravi(const snimek &s, const char *cesta) {
    if (s.stav == stavsouboru::bezi)
        return {200, "ok\n"};
    return {503, zprava(s, cesta) + "\n"};
}

#include "zpravy.hpp"

#include "json.hpp"
#include "pricinyresetu.hpp"
#include "pripis.hpp"

#include <arpa/inet.h>
#include <cmath>

namespace {

// One entity: its component, what it shows (the end of its object id), its
// name, the template that reads its state from the JSON, the keys of its
// kind, and whether it stays available while the daemon does not run.
struct entita {
    const char *komponenta, *co, *jmeno, *sablona, *druh;
    bool bezdemona;
};

const entita entitymodulu[] = {
    {"binary_sensor", "odpovida", "Odpovida", "{{ 'ON' if value_json.odpovida else 'OFF' }}",
     "\"device_class\":\"connectivity\"", true},
    {"binary_sensor", "cas", "Cas nesouhlasi",
     "{{ None if value_json.cas_souhlasi is none else ('OFF' if value_json.cas_souhlasi else "
     "'ON') }}",
     "\"device_class\":\"problem\"", false},
    {"sensor", "reset", "Posledni reset", "{{ value_json.reset }}", "\"device_class\":\"enum\"",
     false},
    {"sensor", "reset_cas", "Cas posledniho resetu", "{{ value_json.reset_cas }}",
     "\"device_class\":\"timestamp\"", false},
    {"sensor", "tmr1", "TMR1", "{{ value_json.tmr1 }}", "\"state_class\":\"measurement\"", false},
    {"sensor", "defpr1", "DEFPR1", "{{ value_json.defpr1 }}", "\"entity_category\":\"diagnostic\"",
     false},
};

const entita entitydemona[] = {
    {"binary_sensor", "bezi", "Bezi", "{{ 'ON' if value_json.bezi else 'OFF' }}",
     "\"device_class\":\"running\"", true},
    {"sensor", "zpozdeni_cyklu", "Zpozdeni cyklu", "{{ value_json.zpozdeni_cyklu_ms }}",
     "\"unit_of_measurement\":\"ms\",\"state_class\":\"measurement\"", false},
    // Entries waiting come and go: a measurement; the lost ones only grow.
    {"sensor", "log_ceka", "Zaznamy logu cekajici", "{{ value_json.log_ceka }}",
     "\"state_class\":\"measurement\"", false},
    {"sensor", "log_ztraceno", "Zaznamy logu ztracene", "{{ value_json.log_ztraceno }}",
     "\"state_class\":\"total_increasing\"", false},
};

// The device's identifier: kamnar_127_0_0_2, kamnar_demon.
std::string idzarizeni(const std::string &adresa) {
    std::string id = "kamnar_" + adresa;
    for (char &z : id)
        if (z == '.')
            z = '_';
    return id;
}

std::string temakonfigurace(const nastaveni &n, const entita &e, const std::string &adresa) {
    return n.predponaha + "/" + e.komponenta + "/" + objekt(adresa, e.co) + "/config";
}

// The reset causes' words, for the options of the enum sensor.
std::string moznostiresetu() {
    std::string t = ",\"options\":[";
    bool prvni = true;
    for (int kod = 0; kod < 256; ++kod)
        if (const char *slova = slovacosestalo(kod)) {
            t += (prvni ? "" : ",") + jsontext(slova);
            prvni = false;
        }
    return t + "]";
}

std::string dostupnost(const nastaveni &n, bool bezdemona) {
    std::string t = "\"availability\":[{\"topic\":" + jsontext(temadostupnosti(n)) + "}";
    if (!bezdemona)
        t += ",{\"topic\":" + jsontext(temademona(n)) +
             ",\"value_template\":\"{{ 'online' if value_json.bezi else 'offline' }}\"}";
    return t + "],\"availability_mode\":\"all\"";
}

std::string puvod() {
    return "\"origin\":{\"name\":\"kamnarmqtt\",\"sw_version\":" + jsontext(KAMNAR_VERZE) + "}";
}

// The device of the daemon (cislo < 0) or of a module.
std::string zarizeni(int cislo, const std::string &adresa) {
    if (cislo < 0)
        return "\"device\":{\"identifiers\":[\"kamnar_demon\"],\"name\":\"kamnar\","
               "\"manufacturer\":\"kamnar\",\"model\":\"demon kamnar\",\"sw_version\":" +
               jsontext(KAMNAR_VERZE) + "}";
    std::string jmeno;
    pripisf(jmeno, "Modul %02d (%s)", cislo, adresa.c_str());
    return "\"device\":{\"identifiers\":[" + jsontext(idzarizeni(adresa)) +
           "],\"name\":" + jsontext(jmeno) +
           ",\"manufacturer\":\"kamnar\",\"model\":\"topny "
           "modul\",\"via_device\":\"kamnar_demon\"}";
}

sdeleni konfigurace(const nastaveni &n, const entita &e, int cislo, const std::string &adresa,
                    const std::string &temastavu) {
    std::string id = objekt(adresa, e.co);
    std::string t = "{\"name\":" + jsontext(e.jmeno) + ",\"unique_id\":" + jsontext(id) +
                    ",\"state_topic\":" + jsontext(temastavu) +
                    ",\"value_template\":" + jsontext(e.sablona) + "," + e.druh;
    if (std::string_view(e.co) == "reset")
        t += moznostiresetu();
    t += "," + dostupnost(n, e.bezdemona) + "," + zarizeni(cislo, adresa) + "," + puvod() + "}";
    return {temakonfigurace(n, e, adresa), t, t};
}

} // namespace

bool platnaadresa(const std::string &adresa) {
    // Digits and dots only: c_str() must see the whole text (a NUL in it
    // would make a topic of another module's address).
    in_addr a{};
    return adresa.size() <= 15 && adresa.find_first_not_of("0123456789.") == std::string::npos &&
           inet_pton(AF_INET, adresa.c_str(), &a) == 1;
}

std::string objekt(const std::string &adresa, const char *co) {
    return idzarizeni(adresa) + "_" + co;
}

std::string temadostupnosti(const nastaveni &n) {
    return n.tema + "/dostupnost";
}

std::string temademona(const nastaveni &n) {
    return n.tema + "/demon";
}

std::string temamodulu(const nastaveni &n, const std::string &adresa) {
    return n.tema + "/modul/" + adresa;
}

std::string stavdemona(const prehled &p, bool bezi) {
    std::optional<long long> zpozdeni;
    if (p.zpozdeni && std::isfinite(*p.zpozdeni))
        zpozdeni = std::llround(*p.zpozdeni * 1000);
    std::string t = "{\"bezi\":";
    jsonano(t, bezi);
    t += ",\"od\":";
    jsoncas(t, p.start);
    t += ",\"pakety_od_modulu\":";
    jsoncele(t, p.odmodulu);
    t += ",\"z_cizich_adres\":";
    jsoncele(t, p.odcizich);
    t += ",\"zpozdeni_cyklu_ms\":";
    jsoncele(t, zpozdeni);
    t += ",\"log_ceka\":";
    jsoncele(t, p.logceka);
    t += ",\"log_nezapsano_s\":";
    jsoncele(t, static_cast<long long>(p.lognezapsano));
    t += ",\"log_ztraceno\":";
    jsoncele(t, p.logztraceno);
    return t + "}";
}

std::string stavmodulu(int cislo, const prehledmodulu &m, bool promenlive) {
    // A cause reported without a time of the module (PowerUp) comes with 0.
    std::optional<long long> casresetu;
    if (m.casresetu && *m.casresetu > 0)
        casresetu = m.casresetu;
    const char *slova = m.pricina ? slovacosestalo(*m.pricina) : nullptr;
    std::string t;
    pripisf(t, "{\"cislo\":%d,\"adresa\":", cislo);
    jsontext(t, m.adresa);
    t += ",\"odpovida\":";
    jsonano(t, m.odpovida);
    t += ",\"cas_souhlasi\":";
    jsonano(t, m.souhlasi);
    t += ",\"tmr1\":";
    jsoncele(t, m.tmr1);
    t += ",\"defpr1\":";
    jsoncele(t, m.defpr1);
    t += ",\"posledni_paket\":";
    jsoncas(t, promenlive ? m.poslednipaket : std::nullopt);
    t += ",\"reset\":";
    if (slova)
        jsontext(t, slova);
    else
        t += "null";
    t += ",\"reset_cas\":";
    jsoncas(t, casresetu);
    t += ",\"hlidac\":";
    jsoncele(t, promenlive && m.hlidac ? std::optional<long long>(*m.hlidac) : std::nullopt);
    return t + "}";
}

std::vector<std::string> tematamodulu(const nastaveni &n, const std::string &adresa) {
    std::vector<std::string> t;
    for (const entita &e : entitymodulu)
        t.push_back(temakonfigurace(n, e, adresa));
    t.push_back(temamodulu(n, adresa));
    return t;
}

std::vector<sdeleni> vsechnyzpravy(const nastaveni &n, const prehled &p, bool bezi) {
    // One module per address: a second one with the same address (which
    // the daemon does not write) is not published.
    std::map<std::string, int> adresy;
    for (const auto &[cislo, m] : p.moduly)
        if (platnaadresa(m.adresa))
            adresy.emplace(m.adresa, cislo);
    auto plati = [&](int cislo, const prehledmodulu &m) {
        auto a = adresy.find(m.adresa);
        return a != adresy.end() && a->second == cislo;
    };
    std::vector<sdeleni> z;
    for (const entita &e : entitydemona)
        z.push_back(konfigurace(n, e, -1, "demon", temademona(n)));
    for (const auto &[cislo, m] : p.moduly)
        if (plati(cislo, m))
            for (const entita &e : entitymodulu)
                z.push_back(konfigurace(n, e, cislo, m.adresa, temamodulu(n, m.adresa)));
    std::string d = stavdemona(p, bezi);
    z.push_back({temademona(n), d, d});
    for (const auto &[cislo, m] : p.moduly)
        if (plati(cislo, m))
            z.push_back(
                {temamodulu(n, m.adresa), stavmodulu(cislo, m, true), stavmodulu(cislo, m, false)});
    return z;
}

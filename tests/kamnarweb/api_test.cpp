// kamnarweb's answers for scripts: the JSON of /api/v1/stav and its pieces,
// /healthz, the history's file, and the bounds on connections and targets.
#include "api.hpp"
#include "cteni.hpp"
#include "harness.hpp"
#include "historie.hpp"
#include "hranice.hpp"
#include "json.hpp"
#include "rodiny.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <unistd.h>

namespace {

const long long t0 = 1796630400; // 07.12.2026 09:00:00 in Prague

// Module 0 answering with everything reported, module 1 never heard; the
// daemon's clock synchronised.
const std::string dum =
    "kamnar_bezi 1\nkamnar_start_timestamp_seconds 1796630000\n"
    "kamnar_pakety_od_modulu_total 12\nkamnar_pakety_od_cizich_total 0\n"
    "kamnar_cyklus_zpozdeni_seconds 0.000125\nkamnar_log_vynechano_total 0\n"
    "kamnar_log_cekajici 0\nkamnar_log_nezapsano_seconds 0.000\nkamnar_log_ztraceno_total 0\n"
    "kamnar_hodiny_pc_synchronizovany 1\nkamnar_hodiny_pc_maxerror_seconds 0.0255\n"
    "kamnar_modul_odpovida{modul=\"0\",adresa=\"127.0.0.2\"} 1\n"
    "kamnar_modul_odpovida{modul=\"1\",adresa=\"127.0.0.3\"} 0\n"
    "kamnar_modul_hlidac{modul=\"0\",adresa=\"127.0.0.2\"} 10\n"
    "kamnar_modul_hlidac{modul=\"1\",adresa=\"127.0.0.3\"} 0\n"
    "kamnar_modul_tmr1{modul=\"0\",adresa=\"127.0.0.2\",stari=\"0\"} 1014\n"
    "kamnar_modul_defpr1{modul=\"0\",adresa=\"127.0.0.2\"} 0\n"
    "kamnar_modul_cas_souhlasi{modul=\"0\",adresa=\"127.0.0.2\"} 1\n"
    "kamnar_modul_posledni_paket_timestamp_seconds{modul=\"0\",adresa=\"127.0.0.2\"} 1796630395\n"
    "kamnar_modul_reset_pricina{modul=\"0\",adresa=\"127.0.0.2\"} 3\n"
    "kamnar_modul_reset_cas_modulu_timestamp_seconds{modul=\"0\",adresa=\"127.0.0.2\"} "
    "1796630390\n";

// A house's snapshot as /api/v1/stav gives it, two minutes into the
// history, and what it gives when there is no file at all.
TEST(Api, RawNumbersTimesWithTheirOffsetAndNullForWhatIsNotKnown) {
    setenv("TZ", "Europe/Prague", 1);
    tzset();
    historie h;
    zaznamenej(h, posud(dum, t0, t0), t0);
    std::string pozdeji = dum;
    pozdeji.replace(pozdeji.find("1796630395"), 10, "1796630455");
    snimek s = posud(pozdeji, t0 + 60, t0 + 60);
    zaznamenej(h, s, t0 + 60);
    EXPECT_EQ(
        apistav(s, h, cestastavu),
        R"({"verze": 1, "historie_od": "2026-12-07T09:00:00+01:00", "nacteno": "2026-12-07T09:01:00+01:00", "nacteno_unix": 1796630460, "zprava": null, )"
        R"("demon": {"bezi": true, "od": "2026-12-07T08:53:20+01:00", "od_unix": 1796630000, "pakety_od_modulu": 12, "pakety_od_cizich": 0, "zpozdeni_cyklu_ms": 0.125, )"
        R"("log": {"cekajici": 0, "nezapsano_s": 0, "vynechano": 0, "ztraceno": 0, "chyba_zapisu": 0}}, "hodiny_pc": {"synchronizovany": true, "maxerror_s": 0.0255}, )"
        R"("moduly": [{"cislo": 0, "adresa": "127.0.0.2", "odpovida": true, "cas_souhlasi": true, "tmr1": 1014, "defpr1": 0, )"
        R"("posledni_paket": "2026-12-07T09:00:55+01:00", "posledni_paket_unix": 1796630455, "reset": "SOFTE Reset", "reset_pricina": 3, )"
        R"("reset_cas": "2026-12-07T08:59:50+01:00", "reset_cas_unix": 1796630390, "hlidac": 10, "dostupnost_24h": 1, "dostupnost_7d": 1}, )"
        R"({"cislo": 1, "adresa": "127.0.0.3", "odpovida": false, "cas_souhlasi": null, "tmr1": null, "defpr1": null, )"
        R"("posledni_paket": null, "posledni_paket_unix": null, "reset": null, "reset_pricina": null, )"
        R"("reset_cas": null, "reset_cas_unix": null, "hlidac": 0, "dostupnost_24h": 0, "dostupnost_7d": 0}]})"
        "\n");
    EXPECT_EQ(
        apistav(nactistav("/nonexistent/x", t0), historie{}, "/nonexistent/x"),
        R"({"verze": 1, "historie_od": null, "nacteno": "2026-12-07T09:00:00+01:00", "nacteno_unix": 1796630400, )"
        R"("zprava": "Soubor /nonexistent/x neexistuje - kamnar nebezi", "demon": {"bezi": false, "od": null, "od_unix": null, )"
        R"("pakety_od_modulu": null, "pakety_od_cizich": null, "zpozdeni_cyklu_ms": null, "log": {"cekajici": null, )"
        R"("nezapsano_s": null, "vynechano": null, "ztraceno": null, "chyba_zapisu": null}}, "hodiny_pc": {"synchronizovany": null, "maxerror_s": null}, "moduly": []})"
        "\n");

    // /healthz: only a running daemon's fresh file is healthy.
    zdravi z = posudzdravi(s, cestastavu);
    EXPECT_EQ(std::to_string(z.kod) + " " + z.text, "200 ok\n");
    z = posudzdravi(posud("kamnar_bezi 0\n", t0, t0 + 1), cestastavu);
    EXPECT_EQ(std::to_string(z.kod) + " " + z.text,
              "503 kamnar nebezi - skoncil 07.12.2026 09:00:00\n");
    z = posudzdravi(posud(dum, t0, t0 + 31), cestastavu);
    EXPECT_EQ(std::to_string(z.kod) + " " + z.text,
              "503 Soubor /run/kamnar/kamnar.prom je 31 s stary - kamnar nebezi\n");

    // The pieces: any byte escaped or replaced so the text stays valid (a
    // NUL too), offsets west of UTC, in half hours and in summer, a time
    // outside four-digit years null, numbers in their fewest digits.
    std::string t;
    jsontext(t, std::string_view("a\"\\\0\x01\n\x1f\x7f\xc3\xa9\xff", 11));
    EXPECT_EQ(t, R"("a\"\\\u0000\u0001\u000a\u001f\u007f???")");
    setenv("TZ", "America/St_Johns", 1);
    tzset();
    EXPECT_EQ(rfc3339(t0), "2026-12-07T04:30:00-03:30");
    setenv("TZ", "Europe/Prague", 1);
    tzset();
    t.clear();
    for (long long c : {1782864000LL, -1LL, 253402300800LL}) // July 2026, 1969, year 10000
        jsoncas(t, c), t += ' ';
    jsoncas(t, std::nullopt);
    EXPECT_EQ(t, R"("2026-07-01T02:00:00+02:00" null null null)");
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(rfc3339(0), "1970-01-01T00:00:00+00:00");
    t.clear();
    for (double x : {0.1, 1e-6, 16.0, 1.0 / 3})
        jsoncislo(t, x), t += ' ';
    jsoncislo(t, std::nan(""));
    EXPECT_EQ(t, "0.1 1e-06 16 0.3333333333333333 null");
}

// The history's file: what is written is read back whole; a file cut short,
// changed or not kamnarweb's is refused and leaves the history as it was.
TEST(HistoryFile, ReadBackWholeOrRefused) {
    std::string work = harness::sandbox();
    historie h;
    zaznamenej(h, posud(dum, t0, t0), t0);
    zaznamenej(h, posud(dum, t0 + 600, t0 + 600), t0 + 600);
    h.moduly[0].minuty[policko(h.minuta - minuttydne + 1)] = mlcel; // the oldest minute kept
    h.moduly[2] = pasmodulu{adresavhistorii(""), {}}; // a module the file gave no address
    const std::string text = texthistorie(h);
    historie zpet;
    ASSERT_TRUE(ctihistorii(text, zpet));
    EXPECT_EQ(texthistorie(zpet), text);
    EXPECT_EQ(zpet.od, t0);
    EXPECT_EQ(zpet.moduly.at(0).minuty, h.moduly.at(0).minuty);
    EXPECT_EQ(zpet.moduly.at(1).minuty, h.moduly.at(1).minuty);

    std::string modul1 = text.substr(text.find("modul 1 "));
    std::string ciziradek = text;
    ciziradek.replace(ciziradek.find("modul 1 127.0.0.3 "), 18, "modul 1 127.0.0.3 x");
    const std::string spatne[] = {
        "",
        text.substr(0, text.size() - 1),
        text.substr(0, text.size() - 100) + "\n",
        "kamnarweb historie 2" + text.substr(20),
        "# HELP kamnar_bezi ...\n",
        text + modul1,
        ciziradek,
        std::string(text).replace(text.find(" minuta "), 8, " minuta -"),
        "kamnarweb historie 1\nod 1 minuta 9223372036854775807\n",
        std::string(text).replace(text.rfind('0'), 1, "4"),
    };
    for (const std::string &s : spatne)
        EXPECT_FALSE(ctihistorii(s, zpet)) << s.substr(0, 60);
    EXPECT_EQ(texthistorie(zpet), text);

    // The file itself, written atomically and read at the start.
    const std::string cesta = work + "/historie";
    historie nactena;
    EXPECT_EQ(nactihistorii(cesta, nactena), souborhistorie::chybi);
    ASSERT_EQ(ulozhistorii(h, cesta), 0);
    EXPECT_EQ(access((cesta + ".tmp").c_str(), F_OK), -1);
    ASSERT_EQ(nactihistorii(cesta, nactena), souborhistorie::nacten);
    EXPECT_EQ(texthistorie(nactena), text);
    harness::writefile(cesta, std::string(2 << 20, '0'));
    EXPECT_EQ(nactihistorii(cesta, nactena), souborhistorie::poskozen);
    EXPECT_EQ(ulozhistorii(h, work + "/zadny/historie"), ENOENT);
}

// Who is let in: the local address up to the total, others up to 4 from one
// address, 8 from one network and the slots left after those kept for it.
TEST(Limits, ConnectionsPerAddressNetworkAndLocalSlots) {
    // A client by its address's text, IPv4 or IPv6.
    auto a = [](const char *t) {
        sockaddr_in6 s6{};
        sockaddr_in s4{};
        s6.sin6_family = AF_INET6;
        s4.sin_family = AF_INET;
        if (inet_pton(AF_INET6, t, &s6.sin6_addr) == 1)
            return klientz(reinterpret_cast<sockaddr *>(&s6), sizeof s6);
        inet_pton(AF_INET, t, &s4.sin_addr);
        return klientz(reinterpret_cast<sockaddr *>(&s4), sizeof s4);
    };
    EXPECT_TRUE(mistni(a("127.0.0.1")) && mistni(a("::1")) && mistni(a("::ffff:127.0.0.1")));
    EXPECT_FALSE(mistni(a("127.0.0.2")) || mistni(a("fe80::1")));

    std::vector<klient> o;
    o.insert(o.end(), 3, a("192.168.1.20"));
    EXPECT_TRUE(vpustit(a("192.168.1.20"), o));
    o.insert(o.end(), 1, a("192.168.1.20"));
    EXPECT_FALSE(vpustit(a("192.168.1.20"), o));
    EXPECT_FALSE(vpustit(a("::ffff:192.168.1.20"), o));
    o.insert(o.end(), 4, a("192.168.1.21"));
    EXPECT_FALSE(vpustit(a("192.168.1.22"), o)) << "8 from 192.168.1.0/24";
    EXPECT_TRUE(vpustit(a("192.168.2.20"), o));
    o.insert(o.end(), 4, a("fd00:1:2:3::a"));
    o.insert(o.end(), 4, a("fd00:1:2:3::b"));
    EXPECT_FALSE(vpustit(a("fd00:1:2:3:ffff::c"), o)) << "8 from fd00:1:2:3::/64";
    EXPECT_TRUE(vpustit(a("fd00:1:2:4::a"), o));
    // 48 others in all: the last 16 slots are the local address's alone.
    for (int sit = 0; o.size() < nejvicespojeni - vyhrazenomistnim; ++sit)
        o.insert(o.end(), 4, a(("10.0." + std::to_string(sit) + ".1").c_str()));
    EXPECT_FALSE(vpustit(a("10.9.9.9"), o));
    EXPECT_TRUE(vpustit(a("127.0.0.1"), o));
    o.insert(o.end(), vyhrazenomistnim, a("127.0.0.1"));
    EXPECT_FALSE(vpustit(a("::1"), o));

    for (const char *cil : {"/\x01", "/a\x7f", "/%00/../x", "/?a=%0A", "/%1f", "/%7F"})
        EXPECT_TRUE(maridiciznak(cil)) << cil;
    for (const char *cil : {"/", "/?x=%20%7e", "/%", "/%0", "/%g0", "/metrics"})
        EXPECT_FALSE(maridiciznak(cil)) << cil;
}

} // namespace

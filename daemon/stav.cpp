#include "stav.hpp"

#include "hodiny.hpp"
#include "log.hpp"
#include "pricinyresetu.hpp"
#include "pripis.hpp"
#include "soubory.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

pocitadla demon;

namespace {

// Whether the last attempt to write the file failed; main thread only.
bool selhava = false;

// One metric family: its HELP and TYPE lines, then its samples. A family
// without a sample is left out whole.
void rodina(std::string &text, const char *jmeno, const char *typ, const char *popis,
            const std::string &vzorky) {
    if (vzorky.empty())
        return;
    pripisf(text, "# HELP %s %s\n# TYPE %s %s\n", jmeno, popis, jmeno, typ);
    text += vzorky;
}

using stitky = std::array<std::string, pocetslotu>;

// The labels of each filled module slot: modul="N",adresa="A.B.C.D".
stitky stitkymodulu() {
    stitky s;
    for (int i = 0; i < konpolemod; ++i) {
        char adresa[INET_ADDRSTRLEN];
        std::uint32_t a = polemod[static_cast<std::size_t>(i)].adresa;
        inet_ntop(AF_INET, &a, adresa, sizeof adresa);
        pripisf(s[static_cast<std::size_t>(i)], "modul=\"%d\",adresa=\"%s\"", i, adresa);
    }
    return s;
}

// The samples of one family over the filled module slots: `hodnota` appends
// the sample's labels after the module's and its value, or nothing.
template <typename F>
std::string kazdymodul(const char *jmeno, const stitky &s, F hodnota) {
    std::string vzorky;
    for (int i = 0; i < konpolemod; ++i)
        hodnota(vzorky, jmeno, s[static_cast<std::size_t>(i)],
                polemod[static_cast<std::size_t>(i)]);
    return vzorky;
}

// 0 after the file was replaced, ENOENT when the directory does not exist,
// else the error code of the step that failed.
int nahradsoubor(bool bezi) {
    int fd = open(docasnystav, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return errno;
    // Readable by the collector, which runs as a user of its own, whatever
    // the umask.
    bool ok = fchmod(fd, 0644) == 0 && zapisvse(fd, vytvorstav(bezi));
    int chyba = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        chyba = errno;
    }
    if (ok && rename(docasnystav, cestastavu) == 0)
        return 0;
    if (ok)
        chyba = errno;
    unlink(docasnystav);
    return chyba == 0 ? EIO : chyba;
}

} // namespace

void zaznamenejpaket(modul &m, const stavmodulu &s, std::time_t ted) {
    ++demon.odmodulu;
    m.poslednipaket = ted;
    m.souhlasi = (s.status & 0x40) ? 1 : 0;
    if (s.typ == 9)
        m.defpr1prislo = true;
    if (slovacosestalo(s.cosestalo)) {
        m.casresetu = s.casmodulu;
        m.pricina = s.cosestalo;
    }
}

void zaznamenejcyklus(const std::timespec &cil, const std::timespec &ted) {
    demon.zpozdeni = (static_cast<std::int64_t>(ted.tv_sec) - cil.tv_sec) * 1000000000 +
                     (ted.tv_nsec - cil.tv_nsec);
}

std::string vytvorstav(bool bezi) {
    std::string text;
    text.reserve(1024 + 1024 * static_cast<std::size_t>(konpolemod));
    std::string d;

    pripisf(d, "kamnar_bezi %d\n", bezi ? 1 : 0);
    rodina(text, "kamnar_bezi", "gauge", "1 dokud kamnar bezi, 0 ve stavu zapsanem, kdyz skoncil",
           d);
    d.clear();

    pripisf(d, "kamnar_start_timestamp_seconds %lld\n", static_cast<long long>(demon.start.load()));
    rodina(text, "kamnar_start_timestamp_seconds", "gauge", "Cas spusteni kamnaru (Unixovy cas)",
           d);
    d.clear();
    pripisf(d, "kamnar_pakety_od_modulu_total %llu\n",
            static_cast<unsigned long long>(demon.odmodulu.load()));
    rodina(text, "kamnar_pakety_od_modulu_total", "counter",
           "Pakety prijate od modulu z konfigurace", d);
    d.clear();
    pripisf(d, "kamnar_pakety_od_cizich_total %llu\n",
            static_cast<unsigned long long>(demon.odcizich.load()));
    rodina(text, "kamnar_pakety_od_cizich_total", "counter",
           "Pakety prijate z adres, ktere nejsou v konfiguracnim file", d);
    d.clear();
    if (std::int64_t z = demon.zpozdeni; z != zadnycyklus)
        pripisf(d, "kamnar_cyklus_zpozdeni_seconds %.6f\n", static_cast<double>(z) / 1e9);
    rodina(text, "kamnar_cyklus_zpozdeni_seconds", "gauge",
           "O kolik pozdeji nez v x0.5 s zacal posledni cyklus posilani casu", d);
    d.clear();
    pripisf(d, "kamnar_log_vynechano_total %llu\n",
            static_cast<unsigned long long>(demon.vynechano.load()));
    rodina(text, "kamnar_log_vynechano_total", "counter",
           "Zaznamy, ktere pri zaplave paketu nebyly zapsany do logu", d);
    d.clear();
    stavlogu log = jakjelog();
    pripisf(d, "kamnar_log_cekajici %llu\n", static_cast<unsigned long long>(log.cekajicich));
    rodina(text, "kamnar_log_cekajici", "gauge", "Zaznamy, ktere cekaji na zapis do logu", d);
    d.clear();
    pripisf(d, "kamnar_log_nezapsano_seconds %.3f\n",
            log.nejstarsi ? static_cast<double>(monotonnims() - log.nejstarsi) / 1e3 : 0.0);
    rodina(text, "kamnar_log_nezapsano_seconds", "gauge",
           "Jak dlouho ceka nejstarsi nezapsany zaznam logu, 0 kdyz zadny neceka", d);
    d.clear();
    pripisf(d, "kamnar_log_ztraceno_total %llu\n", static_cast<unsigned long long>(log.ztraceno));
    rodina(text, "kamnar_log_ztraceno_total", "counter",
           "Zaznamy ztracene, protoze disk s logem neodpovidal a fronta v pameti byla plna", d);

    stitky s = stitkymodulu();
    rodina(text, "kamnar_modul_odpovida", "gauge",
           "1 kdyz modul odpovida (hlidac nad nulou), 0 kdyz byl hlasen, ze neodpovida",
           kazdymodul("kamnar_modul_odpovida", s,
                      [](std::string &v, const char *j, const std::string &l, const modul &m) {
                          pripisf(v, "%s{%s} %d\n", j, l.c_str(), m.hlidac > 0 ? 1 : 0);
                      }));
    rodina(text, "kamnar_modul_hlidac", "gauge",
           "Hlidac odpovedi modulu v periodach 10 s: 10 po kazdem jeho paketu, 0 neodpovida",
           kazdymodul("kamnar_modul_hlidac", s,
                      [](std::string &v, const char *j, const std::string &l, const modul &m) {
                          pripisf(v, "%s{%s} %d\n", j, l.c_str(), m.hlidac.load());
                      }));
    rodina(text, "kamnar_modul_tmr1", "gauge",
           "Posledni hodnoty TMR1 modulu, stari 0 je nejnovejsi",
           kazdymodul("kamnar_modul_tmr1", s,
                      [](std::string &v, const char *j, const std::string &l, const modul &m) {
                          // The readings taken so far: odpocet counts down from 5.
                          int pocet = 5 - std::clamp(m.odpocet.load(), 0, 5);
                          for (int k = 0; k < pocet; ++k)
                              pripisf(v, "%s{%s,stari=\"%d\"} %d\n", j, l.c_str(), k,
                                      m.tmr1[static_cast<std::size_t>(4 - k)].load());
                      }));
    rodina(text, "kamnar_modul_defpr1", "gauge", "Posledni hodnota DEFPR1, kterou modul poslal",
           kazdymodul("kamnar_modul_defpr1", s,
                      [](std::string &v, const char *j, const std::string &l, const modul &m) {
                          if (m.defpr1prislo)
                              pripisf(v, "%s{%s} %d\n", j, l.c_str(), m.defpr1.load());
                      }));
    rodina(text, "kamnar_modul_cas_souhlasi", "gauge",
           "1 kdyz cas modulu souhlasi s PC podle jeho posledniho paketu, jinak 0",
           kazdymodul("kamnar_modul_cas_souhlasi", s,
                      [](std::string &v, const char *j, const std::string &l, const modul &m) {
                          if (int a = m.souhlasi; a >= 0)
                              pripisf(v, "%s{%s} %d\n", j, l.c_str(), a);
                      }));
    rodina(text, "kamnar_modul_posledni_paket_timestamp_seconds", "gauge",
           "Cas posledniho paketu od modulu (Unixovy cas)",
           kazdymodul("kamnar_modul_posledni_paket_timestamp_seconds", s,
                      [](std::string &v, const char *j, const std::string &l, const modul &m) {
                          if (long long t = m.poslednipaket; t != 0)
                              pripisf(v, "%s{%s} %lld\n", j, l.c_str(), t);
                      }));
    rodina(text, "kamnar_modul_reset_pricina", "gauge",
           "Posledni hlasena pricina resetu modulu: 0 nesmyslna hodnota, 1 PowerUp, 2 BOR, "
           "3 SOFTE, 4 WDT, 5 jiny, 129 AddressErrorTrap, 130 StackErrorTrap",
           kazdymodul("kamnar_modul_reset_pricina", s,
                      [](std::string &v, const char *j, const std::string &l, const modul &m) {
                          if (int p = m.pricina; p >= 0)
                              pripisf(v, "%s{%s} %d\n", j, l.c_str(), p);
                      }));
    rodina(text, "kamnar_modul_reset_cas_modulu_timestamp_seconds", "gauge",
           "Posledni cas modulu pred hlasenym resetem (Unixovy cas)",
           kazdymodul("kamnar_modul_reset_cas_modulu_timestamp_seconds", s,
                      [](std::string &v, const char *j, const std::string &l, const modul &m) {
                          // The cause is stored last: with it, its time is there.
                          if (m.pricina >= 0)
                              pripisf(v, "%s{%s} %u\n", j, l.c_str(), m.casresetu.load());
                      }));
    rodina(text, "kamnar_modul_prikazy_total", "counter", "Odeslane prikazy casu",
           kazdymodul("kamnar_modul_prikazy_total", s,
                      [](std::string &v, const char *j, const std::string &l, const modul &m) {
                          pripisf(v, "%s{%s} %llu\n", j, l.c_str(),
                                  static_cast<unsigned long long>(m.odeslano.load()));
                      }));
    rodina(text, "kamnar_modul_chyby_odeslani_total", "counter",
           "Prikazy casu, ktere se nepodarilo odeslat",
           kazdymodul("kamnar_modul_chyby_odeslani_total", s,
                      [](std::string &v, const char *j, const std::string &l, const modul &m) {
                          pripisf(v, "%s{%s} %llu\n", j, l.c_str(),
                                  static_cast<unsigned long long>(m.chybodeslani.load()));
                      }));
    return text;
}

void zapisstav(bool bezi) {
    int chyba = nahradsoubor(bezi);
    if (chyba == ENOENT)
        return; // no /run/kamnar: not run as the service
    if (chyba != 0 && !selhava)
        zapisdologuf(true, "Error: nelze zapsat stav do %s - chyba cislo %d \n", cestastavu, chyba);
    else if (chyba == 0 && selhava)
        zapisdologuf(true, "Stav se zase zapisuje do %s \n", cestastavu);
    selhava = chyba != 0;
}

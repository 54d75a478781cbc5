#include "ctenistavu.hpp"

#include "rodiny.hpp"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {

// The value of label `jmeno` in a label text such as modul="1",adresa="..."
// (the daemon writes no escaped quotes), or nothing.
std::optional<std::string> stitek(const std::string &stitky, const std::string &jmeno) {
    std::string hledam = jmeno + "=\"";
    for (std::size_t i = stitky.find(hledam); i != std::string::npos;
         i = stitky.find(hledam, i + 1)) {
        if (i != 0 && stitky[i - 1] != ',')
            continue;
        std::size_t od = i + hledam.size(), konec = stitky.find('"', od);
        if (konec == std::string::npos)
            return std::nullopt;
        return stitky.substr(od, konec - od);
    }
    return std::nullopt;
}

std::optional<int> cislomodulu(const std::string &stitky) {
    std::optional<std::string> m = stitek(stitky, "modul");
    if (!m || m->empty() || m->size() > 2 ||
        m->find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::atoi(m->c_str());
}

// A value of the daemon's own families.
void demona(prehled &p, rodina r, double hodnota) {
    auto cele = static_cast<long long>(hodnota);
    switch (r) {
    case rodina::bezi:
        p.bezi = cele != 0;
        p.hlasibeh = true;
        break;
    case rodina::start:
        p.start = cele;
        break;
    case rodina::odmodulu:
        p.odmodulu = cele;
        break;
    case rodina::odcizich:
        p.odcizich = cele;
        break;
    case rodina::zpozdeni:
        p.zpozdeni = hodnota;
        break;
    case rodina::cekajici:
        p.logceka = cele;
        break;
    case rodina::nezapsano:
        p.lognezapsano = hodnota;
        break;
    case rodina::ztraceno:
        p.logztraceno = cele;
        break;
    case rodina::vynechano:
        p.logvynechano = cele;
        break;
    case rodina::hodinysync:
        p.hodinysync = cele != 0;
        break;
    case rodina::maxerror:
        p.maxerror = hodnota;
        break;
    case rodina::chybazapisu:
        p.logchyba = cele;
        break;
    default:
        break;
    }
}

// A value of a module's families.
void modulu(prehledmodulu &m, rodina r, const std::string &stitky, double hodnota) {
    auto cele = static_cast<long long>(hodnota);
    switch (r) {
    case rodina::odpovida:
        m.odpovida = cele != 0;
        break;
    case rodina::tmr1:
        if (stitek(stitky, "stari") == "0")
            m.tmr1 = cele;
        break;
    case rodina::defpr1:
        m.defpr1 = cele;
        break;
    case rodina::souhlasi:
        m.souhlasi = cele != 0;
        break;
    case rodina::poslednipaket:
        m.poslednipaket = cele;
        break;
    case rodina::pricina:
        m.pricina = static_cast<int>(cele);
        break;
    case rodina::casresetu:
        m.casresetu = cele;
        break;
    case rodina::hlidac:
        m.hlidac = static_cast<int>(cele);
        break;
    default:
        break;
    }
}

} // namespace

prehled ctiprehled(const std::string &text) {
    prehled p;
    std::istringstream radky(text);
    for (std::string radek; std::getline(radky, radek);) {
        if (radek.empty() || radek[0] == '#')
            continue;
        std::size_t mezera = radek.rfind(' ');
        if (mezera == std::string::npos)
            continue;
        std::string jmeno = radek.substr(0, mezera), stitky;
        if (std::size_t z = jmeno.find('{'); z != std::string::npos) {
            if (jmeno.back() != '}')
                continue;
            stitky = jmeno.substr(z + 1, jmeno.size() - z - 2);
            jmeno.resize(z);
        }
        char *konec = nullptr;
        double hodnota = std::strtod(radek.c_str() + mezera + 1, &konec);
        // Not a number, or none the daemon writes (NaN, infinities and
        // values that would overflow a count of seconds).
        const popisrodiny *r = najdirodinu(jmeno);
        if (!r || konec == radek.c_str() + mezera + 1 || !(std::fabs(hodnota) < 1e15))
            continue;
        if (!modulova(r->r)) {
            demona(p, r->r, hodnota);
            continue;
        }
        std::optional<int> c = cislomodulu(stitky);
        if (!c)
            continue;
        prehledmodulu &m = p.moduly[*c];
        if (std::optional<std::string> a = stitek(stitky, "adresa"))
            m.adresa = *a;
        modulu(m, r->r, stitky, hodnota);
    }
    return p;
}

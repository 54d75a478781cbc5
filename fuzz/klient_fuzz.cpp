// Any command line for one board client (KLIENT names its function): the
// input's bytes split at each NUL into the words after the program name.
// The client's argument checking and message building must give a message
// within its kind's maximum, with its n byte and lead bytes right and its
// text the words that fit, or end before sending with the right status.
#include "klienti.hpp"
#include "spolecne.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The words each followed by one blank, in order, while the message length
// so far (starting at `zacatek`) plus the next word stays within `limit`;
// `cele` tells whether every word fitted.
struct text {
    std::string bajty;
    bool cele = true;
};
text slovaktera(argumenty slova, std::size_t zacatek, std::size_t limit) {
    text t;
    for (const char *slovo : slova) {
        std::size_t delka = std::strlen(slovo);
        if (zacatek + t.bajty.size() + delka > limit) {
            t.cele = false;
            break;
        }
        t.bajty.append(slovo).push_back(' ');
    }
    return t;
}

// The message's bytes; its kind's checks below read them.
std::string obsah(const zprava &z) {
    return {reinterpret_cast<const char *>(z.data()), z.size()};
}

std::string bajty(std::initializer_list<std::uint8_t> b) {
    return {b.begin(), b.end()};
}

const std::string orezavam = "\nJe to moc dlouhe - orezavam \n";

// The first nine characters of a word, all of a shorter one.
std::string devet(const char *slovo) {
    return std::string(slovo, strnlen(slovo, 9));
}

// What the client prints before any socket exists.
std::string vypis(const prikaz &p) {
    return std::string(p.vypis.obsah());
}

bool obsahuje(const std::string &text, const std::string &co) {
    return text.find(co) != std::string::npos;
}

// The SMS senders: 'P', the nine-byte number field, 0x00 at byte 10, then
// the text; at most 168 bytes.
void kontrolujsms(const prikaz &p, argumenty a, bool prepsana) {
    const std::string z = obsah(p.data);
    const std::string cislo = devet(a[0]);
    INVARIANT(z.size() >= 10 && z.size() <= 168);
    INVARIANT(z[0] == prikazsms);
    std::string pole = cislo;
    pole.resize(9, ' ');
    INVARIANT(z.substr(1, 9) == pole);
    // txtany's words start at byte 10, whose first character gives way to
    // the terminator; txtcell's start behind it.
    text t = slovaktera(a.subspan(1), prepsana ? 10 : 11, limitsms);
    if (prepsana && !t.bajty.empty())
        t.bajty[0] = '\0';
    INVARIANT(z.size() == (prepsana ? 10 : 11) + t.bajty.size());
    if (!prepsana)
        INVARIANT(z[10] == 0x00);
    INVARIANT(z.substr(prepsana ? 10 : 11) == t.bajty);
    INVARIANT(obsahuje(vypis(p), orezavam) == !t.cele);
    INVARIANT(std::string_view(p.zaver) == "SMS odeslana do Zarizeni \n\n");
}

// Modem line and display text: lead, n, constant, the words joined by
// blanks, 0x00; n counts the bytes from byte 3 on.
void kontrolujradek(const prikaz &p, argumenty a, std::uint8_t lead, std::uint8_t konstanta,
                    std::size_t limit, std::size_t nejdelsi) {
    const std::string z = obsah(p.data);
    INVARIANT(z.size() >= 4 && z.size() <= nejdelsi);
    INVARIANT(z[0] == lead && z[2] == konstanta);
    INVARIANT(static_cast<std::uint8_t>(z[1]) == z.size() - 3);
    INVARIANT(z.back() == 0x00);
    text t = slovaktera(a, 3, limit);
    if (t.bajty.empty())
        t.bajty = " "; // an empty text: the closing 0x00 alone
    t.bajty.back() = '\0';
    INVARIANT(z.substr(3) == t.bajty);
    INVARIANT(obsahuje(vypis(p), orezavam) == !t.cele);
}

void kontroluj(const prikaz &p, argumenty a) {
    const std::string jmeno = KLIENT_JMENO;
    // No console text comes near its buffer: nothing was cut.
    INVARIANT(p.vypis.delka < nejdelsivypis);
    if (jmeno == "txtprobe") {
        // Arguments are not looked at.
        INVARIANT(!p.konec && obsah(p.data) == bajty({prikaztestsms}));
        return;
    }
    if (a.empty()) {
        // The usage text, and nothing is sent.
        INVARIANT(p.konec == 0 && !vypis(p).empty());
        return;
    }
    if (jmeno == "txtcell" || jmeno == "txtany") {
        if (a.size() == 1) {
            INVARIANT(p.konec == 0 && vypis(p) == "No jo, ale chybi text ! \n");
            return;
        }
        if (jmeno == "txtany") {
            INVARIANT(!p.konec);
            kontrolujsms(p, a, true);
            return;
        }
        // The number is shown as typed, whatever it holds (no format of its own).
        const std::string cislo = devet(a[0]);
        INVARIANT(vypis(p).starts_with("cislo je --" + cislo + "-- \n"));
        bool platne = cislo.size() == 9 && (cislo[0] == '6' || cislo[0] == '7') &&
                      cislo.find_first_not_of("0123456789") == std::string::npos;
        INVARIANT(p.konec.has_value() == !platne);
        if (platne)
            kontrolujsms(p, a, false);
        else
            INVARIANT(p.konec == 0);
        return;
    }
    if (jmeno == "modemline") {
        INVARIANT(!p.konec);
        kontrolujradek(p, a, prikazgsm, konstgsm, limitgsm, 254);
        return;
    }
    if (jmeno == "lcdline") {
        INVARIANT(!p.konec);
        kontrolujradek(p, a, prikazdisplejekotle, konstdispleje, limitdispleje, 20);
        return;
    }
    if (jmeno == "boilertemp" || jmeno == "boilervolt") {
        const int cislo = std::atoi(devet(a[0]).c_str());
        const int nejvic = jmeno == "boilertemp" ? 75 : 240;
        char radek[80];
        std::snprintf(radek, sizeof radek, " prectena pozadovana teplota  %d stupnu Celsia \n",
                      cislo);
        INVARIANT(vypis(p).starts_with(radek)); // shown before the range check
        if (cislo < 0 || cislo > nejvic) {
            INVARIANT(p.konec == 1);
            return;
        }
        const int hodnota = jmeno == "boilertemp" ? 3 * cislo : cislo;
        INVARIANT(!p.konec);
        INVARIANT(obsah(p.data) == bajty({prikazdisplejekotle, 0x02, konstkotle,
                                          static_cast<std::uint8_t>(hodnota)}));
        INVARIANT(hodnota <= 240);
        return;
    }
    if (jmeno == "loglevel") {
        INVARIANT(!p.konec);
        const auto uroven = static_cast<std::uint32_t>(ctiuroven(a[0]));
        INVARIANT(obsah(p.data) == bajty({prikazlogu, static_cast<std::uint8_t>(uroven),
                                          static_cast<std::uint8_t>(uroven >> 8)}));
        return;
    }
    INVARIANT(!"a client without checks");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    pripravfuzz();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The words: the input split at every NUL (an empty input: no word).
    std::vector<std::string> slova;
    if (size > 0) {
        std::string vse(reinterpret_cast<const char *>(data), size);
        for (std::size_t od = 0;;) {
            std::size_t nul = vse.find('\0', od);
            slova.push_back(vse.substr(od, nul - od));
            if (nul == std::string::npos)
                break;
            od = nul + 1;
        }
    }
    std::vector<const char *> argv;
    for (const std::string &s : slova)
        argv.push_back(s.c_str());
    const argumenty a(argv.data(), argv.size());
    kontroluj(KLIENT(a), a);
    return 0;
}

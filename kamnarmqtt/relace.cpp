#include "relace.hpp"

#include "pripis.hpp"
#include "zpravy.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mosquitto.h>
#include <random>

namespace {

constexpr int udrzovani = 30;              // s of the keep-alive
constexpr int krok = 250;                  // ms of one step
constexpr long long nejdelsirozeni = 5000; // ms of the birth message's random delay

mosquitto *klient = nullptr;
nastaveni nast;
spojeni stav = spojeni::nevime;
bool pokus = false;         // connecting, or connected
bool prisloconnack = false; // the connect callback's news for the step
bool nove = false;          // for novespojeni
int odmitnuti = 0;          // the broker's refusal (CONNACK code), 0 none
long long dalsipokus = 0, prodleva = prvniprodleva;
long long rozeni = -1; // when the birth message's delay ends, -1 none
int posledniid = -1;   // the message id of `offline`
bool doruceno = false; // whether it was acknowledged
std::mt19937 nahoda{std::random_device{}()};

void hlasstav(spojeni s, const std::string &proc) {
    if (s == stav)
        return;
    stav = s;
    std::string radek = radekstavu(s, nast, proc);
    std::fwrite(radek.data(), 1, radek.size(), stdout);
    std::fflush(stdout);
}

void pripojen(mosquitto *, void *, int kod) {
    if (kod != 0) {
        odmitnuti = kod;
        return;
    }
    prisloconnack = true;
}

void prislazprava(mosquitto *, void *, const mosquitto_message *z) {
    // Only `online` on the status topic counts; anything else is ignored.
    std::string_view tema = z->topic ? z->topic : "";
    if (tema != nast.predponaha + "/status" || z->payloadlen != 6 ||
        std::string_view(static_cast<const char *>(z->payload), 6) != "online")
        return;
    long long kdy =
        hodinyms() + std::uniform_int_distribution<long long>(0, nejdelsirozeni)(nahoda);
    if (rozeni < 0 || kdy < rozeni)
        rozeni = kdy;
}

void zverejneno(mosquitto *, void *, int id) {
    if (id == posledniid)
        doruceno = true;
}

// A failed attempt or a lost connection: the next attempt after the back-off.
void selhalo(long long ted, const std::string &proc) {
    pokus = false;
    hlasstav(odmitnuti ? spojeni::odmitnuto : spojeni::nedostupny,
             odmitnuti ? mosquitto_connack_string(odmitnuti) : proc);
    odmitnuti = 0;
    dalsipokus = ted + prodleva;
    prodleva = dalsiprodleva(prodleva);
}

} // namespace

long long dalsiprodleva(long long ms) {
    return ms * 2 > nejdelsiprodleva ? nejdelsiprodleva : ms * 2;
}

std::string radekstavu(spojeni s, const nastaveni &n, const std::string &proc) {
    std::string t;
    const char *b = n.broker.c_str();
    if (s == spojeni::pripojeno)
        pripisf(t, "Spojeni s brokerem %s port %d navazano\n", b, n.port);
    else if (s == spojeni::nedostupny)
        pripisf(t, "Broker %s port %d neni dostupny (%s) - zkousim to znovu po 1 az 60 s\n", b,
                n.port, proc.c_str());
    else if (s == spojeni::odmitnuto)
        pripisf(t, "Broker %s port %d odmitl spojeni (%s) - zkousim to znovu po 1 az 60 s\n", b,
                n.port, proc.c_str());
    return t;
}

long long hodinyms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}

bool zalozrelaci(const nastaveni &n, const std::string &heslo, std::string &chyba) {
    nast = n;
    mosquitto_lib_init();
    // A client id of the library's making: two kamnarmqtt never push each
    // other off the broker. No session is kept: all is published anew.
    klient = mosquitto_new(nullptr, true, nullptr);
    if (!klient) {
        chyba = "Nelze vytvorit klienta MQTT - koncim\n";
        return false;
    }
    mosquitto_int_option(klient, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    std::string dostupnost = temadostupnosti(n);
    int kod = mosquitto_will_set(klient, dostupnost.c_str(), 7, "offline", 1, true);
    if (kod == MOSQ_ERR_SUCCESS && !n.uzivatel.empty())
        kod = mosquitto_username_pw_set(klient, n.uzivatel.c_str(),
                                        heslo.empty() ? nullptr : heslo.c_str());
    if (kod == MOSQ_ERR_SUCCESS && !n.tlsca.empty())
        kod = mosquitto_tls_set(klient, n.tlsca.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (kod != MOSQ_ERR_SUCCESS) {
        pripisf(chyba, "Klienta MQTT nelze nastavit (%s) - koncim\n", mosquitto_strerror(kod));
        return false;
    }
    mosquitto_connect_callback_set(klient, pripojen);
    mosquitto_message_callback_set(klient, prislazprava);
    mosquitto_publish_callback_set(klient, zverejneno);
    return true;
}

void obsluhuj(long long ted) {
    if (pokus) {
        int kod = mosquitto_loop(klient, krok, 1);
        int chyba = errno;
        if (prisloconnack) {
            prisloconnack = false;
            prodleva = prvniprodleva;
            hlasstav(spojeni::pripojeno, "");
            nove = true;
            std::string temastavu = nast.predponaha + "/status";
            mosquitto_subscribe(klient, nullptr, temastavu.c_str(), 1);
            zverejni(temadostupnosti(nast), "online");
        }
        if (kod != MOSQ_ERR_SUCCESS)
            selhalo(ted, kod == MOSQ_ERR_ERRNO ? std::strerror(chyba) : mosquitto_strerror(kod));
        return;
    }
    if (ted >= dalsipokus) {
        pokus = true;
        int kod = mosquitto_connect_async(klient, nast.broker.c_str(), nast.port, udrzovani);
        int chyba = errno;
        if (kod != MOSQ_ERR_SUCCESS)
            selhalo(ted, kod == MOSQ_ERR_ERRNO ? std::strerror(chyba) : mosquitto_strerror(kod));
        return;
    }
    long long spi = std::min<long long>(krok, dalsipokus - ted);
    timespec t{static_cast<time_t>(spi / 1000), static_cast<long>(spi % 1000) * 1000000};
    nanosleep(&t, nullptr);
}

bool pripojeno() {
    return pokus && stav == spojeni::pripojeno;
}

bool novespojeni() {
    bool bylo = nove;
    nove = false;
    return bylo;
}

bool rozenivyprselo(long long ted) {
    if (rozeni < 0 || ted < rozeni)
        return false;
    rozeni = -1;
    return true;
}

bool zverejni(const std::string &tema, const std::string &obsah) {
    return pripojeno() &&
           mosquitto_publish(klient, nullptr, tema.c_str(), static_cast<int>(obsah.size()),
                             obsah.data(), 1, true) == MOSQ_ERR_SUCCESS;
}

void ukoncirelaci() {
    if (pripojeno()) {
        std::string dostupnost = temadostupnosti(nast);
        doruceno = false;
        if (mosquitto_publish(klient, &posledniid, dostupnost.c_str(), 7, "offline", 1, true) ==
            MOSQ_ERR_SUCCESS) {
            long long konec = hodinyms() + 5000;
            while (!doruceno && hodinyms() < konec &&
                   mosquitto_loop(klient, 100, 1) == MOSQ_ERR_SUCCESS) {
            }
        }
        mosquitto_disconnect(klient);
        mosquitto_loop(klient, 100, 1);
    }
    mosquitto_destroy(klient);
    klient = nullptr;
    mosquitto_lib_cleanup();
}

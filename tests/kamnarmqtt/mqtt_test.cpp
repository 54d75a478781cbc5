// kamnarmqtt against Debian's mosquitto in the test's sandbox: what a
// subscriber finds retained on the broker beside the daemon and after each
// of the things that go wrong in a house (a killed program, a restarted
// broker, a restarted hub, a module taken out, no broker yet, a bad
// configuration, a bad state file), and the pieces its messages are made of.
#include "daemonfixture.hpp"
#include "harness.hpp"
#include "jsonkontrola.hpp"
#include "nastaveni.hpp"
#include "zpravy.hpp"

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <list>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using zpravy = std::map<std::string, std::string>;

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

bool prijima() {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(1883);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

// Debian's broker without a configuration file (so without persistence) on
// 127.0.0.1 port 1883, once it accepts connections.
harness::process broker() {
    harness::process p = harness::start({"/usr/sbin/mosquitto", "-p", "1883"});
    EXPECT_TRUE(harness::waitfor(prijima, 10s)) << "mosquitto does not listen";
    return p;
}

// What a new subscriber to everything gets retained, by topic.
zpravy ulozene() {
    harness::result r = harness::run({"/usr/bin/mosquitto_sub", "-p", "1883", "-t", "#", "-F",
                                      "%t %p", "--retained-only", "-W", "1"});
    zpravy z;
    std::size_t od = 0;
    for (std::size_t konec; (konec = r.out.find('\n', od)) != std::string::npos; od = konec + 1) {
        std::string radek = r.out.substr(od, konec - od);
        std::size_t mezera = radek.find(' ');
        z[radek.substr(0, mezera)] = mezera == std::string::npos ? "" : radek.substr(mezera + 1);
    }
    return z;
}

void pub(const std::string &tema, const std::string &obsah, bool retain = false) {
    std::vector<std::string> a{"/usr/bin/mosquitto_pub", "-p", "1883", "-q", "1", "-t", tema};
    if (obsah.empty())
        a.push_back("-n");
    else
        a.insert(a.end(), {"-m", obsah});
    if (retain)
        a.push_back("-r");
    ASSERT_EQ(harness::run(a).status, 0);
}

std::string modul(int c, const std::string &adresa, const std::string &co, long long hodnota) {
    return "kamnar_modul_" + co + "{modul=\"" + std::to_string(c) + "\",adresa=\"" + adresa +
           "\"} " + std::to_string(hodnota) + "\n";
}

// A running daemon's file with its modules at the addresses, the first
// answering, the others not.
std::string soubor(std::vector<std::string> adresy) {
    std::string t = "kamnar_bezi 1\nkamnar_start_timestamp_seconds 1796630000\n";
    for (std::size_t i = 0; i < adresy.size(); ++i) {
        t += modul(static_cast<int>(i), adresy[i], "hlidac", i == 0 ? 10 : 0);
        t += modul(static_cast<int>(i), adresy[i], "odpovida", i == 0);
    }
    return t;
}

// Replaces the state file as the daemon does: written beside it and renamed.
void zapisstav(const std::string &text) {
    mkdir("/run/kamnar", 0755);
    harness::writefile("/run/kamnar/kamnar.prom.tmp", text);
    ASSERT_EQ(rename("/run/kamnar/kamnar.prom.tmp", "/run/kamnar/kamnar.prom"), 0);
}

class Mqtt : public ::testing::Test {
  protected:
    std::string work, konfigurace;
    harness::options opt;
    std::list<harness::process> procesy; // killed after the test (kept in place)

    void SetUp() override {
        work = harness::sandbox();
        konfigurace = work + "/kamnarmqtt.conf";
        harness::writefile(konfigurace, "# the defaults\n");
        opt.env = {"TZ=Europe/Prague", "STATE_DIRECTORY=" + work};
        opt.timeout = 20s;
    }
    void TearDown() override {
        for (harness::process &p : procesy)
            if (p.pid > 0)
                harness::finish(p, SIGKILL);
    }
    harness::process &kamnarmqtt() {
        procesy.push_back(harness::start({harness::bin("kamnarmqtt"), "-c", konfigurace}, opt));
        return procesy.back();
    }
    harness::process &mosquitto() {
        procesy.push_back(broker());
        return procesy.back();
    }
    // Waits until the retained messages meet the condition (a query takes 1 s).
    static zpravy pockej(const std::function<bool(zpravy &)> &podminka,
                         std::chrono::milliseconds limit = 15s) {
        zpravy z;
        harness::waitfor([&] { return podminka(z = ulozene()); }, limit);
        return z;
    }
};

const std::string dostupnost = "kamnar/dostupnost";
const std::string odpovida2 = "homeassistant/binary_sensor/kamnar_127_0_0_2_odpovida/config";

TEST(Nastaveni, ReadsEveryKeyAndNamesTheFaultyLine) {
    nastaveni n;
    EXPECT_EQ(ctinastaveni("# x\n\nbroker mqtt.doma\nport 8883\nuzivatel kamnar\nheslo_soubor "
                           "/etc/h\ntls_ca /etc/ca.pem\npredpona_ha ha/x\ntema dum/kamnar\n",
                           "k.conf", n),
              "");
    EXPECT_EQ(n.broker + " " + n.uzivatel + " " + n.heslosoubor + " " + n.tlsca + " " +
                  n.predponaha + " " + n.tema,
              "mqtt.doma kamnar /etc/h /etc/ca.pem ha/x dum/kamnar");
    EXPECT_EQ(n.port, 8883);
    const std::pair<const char *, const char *> spatne[] = {
        {"brokr x\n", "k.conf radek 1: neznamy klic brokr - koncim"},
        {"\nport\n", "k.conf radek 2: klic port nema hodnotu - koncim"},
        {"port 0\n", "k.conf radek 1: spatna hodnota klice port - koncim"},
        {"port 65536\n", "k.conf radek 1: spatna hodnota klice port - koncim"},
        {"port 1883 #\n", "k.conf radek 1: spatna hodnota klice port - koncim"},
        {"tema a/+\n", "k.conf radek 1: spatna hodnota klice tema - koncim"},
        {"predpona_ha ha/\n", "k.conf radek 1: spatna hodnota klice predpona_ha - koncim"},
        {"tls_ca ca.pem\n", "k.conf radek 1: spatna hodnota klice tls_ca - koncim"},
        {"tema a\ntema b\n", "k.conf radek 2: klic tema je uveden podruhe - koncim"},
        {"heslo_soubor /h\n", "k.conf radek 1: heslo_soubor bez klice uzivatel - koncim"},
    };
    for (auto [text, radek] : spatne) {
        nastaveni m;
        EXPECT_EQ(ctinastaveni(text, "k.conf", m), radek) << text;
    }
    // Owner, group, mode, and the service's uid and gid.
    EXPECT_TRUE(hesloukryte(0, 0, 0600, 61234, 61234));
    EXPECT_TRUE(hesloukryte(61234, 0, 0440, 61234, 61234));
    EXPECT_FALSE(hesloukryte(0, 0, 0604, 61234, 61234));
    EXPECT_FALSE(hesloukryte(0, 100, 0640, 61234, 61234));
    EXPECT_FALSE(hesloukryte(1000, 0, 0600, 61234, 61234));
}

// Only a module with a dotted IPv4 address is published: nothing else of
// the file reaches a topic (a NUL in the address would make the topic of
// the module before it).
TEST(Zpravy, OnlyModulesWithADottedAddressArePublished) {
    prehled p;
    const std::string adresy[] = {"127.0.0.2", std::string("127.0.0.2\0\0", 11), "10.0.0.1/#",
                                  "<b>", "127.0.0.2"};
    for (int c = 0; c < 5; ++c)
        p.moduly[c].adresa = adresy[c];
    std::string temata;
    for (const sdeleni &z : vsechnyzpravy(nastaveni{}, p, true))
        temata += z.tema + "\n";
    EXPECT_EQ(harness::count(temata, "kamnar_127_0_0_2_"), 6u) << temata;
    EXPECT_EQ(harness::count(temata, "\nkamnar/modul/127.0.0.2\n"), 1u) << temata;
    EXPECT_EQ(harness::count(temata, "\n"), 4u + 6 + 2);
}

// The configurations that cannot be used: one line naming the line, exit
// status 2, nothing published.
TEST_F(Mqtt, BadConfigurationExitsWithItsLineAndPublishesNothing) {
    mosquitto();
    zapisstav(soubor({"127.0.0.2"}));
    harness::writefile(work + "/heslo", "tajne\n");
    chmod((work + "/heslo").c_str(), 0644);
    const std::pair<std::string, std::string> spatne[] = {
        {"port 1883\nbarva modra\n", konfigurace + " radek 2: neznamy klic barva - koncim\n"},
        {"uzivatel k\nheslo_soubor " + work + "/heslo\n",
         konfigurace + " radek 2: soubor s heslem " + work +
             "/heslo smi cist jen root a sluzba - koncim\n"},
        {"tls_ca " + work + "/zadny.pem\n",
         konfigurace + " radek 1: soubor " + work +
             "/zadny.pem nelze precist - chyba cislo 2 - koncim\n"},
    };
    for (const auto &[text, radek] : spatne) {
        harness::writefile(konfigurace, text);
        harness::result r = harness::run({harness::bin("kamnarmqtt"), "-c", konfigurace}, opt);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, radek);
    }
    harness::result r = harness::run({harness::bin("kamnarmqtt"), "-c", work + "/zadny"}, opt);
    EXPECT_EQ(r.out,
              "Konfiguracni soubor " + work + "/zadny nelze precist - chyba cislo 2 - koncim\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(ulozene().empty());
}

// The will: `offline` retained once the broker sees the connection gone.
TEST_F(Mqtt, WillSaysOfflineAfterSigkill) {
    mosquitto();
    zapisstav(soubor({"127.0.0.2"}));
    harness::process &k = kamnarmqtt();
    EXPECT_EQ(pockej([](zpravy &z) { return z[dostupnost] == "online"; })[dostupnost], "online");
    harness::finish(k, SIGKILL);
    EXPECT_EQ(pockej([](zpravy &z) { return z[dostupnost] == "offline"; })[dostupnost], "offline");
}

// Readings every 2 s that change nothing send nothing, nor does a module's
// new time of its last datagram and watchdog alone: a subscriber of 7 s
// gets the retained messages and no other.
TEST_F(Mqtt, UnchangedValuesAreNotSentAgain) {
    mosquitto();
    zapisstav(soubor({"127.0.0.2"}));
    kamnarmqtt();
    pockej([](zpravy &z) { return z.contains("kamnar/modul/127.0.0.2"); });
    harness::process sub = harness::start(
        {"/usr/bin/mosquitto_sub", "-p", "1883", "-t", "kamnar/#", "-F", "%r %t", "-W", "7"});
    sleep(1);
    zapisstav(soubor({"127.0.0.2"}) + modul(0, "127.0.0.2", "hlidac", 9) +
              modul(0, "127.0.0.2", "posledni_paket_timestamp_seconds", 1796630400));
    std::string out = harness::finish(sub, 0).out;
    EXPECT_EQ(harness::count(out, "\n"), 3u) << out;
    EXPECT_EQ(harness::count(out, "1 kamnar/"), 3u) << out;
}

TEST_F(Mqtt, OfflineAfterSigterm) {
    mosquitto();
    zapisstav(soubor({"127.0.0.2"}));
    harness::process &k = kamnarmqtt();
    pockej([](zpravy &z) { return z[dostupnost] == "online"; });
    harness::result r = harness::finish(k, SIGTERM);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("kamnarmqtt skoncil\n")) << r.out;
    // Published by kamnarmqtt before it disconnected: a clean disconnect
    // drops the will.
    EXPECT_EQ(ulozene()[dostupnost], "offline");
}

// Without persistence a restarted broker has nothing retained: kamnarmqtt
// connects again after its back-off (1, 2, 4 s) and publishes everything.
TEST_F(Mqtt, BrokerRestartedWithoutPersistenceGetsEverythingBack) {
    harness::process *b = &mosquitto();
    zapisstav(soubor({"127.0.0.2", "127.0.0.3"}));
    harness::process &k = kamnarmqtt();
    zpravy pred = pockej([](zpravy &z) { return z.size() == 20; });
    ASSERT_EQ(pred.size(), 20u); // availability, 4 + 2 x 6 configs, 3 states
    harness::finish(*b, SIGTERM);
    sleep(2);
    b = &mosquitto();
    EXPECT_EQ(pockej([&](zpravy &z) { return z == pred; }), pred);
    std::string out = harness::output(k);
    EXPECT_EQ(harness::count(out, " neni dostupny ("), 1u) << out;
    EXPECT_EQ(harness::count(out, "Spojeni s brokerem 127.0.0.1 port 1883 navazano\n"), 2u);
}

// Home Assistant's birth message brings every config again within 5 s;
// anything else on its topic is ignored.
TEST_F(Mqtt, BirthMessageSendsEverythingAgainAndNothingElseDoes) {
    mosquitto();
    zapisstav(soubor({"127.0.0.2"}));
    kamnarmqtt();
    pockej([](zpravy &z) { return z.contains(odpovida2); });
    pub(odpovida2, "", true);
    for (const char *cizi : {"offline", "online ", "ONLINE", "{\"online\":1}"})
        pub("homeassistant/status", cizi);
    // More than the 5 s of the birth message's delay, with 1 s of room.
    sleep(6);
    EXPECT_FALSE(ulozene().contains(odpovida2));
    pub("homeassistant/status", "online");
    EXPECT_TRUE(pockej([](zpravy &z) { return z.contains(odpovida2); }, 8s).contains(odpovida2));
}

// A module that left the configuration while kamnarmqtt was stopped: every
// topic of it is cleared at the next start, the others' stay.
TEST_F(Mqtt, ModuleThatLeftTheConfigurationIsCleared) {
    mosquitto();
    zapisstav(soubor({"127.0.0.2", "127.0.0.3"}));
    harness::process *k = &kamnarmqtt();
    pockej([](zpravy &z) { return z.size() == 20; });
    harness::finish(*k, SIGTERM);
    zapisstav(soubor({"127.0.0.2"}));
    kamnarmqtt();
    zpravy z = pockej([](zpravy &y) { return y.size() == 13 && y[dostupnost] == "online"; });
    EXPECT_EQ(z.size(), 13u);
    for (const auto &[tema, obsah] : z)
        EXPECT_FALSE(has(tema, "127_0_0_3") || has(tema, "127.0.0.3")) << tema;
    EXPECT_TRUE(z.contains(odpovida2) && z.contains("kamnar/modul/127.0.0.2"));
}

// No broker at the start: one line, attempts after 1 and 2 s, and all is
// published once it is there.
TEST_F(Mqtt, BrokerAbsentAtTheStartIsWaitedFor) {
    zapisstav(soubor({"127.0.0.2"}));
    harness::process &k = kamnarmqtt();
    ASSERT_TRUE(harness::waitfor([&] { return has(harness::output(k), "neni dostupny"); }, 5s));
    sleep(2);
    mosquitto();
    EXPECT_EQ(pockej([](zpravy &z) { return z.size() == 13; }).size(), 13u);
    EXPECT_EQ(harness::output(k),
              "kamnarmqtt cte stav ze souboru /run/kamnar/kamnar.prom a posila ho brokeru "
              "127.0.0.1 port 1883\nBroker 127.0.0.1 port 1883 neni dostupny (Connection "
              "refused) - zkousim to znovu po 1 az 60 s\nSpojeni s brokerem 127.0.0.1 port "
              "1883 navazano\n");
}

// A torn, foreign or stale file: the daemon does not run, the modules'
// states stay as they were.
TEST_F(Mqtt, BadStateFileOnlyStopsTheDaemon) {
    mosquitto();
    zapisstav(soubor({"127.0.0.2"}));
    kamnarmqtt();
    zpravy pred = pockej([](zpravy &z) { return has(z["kamnar/demon"], "\"bezi\":true"); });
    const std::string spatne[] = {"kamnar_bezi 1\nkamnar_modul_odpovida{modul=\"0\",ad",
                                  "nejaky jiny soubor\n", soubor({})};
    for (const std::string &text : spatne) {
        zapisstav(soubor({"127.0.0.2"}));
        pockej([](zpravy &z) { return has(z["kamnar/demon"], "\"bezi\":true"); });
        zapisstav(text);
        if (&text == &spatne[2]) { // stale: its time of change 31 s ago
            timespec t[2] = {{time(nullptr) - 31, 0}, {time(nullptr) - 31, 0}};
            utimensat(AT_FDCWD, "/run/kamnar/kamnar.prom", t, 0);
        }
        zpravy z = pockej([](zpravy &y) { return has(y["kamnar/demon"], "\"bezi\":false"); });
        EXPECT_TRUE(has(z["kamnar/demon"], "\"od\":\"2026-12-07T08:53:20+01:00\"")) << text;
        EXPECT_EQ(z["kamnar/modul/127.0.0.2"], pred["kamnar/modul/127.0.0.2"]);
        EXPECT_EQ(z.size(), pred.size());
    }
}

class MqttDaemon : public RunningDaemon {};

// Beside the daemon with one module answering and one silent, as Home
// Assistant would find it: every topic retained and valid JSON, each entity
// its own config with its id, device and origin, the modules' devices under
// the daemon's, and the connectivity on and off. 100 s of the daemon's
// cycles until the silent module is reported.
TEST_F(MqttDaemon, DiscoveryAndStatesOfAnAnsweringAndASilentModule) {
    mkdir("/run/kamnar", 0755);
    configure("[127.0.0.2]\n0 a.ics\n[127.0.0.3]\n1 a.ics\n");
    helpers.push_back(harness::start({harness::bin("simmodul"), "127.0.0.2", "--quiet"}));
    opt.timeout = 20s;
    launch();
    helpers.push_back(broker());
    harness::writefile(work + "/k.conf", "");
    harness::options o = opt;
    o.env.push_back("STATE_DIRECTORY=" + work);
    helpers.push_back(harness::start({harness::bin("kamnarmqtt"), "-c", work + "/k.conf"}, o));
    const harness::process &k = helpers.back();
    zpravy z;
    ASSERT_TRUE(harness::waitfor(
        [&] {
            z = ulozene();
            return has(z["kamnar/modul/127.0.0.3"], "\"odpovida\":false") &&
                   has(z["kamnar/modul/127.0.0.2"], "\"odpovida\":true,\"cas_souhlasi\":true");
        },
        180s))
        << harness::output(k) << harness::readfile("/run/kamnar/kamnar.prom") << harness::logtext();
    EXPECT_EQ(z[dostupnost], "online");
    EXPECT_TRUE(has(z["kamnar/demon"], "{\"bezi\":true,\"od\":\"20"));
    EXPECT_EQ(z.size(), 20u);
    for (const auto &[tema, obsah] : z) {
        if (tema == dostupnost)
            continue;
        EXPECT_TRUE(platnyjson(obsah)) << tema << " " << obsah;
        if (!tema.ends_with("/config"))
            continue;
        std::string id = tema.substr(tema.rfind('/', tema.size() - 8) + 1);
        id.resize(id.size() - 7);
        EXPECT_TRUE(has(obsah, "\"unique_id\":\"" + id + "\"")) << obsah;
        EXPECT_TRUE(has(obsah, "\"origin\":{\"name\":\"kamnarmqtt\",\"sw_version\":\"1.0.0\"}"));
        EXPECT_TRUE(has(obsah, "\"availability\":[{\"topic\":\"kamnar/dostupnost\"}"));
        EXPECT_EQ(has(obsah, "\"via_device\":\"kamnar_demon\""), !has(id, "demon")) << obsah;
    }
    EXPECT_TRUE(has(z[odpovida2], "\"device_class\":\"connectivity\""));
    EXPECT_TRUE(has(z["homeassistant/sensor/kamnar_127_0_0_3_tmr1/config"],
                    "\"name\":\"Modul 01 (127.0.0.3)\""));
}

} // namespace

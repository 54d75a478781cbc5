// The state file /run/kamnar/kamnar.prom: its text, the daemon writing it,
// kamnarstav reading it, and Prometheus' own tools reading it.
#include "ctenistavu.hpp"
#include "daemonfixture.hpp"
#include "datagram.hpp"
#include "harness.hpp"
#include "rodiny.hpp"
#include "stav.hpp"
#include "tables.hpp"
#include "tabulka.hpp"
#include "trimoduly.hpp"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <regex>
#include <set>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timex.h>
#include <unistd.h>

namespace {

using harness::count;
using namespace std::chrono_literals;

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

TEST(StateText, HoldsWhatIsKnownAndKamnarstavTabulatesIt) {
    setenv("TZ", "Europe/Prague", 1);
    tzset();
    filltables();
    std::string text = vytvorstav();

    // Every sample follows the HELP and TYPE lines of its own family, and
    // every family is declared once.
    std::istringstream lines(text);
    std::string family;
    std::set<std::string> declared;
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, std::regex(R"(# HELP (kamnar_\w+) \S.*)"))) {
            EXPECT_TRUE(declared.insert(m[1]).second) << line;
            family = m[1];
        } else if (std::regex_match(line, m, std::regex(R"(# TYPE (\w+) (gauge|counter))"))) {
            EXPECT_EQ(m[1], family);
            EXPECT_EQ(m[2] == "counter", family.ends_with("_total")) << line;
        } else {
            ASSERT_TRUE(std::regex_match(line, m, std::regex(R"((\w+)(\{[^}]*\})? -?[0-9.]+)")))
                << line;
            EXPECT_EQ(m[1], family) << line;
        }
    }

    const std::string m0 = "{modul=\"0\",adresa=\"192.168.1.20\"}";
    const std::string m1 = "{modul=\"1\",adresa=\"192.168.1.21\"}";
    const std::string m2 = "{modul=\"2\",adresa=\"192.168.1.22\"}";
    EXPECT_TRUE(has(text, "\nkamnar_start_timestamp_seconds 1796630000\n"));
    EXPECT_TRUE(has(text, "\nkamnar_pakety_od_modulu_total 3\n"));
    EXPECT_TRUE(has(text, "\nkamnar_pakety_od_cizich_total 1\n"));
    EXPECT_TRUE(has(text, "\nkamnar_cyklus_zpozdeni_seconds 0.000112\n"));
    EXPECT_TRUE(has(text, "kamnar_modul_odpovida" + m0 + " 1\nkamnar_modul_odpovida" + m1 +
                              " 0\nkamnar_modul_odpovida" + m2 + " 1\n"));
    // Only the readings taken, the newest first.
    EXPECT_TRUE(has(text, "kamnar_modul_tmr1{modul=\"0\",adresa=\"192.168.1.20\",stari=\"0\"} "
                          "1014\nkamnar_modul_tmr1{modul=\"0\",adresa=\"192.168.1.20\",stari="
                          "\"1\"} 1007\nkamnar_modul_tmr1{modul=\"2\""));
    EXPECT_TRUE(has(text, ",stari=\"4\"} 1\n"));
    EXPECT_EQ(count(text, "kamnar_modul_tmr1{"), 7u);
    // A DEFPR1 of 0 that came is shown; one that never came is not.
    EXPECT_TRUE(
        has(text, "# TYPE kamnar_modul_defpr1 gauge\nkamnar_modul_defpr1" + m0 + " 0\n# HELP"));
    EXPECT_TRUE(has(text, "kamnar_modul_cas_souhlasi" + m0 + " 1\nkamnar_modul_cas_souhlasi" + m2 +
                              " 0\n#"));
    EXPECT_TRUE(has(text, "kamnar_modul_posledni_paket_timestamp_seconds" + m0 +
                              " 1796630400\nkamnar_modul_posledni_paket_timestamp_seconds" + m2 +
                              " 1796630405\n#"));
    EXPECT_TRUE(has(text, "# TYPE kamnar_modul_reset_pricina gauge\nkamnar_modul_reset_pricina" +
                              m2 + " 3\n#"));
    EXPECT_TRUE(has(text, "gauge\nkamnar_modul_reset_cas_modulu_timestamp_seconds" + m2 +
                              " 1796630390\n#"));
    EXPECT_TRUE(has(text, "kamnar_modul_prikazy_total" + m1 + " 10\n"));
    EXPECT_TRUE(has(text, "kamnar_modul_chyby_odeslani_total" + m1 + " 2\n"));

    prehled p = ctiprehled(text);
    EXPECT_EQ(tabulka(p, 1796630410),
              "modul  adresa           odpovida  posledni paket  TMR1   DEFPR1  cas modulu  "
              "posledni reset\n"
              "   00  192.168.1.20     ano       pred 10 s        1014       0  souhlasi    -\n"
              "   01  192.168.1.21     NE        nikdy               -       -  -           -\n"
              "   02  192.168.1.22     ano       pred 5 s            5       -  nesouhlasi  "
              "SOFTE Reset\n"
              "kamnar bezi od 07.12.2026 08:53:20, paketu od modulu 3, z cizich adres 1, "
              "zpozdeni cyklu 0.112 ms\n");
    EXPECT_EQ(vysledek(p), 1);
    polemod[1].hlidac = 1;
    EXPECT_EQ(vysledek(ctiprehled(vytvorstav())), 0);
    // The snapshot written at the stop says so, and kamnarstav too.
    EXPECT_TRUE(has(text, "# TYPE kamnar_bezi gauge\nkamnar_bezi 1\n"));
    std::string konec = vytvorstav(false);
    EXPECT_TRUE(has(konec, "# TYPE kamnar_bezi gauge\nkamnar_bezi 0\n"));
    EXPECT_EQ(vysledek(ctiprehled(konec)), 2);
    EXPECT_TRUE(has(tabulka(ctiprehled(konec), 1796630410),
                    "\nkamnar skoncil, bezel od 07.12.2026 08:53:20, paketu od modulu 3,"));

    // The log: shown when its disk has not answered for a second or more, or
    // entries were lost.
    for (const char *nic : {"\nkamnar_log_cekajici 0\n", "\nkamnar_log_nezapsano_seconds 0.000\n",
                            "\nkamnar_log_ztraceno_total 0\n", "\nkamnar_log_chyba_zapisu 0\n"})
        EXPECT_TRUE(has(text, nic)) << nic;
    EXPECT_FALSE(has(tabulka(p, 1796630410), "log"));
}

class StateFile : public RunningDaemon {
  protected:
    void configure(const std::vector<std::string> &modules) {
        std::string conf;
        for (std::size_t i = 0; i < modules.size(); ++i)
            conf += "[" + modules[i] + "]\n" + std::to_string(i) + " a.ics\n";
        RunningDaemon::configure(conf);
    }
    static std::string state() { return harness::readfile(cestastavu); }
    static bool stateholds(const std::string &part) { return has(state(), part); }
};

TEST_F(StateFile, NothingIsWrittenWithoutTheServicesDirectory) {
    configure({"127.0.0.2"});
    socks.push_back(harness::fakemodule("127.0.0.2"));
    launch();
    harness::command c;
    ASSERT_TRUE(harness::receive(socks[0], c)); // a send cycle has run
    EXPECT_EQ(harness::finish(daemon, SIGINT).status, 0);
    DIR *run = opendir("/run");
    ASSERT_NE(run, nullptr);
    int entries = 0;
    while (dirent *e = readdir(run))
        entries += e->d_name[0] != '.';
    closedir(run);
    EXPECT_EQ(entries, 0);
    EXPECT_FALSE(logged("nelze zapsat stav"));
}

TEST_F(StateFile, FollowsTheModulesAndIsLeftAtTheStop) {
    mkdir(adresarstavu, 0755);
    configure({"127.0.0.2"});
    socks.push_back(harness::fakemodule("127.0.0.2"));
    int stranger = harness::fakemodule("127.0.0.9");
    socks.push_back(stranger);
    launch();
    ASSERT_TRUE(harness::waitfor([] { return stateholds("kamnar_start_timestamp_seconds"); }));
    EXPECT_FALSE(stateholds("kamnar_modul_defpr1"));
    EXPECT_FALSE(stateholds("kamnar_modul_posledni_paket"));

    harness::command c;
    ASSERT_TRUE(harness::receive(socks[0], c));
    int commands = 1;
    auto b = sestavstav({typdefpr1, bitsouhlasi, 3, 0, 0, 1700000000, 672});
    harness::sendstatus(socks[0], {b.begin(), b.end()});
    harness::sendstatus(stranger, {b.begin(), b.end()});
    const std::string m0 = "{modul=\"0\",adresa=\"127.0.0.2\"}";
    ASSERT_TRUE(harness::waitfor([&] {
        return stateholds("kamnar_modul_defpr1" + m0 + " 672\n") &&
               stateholds("kamnar_pakety_od_cizich_total 1\n");
    }));
    std::string text = state();
    EXPECT_TRUE(has(text, "\nkamnar_bezi 1\n"));
    EXPECT_TRUE(has(text, "kamnar_pakety_od_modulu_total 1\n"));
    EXPECT_TRUE(has(text, "kamnar_modul_odpovida" + m0 + " 1\n"));
    EXPECT_TRUE(has(text, "kamnar_modul_cas_souhlasi" + m0 + " 1\n"));
    EXPECT_TRUE(has(text, "kamnar_modul_reset_pricina" + m0 + " 3\n"));
    EXPECT_TRUE(
        has(text, "kamnar_modul_reset_cas_modulu_timestamp_seconds" + m0 + " 1700000000\n"));
    EXPECT_TRUE(has(text, "kamnar_modul_posledni_paket_timestamp_seconds" + m0 + " "));
    EXPECT_TRUE(has(text, "\nkamnar_cyklus_zpozdeni_seconds 0."));
    struct stat st {};
    ASSERT_EQ(stat(cestastavu, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "the collector runs as a user of its own";

    harness::result r = harness::run({harness::bin("kamnarstav")}, opt);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\n   00  127\\.0\\.0\\.2        ano       "
                                                    "pred \\d+ s +-     672  souhlasi    "
                                                    "SOFTE Reset\n")))
        << r.out;

    // The file written at the stop counts every command sent, those of the
    // cycle that ran after the signal included.
    harness::result end = harness::finish(daemon, SIGINT);
    EXPECT_EQ(end.status, 0);
    while (harness::receive(socks[0], c, 100ms))
        ++commands;
    EXPECT_TRUE(
        stateholds("kamnar_modul_prikazy_total" + m0 + " " + std::to_string(commands) + "\n"))
        << commands << " commands\n"
        << state();
    EXPECT_TRUE(stateholds("\nkamnar_bezi 0\n"));
    EXPECT_EQ(harness::run({harness::bin("kamnarstav")}, opt).status, 2);
    EXPECT_NE(access(docasnystav, F_OK), 0) << "the temporary file is renamed, never left";
    EXPECT_FALSE(logged("nelze zapsat stav"));
}

TEST_F(StateFile, AFailedWriteIsLoggedOnceAndSoIsItsEnd) {
    mkdir(adresarstavu, 0755);
    ASSERT_EQ(mkdir(docasnystav, 0755), 0); // a directory where the file is written first
    configure({"127.0.0.2"});
    socks.push_back(harness::fakemodule("127.0.0.2"));
    launch();
    const std::string failed = "<T>Error: nelze zapsat stav do /run/kamnar/kamnar.prom - chyba "
                               "cislo 21 \n";
    ASSERT_TRUE(harness::waitfor([&] { return logged(failed); }));
    // The commands go on, through ten seconds and more of failed writes.
    harness::command c;
    ASSERT_TRUE(harness::receive(socks[0], c));
    ASSERT_TRUE(harness::receive(socks[0], c));
    ASSERT_EQ(rmdir(docasnystav), 0);
    ASSERT_TRUE(harness::waitfor([] { return access(cestastavu, F_OK) == 0; }));
    EXPECT_EQ(harness::finish(daemon, SIGINT).status, 0);
    std::string log = harness::maskprefixes(harness::logtext());
    EXPECT_EQ(count(log, "nelze zapsat stav"), 1u) << log;
    EXPECT_EQ(count(log, "Stav se zase"), 1u) << log;
    EXPECT_LT(log.find(failed), log.find("<T>Stav se zase zapisuje do /run/kamnar/kamnar.prom \n"));
}

// The whole answer to a scrape of node_exporter on loopback, or "".
std::string scrape(unsigned short port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) {
        const std::string get = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (write(s, get.data(), get.size()) == static_cast<ssize_t>(get.size())) {
            char buf[4096];
            for (ssize_t n; (n = read(s, buf, sizeof buf)) > 0;)
                answer.append(buf, static_cast<std::size_t>(n));
        }
    }
    close(s);
    return answer;
}

// About 100 s: the silent module must be reported as such.
TEST_F(StateFile, PrometheusToolsReadItWhileModulesTalk) {
    const std::string exporter =
                          std::string(KAMNAR_PROMETHEUS_DIR) + "/usr/bin/prometheus-node-exporter",
                      promtool = std::string(KAMNAR_PROMETHEUS_DIR) + "/usr/bin/promtool";
    if (access(exporter.c_str(), X_OK) != 0 || access(promtool.c_str(), X_OK) != 0)
        GTEST_SKIP() << "no " << exporter << " or " << promtool
                     << ": scripts/prometheus-tools unpacks them";
    mkdir(adresarstavu, 0755);
    launchhouse();
    helpers.push_back(harness::start(
        {exporter, "--collector.disable-defaults", "--collector.textfile",
         "--collector.textfile.directory=/run/kamnar", "--web.listen-address=127.0.0.1:9100"}));

    ASSERT_TRUE(harness::waitfor([] {
        return stateholds("posledni_paket_timestamp_seconds{modul=\"2\",adresa=\"127.0.0.4\"}");
    }));
    EXPECT_EQ(harness::run({harness::bin("unitkick"), "127.0.0.4"}).status, 0);
    ASSERT_TRUE(harness::waitfor(
        [] {
            return stateholds("kamnar_modul_odpovida{modul=\"1\",adresa=\"127.0.0.3\"} 0\n") &&
                   stateholds("kamnar_modul_reset_pricina{modul=\"2\",adresa=\"127.0.0.4\"} 3\n");
        },
        150s));

    // The collector sorts the labels.
    std::string metrics;
    ASSERT_TRUE(harness::waitfor([&] { return has(metrics = scrape(9100), "kamnar_"); }));
    EXPECT_TRUE(has(metrics, "\nnode_textfile_scrape_error 0\n")) << metrics;
    EXPECT_TRUE(has(metrics, "\nkamnar_modul_odpovida{adresa=\"127.0.0.2\",modul=\"0\"} 1\n"));
    EXPECT_TRUE(has(metrics, "\nkamnar_modul_odpovida{adresa=\"127.0.0.3\",modul=\"1\"} 0\n"));
    EXPECT_TRUE(has(metrics, "\nkamnar_modul_odpovida{adresa=\"127.0.0.4\",modul=\"2\"} 1\n"));
    EXPECT_TRUE(has(metrics, "\nkamnar_modul_defpr1{adresa=\"127.0.0.2\",modul=\"0\"} 500\n"));
    EXPECT_TRUE(has(metrics, "\nkamnar_modul_reset_pricina{adresa=\"127.0.0.4\",modul=\"2\"} 3\n"));
    EXPECT_TRUE(std::regex_search(
        metrics, std::regex("\nkamnar_modul_tmr1\\{adresa=\"127\\.0\\.0\\.2\",modul=\"0\",stari="
                            "\"0\"\\} 1\\d\\d\\d\n")));
    EXPECT_TRUE(
        has(metrics, "\nkamnar_modul_posledni_paket_timestamp_seconds{adresa=\"127.0.0.2\""));
    EXPECT_FALSE(
        has(metrics, "kamnar_modul_posledni_paket_timestamp_seconds{adresa=\"127.0.0.3\""));
    EXPECT_TRUE(has(metrics, "# TYPE kamnar_modul_prikazy_total counter\n"));

    harness::options input;
    input.input = state();
    harness::result lint = harness::run({promtool, "check", "metrics"}, input);
    EXPECT_EQ(lint.status, 0) << lint.out << lint.err;
    EXPECT_EQ(lint.out + lint.err, "");

    harness::result table = harness::run({harness::bin("kamnarstav")}, opt);
    EXPECT_EQ(table.status, 1) << table.out;
    EXPECT_TRUE(has(table.out, "\n   00  127.0.0.2        ano       pred ")) << table.out;
    EXPECT_TRUE(has(table.out, "\n   01  127.0.0.3        NE        nikdy")) << table.out;
    EXPECT_TRUE(std::regex_search(table.out, std::regex("\n   02  127\\.0\\.0\\.4        ano .* "
                                                        "SOFTE Reset\n")))
        << table.out;
    EXPECT_EQ(harness::finish(daemon, SIGINT).status, 0);
}

// About 55 s: the clock's state, as the preloaded stand-in of adjtimex()
// reports it, reaches the state file within the cycle after it changed (20 s
// given, a cycle being 10 s): not synchronised by STA_UNSYNC, and by a
// maximum error of 16 s; each change between synchronised and not is logged
// once, the first reading (here not synchronised) by none; a clock the kernel
// will not report is left out.
TEST_F(StateFile, TheClocksStateAndItsChangesAsTheKernelReportsThem) {
    mkdir(adresarstavu, 0755);
    configure({"127.0.0.2"});
    harness::writefile(hodiny, "64 1000\n");
    launch();
    const struct {
        const char *jadro;           // "": adjtimex() fails
        const char *sync, *maxerror; // the families' values, "" when left out
    } kroky[] = {
        {"64 1000\n", "0", "0.001000"},   {"0 500000\n", "1", "0.500000"},
        {"64 1000\n", "0", "0.001000"},   {"0 16000000\n", "0", "16.000000"},
        {"8193 2000\n", "1", "0.002000"}, {"", "", ""},
    };
    for (const auto &k : kroky) {
        if (*k.jadro)
            harness::writefile(hodiny, k.jadro);
        else
            unlink(hodiny.c_str());
        ASSERT_TRUE(harness::waitfor(
            [&] {
                return *k.sync
                           ? stateholds(std::string("\nkamnar_hodiny_pc_synchronizovany ") +
                                        k.sync + "\n") &&
                                 stateholds(std::string("\nkamnar_hodiny_pc_maxerror_seconds ") +
                                            k.maxerror + "\n")
                           : stateholds("kamnar_bezi 1") && !stateholds("kamnar_hodiny");
            },
            20s))
            << k.jadro << state();
    }
    harness::result r = harness::run({harness::bin("kamnarstav")}, opt);
    EXPECT_FALSE(has(r.out, "hodiny PC")) << r.out;
    EXPECT_EQ(harness::finish(daemon, SIGINT).status, 0);
    std::string log = harness::maskprefixes(harness::logtext());
    const std::string ne =
        "<T>Hodiny PC nejsou synchronizovany - moduly dostavaji cas bez zaruky \n";
    const std::string opet = "<T>Hodiny PC jsou opet synchronizovany \n";
    EXPECT_EQ(count(log, ne), 1u) << log;
    EXPECT_EQ(count(log, opet), 2u) << log;
    EXPECT_LT(log.find(opet), log.find(ne)) << log;
}

// The daemon's families agree with what the kernel's own adjtimex() says
// (the maximum error grows by 0.5 ms a second: 1 s of room is plenty).
TEST_F(StateFile, TheClocksFamiliesAgreeWithTheKernel) {
    mkdir(adresarstavu, 0755);
    configure({"127.0.0.2"});
    hodiny.clear();
    launch();
    ASSERT_TRUE(harness::waitfor([] { return stateholds("kamnar_hodiny_pc_maxerror_seconds"); }));
    timex t{};
    ASSERT_GE(adjtimex(&t), 0);
    prehled p = ctiprehled(state());
    ASSERT_TRUE(p.hodinysync && p.maxerror);
    EXPECT_EQ(*p.hodinysync, (t.status & STA_UNSYNC) == 0 && t.maxerror < 16000000)
        << t.status << " " << t.maxerror;
    EXPECT_NEAR(*p.maxerror, static_cast<double>(t.maxerror) / 1e6, 1.0);
    EXPECT_EQ(harness::finish(daemon, SIGINT).status, 0);
}

} // namespace

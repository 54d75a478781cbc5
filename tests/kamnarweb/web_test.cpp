// kamnarweb: the page made from the state file and the history, the server
// whatever the file is and whatever clients send, and the page as Chromium
// renders it beside the running daemon.
#include "cteni.hpp"
#include "daemonfixture.hpp"
#include "harness.hpp"
#include "historie.hpp"
#include "rodiny.hpp"
#include "stranka.hpp"

#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using harness::count;
using namespace std::chrono_literals;

bool has(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

const std::string bezi = "# TYPE kamnar_bezi gauge\nkamnar_bezi 1\n"
                         "kamnar_start_timestamp_seconds 1796630000\n";

// A module line of the state file.
std::string modul(int c, const std::string &adresa, const std::string &co, long long hodnota) {
    return "kamnar_modul_" + co + "{modul=\"" + std::to_string(c) + "\",adresa=\"" + adresa +
           "\"} " + std::to_string(hodnota) + "\n";
}

TEST(Page, MarksEachMinuteAndShowsTheFileOnlyAsText) {
    const long long t0 = 1796630400, m0 = t0 / 60; // a whole minute
    // Module 0 with its last datagram at `paket`, module 1 silent.
    auto snimekz = [](long long ted, long long paket, const char *stav = "1",
                      const char *adresa1 = "127.0.0.3") {
        return posud(std::string("kamnar_bezi ") + stav + "\n" +
                         modul(0, "127.0.0.2", "hlidac", 10) +
                         modul(0, "127.0.0.2", "posledni_paket_timestamp_seconds", paket) +
                         modul(1, adresa1, "hlidac", 3),
                     ted, ted);
    };
    historie h;
    zaznamenej(h, snimekz(t0 + 10, t0 + 5), t0 + 10);
    EXPECT_EQ(h.od, t0 + 10);
    // Two minutes on, with a datagram of the minute before; then the
    // stopped daemon's file, which marks nothing.
    zaznamenej(h, snimekz(t0 + 125, t0 + 119), t0 + 125);
    zaznamenej(h, snimekz(t0 + 190, t0 + 185, "0"), t0 + 190);
    EXPECT_EQ(
        pasek(h.moduly[0], m0 + 3),
        "<svg viewBox=\"0 0 1440 1\" preserveAspectRatio=\"none\" role=\"img\" "
        "aria-label=\"pakety a cele cykly bez odpovedi za poslednich 24 hodin po minutach\"><rect "
        "width=\"1440\" "
        "height=\"1\" class=\"x\"/><rect x=\"1436\" width=\"2\" height=\"1\" "
        "class=\"a\"/></svg>");
    EXPECT_TRUE(has(pasek(h.moduly[1], m0 + 3),
                    "class=\"x\"/><rect x=\"1436\" width=\"1\" height=\"1\" class=\"n\"/><rect "
                    "x=\"1438\" width=\"1\" height=\"1\" class=\"n\"/></svg>"));
    // A module under a new address starts anew; a day later the old minutes
    // are gone; a clock gone back starts the history anew.
    zaznamenej(h, snimekz(t0 + 250, t0 + 245, "1", "127.0.0.9"), t0 + 250);
    EXPECT_EQ(h.moduly[1].minuty[policko(m0)], 0);
    EXPECT_EQ(h.moduly[1].minuty[policko(m0 + 4)], mlcel);
    zaznamenej(h, snimekz(t0 + 86400 + 70, 0), t0 + 86400 + 70);
    EXPECT_EQ(h.moduly[0].minuty[policko(m0 + 1)], 0);
    zaznamenej(h, snimekz(t0, t0), t0);
    EXPECT_EQ(h.od, t0);

    // The largest page: a hundred modules with long addresses of markup,
    // each minute of their strips unlike the one before.
    std::string text = bezi;
    for (int c = 0; c < 100; ++c)
        text += modul(c, "<script>" + std::string(150, '&'), "odpovida", 0);
    snimek s = posud(text, t0, t0);
    zaznamenej(h, s, t0);
    for (auto &[c, pas] : h.moduly)
        for (long long k = 0; k < minutdne; ++k)
            pas.minuty[policko(k)] = k % 2 ? paketprisel : mlcel;
    std::string t = stranka(s, h, cestastavu);
    EXPECT_EQ(count(t, "<rect "), 100 * (minutdne + 1));
    std::string adresa = "&lt;script&gt;";
    for (int i = 0; i < 56; ++i)
        adresa += "&amp;";
    EXPECT_EQ(count(t, "<td data-h=\"adresa\">" + adresa + "...</td>"), 100u);
    EXPECT_FALSE(has(t, "<script"));
    EXPECT_LE(t.size(), nejvetsistranka);
}

// A TCP connection from the address `od` to kamnarweb at `kam`, or -1.
int spoj(const std::string &od, const std::string &kam = "127.0.0.1", unsigned short port = 8150) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(od.c_str());
    if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) {
        a.sin_port = htons(port);
        a.sin_addr.s_addr = inet_addr(kam.c_str());
        if (connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
            return s;
    }
    close(s);
    return -1;
}

// What the server sends until it closes the connection; when `limit` passes
// first, the text ends with a line saying so.
std::string docti(int s, std::chrono::milliseconds limit = 20s) {
    std::string text;
    auto konec = std::chrono::steady_clock::now() + limit;
    char buf[65536];
    for (;;) {
        auto zbyva = std::chrono::duration_cast<std::chrono::milliseconds>(
            konec - std::chrono::steady_clock::now());
        pollfd p{s, POLLIN, 0};
        if (zbyva.count() <= 0 || poll(&p, 1, static_cast<int>(zbyva.count())) != 1)
            return text + "\n[spojeni nezavreno]";
        ssize_t n = recv(s, buf, sizeof buf, 0);
        if (n <= 0)
            return text;
        text.append(buf, static_cast<std::size_t>(n));
    }
}

// The whole answer to one request: "" when the server closed the
// connection without one, or refused it.
std::string zeptej(const std::string &pozadavek, const std::string &od = "127.0.0.1",
                   const std::string &kam = "127.0.0.1", unsigned short port = 8150) {
    int s = spoj(od, kam, port);
    if (s < 0)
        return "";
    std::string odpoved = "[neodeslano]";
    if (send(s, pozadavek.data(), pozadavek.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(pozadavek.size()))
        odpoved = docti(s);
    close(s);
    return odpoved;
}

std::string ziskej(const std::string &cesta, const char *metoda = "GET") {
    return zeptej(std::string(metoda) + " " + cesta + " HTTP/1.0\r\n\r\n");
}

std::string telo(const std::string &odpoved) {
    std::size_t i = odpoved.find("\r\n\r\n");
    return i == std::string::npos ? "" : odpoved.substr(i + 4);
}

class Web : public RunningDaemon {
  protected:
    harness::process web;

    void SetUp() override {
        RunningDaemon::SetUp();
        mkdir(adresarstavu, 0755);
    }
    void TearDown() override {
        for (harness::process *p : {&web})
            if (p->pid > 0)
                harness::finish(*p, SIGKILL);
        RunningDaemon::TearDown();
    }
    void spustweb(const std::vector<std::string> &argumenty = {}) {
        std::vector<std::string> argv = {harness::bin("kamnarweb")};
        argv.insert(argv.end(), argumenty.begin(), argumenty.end());
        web = harness::start(argv, opt);
        ASSERT_TRUE(harness::waitfor([&] { return has(harness::output(web), "posloucha"); }))
            << harness::output(web);
    }
    // Waits until the page holds the text (kamnarweb reads the file every 2 s).
    static bool stranka(const std::string &text, std::chrono::milliseconds limit = 20s) {
        return harness::waitfor([&] { return has(ziskej("/"), text); }, limit);
    }
};

TEST_F(Web, ServesThePageAndTheFileWhateverTheFileIs) {
    spustweb();
    EXPECT_EQ(harness::output(web), "kamnarweb posloucha na 127.0.0.1 port 8150, stav cte ze "
                                    "souboru /run/kamnar/kamnar.prom\n");
    const std::string dobry = bezi + modul(0, "127.0.0.2", "odpovida", 1);
    const struct {
        std::string soubor; // "": none
        std::string souhrn;
        const char *metriky;
    } pripady[] = {
        {"", "Soubor /run/kamnar/kamnar.prom neexistuje - kamnar nebezi", "503"},
        {dobry, "Vsechny moduly odpovidaji (1)", "200"},
        {bezi + "kamnar_modul_odp", "neni cely - jeho posledni radek nema konec", "503"},
        {"kamnar_bezi 0\n" + modul(0, "127.0.0.2", "odpovida", 1), "kamnar nebezi - skoncil",
         "200"},
    };
    for (const auto &p : pripady) {
        unlink(cestastavu);
        if (!p.soubor.empty())
            harness::writefile(cestastavu, p.soubor);
        ASSERT_TRUE(stranka(p.souhrn)) << p.souhrn << "\n" << ziskej("/");
        std::string metriky = ziskej("/metrics");
        EXPECT_EQ(metriky.substr(0, 12), std::string("HTTP/1.1 ") + p.metriky) << metriky;
        // The file as it is, or the page's words on why it is not served.
        if (p.metriky == std::string("200")) {
            EXPECT_EQ(telo(metriky), p.soubor);
            EXPECT_TRUE(has(metriky, "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"));
        } else {
            EXPECT_TRUE(has(telo(metriky), p.souhrn)) << metriky;
        }
    }

    std::string hlava = ziskej("/", "HEAD");
    EXPECT_EQ(hlava.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_TRUE(has(hlava, "Content-Type: text/html; charset=utf-8\r\n")) << hlava;
    EXPECT_EQ(telo(hlava), "");
    EXPECT_EQ(harness::finish(web, SIGTERM).status, 0);
}

TEST_F(Web, ListensWhereItsArgumentsSayOrRefusesThem) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(8150);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ASSERT_EQ(listen(s, 1), 0);
    const struct {
        std::vector<std::string> argumenty;
        int status;
        std::string vystup;
    } pripady[] = {
        {{}, 2, "Nelze poslouchat na 127.0.0.1 port 8150 - chyba cislo 98 - koncim\n"},
        {{"127.0.0.256"}, 1, "Adresa 127.0.0.256 neni IP adresa - koncim\n"},
        {{"127.0.0.7", "0"}, 1, "Port 0 neni cislo od 1 do 65535 - koncim\n"},
        {{"127.0.0.7", "65536"}, 1, "Port 65536 neni cislo od 1 do 65535 - koncim\n"},
        {{"127.0.0.7", "-8"}, 1, "Port -8 neni cislo od 1 do 65535 - koncim\n"},
        {{"a", "1", "b"}, 1, "Pouziti: kamnarweb [adresa [port]] - bez nich 127.0.0.1 8150\n"},
    };
    for (const auto &p : pripady) {
        std::vector<std::string> argv = {harness::bin("kamnarweb")};
        argv.insert(argv.end(), p.argumenty.begin(), p.argumenty.end());
        harness::result r = harness::run(argv, opt);
        EXPECT_EQ(r.status, p.status) << r.out;
        EXPECT_EQ(r.out, p.vystup);
    }
    close(s);
    // Another address and port (the house network's, in the service).
    spustweb({"127.0.0.7", "8080"});
    const std::string get = "GET / HTTP/1.0\r\n\r\n";
    EXPECT_EQ(zeptej(get), "");
    EXPECT_TRUE(has(zeptej(get, "127.0.0.1", "127.0.0.7", 8080), "neexistuje - kamnar nebezi"));
    EXPECT_EQ(harness::finish(web, SIGINT).out,
              "kamnarweb posloucha na 127.0.0.7 port 8080, stav cte ze souboru "
              "/run/kamnar/kamnar.prom\nkamnarweb skoncil\n");
}

// About 35 s: a client that sends a byte each second is cut off only when
// its connection has lasted 30 s. Against the clock, with room: connections
// beyond an address's 16 are closed within the 500 ms given them, the idle
// one within 60 s (10 s idle), the slow one within 90 s (30 s of life), and
// the 64 held ones stay open through the second in which a new one waits
// (they would be closed after 10 s idle).
TEST_F(Web, HostileClientsGetTheirErrorAndTheOthersAreServed) {
    harness::writefile(cestastavu, bezi);
    spustweb();
    auto slouzi = [] { return ziskej("/").starts_with("HTTP/1.1 200 OK\r\n"); };
    const std::string h = " HTTP/1.1\r\nHost: kamnar\r\nConnection: close\r\n";
    std::string hlavicky;
    for (int i = 0; i < 2000; ++i)
        hlavicky += "X-" + std::to_string(i) + ": kamnar\r\n";
    const struct {
        std::string pozadavek;
        std::string status; // "": closed without an answer
    } pripady[] = {
        {"GET /" + h + "X-Dlouha: " + std::string(20000, 'a') + "\r\n\r\n", "431"},
        {"GET /" + h + hlavicky + "\r\n", "431"},
        {"GET /" + std::string(20000, 'a') + h + "\r\n", "414"},
        {"GET / HTTP/1.1\r\n\r\n", "400"},
        {"GET / HTTP/2.0\r\nHost: kamnar\r\n\r\n", "505"},
        {"nesmysl\r\n\r\n", ""},
        {"POST /" + h + "Content-Length: 5\r\n\r\nabcde", "405"},
        {"PUT /metrics" + h + "\r\n", "405"},
        {"DELETE /" + h + "\r\n", "405"},
        {"OPTIONS *" + h + "\r\n", "405"},
        {"TRACE /" + h + "\r\n", "405"},
        {"KAMNAR /" + h + "\r\n", "405"},
        {"GET /../run/kamnar/kamnar.prom" + h + "\r\n", "404"},
        {"GET /metrics/" + h + "\r\n", "404"},
        {"GET //" + h + "\r\n", "404"},
        {"GET /index.html" + h + "\r\n", "404"},
        {"GET http://kamnar/metrics" + h + "\r\n", "404"},
        {"GET /?x=<script>" + h + "\r\n", "200"},
    };
    for (const auto &p : pripady) {
        std::string odpoved = zeptej(p.pozadavek);
        std::string cekam = p.status.empty() ? "" : "HTTP/1.1 " + p.status + " ";
        EXPECT_EQ(p.status.empty() ? odpoved : odpoved.substr(0, 13), cekam)
            << p.pozadavek.substr(0, 40) << "\n"
            << odpoved.substr(0, 200);
        if (p.status == "405") {
            EXPECT_TRUE(has(odpoved, "\r\nAllow: GET, HEAD\r\n")) << odpoved;
        }
        ASSERT_TRUE(slouzi()) << p.pozadavek.substr(0, 40);
    }

    // Connections held open: those beyond 16 from one address are closed at
    // once, and the other addresses are served. With 64 open in all, a new
    // one waits unanswered in the kernel's queue until some are closed.
    auto drzet = [](const std::string &od, int kolik) {
        std::vector<int> s;
        for (int i = 0; i < kolik; ++i)
            s.push_back(spoj(od));
        std::this_thread::sleep_for(500ms);
        return s;
    };
    auto otevrene = [](const std::vector<int> &spojeni) {
        int n = 0;
        for (int s : spojeni) {
            pollfd p{s, POLLIN, 0};
            n += s >= 0 && poll(&p, 1, 0) == 0;
        }
        return n;
    };
    std::vector<int> vsechna = drzet("127.0.0.10", 20);
    EXPECT_EQ(otevrene(vsechna), 16);
    EXPECT_TRUE(slouzi()) << "from 127.0.0.1";
    for (const char *od : {"127.0.0.11", "127.0.0.12", "127.0.0.13"})
        for (int s : drzet(od, 16))
            vsechna.push_back(s);
    int dalsi = spoj("127.0.0.20");
    const std::string get = "GET / HTTP/1.0\r\n\r\n";
    ASSERT_EQ(send(dalsi, get.data(), get.size(), MSG_NOSIGNAL), static_cast<ssize_t>(get.size()));
    EXPECT_EQ(docti(dalsi, 1s), "\n[spojeni nezavreno]");
    for (int s : vsechna)
        close(s);
    EXPECT_TRUE(docti(dalsi).starts_with("HTTP/1.1 200 OK\r\n"));
    close(dalsi);

    // Slow clients: one stops in the middle of its headers, one sends a byte
    // each second. Both are closed without an answer, the first after 10 s
    // idle, the second when its connection is 30 s old; meanwhile the
    // others are served.
    int necinny = spoj("127.0.0.30");
    ASSERT_GE(necinny, 0);
    ASSERT_GT(send(necinny, "GET / HTTP/1.1\r\nHost: k", 24, MSG_NOSIGNAL), 0);
    std::atomic<bool> preruseno{false};
    std::string odpovedpomalemu = "-";
    std::thread pomaly([&] {
        int s = spoj("127.0.0.31");
        std::string zacatek = "GET / HTTP/1.1\r\nHost: kamnar\r\nX-Pomalu: ";
        if (s < 0 || send(s, zacatek.data(), zacatek.size(), MSG_NOSIGNAL) < 0)
            return;
        for (int i = 0; i < 90 && !preruseno; ++i) {
            pollfd p{s, POLLIN, 0};
            if (send(s, "a", 1, MSG_NOSIGNAL) != 1 || poll(&p, 1, 1000) == 1) {
                odpovedpomalemu = docti(s, 1s);
                preruseno = true;
            }
        }
        close(s);
    });
    EXPECT_EQ(docti(necinny, 60s), "");
    close(necinny);
    EXPECT_TRUE(slouzi());
    pomaly.join();
    EXPECT_TRUE(preruseno) << "the slow client was not cut off within 90 s";
    EXPECT_EQ(odpovedpomalemu, "");
    EXPECT_TRUE(slouzi());
    EXPECT_EQ(harness::finish(web, SIGTERM).status, 0);
}

// Debian's Chromium, headless, on the page: `co` is --dump-dom (the
// rendered DOM on standard output) or --screenshot=FILE; `velikost` the
// window's, as "360,740".
harness::result chromium(const std::string &work, const std::string &velikost,
                         const std::string &co) {
    static int profil = 0;
    harness::options o;
    o.env = {"HOME=" + work, "TZ=Europe/Prague"};
    o.timeout = 120s;
    return harness::run({"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                         "--disable-quic", "--no-first-run", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync",
                         "--user-data-dir=" + work + "/chromium-" + std::to_string(++profil),
                         "--window-size=" + velikost, co, "http://127.0.0.1:8150/"},
                        o);
}

// A module's part of the DOM: its two rows.
std::string dommodulu(const std::string &dom, const std::string &c) {
    std::size_t od = dom.find("<tbody id=\"modul-" + c + "\"");
    return od == std::string::npos ? "" : dom.substr(od, dom.find("</tbody>", od) - od);
}

// Width and height of a PNG image, or 0 x 0.
std::pair<unsigned, unsigned> rozmery(const std::string &png) {
    auto cislo = [&](std::size_t i) {
        unsigned n = 0;
        for (std::size_t k = i; k < i + 4; ++k)
            n = n << 8 | static_cast<unsigned char>(png[k]);
        return n;
    };
    if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 ||
        png.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    return {cislo(16), cislo(20)};
}

// About 2 min: the silent module must be reported as such, after ten
// unanswered commands.
TEST_F(Web, ChromiumShowsEachModuleItsStripAndTheStoppedDaemon) {
    if (access("/usr/bin/chromium", X_OK) != 0)
        GTEST_SKIP() << "no /usr/bin/chromium: scripts/deps chromium installs it";
    launchhouse();
    spustweb();
    // The reset once the module has been given the time.
    ASSERT_TRUE(harness::waitfor([] {
        return has(harness::readfile(cestastavu),
                   "posledni_paket_timestamp_seconds{modul=\"2\",adresa=\"127.0.0.4\"}");
    }));
    EXPECT_EQ(harness::run({harness::bin("unitkick"), "127.0.0.4"}).status, 0);
    ASSERT_TRUE(stranka("Neodpovida 1 z 3 modulu: 01 127.0.0.3", 150s));
    ASSERT_TRUE(stranka("SOFTE Reset, cas modulu"));

    const std::string snimky = KAMNARWEB_SCREENSHOT_DIR;
    mkdir(snimky.c_str(), 0755);
    for (const char *velikost : {"360,740", "1280,900"}) {
        harness::result r = chromium(work, velikost, "--dump-dom");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string &dom = r.out;
        EXPECT_TRUE(has(dom, "<p id=\"souhrn\" class=\"zle\">Neodpovida 1 z 3 modulu: 01 "
                             "127.0.0.3</p>"))
            << dom;
        std::string m0 = dommodulu(dom, "00"), m1 = dommodulu(dom, "01"), m2 = dommodulu(dom, "02");
        EXPECT_TRUE(m0.starts_with("<tbody id=\"modul-00\" class=\"ano\">") &&
                    has(m0, ">127.0.0.2</td><td data-h=\"odpovida\" class=\"ano\">ano</td>") &&
                    has(m0, " s)</td><td data-h=\"TMR1\">1") &&
                    has(m0, "<td data-h=\"DEFPR1\">500</td><td data-h=\"cas modulu\">souhlasi"))
            << m0;
        EXPECT_TRUE(has(m1, "class=\"NE\">NE</td><td data-h=\"posledni paket\">nikdy</td>")) << m1;
        EXPECT_TRUE(std::regex_search(m2, std::regex("<td data-h=\"posledni reset\">SOFTE "
                                                     "Reset, cas modulu \\d\\d\\.\\d\\d\\.")))
            << m2;
        // The strips: the answering modules' minutes green, the silent one's red.
        EXPECT_TRUE(has(m0, "class=\"a\"></rect>") && !has(m0, "class=\"n\"")) << m0;
        EXPECT_TRUE(has(m1, "class=\"n\"></rect>") && !has(m1, "class=\"a\"")) << m1;
        EXPECT_TRUE(has(m2, "class=\"a\"></rect>")) << m2;
        EXPECT_TRUE(has(dom, "<p id=\"demon\">kamnar bezi od ")) << dom;

        std::string png =
            snimky + "/kamnarweb-" + (velikost[0] == '3' ? "telefon" : "pocitac") + ".png";
        unlink(png.c_str());
        r = chromium(work, velikost, "--screenshot=" + png);
        ASSERT_EQ(r.status, 0) << r.err;
        auto [sirka, vyska] = rozmery(harness::readfile(png));
        EXPECT_EQ(std::to_string(sirka) + "," + std::to_string(vyska), velikost) << png;
    }

    // The daemon stops: its last file says so, then it grows old.
    EXPECT_EQ(harness::finish(daemon, SIGINT).status, 0);
    ASSERT_TRUE(stranka("kamnar nebezi - skoncil "));
    harness::result r = chromium(work, "360,740", "--dump-dom");
    EXPECT_TRUE(std::regex_search(r.out, std::regex("<p id=\"souhrn\" class=\"zle\">kamnar "
                                                    "nebezi - skoncil [0-9. :]+</p>")))
        << r.out;
    EXPECT_TRUE(has(r.out, "<p id=\"demon\">kamnar skoncil, bezel od ")) << r.out;
    timespec stary[2] = {{std::time(nullptr) - 45, 0}, {std::time(nullptr) - 45, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, cestastavu, stary, 0), 0);
    ASSERT_TRUE(stranka(" s stary - kamnar nebezi"));
    r = chromium(work, "1280,900", "--dump-dom");
    EXPECT_TRUE(std::regex_search(r.out, std::regex("<p id=\"souhrn\" class=\"zle\">Soubor "
                                                    "/run/kamnar/kamnar\\.prom je 4[5-9] s stary "
                                                    "- kamnar nebezi</p>")))
        << r.out;
    std::string png = snimky + "/kamnarweb-stary.png";
    EXPECT_EQ(chromium(work, "1280,900", "--screenshot=" + png).status, 0);
    EXPECT_EQ(harness::finish(web, SIGTERM).status, 0);
}

} // namespace

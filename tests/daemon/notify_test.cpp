// The daemon's messages to a service manager: what they say, where they go,
// and the daemon sending them to a socket of the test's own.
#include "daemonfixture.hpp"
#include "harness.hpp"
#include "notify.hpp"
#include "oznameni.hpp"

#include <arpa/inet.h>
#include <csignal>
#include <cstddef>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

std::uint32_t ip(const char *text) {
    return inet_addr(text);
}

TEST(Notify, StatusLineNamesTheModulesThatDoNotAnswer) {
    EXPECT_EQ(zpravastavu({}, {}), "STATUS=v konfiguraci neni zadny modul");

    // Answered the last time command (10), or not yet had the time to (9).
    std::vector<std::int32_t> hlidace{10, 9};
    std::vector<std::uint32_t> adresy{ip("127.0.0.2"), ip("127.0.0.3")};
    EXPECT_EQ(zpravastavu(hlidace, adresy), "STATUS=cely cyklus bez odpovedi 0 z 2 modulu");

    // A whole cycle without an answer (8), and long silent (0), listed in
    // slot order with the module numbers of the log.
    hlidace.assign(13, 10);
    adresy.assign(13, ip("192.168.1.20"));
    hlidace[1] = 8;
    adresy[1] = ip("192.168.1.21");
    hlidace[12] = 0;
    adresy[12] = ip("192.168.1.32");
    EXPECT_EQ(zpravastavu(hlidace, adresy),
              "STATUS=cely cyklus bez odpovedi 2 z 13 modulu: 01 192.168.1.21, 12 192.168.1.32");
}

TEST(Notify, SocketAddressIsAPathOrAnAbstractName) {
    auto cesta = adresaoznameni("/run/systemd/notify");
    ASSERT_TRUE(cesta);
    EXPECT_EQ(cesta->adresa.sun_family, AF_UNIX);
    EXPECT_STREQ(cesta->adresa.sun_path, "/run/systemd/notify");
    EXPECT_EQ(cesta->delka, offsetof(sockaddr_un, sun_path) + 20);

    // '@' stands for the leading zero byte; the name has no terminator.
    auto abstraktni = adresaoznameni("@kamnar/1");
    ASSERT_TRUE(abstraktni);
    EXPECT_EQ(abstraktni->adresa.sun_path[0], '\0');
    EXPECT_EQ(std::string(abstraktni->adresa.sun_path + 1, 8), "kamnar/1");
    EXPECT_EQ(abstraktni->delka, offsetof(sockaddr_un, sun_path) + 9);

    sockaddr_un un{};
    std::string nejdelsi = "/" + std::string(sizeof un.sun_path - 2, 'x');
    EXPECT_TRUE(adresaoznameni(nejdelsi.c_str()));
    EXPECT_FALSE(adresaoznameni((nejdelsi + "x").c_str()));
    EXPECT_TRUE(adresaoznameni(("@" + nejdelsi).c_str()));
    EXPECT_FALSE(adresaoznameni(("@x" + nejdelsi).c_str()));
    for (const char *spatna : {static_cast<const char *>(nullptr), "", "@", "/", "run/notify"})
        EXPECT_FALSE(adresaoznameni(spatna)) << (spatna ? spatna : "(null)");
}

TEST(Notify, WatchdogIntervalOnlyForThisProcess) {
    EXPECT_EQ(intervalhlidace("30000000", nullptr, 42), 30000000);
    EXPECT_EQ(intervalhlidace("30000000", "42", 42), 30000000);
    EXPECT_EQ(intervalhlidace("30000000", "43", 42), 0);
    EXPECT_EQ(intervalhlidace("30000000", "42x", 42), 0);
    for (const char *spatny : {static_cast<const char *>(nullptr), "", "0", "-5", "30s", "x"})
        EXPECT_EQ(intervalhlidace(spatny, nullptr, 42), 0) << (spatny ? spatny : "(null)");
}

TEST(Notify, WorkersAliveByTheirHeartbeats) {
    const std::int64_t ted = 1000000;
    EXPECT_TRUE(vlaknazije(ted, ted - 2000, ted - 12000, true));
    EXPECT_FALSE(vlaknazije(ted, ted - 2001, ted, true)) << "the receiver hangs";
    EXPECT_FALSE(vlaknazije(ted, ted, ted - 12001, true)) << "the time sender hangs";
    EXPECT_TRUE(vlaknazije(ted, ted, ted - 600000, false)) << "no module: no time sender to ask";
    EXPECT_FALSE(vlaknazije(ted, ted - 2001, ted, false));
}

// A service manager's socket in the sandbox, and the daemon that reports to
// it; module 00 (127.0.0.2) answers every time command, the others are silent.
class ServiceManager : public RunningDaemon {
  protected:
    int spravce = -1;
    std::vector<std::string> zpravy;

    void TearDown() override {
        RunningDaemon::TearDown();
        if (spravce >= 0)
            close(spravce);
    }
    void listen(const std::string &jmeno) {
        spravce = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        auto a = adresaoznameni(jmeno.c_str());
        ASSERT_TRUE(a);
        ASSERT_EQ(bind(spravce, reinterpret_cast<const sockaddr *>(&a->adresa), a->delka), 0);
        opt.env.push_back("NOTIFY_SOCKET=" + jmeno);
    }
    void run(const std::vector<std::string> &modules) {
        std::string conf;
        for (std::size_t i = 0; i < modules.size(); ++i) {
            conf += "[" + modules[i] + "]\n1 a.ics\n";
            socks.push_back(harness::fakemodule(modules[i]));
        }
        configure(conf);
        launch();
    }
    // Answers module 00's commands and collects the messages until one is
    // `want`; false when none came within the limit.
    bool await(const std::string &want, std::chrono::seconds limit = 60s) {
        auto konec = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < konec) {
            std::vector<pollfd> p{{spravce, POLLIN, 0}};
            if (!socks.empty())
                p.push_back({socks[0], POLLIN, 0});
            if (poll(p.data(), p.size(), 1000) <= 0)
                continue;
            if (p[0].revents & POLLIN) {
                char text[4096];
                ssize_t n = recv(spravce, text, sizeof text, 0);
                if (n > 0) {
                    zpravy.emplace_back(text, static_cast<std::size_t>(n));
                    if (zpravy.back() == want)
                        return true;
                }
            }
            if (p.size() > 1 && (p[1].revents & POLLIN)) {
                harness::command c;
                if (harness::receive(socks[0], c, 0ms))
                    harness::sendstatus(socks[0], {1, 0x40, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0});
            }
        }
        return false;
    }
    std::string seen() const {
        std::string all;
        for (const std::string &z : zpravy)
            all += "[" + z + "] ";
        return all;
    }
};

TEST_F(ServiceManager, ReadyStatusOfEveryCycleWatchdogAndStop) {
    listen(work + "/notify");
    opt.env.push_back("WATCHDOG_USEC=2000000");
    run({"127.0.0.2", "127.0.0.3"});

    ASSERT_TRUE(await("READY=1\nSTATUS=cely cyklus bez odpovedi 0 z 2 modulu")) << seen();
    EXPECT_EQ(zpravy.size(), 1u) << "READY=1 comes first: " << seen();
    EXPECT_TRUE(logged("<T>skoncil jsem pousteni vlaken --\n")) << "ready once the workers run";
    EXPECT_TRUE(await("WATCHDOG=1")) << seen();
    // A whole cycle without an answer from module 01, and its status line
    // says so; module 00 keeps answering.
    EXPECT_TRUE(await("STATUS=cely cyklus bez odpovedi 1 z 2 modulu: 01 127.0.0.3")) << seen();

    kill(daemon.pid, SIGINT);
    EXPECT_TRUE(await("STOPPING=1")) << seen();
    harness::result r = harness::finish(daemon, 0);
    EXPECT_EQ(r.status, 0);
    // The console and the log are those of a daemon without a manager.
    EXPECT_TRUE(r.out.starts_with("tady \n")) << r.out;
    EXPECT_NE(r.out.find("posilamcas:  je  "), std::string::npos);
    std::string log = harness::maskprefixes(harness::logtext());
    EXPECT_TRUE(log.ends_with(" \n\n<T>Program kamnar radne skoncil \n\n")) << log;
}

TEST_F(ServiceManager, AbstractSocketNameWithoutModules) {
    listen("@kamnar-test-" + std::to_string(getpid()));
    opt.env.push_back("WATCHDOG_USEC=2000000");
    run({});
    ASSERT_TRUE(await("READY=1\nSTATUS=v konfiguraci neni zadny modul")) << seen();
    // The time sender has ended by design: the receiver alone keeps the
    // watchdog fed.
    ASSERT_TRUE(harness::waitfor([] {
        return logged("<T>Error: Vlakno posilamcas konci - v poli polemod neni zadna adresa "
                      "modulu \n ");
    }));
    EXPECT_TRUE(await("WATCHDOG=1")) << seen();
    EXPECT_TRUE(await("WATCHDOG=1")) << seen();
    kill(daemon.pid, SIGINT);
    EXPECT_TRUE(await("STOPPING=1")) << seen();
    EXPECT_EQ(harness::finish(daemon, 0).status, 0);
}

TEST_F(ServiceManager, WatchdogOfAnotherProcessIsNotFed) {
    listen(work + "/notify");
    opt.env.push_back("WATCHDOG_USEC=2000000");
    opt.env.push_back("WATCHDOG_PID=1");
    run({"127.0.0.2"});
    ASSERT_TRUE(await("READY=1\nSTATUS=cely cyklus bez odpovedi 0 z 1 modulu")) << seen();
    // A first cycle's status line, and through all that time no WATCHDOG=1.
    zpravy.clear();
    ASSERT_TRUE(await("STATUS=cely cyklus bez odpovedi 0 z 1 modulu")) << seen();
    kill(daemon.pid, SIGINT);
    EXPECT_TRUE(await("STOPPING=1")) << seen();
    for (const std::string &z : zpravy)
        EXPECT_NE(z, "WATCHDOG=1");
    EXPECT_EQ(harness::finish(daemon, 0).status, 0);
}

// A manager that reads none of the messages: its socket holds ten of them,
// then takes no more. The daemon never waits for it: it goes on writing its
// state file, and SIGINT stops it in order, within the stop's bound.
TEST_F(ServiceManager, ManagerThatReadsNothingHoldsNothing) {
    listen(work + "/notify");
    opt.env.push_back("WATCHDOG_USEC=2000000");
    mkdir("/run/kamnar", 0755);
    run({"127.0.0.2"});
    std::this_thread::sleep_for(15s); // a heartbeat a second: the socket is full
    struct stat st {};
    ASSERT_EQ(stat("/run/kamnar/kamnar.prom", &st), 0);
    EXPECT_LE(std::time(nullptr) - st.st_mtime, 2) << "the main thread stopped";
    opt.timeout = 20s;
    daemon.timeout = 20s;
    EXPECT_EQ(harness::finish(daemon, SIGINT).status, 0);
}

} // namespace

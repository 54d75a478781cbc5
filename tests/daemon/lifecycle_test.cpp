#include "daemonfixture.hpp"
#include "harness.hpp"
#include "porty.h"
#include "priorita.hpp"

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using harness::maskprefixes;
using namespace std::chrono_literals;

const std::string started = " \n\n\n<T> ********  Program kamnar spusten ********* \n\n";
const std::string stopped = " \n\n<T>Program kamnar radne skoncil \n\n";
// The memory lock's entry: builds with the sanitizers lock nothing.
const std::string locked = sesanitizery ? "" : "<T>Pamet kamnar uzamcena \n";

// One daemon in its own sandbox, with a configuration of one module.
using Daemon = RunningDaemon;

TEST_F(Daemon, StartsAndStopsInOrderOnSigint) {
    configure("[127.0.0.2]\n1 a.ics\n");
    launch();
    ASSERT_TRUE(harness::waitfor([] { return logged("skoncil jsem pousteni vlaken --\n"); }));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(waitpid(daemon.pid, nullptr, WNOHANG), 0) << "the daemon must keep running";
    harness::result r = harness::finish(daemon, SIGINT);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("tady \n")) << r.out;
    std::string log = maskprefixes(harness::logtext());
    const std::string config = "<T>zaciname cist konfiguracni file\n\n"
                               "prehled nactenych kalendaru\n"
                               "       127.0.0.2   1 /home/kamnar/a.ics \n"
                               "\nprehled nactenych modulu\n"
                               " 00 --       127.0.0.2  \n"
                               "\n<T>skonceno cteni konfiguracniho file\n\n"
                               "<T>poustim vlakna --\n"
                               "<T>skoncil jsem pousteni vlaken --\n"
                               "<T>Vlakno posilamcas bezi s prioritou realneho casu 1 \n" +
                               locked;
    ASSERT_EQ(log.substr(0, started.size() + config.size()), started + config);
    // The signal entry comes first; the workers end in their own time.
    std::string rest = log.substr(started.size() + config.size());
    EXPECT_TRUE(rest.starts_with("<T>Prisel signal HUP \n")) << rest;
    EXPECT_NE(rest.find("<T>Vlakno prijemUDP skoncilo \n"), std::string::npos);
    EXPECT_NE(rest.find("<T>Vlakno posilamcas konci \n"), std::string::npos);
    EXPECT_EQ(rest.substr(rest.size() - stopped.size()), stopped);
}

TEST_F(Daemon, EmptyModuleTableEndsOnlyTheTimeSender) {
    configure("# nothing configured\n");
    launch();
    const std::string error =
        "<T>Error: Vlakno posilamcas konci - v poli polemod neni zadna adresa modulu \n ";
    ASSERT_TRUE(harness::waitfor(
        [&] { return maskprefixes(harness::logtext()).find(error) != std::string::npos; }));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(waitpid(daemon.pid, nullptr, WNOHANG), 0) << "the daemon runs on without modules";
    harness::result r = harness::finish(daemon, SIGINT);
    EXPECT_EQ(r.status, 0);
    std::string log = maskprefixes(harness::logtext());
    EXPECT_NE(log.find("<T>Prisel signal HUP \n"), std::string::npos);
    EXPECT_NE(log.find("<T>Vlakno prijemUDP skoncilo \n" + stopped), std::string::npos);
    EXPECT_EQ(log.find("Vlakno posilamcas konci \n"), std::string::npos);
}

// The start the daemon and overkal share: the log first, then the
// configuration, each ending the program when it does not open.
class StartUp : public RunningDaemon, public ::testing::WithParamInterface<std::string> {
  protected:
    harness::result runprogram() { return harness::run({harness::bin(GetParam())}, opt); }
};

TEST_P(StartUp, UnwritableLogEndsAtOnceWithoutReadingTheConfiguration) {
    ASSERT_EQ(mkdir("/var/log/kamnar.log", 0755), 0);
    configure("[127.0.0.2]\n1 a.ics\n");
    harness::result r = runprogram();
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Nelze otevrit logfile /var/log/kamnar.log - koncim !!! \n\n");
}

TEST_P(StartUp, MissingConfigurationEnds) {
    harness::result r = runprogram();
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Nelze otevrit konfiguracni file kamnar.conf - koncim !!! \n\n");
    EXPECT_EQ(maskprefixes(harness::logtext()),
              " \n\n\n<T> ********  Program " + GetParam() +
                  " spusten ********* \n\n"
                  "<T>Nelze otevrit konfiguracni file kamnar.conf - koncim !!! \n\n");
}

INSTANTIATE_TEST_SUITE_P(Programs, StartUp, ::testing::Values("kamnar", "overkal"),
                         [](const ::testing::TestParamInfo<std::string> &i) { return i.param; });

// Only regular files are taken as the log, the configuration and the
// calendars: a FIFO (or a directory) in their place is treated as a file
// that does not open, at once, instead of holding the start for ever.
TEST_F(Daemon, FifosInPlaceOfItsFilesNeverHoldTheStart) {
    // Calendars: the line is dropped with the cannot-open entry.
    ASSERT_EQ(mkfifo("/home/kamnar/roura.ics", 0644), 0);
    ASSERT_EQ(mkdir("/home/kamnar/adresar.ics", 0755), 0);
    configure("[127.0.0.2]\n1 roura.ics\n2 adresar.ics\n3 a.ics\n");
    launch();
    ASSERT_TRUE(harness::waitfor([] { return logged("skoncil jsem pousteni vlaken --\n"); }));
    EXPECT_EQ(harness::finish(daemon, SIGINT).status, 0);
    std::string log = maskprefixes(harness::logtext());
    EXPECT_NE(log.find("<T>zaciname cist konfiguracni file\n\n"
                       "error: kalendarovy file /home/kamnar/roura.ics nelze otevrit \n"
                       "error: kalendarovy file /home/kamnar/adresar.ics nelze otevrit \n"
                       "prehled nactenych kalendaru\n"
                       "       127.0.0.2   3 /home/kamnar/a.ics \n"
                       "\nprehled nactenych modulu\n"),
              std::string::npos)
        << log;
    EXPECT_TRUE(log.ends_with(stopped)) << log;

    // The configuration: the cannot-open line and entry, exit status 255.
    ASSERT_EQ(unlink((work + "/kamnar.conf").c_str()), 0);
    ASSERT_EQ(mkfifo((work + "/kamnar.conf").c_str(), 0644), 0);
    ASSERT_EQ(unlink("/var/log/kamnar.log"), 0);
    harness::result r = runkamnar();
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Nelze otevrit konfiguracni file kamnar.conf - koncim !!! \n\n");
    EXPECT_EQ(maskprefixes(harness::logtext()),
              started + "<T>Nelze otevrit konfiguracni file kamnar.conf - koncim !!! \n\n");

    // The log, with nobody reading it and with a reader: the log line, 255.
    ASSERT_EQ(unlink("/var/log/kamnar.log"), 0);
    ASSERT_EQ(mkfifo("/var/log/kamnar.log", 0644), 0);
    for (bool ctenar : {false, true}) {
        int fd = ctenar ? open("/var/log/kamnar.log", O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        r = runkamnar();
        EXPECT_EQ(r.status, 255) << ctenar;
        EXPECT_EQ(r.out, "Nelze otevrit logfile /var/log/kamnar.log - koncim !!! \n\n") << ctenar;
        if (ctenar) {
            char c;
            EXPECT_LE(read(fd, &c, 1), 0) << "nothing was written to the FIFO";
            close(fd);
        }
    }
}

TEST_F(Daemon, PortTakenEndsWithTheBindReport) {
    configure("");
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(portdemona);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    harness::result r = runkamnar();
    close(s);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(
        r.out,
        "tady \nje problem s bind - chyba cislo 98 - koncim\nAdresa ma jiz prirazen socket \n");
    std::string log = maskprefixes(harness::logtext());
    const std::string end = "<T>skonceno cteni konfiguracniho file\n\n"
                            "<T>je problem s bind - chyba cislo 98 - koncim\n "
                            "Adresa ma jiz prirazen socket \n";
    ASSERT_GE(log.size(), end.size());
    EXPECT_EQ(log.substr(log.size() - end.size()), end);
}

std::string ending(const std::string &text, std::size_t size) {
    return text.substr(text.size() - std::min(size, text.size()));
}

// The system refuses the receive socket (no socket allowed) or the send
// socket (the first one allowed): the daemon ends with its report.
struct Refusal {
    const char *name;
    int allowed;
    std::string out, entry;
};

void PrintTo(const Refusal &r, std::ostream *os) {
    *os << r.name;
}

class RefusedSocket : public RunningDaemon, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedSocket, Ends) {
    configure("");
    harness::refusesockets(opt, GetParam().allowed);
    harness::result r = runkamnar();
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, GetParam().out + GetParam().entry);
    const std::string end = "<T>skonceno cteni konfiguracniho file\n\n<T>" + GetParam().entry;
    EXPECT_EQ(ending(maskprefixes(harness::logtext()), end.size()), end);
}

INSTANTIATE_TEST_SUITE_P(
    Daemon, RefusedSocket,
    ::testing::Values(Refusal{"Receive", 0, "",
                              "Fatalni chyba - nelze vytyvorit socket pro prijem UDP - konec \n\n"},
                      Refusal{
                          "Send", 1, "tady \n",
                          "Fatalni chyba - nelze vytyvorit socket pro vysilani UDP - konec \n\n"}),
    [](const auto &p) { return std::string(p.param.name); });

TEST_F(Daemon, DescriptorZeroIsAWorkingSocket) {
    configure("[127.0.0.2]\n1 a.ics\n");
    opt.closestdin = true;
    int m = module("127.0.0.2");
    launch();
    ASSERT_TRUE(harness::waitfor([] { return logged("skoncil jsem pousteni vlaken --\n"); }));
    harness::sendstatus(m, {9, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0});
    ASSERT_TRUE(harness::waitfor([] { return logged("modul  0 - prisla hodnota DEFPR1 5 \n"); }));
    harness::result r = harness::finish(daemon, SIGINT);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("tady \n")) << r.out;
    EXPECT_EQ(harness::logtext().find("Fatalni"), std::string::npos);
}

// The SIGINT entry is written once, before the stop entries, also when the
// signal comes while the threads are being started.
TEST_F(Daemon, SigintWhileTheThreadsStartIsLoggedOnce) {
    configure("[127.0.0.2]\n1 a.ics\n");
    harness::preload(opt, KAMNAR_POMALEVLAKNO_LIB);
    launch();
    ASSERT_TRUE(harness::waitfor([] { return logged("poustim vlakna --\n"); }));
    harness::result r = harness::finish(daemon, SIGINT);
    EXPECT_EQ(r.status, 0);
    std::string log = maskprefixes(harness::logtext());
    std::size_t signal = log.find("<T>Prisel signal HUP \n");
    ASSERT_NE(signal, std::string::npos) << log;
    EXPECT_EQ(log.find("Prisel signal", signal + 10), std::string::npos) << log;
    EXPECT_LT(signal, log.find(stopped));
}

// Descriptors above 1023 (many inherited, a higher limit) work as well.
TEST_F(Daemon, ReceivesOnADescriptorAbove1023) {
    rlimit l{4096, 4096};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &l), 0);
    std::vector<int> zdedene;
    for (int i = 0; i < 1100; ++i)
        zdedene.push_back(open("/dev/null", O_RDONLY)); // inherited: no O_CLOEXEC
    configure("[127.0.0.2]\n1 a.ics\n");
    opt.maxfds = 4096;
    int m = module("127.0.0.2");
    launch();
    for (int fd : zdedene)
        close(fd);
    ASSERT_TRUE(harness::waitfor([] { return logged("skoncil jsem pousteni vlaken --\n"); }));
    harness::sendstatus(m, {9, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0});
    EXPECT_TRUE(harness::waitfor([] { return logged("modul  0 - prisla hodnota DEFPR1 5 \n"); }));
    harness::result r = harness::finish(daemon, SIGINT);
    EXPECT_EQ(r.status, 0);
}

} // namespace

// Which threads of the daemon run with real-time priority, as it starts:
// by hand as root (it gives its time sender the priority itself), as its
// service unit starts it (root with CAP_DAC_READ_SEARCH and CAP_SYS_NICE
// alone), started with a real-time priority of its own (chrt, without the
// reset on fork: only the sender keeps it), with the priority refused (no
// CAP_SYS_NICE, RLIMIT_RTPRIO 0), with a real-time priority given by a
// starter that took away the right to set it (the sender keeps it all the
// same), and with SCHED_DEADLINE (every thread normalised, as from
// SCHED_IDLE and SCHED_BATCH). In every case the threads are the same; under
// the unit's limits its commands go out and SIGINT stops it in order.
struct Start {
    const char *name;
    std::vector<std::string> wrapper;
    bool realtime;
};

void PrintTo(const Start &s, std::ostream *os) {
    *os << s.name;
}

class Priority : public Daemon, public ::testing::WithParamInterface<Start> {};

// Per thread: its name and its scheduling policy (0 normal, 1 FIFO), read
// from /proc.
std::vector<std::pair<std::string, int>> threads(pid_t pid) {
    std::vector<std::pair<std::string, int>> t;
    std::string dir = "/proc/" + std::to_string(pid) + "/task";
    for (const auto &e : std::filesystem::directory_iterator(dir)) {
        std::string stat = harness::readfile(e.path().string() + "/stat");
        std::istringstream pole(stat.substr(stat.rfind(')') + 2)); // from field 3 on
        std::string f;
        for (int pole3 = 3; pole3 <= 41; ++pole3) // field 41: the policy
            pole >> f;
        std::string jmeno = harness::readfile(e.path().string() + "/comm");
        jmeno = jmeno.substr(0, jmeno.find('\n'));
        // A sanitizer's own thread bears the program's name too, and
        // inherits the policy the process was started with.
        if (jmeno != "kamnar" || e.path().filename() == std::to_string(pid))
            t.emplace_back(jmeno, std::stoi(f));
    }
    return t;
}

TEST_P(Priority, OnlyTheTimeSenderRunsRealTime) {
    configure("[127.0.0.2]\n1 a.ics\n");
    int module = harness::fakemodule("127.0.0.2");
    std::vector<std::string> argv = GetParam().wrapper;
    argv.push_back(harness::bin("kamnar"));
    harness::process p = harness::start(argv, withclock());
    ASSERT_TRUE(harness::waitfor([] { return logged("Vlakno posilamcas bezi s"); }));
    const std::string entry =
        GetParam().realtime ? "Vlakno posilamcas bezi s prioritou realneho casu 1 \n"
                            : "Vlakno posilamcas bezi s normalni prioritou, realny cas nepovolen - "
                              "chyba cislo 1 \n";
    EXPECT_NE(
        maskprefixes(harness::logtext()).find("<T>skoncil jsem pousteni vlaken --\n<T>" + entry),
        std::string::npos)
        << harness::logtext();
    // The main thread bears the program's name; the four others their own.
    std::multiset<std::string> jmena, realne;
    for (auto [jmeno, politika] : threads(p.pid)) {
        if (jmeno != "kamnar")
            jmena.insert(jmeno);
        if (politika != 0) // SCHED_FIFO (1) by its name alone
            realne.insert(politika == 1 ? jmeno : jmeno + " " + std::to_string(politika));
    }
    EXPECT_EQ(jmena, (std::multiset<std::string>{"konzole", "log", "prijemUDP", "posilamcas"}));
    EXPECT_EQ(realne, GetParam().realtime ? std::multiset<std::string>{"posilamcas"}
                                          : std::multiset<std::string>{});
    if (GetParam().name != std::string("LikeTheUnit")) {
        harness::finish(p, SIGKILL); // their stop is that of every other test
        return;
    }
    harness::command c;
    EXPECT_TRUE(harness::receive(module, c, 11s)) << "no time command";
    harness::result r = harness::finish(p, SIGINT);
    EXPECT_EQ(r.status, 0);
    std::string log = maskprefixes(harness::logtext());
    EXPECT_EQ(log.substr(log.size() - stopped.size()), stopped);
}

INSTANTIATE_TEST_SUITE_P(
    Daemon, Priority,
    ::testing::Values(
        Start{"ByHand", {}, true},
        Start{"LikeTheUnit",
              {"/usr/bin/setpriv", "--bounding-set=-all,+dac_read_search,+sys_nice"},
              true},
        Start{"StartedRealTime", {"/usr/bin/chrt", "--fifo", "1"}, true},
        Start{"Refused",
              {"/usr/bin/setpriv", "--bounding-set=-sys_nice", "/usr/bin/prlimit", "--rtprio=0:0"},
              false},
        // Given by a privileged starter that keeps no right to
        // give it again: the sender inherits it.
        Start{"InheritedFromAPrivilegedStarter",
              {"/usr/bin/chrt", "-f", "10", "/usr/bin/setpriv", "--bounding-set=-sys_nice",
               "--inh-caps=-sys_nice", "/usr/bin/prlimit", "--rtprio=0:0", "--"},
              true},
        Start{"StartedDeadline",
              {"/usr/bin/chrt", "--deadline", "--sched-runtime", "1000000", "--sched-deadline",
               "10000000", "--sched-period", "10000000", "0"},
              true}),
    [](const auto &p) { return std::string(p.param.name); });

// A log linked to /dev/null, for a house that wants no log, is taken: the
// daemon starts, runs and stops in order.
TEST_F(Daemon, LogLinkedToDevNullIsTaken) {
    ASSERT_EQ(symlink("/dev/null", "/var/log/kamnar.log"), 0);
    configure("[127.0.0.2]\n1 a.ics\n");
    launch();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(waitpid(daemon.pid, nullptr, WNOHANG), 0) << harness::output(daemon);
    harness::result r = harness::finish(daemon, SIGINT);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("tady \n")) << r.out;
}

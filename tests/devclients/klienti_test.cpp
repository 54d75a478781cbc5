// The eight clients run as programs against a device socket in the test's
// sandbox: what they print, their exit status and the bytes that arrive.
#include "harness.hpp"
#include "zarizenitest.hpp"

#include <atomic>
#include <cerrno>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using zarizenitest::bajty;

const std::string pripojeni =
    "Nepodarilo se pripojit k socketu /home/system/zarizeni/komsock errno je %d  -  koncim \n ";
const std::string zapis =
    "Nepodarilo se zapsat do socketu /home/system/zarizeni/komsock errno je 32  -  koncim \n ";

std::string seerrno(int e) {
    std::string t = pripojeni;
    return t.replace(t.find("%d"), 2, std::to_string(e));
}

// Every client with a command line that it accepts, and what it prints
// before it connects, once connected, and at the end.
struct pripad {
    std::string program;
    std::vector<std::string> slova;
    std::string pred, popripojeni, zaver;
    std::string zprava;
};

const std::vector<pripad> &pripady() {
    static const std::vector<pripad> v = {
        {"txtcell",
         {"777123456", "Ahoj"},
         "cislo je --777123456-- \n",
         "",
         "SMS odeslana do Zarizeni \n\n",
         std::string("P777123456\0Ahoj ", 16)},
        {"txtany",
         {"12345", "XAhoj", "svete"},
         "",
         "",
         "SMS odeslana do Zarizeni \n\n",
         std::string("P12345    \0Ahoj svete ", 22)},
        {"txtprobe",
         {},
         "",
         "Posilam prikaz pro odeslani testovaci SMS\nBude to trvat nejmene 3 * 6 sec, bud trpelivy "
         "\n",
         "",
         "S"},
        {"modemline",
         {"AT+CSQ"},
         "",
         "",
         "",
         std::string("G\x07\x03"
                     "AT+CSQ\0",
                     10)},
        {"lcdline",
         {"abc"},
         "",
         "",
         "",
         std::string("Z\x04\x02"
                     "abc\0",
                     7)},
        {"boilertemp",
         {"22"},
         " prectena pozadovana teplota  22 stupnu Celsia \nDo kotle posilam cislo 66 \n ",
         "",
         "",
         "Z\x02\x04\x42"},
        {"boilervolt",
         {"240"},
         " prectena pozadovana teplota  240 stupnu Celsia \n",
         "",
         "",
         "Z\x02\x04\xf0"},
        {"loglevel",
         {"1abcd"},
         " prectena pozadovana uroven LOGu 0x1abcd  \n",
         "",
         "",
         "L\xcd\xab"},
    };
    return v;
}

class Klient : public ::testing::Test {
  protected:
    harness::options opt;
    void SetUp() override { opt.cwd = harness::sandbox(); }
    harness::result spust(const std::string &program, const std::vector<std::string> &slova) {
        std::vector<std::string> argv{harness::bin(program)};
        argv.insert(argv.end(), slova.begin(), slova.end());
        return harness::run(argv, opt);
    }
    harness::result spust(const pripad &p) { return spust(p.program, p.slova); }
    // Runs every accepted command line with the client's send spoiled by
    // failsend in this mode (see failsend.c): each must end with the status,
    // and its message arrive whole if the status is 0, not at all otherwise.
    // Returns the listening socket.
    int zkazeneposilani(const char *rezim, int status) {
        int s = zarizenitest::posluchac();
        harness::preload(opt, FAILSEND_LIB);
        opt.env.push_back(std::string("FAILSEND=") + rezim);
        for (const pripad &p : pripady()) {
            harness::result r = spust(p);
            EXPECT_EQ(r.status, status) << p.program;
            EXPECT_EQ(r.out, p.pred + p.popripojeni + (status == 0 ? p.zaver : zapis)) << p.program;
            EXPECT_EQ(zarizenitest::prijato(s), bajty(status == 0 ? p.zprava : "")) << p.program;
        }
        return s;
    }
};

TEST_F(Klient, EveryClientDeliversItsMessageAndEndsWithZero) {
    int s = zarizenitest::posluchac();
    for (const pripad &p : pripady()) {
        harness::result r = spust(p);
        EXPECT_EQ(r.status, 0) << p.program;
        EXPECT_EQ(r.out, p.pred + p.popripojeni + p.zaver) << p.program;
        EXPECT_EQ(r.err, "") << p.program;
        EXPECT_EQ(zarizenitest::prijato(s), bajty(p.zprava)) << p.program;
    }
    close(s);
}

TEST_F(Klient, TooLongTextIsStillSent) {
    int s = zarizenitest::posluchac();
    std::string w100(100, 'a'), w60(60, 'b');
    harness::result r = spust("txtcell", {"777123456", w100, w60});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.out,
        "cislo je --777123456-- \n\nJe to moc dlouhe - orezavam \nSMS odeslana do Zarizeni \n\n");
    EXPECT_EQ(zarizenitest::prijato(s), bajty(std::string("P777123456\0", 11) + w100 + " "));
    close(s);
}

// The texts themselves are checked with the programs' functions; here, that
// the programs end before any socket exists.
TEST_F(Klient, RefusalsAndUsageNeverConnect) {
    int s = zarizenitest::posluchac();
    struct odmitnuti {
        std::vector<std::string> argv;
        int status;
    };
    const std::vector<odmitnuti> v = {
        {{"txtcell"}, 0},
        {{"txtcell", "777123456"}, 0},
        {{"txtcell", "+420777123", "a"}, 0},
        {{"txtcell", "7771234", "a"}, 0},
        {{"txtcell", "77712a456", "a"}, 0},
        {{"txtany"}, 0},
        {{"txtany", "12345"}, 0},
        {{"modemline"}, 0},
        {{"lcdline"}, 0},
        {{"boilertemp"}, 0},
        {{"boilertemp", "76"}, 1},
        {{"boilertemp", "-3"}, 1},
        {{"boilervolt"}, 0},
        {{"boilervolt", "241"}, 1},
        {{"loglevel"}, 0},
    };
    for (const odmitnuti &o : v) {
        harness::result r = spust(o.argv[0], {o.argv.begin() + 1, o.argv.end()});
        EXPECT_EQ(r.status, o.status) << o.argv.size() << " " << o.argv[0];
        EXPECT_NE(r.out, "") << o.argv[0];
        EXPECT_EQ(r.out.find("koncim"), std::string::npos) << r.out;
        EXPECT_EQ(zarizenitest::prijato(s), std::nullopt) << o.argv[0] << " " << r.out;
    }
    close(s);
}

TEST_F(Klient, NoSocketFileEndsWithTwoAndErrno2) {
    for (const pripad &p : pripady()) {
        harness::result r = spust(p);
        EXPECT_EQ(r.status, 2) << p.program;
        EXPECT_EQ(r.out, p.pred + seerrno(2)) << p.program;
    }
}

TEST_F(Klient, SocketFileWithoutListenerEndsWithTwoAndErrno111) {
    int s = zarizenitest::posluchac(false);
    for (const pripad &p : pripady()) {
        harness::result r = spust(p);
        EXPECT_EQ(r.status, 2) << p.program;
        EXPECT_EQ(r.out, p.pred + seerrno(111)) << p.program;
    }
    close(s);
}

TEST_F(Klient, RefusedSocketEndsWithOne) {
    int s = zarizenitest::posluchac();
    harness::refusesockets(opt, 0);
    for (const pripad &p : pripady()) {
        harness::result r = spust(p);
        EXPECT_EQ(r.status, 1) << p.program;
        EXPECT_EQ(r.out, p.pred + "nelze otevrit socket AF_UNIX  -  koncim \n") << p.program;
        EXPECT_EQ(zarizenitest::prijato(s), std::nullopt) << p.program;
    }
    close(s);
}

// A device server busy with a test SMS (18 s at least) takes no connection
// meanwhile, its queue of one connection full: every client waits for it,
// and delivers its message once the server takes the connections, after
// 19 s. One that takes connections but never reads holds no client either.
// Against the clock the test asserts only what has seconds of room: a
// client waits 120 s before it gives up.
TEST_F(Klient, BusyServerIsWaitedForAndOneThatNeverReadsHoldsNoClient) {
    int s = zarizenitest::posluchac(true, 0);
    ASSERT_EQ(spust(pripady()[0]).status, 0); // takes the only place
    std::multiset<std::vector<std::uint8_t>> ocekavane{bajty(pripady()[0].zprava)}, prisle;
    std::vector<harness::process> klienti;
    for (const pripad &p : pripady()) {
        std::vector<std::string> argv{harness::bin(p.program)};
        argv.insert(argv.end(), p.slova.begin(), p.slova.end());
        klienti.push_back(harness::start(argv, opt));
        ocekavane.insert(bajty(p.zprava));
    }
    std::this_thread::sleep_for(std::chrono::seconds(19));
    EXPECT_TRUE(harness::waitfor([&] {
        while (std::optional<std::vector<std::uint8_t>> z = zarizenitest::prijato(s))
            prisle.insert(*z);
        return prisle.size() == ocekavane.size();
    }));
    EXPECT_EQ(prisle, ocekavane);
    for (std::size_t i = 0; i < klienti.size(); ++i) {
        const pripad &p = pripady()[i];
        harness::result r = harness::finish(klienti[i], 0);
        EXPECT_EQ(r.status, 0) << p.program;
        EXPECT_EQ(r.out, p.pred + p.popripojeni + p.zaver) << p.program;
    }
    close(s);

    // Now a server that accepts at once and never reads.
    ASSERT_EQ(unlink(cestasocketu), 0);
    s = zarizenitest::posluchac(true, 0);
    std::atomic<bool> konec{false};
    std::atomic<std::size_t> prijatych{0};
    std::vector<int> spojeni;
    std::thread server([&] {
        while (!konec) {
            pollfd p{s, POLLIN, 0};
            if (poll(&p, 1, 20) == 1) {
                spojeni.push_back(accept4(s, nullptr, nullptr, SOCK_CLOEXEC));
                ++prijatych;
            }
        }
    });
    for (const pripad &p : pripady()) {
        harness::result r = spust(p);
        EXPECT_EQ(r.status, 0) << p.program;
        EXPECT_EQ(r.out, p.pred + p.popripojeni + p.zaver) << p.program;
    }
    EXPECT_TRUE(harness::waitfor([&] { return prijatych == pripady().size(); }));
    konec = true;
    server.join();
    for (int c : spojeni)
        close(c);
    close(s);
}

// A device server whose queue stays full: the client gives up after 120 s
// with the connect failure and EAGAIN, exit 2, instead of waiting for ever.
TEST_F(Klient, ServerThatNeverTakesTheConnectionIsGivenUp) {
    int s = zarizenitest::posluchac(true, 0);
    ASSERT_EQ(spust(pripady()[0]).status, 0); // takes the only place
    opt.timeout = std::chrono::seconds(150);
    const pripad &p = pripady()[2];
    harness::result r = spust(p);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, p.pred + seerrno(EAGAIN));
    close(s);
}

// A device server gone between the connection and the write: the write
// fails with EPIPE; the client neither dies of SIGPIPE nor claims success.
TEST_F(Klient, FailedWriteEndsWithThreeWithoutTheClosingText) {
    close(zkazeneposilani("epipe", 3));
}

TEST_F(Klient, ShortWritesAreCompleted) {
    int s = zkazeneposilani("short", 0);
    std::string w250(250, 'A');
    EXPECT_EQ(spust("modemline", {w250}).status, 0);
    EXPECT_EQ(zarizenitest::prijato(s),
              bajty(std::string("G\xfb\x03") + w250 + std::string(1, '\0')));
    close(s);
}

} // namespace

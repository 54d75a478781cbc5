// Whatever becomes of standard output, the daemon keeps its schedule, keeps
// handling datagrams and stops in order on SIGINT.
#include "daemonfixture.hpp"
#include "datagram.hpp"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

enum class vystup { nikdonecte, ctenarodesel, plnydisk };

class Console : public RunningDaemon, public ::testing::WithParamInterface<vystup> {
  protected:
    int konec = -1; // the pipe's read end, held and never read
    void TearDown() override {
        if (konec >= 0)
            close(konec);
        RunningDaemon::TearDown();
    }
};

std::vector<unsigned char> status(int type, int value) {
    auto b = sestavstav({static_cast<std::uint8_t>(type), bitsouhlasi, nicnoveho, 0, 0, 0,
                         static_cast<std::uint16_t>(value)});
    return {b.begin(), b.end()};
}

TEST_P(Console, NeverHoldsTheCommandsTheReceiverOrTheStop) {
    int p[2];
    if (GetParam() == vystup::plnydisk) {
        opt.stdoutfd = open("/dev/full", O_WRONLY | O_CLOEXEC);
        ASSERT_GE(opt.stdoutfd, 0);
    } else {
        ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
        opt.stdoutfd = p[1];
        konec = p[0];
        if (GetParam() == vystup::ctenarodesel) {
            close(p[0]);
            konec = -1;
        }
    }
    opt.timeout = 20s;
    configure("[127.0.0.2]\n1 a.ics\n");
    int modul = harness::fakemodule("127.0.0.2");
    socks.push_back(modul);
    launch();
    close(opt.stdoutfd);
    ASSERT_TRUE(harness::waitfor([] { return logged("<T>skoncil jsem pousteni vlaken --\n"); }));

    // Some 300 kB of console text: more than any pipe holds.
    for (int i = 0; i < 4000; ++i)
        harness::sendstatus(modul, status(1, i));
    harness::command prvni, druhy;
    ASSERT_TRUE(harness::receive(modul, prvni));
    ASSERT_TRUE(harness::receive(modul, druhy)) << "the time sender is held";
    EXPECT_EQ(druhy.stamp.tv_sec - prvni.stamp.tv_sec, 10);
    harness::sendstatus(modul, status(9, 77));
    EXPECT_TRUE(harness::waitfor([] {
        return logged("<T>modul  0 - prisla hodnota DEFPR1 77 \n");
    })) << "the receiver is held";

    harness::result r = harness::finish(daemon, SIGINT);
    EXPECT_EQ(r.status, 0);
    std::string log = harness::maskprefixes(harness::logtext());
    EXPECT_NE(log.find("<T>Prisel signal HUP \n"), std::string::npos);
    EXPECT_TRUE(log.ends_with(" \n\n<T>Program kamnar radne skoncil \n\n")) << log;
}

std::string jmeno(const ::testing::TestParamInfo<vystup> &p) {
    switch (p.param) {
    case vystup::nikdonecte:
        return "PipeNeverRead";
    case vystup::ctenarodesel:
        return "PipeReaderGone";
    default:
        return "DevFull";
    }
}

INSTANTIATE_TEST_SUITE_P(Stdout, Console,
                         ::testing::Values(vystup::nikdonecte, vystup::ctenarodesel,
                                           vystup::plnydisk),
                         jmeno);

} // namespace

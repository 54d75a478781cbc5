#include "datagram.hpp"
#include "harness.hpp"

#include <ctime>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

harness::result unitkick(const std::vector<std::string> &args, harness::options opt = {}) {
    std::vector<std::string> argv{harness::bin("unitkick")};
    argv.insert(argv.end(), args.begin(), args.end());
    return harness::run(argv, opt);
}

TEST(Unitkick, WantsExactlyOneArgument) {
    const std::string usage = "Musi nasledovat prave jeden argument -IP adresa modulu\n"
                              "Program unitkick konci \n\n";
    for (const auto &args : {std::vector<std::string>{}, {"127.0.0.2", "127.0.0.3"}}) {
        harness::result r = unitkick(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, usage);
    }
}

TEST(Unitkick, RefusesWhatIsNoAddress) {
    for (const char *bad : {"255.255.255.255", "kotel", "", "1.2.3.4.5"}) {
        harness::result r = unitkick({bad});
        EXPECT_EQ(r.status, 0) << bad;
        EXPECT_EQ(r.out, " !!! format adresy chybny, koncim !!!\n") << bad;
    }
}

TEST(Unitkick, SendsTheResetCommandAtHalfPastTheSecond) {
    harness::sandbox();
    int module = harness::fakemodule("127.0.0.2");
    harness::result r = unitkick({"127.0.0.2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.out,
        "Pozadavek na reset byl odeslan\nJeho vyplneni zkontrolujte ve vypisu kamnar.log\n\n");
    harness::command c;
    ASSERT_TRUE(harness::receive(module, c, 2s));
    ASSERT_EQ(c.bytes.size(), 6u);
    EXPECT_EQ(c.bytes[0], 0x0D);
    EXPECT_EQ(c.bytes[1], 0x00);
    std::uint32_t t = ctiprikaz(c.bytes).value().cas;
    // The time field names the second it left in, and it left after x.5 (half
    // a second of room: unitkick reads the clock after its wait and sends).
    EXPECT_EQ(static_cast<std::time_t>(t), c.stamp.tv_sec);
    EXPECT_GE(c.stamp.tv_nsec, 500000000);
    close(module);
}

TEST(Unitkick, ClockSetBackDuringTheWaitDoesNotHoldTheCommand) {
    harness::sandbox();
    int module = harness::fakemodule("127.0.0.2");
    std::timespec ted{};
    clock_gettime(CLOCK_REALTIME, &ted);
    if (ted.tv_nsec > 300000000) // start just after a full second
        std::this_thread::sleep_for(std::chrono::nanoseconds(1050000000 - ted.tv_nsec));
    clock_gettime(CLOCK_REALTIME, &ted);
    harness::options opt;
    opt.timeout = 5s;
    harness::stepclock(opt, {{{ted.tv_sec, 400000000}, -3600}});
    harness::result r = harness::run({harness::bin("unitkick"), "127.0.0.2"}, opt);
    EXPECT_EQ(r.status, 0);
    harness::command c;
    ASSERT_TRUE(harness::receive(module, c, 2s));
    std::uint32_t t = ctiprikaz(c.bytes).value().cas;
    EXPECT_EQ(static_cast<std::time_t>(t), c.stamp.tv_sec - 3600) << "the new clock's second";
    EXPECT_GE(c.stamp.tv_nsec, 500000000);
    close(module);
}

TEST(Unitkick, FailedSendIsAFailure) {
    harness::sandbox();
    // A broadcast address: the kernel refuses the send without SO_BROADCAST.
    harness::result r = unitkick({"127.255.255.255"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "Error: nelze odeslat paket pro modul \n");
}

TEST(Unitkick, RefusedSocketIsAFailure) {
    harness::options opt;
    harness::refusesockets(opt, 0);
    harness::result r = unitkick({"127.0.0.2"}, opt);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Fatalni chyba - nelze vytyvorit socket pro vysilani UDP - konec \n\n");
}

} // namespace

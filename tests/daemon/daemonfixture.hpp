// The one fixture of the tests that run the daemon (or overkal, which starts
// as the daemon does): a sandbox with one calendar file, the program's
// options, its process and the stand-in module sockets, all cleaned up after
// the test.
#pragma once

#include "harness.hpp"

#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

class RunningDaemon : public ::testing::Test {
  protected:
    std::string work;
    harness::options opt;
    harness::process daemon;
    std::vector<int> socks;
    std::vector<harness::process> helpers; // other programs of the test, killed after it
    // The PC's clock as the daemon reads it: the file of a preloaded
    // adjtimex() stand-in, synchronised until a test writes otherwise, so that
    // no log depends on the machine's clock; "" before a launch: the kernel's.
    std::string hodiny;

    void SetUp() override {
        work = harness::sandbox();
        opt.cwd = work;
        opt.env = {"TZ=Europe/Prague"};
        mkdir("/home/kamnar", 0755);
        harness::writefile("/home/kamnar/a.ics", "BEGIN:VCALENDAR\n");
        hodiny = work + "/hodiny";
        harness::writefile(hodiny, "0 1000\n");
    }
    void TearDown() override {
        if (daemon.pid > 0)
            harness::finish(daemon, SIGKILL);
        for (harness::process &p : helpers)
            if (p.pid > 0)
                harness::finish(p, SIGKILL);
        for (int s : socks)
            close(s);
    }
    void configure(const std::string &text) { harness::writefile(work + "/kamnar.conf", text); }
    // Starts the daemon in the background (as `daemon`).
    void launch() { daemon = harness::start({harness::bin("kamnar")}, withclock()); }
    // A house of three simulated modules, the one in the middle silent
    // (127.0.0.2 and .4 answer, .3 does not), and the daemon over it, given
    // 20 s for its stop.
    void launchhouse() {
        configure("[127.0.0.2]\n0 a.ics\n[127.0.0.3]\n1 a.ics\n[127.0.0.4]\n2 a.ics\n");
        for (std::string a : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
            std::vector<std::string> argv{harness::bin("simmodul"), a, "--quiet"};
            if (a == "127.0.0.3")
                argv.push_back("--silent");
            helpers.push_back(harness::start(argv));
        }
        opt.timeout = std::chrono::seconds(20);
        launch();
    }
    // Runs the daemon to its end.
    harness::result runkamnar() { return harness::run({harness::bin("kamnar")}, withclock()); }
    // The options with the clock's stand-in preloaded, unless `hodiny` is "".
    harness::options withclock() const {
        harness::options o = opt;
        if (!hodiny.empty()) {
            harness::preload(o, KAMNAR_HODINYPC_LIB);
            o.env.push_back("HODINYPC=" + hodiny);
        }
        return o;
    }
    // A stand-in module socket on a loopback address (socks[i] in call order).
    int module(const std::string &address) {
        socks.push_back(harness::fakemodule(address));
        return socks.back();
    }
    // Whether the log holds the text, time-stamp prefixes masked as "<T>".
    static bool logged(const std::string &text) {
        return harness::maskprefixes(harness::logtext()).find(text) != std::string::npos;
    }
};

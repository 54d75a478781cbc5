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

    void SetUp() override {
        work = harness::sandbox();
        opt.cwd = work;
        opt.env = {"TZ=Europe/Prague"};
        mkdir("/home/kamnar", 0755);
        harness::writefile("/home/kamnar/a.ics", "BEGIN:VCALENDAR\n");
    }
    void TearDown() override {
        if (daemon.pid > 0)
            harness::finish(daemon, SIGKILL);
        for (int s : socks)
            close(s);
    }
    void configure(const std::string &text) { harness::writefile(work + "/kamnar.conf", text); }
    // Starts the daemon in the background (as `daemon`).
    void launch() { daemon = harness::start({harness::bin("kamnar")}, opt); }
    // Runs the daemon to its end.
    harness::result runkamnar() { return harness::run({harness::bin("kamnar")}, opt); }
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

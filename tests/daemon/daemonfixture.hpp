// The fixture of the tests that run the daemon itself: a sandbox with one
// calendar file, the daemon's options, its process and the stand-in module
// sockets, all cleaned up after the test.
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
    // Whether the log holds the text, time-stamp prefixes masked as "<T>".
    static bool logged(const std::string &text) {
        return harness::maskprefixes(harness::logtext()).find(text) != std::string::npos;
    }
};

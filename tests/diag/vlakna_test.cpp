#include "harness.hpp"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using harness::count;
using namespace std::chrono_literals;

const std::string precetlq = "\nprecetl jsem 1 znaku --q-- \n";
const std::string konecklavesnice = " vlakno testujiklavesnici konci \n";
const std::string konecnecodelam = " vlakno necodelam skoncilo \n";
const std::string konecdelam = " vlakno delamnecojineho skoncilo \n";
const std::string cyklus = "   ***  cyklus main \n";
const std::string cekam = "\n*****cekam na skonceni vlaken \n";
const std::string definitivne = "\na definitivni konec \n";

std::string necodelam(int cislo) {
    return "\nvlakno necodelam - cislo " + std::to_string(cislo) + " \n\n";
}
std::string delamnecojineho(int cislo) {
    return "\nvlakno delamnecojineho - cislo " + std::to_string(cislo) + " \n\n";
}

std::string bezcr(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// The counter lines of one thread run 0, 1, 2, ... without a gap; returns the
// position of the last one (npos if there is none).
std::size_t poslednicislo(const std::string &text, std::string (*radek)(int)) {
    std::size_t pos = std::string::npos;
    for (int cislo = 0;; ++cislo) {
        std::size_t dalsi = text.find(radek(cislo));
        if (dalsi == std::string::npos)
            break;
        EXPECT_EQ(count(text, radek(cislo)), 1u) << radek(cislo);
        EXPECT_TRUE(pos == std::string::npos || dalsi > pos) << radek(cislo);
        pos = dalsi;
    }
    return pos;
}

void zkontrolujkonec(const std::string &text);

// vlakna on a pseudo-terminal that is its controlling terminal and its
// standard input, output and error, as when run from a console.
class Terminal : public ::testing::Test {
  protected:
    int master = -1, slave = -1;
    pid_t pid = -1;
    int status = -1;
    std::string out; // every byte the program wrote, as the terminal passed it on
    termios pred{};  // the attributes the program found

    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        char name[64];
        ASSERT_EQ(ptsname_r(master, name, sizeof name), 0);
        slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(slave, 0);
        ASSERT_EQ(tcgetattr(slave, &pred), 0);
    }

    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        close(slave);
        close(master);
    }

    void start() {
        std::vector<std::string> args = harness::commandline({harness::bin("vlakna")});
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            dup2(slave, 0);
            dup2(slave, 1);
            dup2(slave, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }

    // Collects the output for up to 100 ms.
    void prectivystup() {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[4096];
            ssize_t n = read(master, buf, sizeof buf);
            if (n > 0)
                out.append(buf, static_cast<std::size_t>(n));
        }
    }

    bool cekejna(const std::string &text, std::chrono::seconds limit = 30s) {
        return harness::waitfor(
            [&] {
                prectivystup();
                return out.find(text) != std::string::npos;
            },
            limit);
    }

    // Until the program ends; then the output it left in the terminal.
    bool cekejnakonec(std::chrono::seconds limit = 60s) {
        bool skoncil = harness::waitfor(
            [&] {
                prectivystup();
                int w = 0;
                if (waitpid(pid, &w, WNOHANG) != pid)
                    return false;
                status = WIFEXITED(w) ? WEXITSTATUS(w) : 128 + WTERMSIG(w);
                pid = -1;
                return true;
            },
            limit);
        for (std::size_t pred_ = out.size();; pred_ = out.size()) {
            prectivystup();
            if (out.size() == pred_)
                break;
        }
        return skoncil;
    }

    bool bezi() { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }

    void napis(const std::string &text) {
        ASSERT_EQ(write(master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Waits until the keyboard thread has put the terminal into raw mode and
    // checks that mode: nothing of the line discipline is left but the
    // 8-character, 5-second read.
    void cekejnasurovy() {
        termios t{};
        ASSERT_TRUE(harness::waitfor([&] {
            prectivystup();
            return tcgetattr(slave, &t) == 0 && t.c_cc[VMIN] == 8 && t.c_lflag == 0;
        })) << "the terminal never became raw";
        EXPECT_EQ(t.c_iflag, 0u);
        EXPECT_EQ(t.c_oflag, 0u);
        EXPECT_EQ(t.c_lflag, 0u);
        // The line's control modes stay: speed, size, parity, receiver.
        EXPECT_EQ(t.c_cflag, pred.c_cflag);
        EXPECT_EQ(cfgetispeed(&t), cfgetispeed(&pred));
        EXPECT_EQ(cfgetospeed(&t), cfgetospeed(&pred));
        for (int i = 0; i < NCCS; ++i)
            EXPECT_EQ(t.c_cc[i], i == VMIN ? 8 : i == VTIME ? 50 : 0) << "control character " << i;
    }

    // A q alone ends the program: status 0, the terminal given back, every
    // thread ended in order.
    void skoncinaq() {
        napis("q");
        ASSERT_TRUE(cekejnakonec()) << out;
        EXPECT_EQ(status, 0);
        zkontrolujvraceny();
        zkontrolujkonec(bezcr(out));
    }

    void zkontrolujvraceny() {
        termios po{};
        ASSERT_EQ(tcgetattr(slave, &po), 0);
        EXPECT_EQ(po.c_iflag, pred.c_iflag);
        EXPECT_EQ(po.c_oflag, pred.c_oflag);
        EXPECT_EQ(po.c_cflag, pred.c_cflag);
        EXPECT_EQ(po.c_lflag, pred.c_lflag);
        EXPECT_TRUE(std::equal(std::begin(po.c_cc), std::end(po.c_cc), std::begin(pred.c_cc)));
        EXPECT_EQ(cfgetispeed(&po), cfgetispeed(&pred));
        EXPECT_EQ(cfgetospeed(&po), cfgetospeed(&pred));
    }
};

// The order of a run that a q alone ended: every thread ends after the q
// line, each loop with one more line of its own first, and main last.
void zkontrolujkonec(const std::string &text) {
    EXPECT_TRUE(text.starts_with("poustim vlakna --\n")) << text;
    std::size_t q = text.find(precetlq);
    ASSERT_NE(q, std::string::npos) << text;
    EXPECT_EQ(text.find("precetl jsem", q + precetlq.size()), std::string::npos)
        << "read on after the q";
    std::size_t klavesnice = text.find(konecklavesnice);
    EXPECT_GT(klavesnice, q);
    EXPECT_EQ(count(text, konecklavesnice), 1u);

    std::size_t posledni1 = poslednicislo(text, necodelam);
    std::size_t posledni2 = poslednicislo(text, delamnecojineho);
    ASSERT_NE(posledni1, std::string::npos);
    ASSERT_NE(posledni2, std::string::npos);
    EXPECT_GT(posledni1, q) << "vlakno necodelam stopped without its last line";
    EXPECT_GT(posledni2, q) << "vlakno delamnecojineho stopped without its last line";
    EXPECT_GT(text.find(konecnecodelam), posledni1);
    EXPECT_GT(text.find(konecdelam), posledni2);
    EXPECT_EQ(count(text, konecnecodelam), 1u);
    EXPECT_EQ(count(text, konecdelam), 1u);

    std::size_t pousteni = text.find("skoncil jsem pousteni vlaken --\n");
    ASSERT_NE(pousteni, std::string::npos);
    EXPECT_GT(text.find(cyklus), pousteni);
    std::size_t poslednicyklus = text.rfind(cyklus);
    EXPECT_GT(poslednicyklus, q);
    EXPECT_GT(text.find(cekam), poslednicyklus) << text;
    EXPECT_EQ(count(text, cekam), 1u);
    EXPECT_TRUE(text.ends_with(definitivne)) << text;
    EXPECT_EQ(count(text, definitivne), 1u);
}

TEST_F(Terminal, QAloneStopsAllThreadsInOrderAndGivesTheTerminalBack) {
    start();
    cekejnasurovy();
    // Output post-processing is off: the counters' newlines reach the
    // terminal without a carriage return.
    ASSERT_TRUE(cekejna(necodelam(0))) << out;
    ASSERT_TRUE(cekejna(delamnecojineho(0))) << out;
    EXPECT_TRUE(bezi());
    skoncinaq();
}

TEST_F(Terminal, OnlyAChunkThatBeginsWithQStops) {
    start();
    cekejnasurovy();
    // Ten keys at once, the interrupt, quit and Enter keys among them: one
    // read takes 8 to 10 of them as plain bytes.
    const std::string klavesy = "ab\x03\x1c\rcdefg";
    napis(klavesy);
    ASSERT_TRUE(cekejna(" znaku --")) << out;
    int n = std::atoi(out.c_str() + out.find("\nprecetl jsem ") + 14);
    ASSERT_GE(n, 8);
    ASSERT_LE(n, 10);
    const std::string prvni = klavesy.substr(0, static_cast<std::size_t>(n));
    EXPECT_TRUE(cekejna("\nprecetl jsem " + std::to_string(n) + " znaku --" + prvni + "-- \n"))
        << out;
    if (n < 10) {
        ASSERT_TRUE(cekejna("--" + klavesy.substr(n) + "-- \n")) << out;
    }

    napis("aq");
    ASSERT_TRUE(cekejna("\nprecetl jsem 2 znaku --aq-- \n")) << out;
    EXPECT_TRUE(bezi());
    skoncinaq();
}

// A serial console: 9600 baud, two stop bits, no modem control, hang-up on
// close (a pseudo-terminal keeps these; it forces 8 bits, no parity and the
// receiver on). Raw mode keeps them all (zeroed, speed 0 would hang a real
// line up and switch its receiver off, so the q could never arrive), and the
// end gives back the rest.
TEST_F(Terminal, SerialLineKeepsItsControlModes) {
    termios serial = pred;
    serial.c_cflag = CS8 | CSTOPB | CREAD | CLOCAL | HUPCL;
    cfsetispeed(&serial, B9600);
    cfsetospeed(&serial, B9600);
    ASSERT_EQ(tcsetattr(slave, TCSANOW, &serial), 0);
    ASSERT_EQ(tcgetattr(slave, &pred), 0);
    ASSERT_EQ(cfgetospeed(&pred), static_cast<speed_t>(B9600)) << "the line took no speed";
    ASSERT_EQ(pred.c_cflag & (CSTOPB | CLOCAL | HUPCL),
              static_cast<tcflag_t>(CSTOPB | CLOCAL | HUPCL));
    start();
    cekejnasurovy();
    napis("q");
    ASSERT_TRUE(cekejnakonec()) << out;
    EXPECT_EQ(status, 0);
    zkontrolujvraceny();
    EXPECT_NE(bezcr(out).find(precetlq), std::string::npos) << out;
}

// With nothing left to read, the program stops as after a q; standard input
// is no terminal, so there are no attributes to give back.
void zkontrolujkonecvstupu(const harness::result &r) {
    EXPECT_EQ(r.status, 0);
    const std::string &text = r.out;
    EXPECT_TRUE(text.starts_with("poustim vlakna --\n")) << text;
    EXPECT_EQ(count(text, "skoncil jsem pousteni vlaken --\n"), 1u) << text;
    EXPECT_EQ(text.find("precetl jsem"), std::string::npos) << text;
    for (const std::string &radek : {konecklavesnice, konecnecodelam, konecdelam, cekam})
        EXPECT_EQ(count(text, radek), 1u) << radek << text;
    EXPECT_LE(count(text, cyklus), 1u) << text;
    EXPECT_EQ(text.find(necodelam(1)), std::string::npos) << text;
    EXPECT_EQ(text.find(delamnecojineho(1)), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with(definitivne)) << text;
}

TEST(Vlakna, EndOfInputOrAFailedReadStopsLikeQ) {
    harness::options zavrenarura; // a pipe closed before the first read
    zkontrolujkonecvstupu(harness::run({harness::bin("vlakna")}, zavrenarura));
    harness::options bezvstupu; // no descriptor 0 at all: every read fails
    bezvstupu.closestdin = true;
    zkontrolujkonecvstupu(harness::run({harness::bin("vlakna")}, bezvstupu));
}

TEST(Vlakna, FailedThreadStartIsReportedAndTheOthersRun) {
#ifndef ODMITNIVLAKNO_LIB
    GTEST_SKIP() << "no preloading under an emulator";
#else
    harness::options opt;
    harness::preload(opt, ODMITNIVLAKNO_LIB);
    opt.env.push_back("ODMITNIVLAKNO=2");
    harness::result r = harness::run({harness::bin("vlakna")}, opt);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("poustim vlakna --\nnepodarilo se pustit vlakno 2 --\n"))
        << r.out;
    EXPECT_EQ(count(r.out, "nepodarilo se"), 1u) << r.out;
    EXPECT_EQ(r.out.find("delamnecojineho"), std::string::npos) << r.out;
    for (const std::string &radek : {konecklavesnice, konecnecodelam, cekam})
        EXPECT_EQ(count(r.out, radek), 1u) << radek << r.out;
    EXPECT_TRUE(r.out.ends_with(definitivne)) << r.out;
#endif
}

} // namespace

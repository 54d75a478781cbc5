#include "zkusebna.hpp"

#include "porty.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace harness {
namespace {

[[noreturn]] void fail(const std::string &what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void check(bool ok, const std::string &what) {
    if (!ok)
        fail(what);
}

bool under(const std::string &path, const std::string &dir) {
    return path == dir || path.rfind(dir + "/", 0) == 0;
}

int counter = 0;

std::vector<char *> pointers(std::vector<std::string> &strings) {
    std::vector<char *> p;
    for (std::string &s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

int decode(int wstatus) {
    if (WIFEXITED(wstatus))
        return WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus))
        return 128 + WTERMSIG(wstatus);
    return -1;
}

} // namespace

std::string bin(const std::string &name) {
    return std::string(KAMNAR_BIN_DIR) + "/" + name;
}

void preload(options &opt, const std::string &lib) {
    // LD_PRELOAD would reach the emulator itself, a program of the host.
    const std::string jmeno =
        std::string(KAMNAR_EMULATOR).empty() ? "LD_PRELOAD=" : "QEMU_SET_ENV=LD_PRELOAD=";
    // A second stand-in joins the first: the loader reads one LD_PRELOAD only.
    auto e = std::find_if(opt.env.begin(), opt.env.end(),
                          [&](const std::string &v) { return v.starts_with(jmeno); });
    if (e != opt.env.end()) {
        *e += ":" + lib;
        return;
    }
    opt.env.push_back(jmeno + lib);
    if (std::string(KAMNAR_EMULATOR).empty()) {
        // AddressSanitizer wants its runtime first; the stand-ins do not need it.
        const char *asan = std::getenv("ASAN_OPTIONS");
        opt.env.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                          "verify_asan_link_order=0");
    }
}

void stepclock(options &opt, const std::vector<clockstep> &steps) {
    preload(opt, KAMNAR_POSUNHODIN_LIB);
    std::string list;
    for (const clockstep &s : steps)
        list += (list.empty() ? "" : ",") +
                std::to_string(s.at.tv_sec * 1000000000LL + s.at.tv_nsec) + ":" +
                std::to_string(s.seconds);
    opt.env.push_back("POSUNHODIN=" + list);
}

std::vector<std::string> commandline(const std::vector<std::string> &argv) {
    std::vector<std::string> args;
    if (under(argv.at(0), KAMNAR_BIN_DIR)) {
        std::istringstream words(KAMNAR_EMULATOR); // its words, separated by blanks
        for (std::string w; words >> w;)
            args.push_back(w);
    }
    args.insert(args.end(), argv.begin(), argv.end());
    return args;
}

process start(const std::vector<std::string> &argv, const options &opt) {
    std::vector<std::string> args = commandline(argv);
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), opt.env.begin(), opt.env.end());
    std::vector<char *> argp = pointers(args), envp = pointers(env);

    process p;
    std::string base = "/tmp/harness-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    p.outpath = base + ".out";
    p.errpath = base + ".err";
    p.timeout = opt.timeout;
    int out = open(p.outpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int err = open(p.errpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int in[2];
    check(out >= 0 && err >= 0 && pipe2(in, O_CLOEXEC) == 0, "output files");

    p.pid = fork();
    check(p.pid >= 0, "fork");
    if (p.pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        dup2(in[0], 0);
        dup2(opt.stdoutfd >= 0 ? opt.stdoutfd : out, 1);
        dup2(err, 2);
        if (opt.closestdin)
            close(0);
        if (!opt.cwd.empty() && chdir(opt.cwd.c_str()) != 0)
            _exit(126);
        if (opt.maxfds > 0) {
            rlimit l{static_cast<rlim_t>(opt.maxfds), static_cast<rlim_t>(opt.maxfds)};
            setrlimit(RLIMIT_NOFILE, &l);
        }
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out);
    close(err);
    // The input is small; the pipe takes it whole before the program reads.
    signal(SIGPIPE, SIG_IGN);
    if (!opt.input.empty() && write(in[1], opt.input.data(), opt.input.size()) < 0)
        fail("write input");
    close(in[1]);
    return p;
}

std::string output(const process &p) {
    return readfile(p.outpath);
}

result finish(process &p, int sig) {
    if (sig != 0)
        kill(p.pid, sig);
    int wstatus = 0;
    auto deadline = std::chrono::steady_clock::now() + p.timeout;
    while (waitpid(p.pid, &wstatus, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(p.pid, SIGKILL);
            waitpid(p.pid, &wstatus, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result r{decode(wstatus), readfile(p.outpath), readfile(p.errpath)};
    unlink(p.outpath.c_str());
    unlink(p.errpath.c_str());
    p.pid = -1;
    return r;
}

result run(const std::vector<std::string> &argv, const options &opt) {
    process p = start(argv, opt);
    return finish(p, 0);
}

void stdoutto(int to, const std::function<void()> &f) {
    std::fflush(stdout);
    int saved = dup(1);
    check(saved >= 0 && dup2(to, 1) == 1, "redirect standard output");
    f();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
}

std::size_t count(const std::string &text, const std::string &what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool waitfor(const std::function<bool()> &cond, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string readfile(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void writefile(const std::string &path, const std::string &text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f)
        fail("open " + path);
    f << text;
}

std::string logtext() {
    return readfile("/var/log/kamnar.log");
}

std::string maskprefixes(const std::string &text) {
    static const std::regex prefix(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d : )");
    return std::regex_replace(text, prefix, "<T>");
}

int fakemodule(const std::string &address) {
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    check(s >= 0, "socket");
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(portmodulu);
    a.sin_addr.s_addr = inet_addr(address.c_str());
    check(bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0, "bind " + address);
    return s;
}

bool receive(int sock, command &c, std::chrono::milliseconds limit) {
    pollfd p{sock, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(limit.count())) != 1)
        return false;
    unsigned char buf[2048];
    char control[256];
    iovec iov{buf, sizeof buf};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n = recvmsg(sock, &msg, 0);
    check(n >= 0, "recvmsg");
    c.bytes.assign(buf, buf + n);
    c.stamp = {};
    for (cmsghdr *h = CMSG_FIRSTHDR(&msg); h; h = CMSG_NXTHDR(&msg, h))
        if (h->cmsg_level == SOL_SOCKET && h->cmsg_type == SCM_TIMESTAMPNS)
            std::memcpy(&c.stamp, CMSG_DATA(h), sizeof c.stamp);
    return true;
}

namespace {

ssize_t sendtodaemon(int sock, const std::vector<unsigned char> &bytes, int flags) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(portdemona);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sendto(sock, bytes.data(), bytes.size(), flags, reinterpret_cast<sockaddr *>(&a),
                  sizeof a);
}

} // namespace

void sendstatus(int sock, const std::vector<unsigned char> &bytes) {
    check(sendtodaemon(sock, bytes, 0) == static_cast<ssize_t>(bytes.size()), "sendto");
}

bool sendquick(int sock, const std::vector<unsigned char> &bytes) {
    return sendtodaemon(sock, bytes, MSG_DONTWAIT) >= 0;
}

} // namespace harness

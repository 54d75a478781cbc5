#include "sandbox.hpp"

#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace harness {
namespace {

void check(bool ok, const std::string &what) {
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}

void bringuploopback() {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    check(s >= 0, "socket for loopback");
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    check(ioctl(s, SIOCGIFFLAGS, &ifr) == 0, "SIOCGIFFLAGS lo");
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    check(ioctl(s, SIOCSIFFLAGS, &ifr) == 0, "SIOCSIFFLAGS lo");
    close(s);
}

bool under(const std::string &path, const std::string &dir) {
    return path == dir || path.rfind(dir + "/", 0) == 0;
}

// The daemon's fixed places (its state file lives under /run), and /srv,
// where tests put calendar directories of their own (the configuration may
// name any directory). Nothing the tests run needs the host's /run.
constexpr const char *masked[] = {"/var/log", "/home", "/srv", "/run"};

} // namespace

std::string sandbox() {
    for (const char *dir : masked)
        if (under(KAMNAR_BIN_DIR, dir))
            throw std::runtime_error(std::string("the build tree must not lie under ") + dir);
    check(unshare(CLONE_NEWNS | CLONE_NEWNET) == 0, "unshare (needs root)");
    check(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0, "make / private");
    for (const char *dir : masked) {
        mkdir(dir, 0755);
        check(mount("kamnar-test", dir, "tmpfs", 0, "mode=0755") == 0,
              std::string("tmpfs over ") + dir);
    }
    bringuploopback();
    std::string work = "/home/test-work";
    check(mkdir(work.c_str(), 0755) == 0, "mkdir " + work);
    return work;
}

} // namespace harness

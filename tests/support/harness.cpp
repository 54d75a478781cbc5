#include "harness.hpp"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace harness {

void refusesockets(options &opt, int allowed) {
    preload(opt, KAMNAR_FAILSOCKET_LIB);
    opt.env.push_back("FAILSOCKET_ALLOWED=" + std::to_string(allowed));
}

std::string stdoutof(const std::function<void()> &f) {
    int fd = memfd_create("stdout", MFD_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(std::string("memfd_create: ") + std::strerror(errno));
    stdoutto(fd, f);
    std::string text;
    char buf[4096];
    ssize_t n = 0;
    for (off_t at = 0; (n = pread(fd, buf, sizeof buf, at)) > 0; at += n)
        text.append(buf, static_cast<std::size_t>(n));
    close(fd);
    return text;
}

} // namespace harness

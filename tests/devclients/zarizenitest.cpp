#include "zarizenitest.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace zarizenitest {

int posluchac(bool listen, int fronta) {
    const std::string cesta = cestasocketu;
    for (std::size_t i = cesta.find('/', 1); i != std::string::npos; i = cesta.find('/', i + 1))
        mkdir(cesta.substr(0, i).c_str(), 0755);
    int s = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strcpy(a.sun_path, cestasocketu);
    if (s < 0 || bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        (listen && ::listen(s, fronta) != 0))
        throw std::runtime_error(std::string("device socket: ") + std::strerror(errno));
    return s;
}

std::optional<std::vector<std::uint8_t>> prijato(int posluchac) {
    int c = accept4(posluchac, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) {
        if (errno == EAGAIN)
            return std::nullopt;
        throw std::runtime_error(std::string("accept: ") + std::strerror(errno));
    }
    // The client has ended before we look, so everything it wrote is queued.
    std::vector<std::uint8_t> z;
    std::uint8_t buf[512];
    for (;;) {
        ssize_t n = read(c, buf, sizeof buf);
        if (n <= 0)
            break;
        z.insert(z.end(), buf, buf + n);
    }
    close(c);
    return z;
}

} // namespace zarizenitest

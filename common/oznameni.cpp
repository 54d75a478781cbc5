#include "oznameni.hpp"

#include <cerrno>
#include <cstddef>
#include <cstring>

std::optional<adresaspravce> adresaoznameni(const char *jmeno) {
    if (!jmeno || (jmeno[0] != '/' && jmeno[0] != '@'))
        return std::nullopt;
    adresaspravce a{};
    a.adresa.sun_family = AF_UNIX;
    std::size_t delka = std::strlen(jmeno);
    // A path needs its terminating zero; an abstract name has none and
    // begins with a zero byte instead of the '@'.
    if (delka < 2 || delka + (jmeno[0] == '/') > sizeof a.adresa.sun_path)
        return std::nullopt;
    std::memcpy(a.adresa.sun_path, jmeno, delka);
    if (jmeno[0] == '@')
        a.adresa.sun_path[0] = '\0';
    a.delka =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + delka + (jmeno[0] == '/' ? 1 : 0));
    return a;
}

int soketoznameni() {
    return socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

void oznam(int sock, const adresaspravce &spravce, std::string_view zprava) {
    if (sock < 0)
        return;
    while (sendto(sock, zprava.data(), zprava.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                  reinterpret_cast<const sockaddr *>(&spravce.adresa), spravce.delka) < 0 &&
           errno == EINTR) {
    }
}

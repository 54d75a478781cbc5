#include "hranice.hpp"

#include <algorithm>
#include <cstring>
#include <netinet/in.h>

namespace {

// Whether two clients share an address (the whole of it) or a network.
bool stejna(const klient &a, const klient &b, bool sit) {
    std::size_t delka = a.v6 ? (sit ? 8 : 16) : (sit ? 3 : 4);
    return a.v6 == b.v6 && std::equal(a.adresa.begin(), a.adresa.begin() + delka, b.adresa.begin());
}

int hexa(char z) {
    if (z >= '0' && z <= '9')
        return z - '0';
    z = static_cast<char>(z | 0x20);
    return z >= 'a' && z <= 'f' ? z - 'a' + 10 : -1;
}

} // namespace

klient klientz(const sockaddr *a, socklen_t delka) {
    klient k;
    if (a && a->sa_family == AF_INET && delka >= sizeof(sockaddr_in)) {
        std::memcpy(k.adresa.data(), &reinterpret_cast<const sockaddr_in *>(a)->sin_addr, 4);
    } else if (a && a->sa_family == AF_INET6 && delka >= sizeof(sockaddr_in6)) {
        const in6_addr &v6 = reinterpret_cast<const sockaddr_in6 *>(a)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&v6)) {
            std::memcpy(k.adresa.data(), v6.s6_addr + 12, 4);
        } else {
            std::memcpy(k.adresa.data(), v6.s6_addr, 16);
            k.v6 = true;
        }
    }
    return k;
}

bool mistni(const klient &k) {
    static constexpr std::array<std::uint8_t, 16> v6{0, 0, 0, 0, 0, 0, 0, 0,
                                                     0, 0, 0, 0, 0, 0, 0, 1};
    static constexpr std::array<std::uint8_t, 4> v4{127, 0, 0, 1};
    return k.v6 ? k.adresa == v6 : std::equal(v4.begin(), v4.end(), k.adresa.begin());
}

bool vpustit(const klient &novy, const std::vector<klient> &otevrena) {
    if (otevrena.size() >= nejvicespojeni)
        return false;
    if (mistni(novy))
        return true;
    unsigned cizi = 0, zadresy = 0, zesite = 0;
    for (const klient &k : otevrena) {
        cizi += !mistni(k);
        zadresy += stejna(k, novy, false);
        zesite += stejna(k, novy, true);
    }
    return cizi < nejvicespojeni - vyhrazenomistnim && zadresy < nejvicezadresy &&
           zesite < nejvicezesite;
}

bool maridiciznak(std::string_view cil) {
    for (std::size_t i = 0; i < cil.size(); ++i) {
        auto b = static_cast<unsigned char>(cil[i]);
        if (b < 0x20 || b == 0x7f)
            return true;
        if (cil[i] == '%' && i + 2 < cil.size() && hexa(cil[i + 1]) >= 0 && hexa(cil[i + 2]) >= 0) {
            int h = hexa(cil[i + 1]) * 16 + hexa(cil[i + 2]);
            if (h < 0x20 || h == 0x7f)
                return true;
        }
    }
    return false;
}

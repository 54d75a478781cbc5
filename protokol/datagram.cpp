#include "datagram.hpp"

namespace {

std::uint16_t ctidva(const std::array<std::uint8_t, 14> &b, std::size_t i) {
    return static_cast<std::uint16_t>(b[i] | b[i + 1] << 8);
}

void zapisdva(std::array<std::uint8_t, 14> &b, std::size_t i, std::uint16_t v) {
    b[i] = static_cast<std::uint8_t>(v);
    b[i + 1] = static_cast<std::uint8_t>(v >> 8);
}

} // namespace

std::array<std::uint8_t, 6> sestavprikaz(std::uint8_t kod, std::time_t cas) {
    auto c = static_cast<std::uint32_t>(cas); // the low 32 bits
    return {kod,
            0,
            static_cast<std::uint8_t>(c),
            static_cast<std::uint8_t>(c >> 8),
            static_cast<std::uint8_t>(c >> 16),
            static_cast<std::uint8_t>(c >> 24)};
}

std::optional<prikazmodulu> ctiprikaz(std::span<const std::uint8_t> data) {
    if (data.size() < 6)
        return std::nullopt;
    return prikazmodulu{data[0],
                        static_cast<std::uint32_t>(data[2] | data[3] << 8 | data[4] << 16) |
                            static_cast<std::uint32_t>(data[5]) << 24};
}

stavmodulu ctistav(std::span<const std::uint8_t> data) {
    std::array<std::uint8_t, 14> b{};
    for (std::size_t i = 0; i < b.size() && i < data.size(); ++i)
        b[i] = data[i];
    stavmodulu s{};
    s.typ = b[0];
    s.status = b[1];
    s.cosestalo = b[2];
    s.navrat = ctidva(b, 3);
    s.stavtrap = ctidva(b, 5);
    s.casmodulu = static_cast<std::uint32_t>(b[8] | b[9] << 8 | b[10] << 16) |
                  static_cast<std::uint32_t>(b[11]) << 24;
    s.hodnota = ctidva(b, 12);
    return s;
}

std::array<std::uint8_t, 14> sestavstav(const stavmodulu &s) {
    std::array<std::uint8_t, 14> b{};
    b[0] = s.typ;
    b[1] = s.status;
    b[2] = s.cosestalo;
    zapisdva(b, 3, s.navrat);
    zapisdva(b, 5, s.stavtrap);
    for (std::size_t i = 0; i < 4; ++i)
        b[8 + i] = static_cast<std::uint8_t>(s.casmodulu >> (8 * i));
    zapisdva(b, 12, s.hodnota);
    return b;
}

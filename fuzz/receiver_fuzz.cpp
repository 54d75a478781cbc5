// Any bytes of any length as one status datagram, handled by the receiver as
// coming from a configured module or from a stranger. The module table lives
// on from input to input as in the running daemon; after each datagram the
// sender's slot must hold exactly what the datagram says and every other
// slot must be untouched.
#include "hlidac.hpp"
#include "receiver.hpp"
#include "spolecne.hpp"
#include "tables.hpp"
#include "zaplava.hpp"

#include <arpa/inet.h>
#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace {

constexpr int moduly = 3; // 127.0.0.2, .3 and .4
const std::array<const char *, moduly + 1> adresy = {"127.0.0.2", "127.0.0.3", "127.0.0.4",
                                                     "127.0.0.9"};

struct slot {
    std::uint32_t adresa;
    std::array<std::int32_t, 5> tmr1;
    std::int32_t odpocet, hlidac, defpr1;
    bool operator==(const slot &) const = default;
};

std::array<slot, pocetslotu> sejmi() {
    std::array<slot, pocetslotu> o{};
    for (std::size_t i = 0; i < pocetslotu; ++i) {
        const modul &m = polemod[i];
        o[i] = {m.adresa,
                {m.tmr1[0], m.tmr1[1], m.tmr1[2], m.tmr1[3], m.tmr1[4]},
                m.odpocet,
                m.hlidac,
                m.defpr1};
    }
    return o;
}

// Byte i of the datagram; bytes a short datagram lacks read as 0.
unsigned bajt(std::span<const std::uint8_t> d, std::size_t i) {
    return i < d.size() ? d[i] : 0u;
}

bool vrozsahu(std::int32_t v) {
    return v >= 0 && v <= 65535;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    pripravfuzz();
    inicializujtabulky();
    for (int i = 0; i < moduly; ++i)
        pridejmodul(inet_addr(adresy[static_cast<std::size_t>(i)]));
    nulujstav();
    return 0;
}

// The first byte chooses the sender (its low two bits: module 0 to 2, or 3 for
// the stranger) and whether the module had been reported silent (bit 2); the
// rest is the datagram.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    nulujlog();
    nulujzaplavu(); // each input a receiver's first datagram: no budget spent
    const std::size_t kdo = data[0] & 3u;
    const bool mlcel = (data[0] & 4u) != 0 && kdo < moduly;
    std::span<const std::uint8_t> paket(data + 1, size - 1);
    if (mlcel)
        polemod[kdo].hlidac = 0;

    const auto pred = sejmi();
    std::string konzole;
    zpracujpaket(inet_addr(adresy[kdo]), paket, konzole);
    const auto po = sejmi();
    const std::string log = ctilog();

    INVARIANT(konpolemod == moduly && konkal == 0);
    const std::string cizi = "prijemUDP - prisel paket z adresy 127.0.0.9 , ktera neni v "
                             "konfiguracnim file !!! \n";
    if (kdo == moduly) {
        INVARIANT(po == pred); // a stranger changes nothing
        INVARIANT(konzole.empty());
        INVARIANT(log.size() == 22 + cizi.size() && log.ends_with(cizi));
        return 0;
    }
    INVARIANT(log.find("ktera neni v konfiguracnim file") == std::string::npos);
    // The console text begins with the dump of every byte received.
    std::string vypis = "Prislo:  ";
    for (std::uint8_t b : paket) {
        char bajt[8];
        std::snprintf(bajt, sizeof bajt, " %02x ", b);
        vypis += bajt;
    }
    INVARIANT(konzole.starts_with(vypis + " \n"));
    for (std::size_t i = 0; i < pocetslotu; ++i)
        if (i != kdo)
            INVARIANT(po[i] == pred[i]);

    const slot &p = pred[kdo], &s = po[kdo];
    INVARIANT(s.adresa == p.adresa);
    INVARIANT(s.hlidac == plnyhlidac);
    const bool zaseodpovida = log.find(" uz zase odpovida \n") != std::string::npos;
    INVARIANT(zaseodpovida == mlcel);

    const unsigned typ = bajt(paket, 0);
    const std::int32_t hodnota = static_cast<std::int32_t>(bajt(paket, 12) | bajt(paket, 13) << 8);
    if (nesetmr1(typ)) {
        for (std::size_t i = 0; i < 4; ++i)
            INVARIANT(s.tmr1[i] == p.tmr1[i + 1]);
        INVARIANT(s.tmr1[4] == hodnota);
        INVARIANT(s.odpocet == (p.odpocet > 0 ? p.odpocet - 1 : 0));
        INVARIANT(s.defpr1 == p.defpr1);
    } else {
        INVARIANT(s.tmr1 == p.tmr1 && s.odpocet == p.odpocet);
        INVARIANT(s.defpr1 == (typ == typdefpr1 ? hodnota : p.defpr1));
    }
    for (std::int32_t t : s.tmr1)
        INVARIANT(vrozsahu(t));
    INVARIANT((s.defpr1 == -1 || vrozsahu(s.defpr1)) && s.odpocet >= 0 && s.odpocet <= 5);
    return 0;
}

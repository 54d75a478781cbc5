#include "kruh.hpp"

#include <algorithm>
#include <cstring>

namespace {

// Copies n bytes in at the ring's position `pozice`, wrapping at its end.
void kopirujdo(kruh &k, std::uint64_t pozice, const void *z, std::size_t n) {
    std::size_t od = static_cast<std::size_t>(pozice % k.velikost);
    std::size_t prvni = std::min(n, k.velikost - od);
    std::memcpy(k.data.get() + od, z, prvni);
    std::memcpy(k.data.get(), static_cast<const char *>(z) + prvni, n - prvni);
}

void kopirujz(const kruh &k, std::uint64_t pozice, void *do_, std::size_t n) {
    std::size_t od = static_cast<std::size_t>(pozice % k.velikost);
    std::size_t prvni = std::min(n, k.velikost - od);
    std::memcpy(do_, k.data.get() + od, prvni);
    std::memcpy(static_cast<char *>(do_) + prvni, k.data.get(), n - prvni);
}

} // namespace

kruh::kruh(std::size_t v) : data(new char[v]), velikost(v) {
    std::memset(data.get(), 0, v); // its pages exist before the producer runs
}

bool vloz(kruh &k, hlavickakruhu h, const char *text) {
    std::uint64_t konec = k.konec.load(std::memory_order_relaxed);
    std::uint64_t volno = k.velikost - (konec - k.zacatek.load(std::memory_order_acquire));
    if (sizeof h + h.delka > volno)
        return false;
    kopirujdo(k, konec, &h, sizeof h);
    kopirujdo(k, konec + sizeof h, text, h.delka);
    k.vlozeno.fetch_add(1); // first, so that vkruhu never counts below 0
    k.konec.store(konec + sizeof h + h.delka, std::memory_order_release);
    return true;
}

bool nahledni(const kruh &k, hlavickakruhu &h) {
    std::uint64_t zacatek = k.zacatek.load(std::memory_order_relaxed);
    if (k.konec.load(std::memory_order_acquire) == zacatek)
        return false;
    kopirujz(k, zacatek, &h, sizeof h);
    return true;
}

void vyjmi(kruh &k, const hlavickakruhu &h, std::string &text) {
    std::uint64_t zacatek = k.zacatek.load(std::memory_order_relaxed);
    std::size_t bylo = text.size();
    text.resize(bylo + h.delka);
    kopirujz(k, zacatek + sizeof h, text.data() + bylo, h.delka);
    k.vyjmuto.fetch_add(1);
    k.zacatek.store(zacatek + sizeof h + h.delka, std::memory_order_release);
}

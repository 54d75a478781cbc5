#include "popiszpravy.hpp"

#include <cstdio>

namespace {

std::string hex2(unsigned bajt) {
    char b[8];
    std::snprintf(b, sizeof b, "%02x", bajt & 0xFFu);
    return b;
}

std::string cislo(unsigned long long n) {
    return std::to_string(n);
}

// Modem line ('G', constant 0x03) and display text ('Z', constant 0x02):
// lead, n, constant, text, 0x00, with n counting from byte 3 to the end.
std::string popisradku(std::span<const std::uint8_t> z, const char *co, std::size_t nejdelsi) {
    if (z.size() < 4)
        return std::string("chybny ") + co + ": jen " + cislo(z.size()) +
               " bajtu, chybi text zakonceny 0x00\n";
    std::size_t n = z[1];
    std::string popis;
    std::span<const std::uint8_t> text = z.subspan(3, z.size() - 4);
    if (n != z.size() - 3)
        popis += std::string("chybny ") + co + ": n = " + cislo(n) + ", ale za hlavickou je " +
                 cislo(z.size() - 3) + " bajtu\n";
    if (z.back() != 0x00) {
        popis += std::string("chybny ") + co + ": neni zakoncen 0x00\n";
        text = z.subspan(3);
    }
    popis += std::string(co) + " " + uvozovky(text) + " (n = " + cislo(n) + ")\n";
    if (text.size() > nejdelsi)
        popis += std::string("chybny ") + co + ": text ma " + cislo(text.size()) +
                 " znaku, nejvic " + cislo(nejdelsi) + "\n";
    return popis;
}

std::string popissms(std::span<const std::uint8_t> z) {
    if (z.size() < 10)
        return "chybna SMS: jen " + cislo(z.size()) + " bajtu, cislo ma mit 9 znaku\n";
    std::string popis = "SMS na cislo " + uvozovky(z.subspan(1, 9));
    if (z.size() == 10)
        return popis + ", bez textu\n";
    popis += ", text " + uvozovky(z.subspan(11)) + "\n";
    if (z[10] != 0x00)
        popis += "chybna SMS: za cislem neni 0x00, ale 0x" + hex2(z[10]) + "\n";
    if (z.size() > 168)
        popis += "chybna SMS: " + cislo(z.size()) + " bajtu, nejvic 168\n";
    return popis;
}

std::string popiskotle(std::span<const std::uint8_t> z) {
    if (z.size() != 4)
        return "chybny prikaz pro kotel: " + cislo(z.size()) + " bajtu misto 4\n";
    std::string popis = "kotel: hodnota " + cislo(z[3]) + "\n";
    if (z[1] != 0x02)
        popis += "chybny prikaz pro kotel: bajt 1 je 0x" + hex2(z[1]) + " misto 0x02\n";
    if (z[3] > 240)
        popis += "chybny prikaz pro kotel: hodnota nad 240\n";
    return popis;
}

} // namespace

std::string uvozovky(std::span<const std::uint8_t> text) {
    std::string s = "\"";
    for (std::uint8_t b : text) {
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\')
            s += static_cast<char>(b);
        else
            s += "\\x" + hex2(b);
    }
    return s + "\"";
}

std::string hexvypis(std::span<const std::uint8_t> z, std::size_t limit) {
    std::string s;
    for (std::size_t i = 0; i < z.size() && i < limit; ++i) {
        if (i > 0)
            s += ' ';
        s += hex2(z[i]);
    }
    if (z.size() > limit)
        s += " ...";
    return s;
}

std::string popiszpravu(std::span<const std::uint8_t> z) {
    if (z.empty())
        return "prazdna zprava\n";
    switch (z[0]) {
    case 'P':
        return popissms(z);
    case 'S':
        if (z.size() != 1)
            return "chybna testovaci SMS: " + cislo(z.size()) + " bajtu misto 1\n";
        return "testovaci SMS\n";
    case 'G':
        if (z.size() >= 3 && z[2] != 0x03)
            return "chybny radek pro GSM: bajt 2 je 0x" + hex2(z[2]) + " misto 0x03\n";
        return popisradku(z, "radek pro GSM", 250);
    case 'Z':
        if (z.size() < 3)
            return "chybny prikaz Z: jen " + cislo(z.size()) + " bajtu\n";
        if (z[2] == 0x02)
            return popisradku(z, "displej", 16);
        if (z[2] == 0x04)
            return popiskotle(z);
        return "chybny prikaz Z: bajt 2 je 0x" + hex2(z[2]) +
               ", ani displej (0x02) ani kotel (0x04)\n";
    case 'L': {
        if (z.size() != 3)
            return "chybna uroven logu: " + cislo(z.size()) + " bajtu misto 3\n";
        char b[64];
        std::snprintf(b, sizeof b, "uroven logu 0x%04x\n", z[1] | (z[2] << 8));
        return b;
    }
    default:
        return "neznamy prikaz 0x" + hex2(z[0]) + "\n";
    }
}

#include "jsonkontrola.hpp"

#include <cstring>

namespace {

struct ctenar {
    std::string_view t;
    std::size_t i = 0;
    int hloubka = 0;

    void mezery() {
        while (i < t.size() && std::strchr(" \t\r\n", t[i]) && t[i] != '\0')
            ++i;
    }
    bool je(char z) {
        mezery();
        if (i < t.size() && t[i] == z) {
            ++i;
            return true;
        }
        return false;
    }
    bool slovo(std::string_view s) {
        if (t.substr(i, s.size()) != s)
            return false;
        i += s.size();
        return true;
    }
    bool cislice() {
        std::size_t od = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        return i > od;
    }
    bool cislo() {
        if (i < t.size() && t[i] == '-')
            ++i;
        if (i < t.size() && t[i] == '0')
            ++i;
        else if (!cislice())
            return false;
        if (i < t.size() && t[i] == '.' && (++i, !cislice()))
            return false;
        if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
            ++i;
            if (i < t.size() && (t[i] == '+' || t[i] == '-'))
                ++i;
            return cislice();
        }
        return true;
    }
    bool text() {
        if (!je('"'))
            return false;
        while (i < t.size() && t[i] != '"') {
            auto z = static_cast<unsigned char>(t[i++]);
            if (z < 0x20 || z > 0x7e)
                return false;
            if (z != '\\')
                continue;
            if (i < t.size() && std::strchr("\"\\/bfnrt", t[i]) && t[i] != '\0')
                ++i;
            else if (!slovo("u") || t.size() - i < 4 ||
                     t.substr(i, 4).find_first_not_of("0123456789abcdefABCDEF") !=
                         std::string_view::npos)
                return false;
            else
                i += 4;
        }
        return je('"');
    }
    template <typename F>
    bool rada(char konec, F prvek) {
        if (je(konec))
            return true;
        do
            if (!prvek())
                return false;
        while (je(','));
        return je(konec);
    }
    bool hodnota() {
        mezery();
        if (i >= t.size() || ++hloubka > 64)
            return false;
        bool ok = false;
        if (je('{'))
            ok = rada('}', [&] { return text() && je(':') && hodnota(); });
        else if (je('['))
            ok = rada(']', [&] { return hodnota(); });
        else if (t[i] == '"')
            ok = text();
        else
            ok = slovo("true") || slovo("false") || slovo("null") || cislo();
        --hloubka;
        return ok;
    }
};

} // namespace

bool platnyjson(std::string_view text) {
    ctenar c{text};
    bool ok = c.hodnota();
    c.mezery();
    return ok && c.i == text.size();
}

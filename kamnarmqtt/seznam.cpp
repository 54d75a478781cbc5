#include "seznam.hpp"

#include <cstdio>
#include <fstream>
#include <sstream>

seznam ctiseznam(const std::string &text) {
    seznam s;
    std::istringstream radky(text);
    for (std::string radek; std::getline(radky, radek);) {
        std::istringstream slova(radek);
        std::string adresa, tema;
        if (slova >> adresa >> tema)
            s[adresa].push_back(tema);
    }
    return s;
}

std::string textseznamu(const seznam &s) {
    std::string t;
    for (const auto &[adresa, temata] : s)
        for (const std::string &tema : temata)
            t += adresa + " " + tema + "\n";
    return t;
}

std::vector<std::string> odebrane(const seznam &s, const std::set<std::string> &zustavaji) {
    std::vector<std::string> pryc;
    for (const auto &[adresa, temata] : s)
        if (!zustavaji.contains(adresa))
            pryc.push_back(adresa);
    return pryc;
}

seznam nactiseznam(const std::string &cesta) {
    std::ifstream f(cesta);
    std::ostringstream text;
    text << f.rdbuf();
    return ctiseznam(text.str());
}

bool ulozseznam(const std::string &cesta, const seznam &s) {
    std::string docasny = cesta + ".tmp";
    std::FILE *f = std::fopen(docasny.c_str(), "we");
    if (!f)
        return false;
    std::string t = textseznamu(s);
    bool ok = std::fwrite(t.data(), 1, t.size(), f) == t.size();
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    return ok && std::rename(docasny.c_str(), cesta.c_str()) == 0;
}

#include "mereni.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <sstream>

namespace bench {

std::optional<rozlozeni> ctihistogram(const std::string &vystup) {
    std::vector<std::pair<long, long>> kose; // latency in us, samples
    long pretekle = 0, nejvic = -1;
    std::istringstream radky(vystup);
    for (std::string r; std::getline(radky, r);) {
        if (r.rfind("# Max Latencies:", 0) == 0)
            nejvic = std::atol(r.c_str() + 16);
        else if (r.rfind("# Histogram Overflows:", 0) == 0)
            pretekle = std::atol(r.c_str() + 22);
        else if (!r.empty() && r[0] != '#') {
            long us = -1, pocet = -1;
            std::istringstream(r) >> us >> pocet;
            if (us >= 0 && pocet > 0)
                kose.emplace_back(us, pocet);
        }
    }
    long vhistogramu = 0;
    for (auto [us, pocet] : kose)
        vhistogramu += pocet;
    rozlozeni d;
    d.vzorku = vhistogramu + pretekle;
    if (d.vzorku == 0)
        return std::nullopt;
    if (nejvic < 0)
        nejvic = kose.empty() ? 0 : kose.back().first;
    // The sample of rank i (from 0) in order of latency.
    auto vzorek = [&](double q) {
        auto i = static_cast<long>(q * static_cast<double>(d.vzorku - 1) + 0.5);
        for (auto [us, pocet] : kose) {
            if (i < pocet)
                return static_cast<double>(us);
            i -= pocet;
        }
        return static_cast<double>(nejvic);
    };
    d.median = vzorek(0.5);
    d.p99 = vzorek(0.99);
    d.nejhorsi = static_cast<double>(nejvic);
    return d;
}

std::string preempce(const std::string &debugfs, const std::string &verze) {
    std::size_t od = debugfs.find('('), po = debugfs.find(')');
    if (od != std::string::npos && po != std::string::npos && po > od + 1)
        return debugfs.substr(od + 1, po - od - 1);
    std::istringstream slova(verze);
    for (std::string s; slova >> s;)
        if (s.rfind("PREEMPT", 0) == 0)
            return s;
    return "none";
}

std::optional<long long> hodnotastavu(const std::string &text, const std::string &jmeno) {
    std::istringstream radky(text);
    for (std::string r; std::getline(radky, r);)
        if (r.size() > jmeno.size() && r.compare(0, jmeno.size(), jmeno) == 0 &&
            r[jmeno.size()] == ' ')
            return std::atoll(r.c_str() + jmeno.size() + 1);
    return std::nullopt;
}

long hledejkapacitu(const std::function<bool(long)> &kratce,
                    const std::function<bool(long)> &dlouze, long od, long strop, int dilu) {
    long dobra = 0, spatna = 0; // the highest lossless rate, the lowest lossy one (0: none)
    long r = std::min(od, strop);
    if (kratce(r)) {
        dobra = r;
        while (dobra < strop && spatna == 0) {
            r = std::min(2 * dobra, strop);
            (kratce(r) ? dobra : spatna) = r;
        }
    } else {
        spatna = r;
        for (r = spatna / 2; r >= od / 64 && r > 0 && dobra == 0; r /= 2)
            (kratce(r) ? dobra : spatna) = r;
        if (dobra == 0)
            return 0;
    }
    while (spatna > 0 && spatna - dobra > dobra / dilu) {
        long stred = dobra + (spatna - dobra) / 2;
        (kratce(stred) ? dobra : spatna) = stred;
    }
    for (long dno = dobra / 4; dobra > 0 && dobra >= dno; dobra -= std::max(1L, dobra / dilu))
        if (dlouze(dobra))
            return dobra;
    return 0;
}

namespace {

// x5.0 of the ten seconds that hold the instant: the time sender is then
// halfway through its wait.
double vpuli(double t) {
    return std::floor(t / 10) * 10 + 5;
}

} // namespace

plansoaku naplanuj(double zacatek, double delka) {
    plansoaku p{
        zacatek, vpuli(zacatek + delka), zacatek + std::min(300.0, delka / 2), {}, {}, {}, {}, {}};
    const double posledni = p.konec - 30;
    for (int i = 0; i < 3; ++i) {
        double od = zacatek + delka / 5, dokdy = od + 120 + 30 * i;
        if (dokdy < posledni)
            p.ticha.push_back({tichamoduly[i], od, dokdy});
    }
    for (double t = zacatek + 120; t < posledni; t += 600)
        p.kopance.push_back(t);
    // The first flood ends within the warm-up: the buffers that only a flood
    // fills are then in VmRSS before it is judged, and the later floods show
    // whether a flood leaves anything behind.
    for (double t = std::min(zacatek + 210, p.zahrati - zaplavadelka - 40);
         t + zaplavadelka < posledni; t += 900)
        p.zaplavy.push_back(t);
    for (double t = zacatek + 45; t < posledni; t += 97)
        if (std::none_of(p.zaplavy.begin(), p.zaplavy.end(),
                         [t](double z) { return t > z - 5 && t < z + zaplavadelka + 30; }))
            p.cizinci.push_back(t);
    p.kroky = {{vpuli(zacatek + 0.4 * delka), -3600}, {vpuli(zacatek + 0.6 * delka), 3600}};
    return p;
}

namespace {

long posunv(const std::vector<krok> &kroky, double kdy) {
    long posun = 0;
    for (const krok &k : kroky)
        if (kdy >= k.od)
            posun += k.posun;
    return posun;
}

} // namespace

vysledekprikazu zkontrolujprikazy(const std::vector<prijaty> &prikazy, int moduly, long prvni,
                                  long posledni, const std::vector<krok> &kroky) {
    vysledekprikazu v;
    if (posledni < prvni || moduly <= 0)
        return v;
    const auto desitek = static_cast<std::size_t>(posledni - prvni + 1);
    v.ocekavano = static_cast<long>(desitek) * moduly;
    std::vector<std::vector<int>> pocty(static_cast<std::size_t>(moduly),
                                        std::vector<int>(desitek, 0));
    for (const prijaty &p : prikazy) {
        auto desitka = static_cast<long>(std::floor(p.kdy / 10));
        if (p.modul < 0 || p.modul >= moduly || desitka < prvni || desitka > posledni)
            continue;
        ++pocty[static_cast<std::size_t>(p.modul)][static_cast<std::size_t>(desitka - prvni)];
        const double nahodinach = p.kdy + static_cast<double>(posunv(kroky, p.kdy));
        const double znacka = static_cast<double>(p.cas) + 0.5;
        if (nahodinach < znacka || nahodinach >= znacka + 0.5 + 0.02 * p.modul)
            ++v.mimo;
    }
    for (const auto &modul : pocty)
        for (int n : modul) {
            v.chybi += n == 0 ? 1 : 0;
            v.navic += n > 1 ? n - 1 : 0;
        }
    return v;
}

std::vector<std::string> zaznamylogu(const std::string &maskovany) {
    std::vector<std::string> z;
    const std::string t = "<T>";
    for (std::size_t od = maskovany.find(t); od != std::string::npos;) {
        std::size_t dalsi = maskovany.find(t, od + t.size());
        z.push_back(maskovany.substr(
            od + t.size(), dalsi == std::string::npos ? std::string::npos : dalsi - od - t.size()));
        od = dalsi;
    }
    return z;
}

rozdil porovnej(std::vector<std::string> ocekavane, std::vector<std::string> nalezene) {
    std::sort(ocekavane.begin(), ocekavane.end());
    std::sort(nalezene.begin(), nalezene.end());
    rozdil r;
    std::set_difference(ocekavane.begin(), ocekavane.end(), nalezene.begin(), nalezene.end(),
                        std::back_inserter(r.chybi));
    std::set_difference(nalezene.begin(), nalezene.end(), ocekavane.begin(), ocekavane.end(),
                        std::back_inserter(r.navic));
    return r;
}

narust narustod(const std::vector<vzorek> &vzorky, double od) {
    narust n;
    const vzorek *prvni = nullptr;
    for (const vzorek &v : vzorky) {
        if (v.kdy < od)
            continue;
        if (!prvni)
            prvni = &v;
        n.rss = std::max(n.rss, v.rss - prvni->rss);
        n.deskriptory = std::max(n.deskriptory, v.deskriptory - prvni->deskriptory);
        n.vlakna = std::max(n.vlakna, v.vlakna - prvni->vlakna);
    }
    return n;
}

} // namespace bench

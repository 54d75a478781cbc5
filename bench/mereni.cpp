#include "mereni.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <sched.h>
#include <sstream>

namespace bench {

std::optional<rozlozeni> ctihistogram(const std::string &vystup) {
    rozlozeni d;
    long nejvic = -1;
    std::istringstream radky(vystup);
    for (std::string r; std::getline(radky, r);) {
        if (r.rfind("# Max Latencies:", 0) == 0)
            nejvic = std::atol(r.c_str() + 16);
        else if (r.rfind("# Histogram Overflows:", 0) == 0)
            d.pretekle = std::atol(r.c_str() + 22);
        else if (!r.empty() && r[0] != '#') {
            long us = -1, pocet = -1;
            std::istringstream(r) >> us >> pocet;
            if (us >= 0 && pocet > 0)
                d.kose.emplace_back(us, pocet);
        }
    }
    d.vzorku = d.pretekle;
    for (auto [us, pocet] : d.kose)
        d.vzorku += pocet;
    if (d.vzorku == 0)
        return std::nullopt;
    if (nejvic < 0)
        nejvic = d.kose.empty() ? 0 : d.kose.back().first;
    d.nejhorsi = static_cast<double>(nejvic);
    d.median = kvantil(d, 0.5);
    d.p99 = kvantil(d, 0.99);
    return d;
}

double kvantil(const rozlozeni &d, double q) {
    // The sample of rank i (from 0) in order of latency.
    auto i = static_cast<long>(q * static_cast<double>(d.vzorku - 1) + 0.5);
    for (auto [us, pocet] : d.kose) {
        if (i < pocet)
            return static_cast<double>(us);
        i -= pocet;
    }
    return d.nejhorsi;
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

long prvnidesitka(double start) {
    return static_cast<long>(std::ceil((start + nabeh) / 10));
}

presnost posoudpresnost(const std::vector<prijaty> &prikazy, int moduly, double posun, long prvni,
                        long desitek) {
    presnost p;
    if (moduly <= 0 || desitek <= 0)
        return p;
    const auto n = static_cast<std::size_t>(desitek);
    std::vector<std::vector<double>> prichody(static_cast<std::size_t>(moduly));
    for (const prijaty &c : prikazy) {
        const auto desitka = static_cast<long>(std::floor((c.kdy - posun) / 10));
        if (c.modul >= 0 && c.modul < moduly && desitka >= prvni && desitka < prvni + desitek)
            prichody[static_cast<std::size_t>(c.modul)].push_back(c.kdy);
    }
    for (std::size_t m = 0; m < prichody.size(); ++m) {
        std::vector<double> &kdy = prichody[m];
        std::sort(kdy.begin(), kdy.end());
        std::vector<int> vdesitce(n, 0);
        for (std::size_t j = 0; j < kdy.size(); ++j) {
            const auto desitka = static_cast<long>(std::floor((kdy[j] - posun) / 10)) - prvni;
            ++vdesitce[static_cast<std::size_t>(desitka)];
            if (j >= n)
                continue;
            const double znacka = 10.0 * static_cast<double>(prvni + static_cast<long>(j)) + posun +
                                  0.5 + 0.02 * static_cast<double>(m);
            p.zpozdeni.push_back(kdy[j] - znacka);
            if (p.cyklus < 0 || kdy[j] - znacka > p.nejhorsi) {
                p.nejhorsi = kdy[j] - znacka;
                p.cyklus = static_cast<int>(j);
                p.modul = static_cast<int>(m);
            }
        }
        for (int pocet : vdesitce) {
            p.spatnych += pocet == 1 ? 0 : 1;
            p.chybi += pocet == 0 ? 1 : 0;
            p.navic += pocet > 1 ? pocet - 1 : 0;
        }
    }
    return p;
}

std::optional<vlakno> ctivlakno(const std::string &stat, const std::string &status) {
    // The fields after the name in parentheses (which may hold blanks and
    // parentheses itself), the first of them the third of the line.
    const std::size_t konecjmena = stat.rfind(')');
    if (konecjmena == std::string::npos)
        return std::nullopt;
    std::istringstream slova(stat.substr(konecjmena + 1));
    std::vector<std::string> pole;
    for (std::string s; slova >> s;)
        pole.push_back(s);
    if (pole.size() < 39)
        return std::nullopt;
    auto cislo = [&](std::size_t n) { return std::atol(pole[n - 3].c_str()); };
    vlakno v;
    v.drobne = cislo(10);
    v.vypadky = cislo(12);
    v.priorita = static_cast<int>(cislo(40));
    v.politika = static_cast<int>(cislo(41));
    std::istringstream radky(status);
    for (std::string r; std::getline(radky, r);) {
        if (r.rfind("voluntary_ctxt_switches:", 0) == 0)
            v.dobrovolne = std::atol(r.c_str() + 24);
        else if (r.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            v.vynucene = std::atol(r.c_str() + 27);
    }
    return v;
}

std::string jmenopolitiky(int politika) {
    switch (politika) {
    case SCHED_OTHER:
        return "SCHED_OTHER";
    case SCHED_FIFO:
        return "SCHED_FIFO";
    case SCHED_RR:
        return "SCHED_RR";
    case SCHED_BATCH:
        return "SCHED_BATCH";
    case SCHED_IDLE:
        return "SCHED_IDLE";
    case 6: // SCHED_DEADLINE, which glibc's headers leave out
        return "SCHED_DEADLINE";
    default:
        return "policy " + std::to_string(politika);
    }
}

bool realnycas(int politika) {
    return politika == SCHED_FIFO || politika == SCHED_RR;
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
        if (v.rss < 0 || v.deskriptory < 0 || v.vlakna < 0) {
            ++n.chybi;
            continue;
        }
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

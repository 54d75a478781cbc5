#include "notify.hpp"

#include "hlidac.hpp"
#include "hodiny.hpp"
#include "oznameni.hpp"
#include "tables.hpp"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

std::atomic<std::int64_t> tepvysilani{0};
std::atomic<std::int64_t> tepprijmu{0};

namespace {

// How old a heartbeat may be: the time sender finishes a cycle every 10 s
// (and its sends to 31 modules take 0.6 s), the receiver's wait lasts 200 ms.
constexpr std::int64_t limitvysilani = 12000;
constexpr std::int64_t limitprijmu = 2000;

int soketspravce = -1;
adresaspravce spravce{};
std::int64_t hlidacus = 0;        // watchdog interval, 0: none
std::int64_t poslednipes = 0;     // when WATCHDOG=1 was last sent
std::int64_t poslednicyklus = -1; // the sender's heartbeat of the last status line

void posli(const std::string &zprava) {
    oznam(soketspravce, spravce, zprava);
}

std::string radekstavu() {
    std::array<std::int32_t, pocetslotu> hlidace{};
    std::array<std::uint32_t, pocetslotu> adresy{};
    auto pocet = static_cast<std::size_t>(konpolemod);
    for (std::size_t i = 0; i < pocet; ++i) {
        hlidace[i] = polemod[i].hlidac;
        adresy[i] = polemod[i].adresa;
    }
    return zpravastavu({hlidace.data(), pocet}, {adresy.data(), pocet});
}

} // namespace

std::int64_t intervalhlidace(const char *usec, const char *pid, pid_t ja) {
    if (!usec || !*usec)
        return 0;
    char *konec = nullptr;
    errno = 0;
    long long us = std::strtoll(usec, &konec, 10);
    if (errno || *konec || us <= 0)
        return 0;
    if (pid && *pid) {
        long long kdo = std::strtoll(pid, &konec, 10);
        if (*konec || kdo != ja)
            return 0;
    }
    return us;
}

bool vlaknazije(std::int64_t ted, std::int64_t prijem, std::int64_t vysilani, bool hlidatvysilani) {
    if (ted - prijem > limitprijmu)
        return false;
    return !hlidatvysilani || ted - vysilani <= limitvysilani;
}

std::string zpravastavu(std::span<const std::int32_t> hlidace,
                        std::span<const std::uint32_t> adresy) {
    if (hlidace.empty())
        return "STATUS=v konfiguraci neni zadny modul";
    std::string mlci;
    std::size_t pocet = 0;
    for (std::size_t i = 0; i < hlidace.size(); ++i) {
        if (!cyklusbezodpovedi(hlidace[i]))
            continue;
        char adresa[INET_ADDRSTRLEN];
        std::uint32_t a = adresy[i];
        inet_ntop(AF_INET, &a, adresa, sizeof adresa);
        mlci += ++pocet == 1 ? ": " : ", ";
        mlci += (i < 10 ? "0" : "") + std::to_string(i) + " " + adresa;
    }
    return "STATUS=cely cyklus bez odpovedi " + std::to_string(pocet) + " z " +
           std::to_string(hlidace.size()) + " modulu" + mlci;
}

void hlaspripraven() {
    // The workers have just been started: their first heartbeats are due
    // from now on.
    std::int64_t ted = monotonnims();
    tepprijmu = ted;
    tepvysilani = ted;
    poslednipes = ted;

    std::optional<adresaspravce> a = adresaoznameni(std::getenv("NOTIFY_SOCKET"));
    if (!a)
        return;
    spravce = *a;
    soketspravce = soketoznameni();
    hlidacus = intervalhlidace(std::getenv("WATCHDOG_USEC"), std::getenv("WATCHDOG_PID"), getpid());
    poslednicyklus = tepvysilani;
    posli("READY=1\n" + radekstavu());
}

void hlasbeh() {
    if (soketspravce < 0)
        return;
    std::int64_t ted = monotonnims();
    std::int64_t cyklus = tepvysilani;
    if (cyklus != poslednicyklus) {
        poslednicyklus = cyklus;
        posli(radekstavu());
    }
    // Four times per interval, so that one late turn of this loop never
    // lets the manager's watchdog run out.
    if (hlidacus > 0 && ted - poslednipes >= hlidacus / 4000 &&
        vlaknazije(ted, tepprijmu, cyklus, konpolemod > 0)) {
        poslednipes = ted;
        posli("WATCHDOG=1");
    }
}

void hlaskonec() {
    posli("STOPPING=1");
}

// Reading the daemon's state file (rodiny.hpp): what kamnarstav and
// kamnarweb take from it.
#pragma once

#include <map>
#include <optional>
#include <string>

// One module as the snapshot shows it; what the snapshot leaves out is empty.
struct prehledmodulu {
    std::string adresa;
    bool odpovida = false;
    std::optional<long long> poslednipaket; // Unix time
    std::optional<long long> tmr1;          // the newest reading
    std::optional<long long> defpr1;
    std::optional<bool> souhlasi;       // clock agrees with the PC
    std::optional<int> pricina;         // last reported reset cause
    std::optional<long long> casresetu; // the module's time it reported with that cause
    std::optional<int> hlidac;          // reply watchdog, 10 after each of its datagrams
};

struct prehled {
    bool bezi = true;                    // false: the daemon wrote the file as it stopped
    bool hlasibeh = false;               // the text holds the kamnar_bezi sample
    std::map<int, prehledmodulu> moduly; // by module number
    std::optional<long long> start;      // Unix time
    long long odmodulu = 0, odcizich = 0;
    std::optional<double> zpozdeni; // seconds
    // The log: entries waiting, how long the oldest has waited (s), entries
    // lost, the error number of the last refused write (0: written).
    long long logceka = 0, logztraceno = 0, logchyba = 0;
    double lognezapsano = 0;
    long long logvynechano = 0;
    // The PC's clock, as the kernel reported it; empty when it did not.
    std::optional<bool> hodinysync;
    std::optional<double> maxerror; // s
};

// Reads the snapshot's text; lines it does not know are passed over.
prehled ctiprehled(const std::string &text);

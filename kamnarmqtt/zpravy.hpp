// What kamnarmqtt publishes, built from what the state file says: the
// daemon's and each module's state as JSON, and Home Assistant's discovery
// configs of their entities, one each. Every message is retained.
#pragma once

#include "ctenistavu.hpp"
#include "nastaveni.hpp"

#include <string>
#include <vector>

struct sdeleni {
    std::string tema, obsah;
    // What tells a change: the content but for the values that change with
    // every datagram of a module, which alone make no new publication.
    std::string klic;
};

// Whether the text is a module's address that kamnarmqtt publishes under: a
// dotted IPv4 address (a topic level and an object id without surprises).
bool platnaadresa(const std::string &adresa);

// The object id of a module's (or the daemon's, adresa "demon") entity:
// kamnar_127_0_0_2_odpovida.
std::string objekt(const std::string &adresa, const char *co);

std::string temadostupnosti(const nastaveni &n); // kamnar/dostupnost
std::string temademona(const nastaveni &n);      // kamnar/demon
std::string temamodulu(const nastaveni &n, const std::string &adresa);

// The daemon's state: `bezi` whether it runs now, the rest from `p`.
std::string stavdemona(const prehled &p, bool bezi);

// A module's state; without `promenlive` the time of its last datagram and
// its watchdog are null (the key of a change).
std::string stavmodulu(int cislo, const prehledmodulu &m, bool promenlive);

// Every topic of a module: its configs, then its state.
std::vector<std::string> tematamodulu(const nastaveni &n, const std::string &adresa);

// Everything to publish about the daemon and the modules of `p` with valid
// addresses: the configs first, then the states.
std::vector<sdeleni> vsechnyzpravy(const nastaveni &n, const prehled &p, bool bezi);

// kamnarmqtt's session with the MQTT broker (libmosquitto, driven from the
// one thread of the program): connecting and connecting again with a
// back-off, the will, publishing retained messages with QoS 1, Home
// Assistant's birth message, and the orderly end. One line to standard
// output (the journal) per change of the connection's state.
#pragma once

#include "nastaveni.hpp"

#include <string>

// The connection's state, as the journal is told of it.
enum class spojeni { nevime, pripojeno, nedostupny, odmitnuto };

// The wait before the next attempt after one that failed after `ms`:
// 1 s, 2 s, 4 s, ... up to 60 s.
inline constexpr long long prvniprodleva = 1000, nejdelsiprodleva = 60000;
long long dalsiprodleva(long long ms);

// The line that tells of a new state (empty for nevime).
std::string radekstavu(spojeni s, const nastaveni &n, const std::string &proc);

// Makes the client; false with the fault's line in `chyba`.
bool zalozrelaci(const nastaveni &n, const std::string &heslo, std::string &chyba);

// One step of at most about 250 ms at the monotonic time `ted` (ms): the
// network's work while connected or connecting, a new attempt when its time
// has come, else a short sleep (a signal ends it).
void obsluhuj(long long ted);

bool pripojeno();
// Whether a connection came about since the last call: everything is to be
// published anew.
bool novespojeni();
// Whether Home Assistant's birth message came and its random delay of
// 0 to 5 s is over.
bool rozenivyprselo(long long ted);

// Publishes retained with QoS 1; false when not connected or refused.
bool zverejni(const std::string &tema, const std::string &obsah);

// The orderly end: `offline` published and delivered (for at most 5 s), the
// disconnect, the client freed.
void ukoncirelaci();

// The monotonic clock in ms.
long long hodinyms();

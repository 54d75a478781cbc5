// kamnarweb's HTTP side, on libmicrohttpd: one thread of the library serves
// every connection from the bodies the main thread last made public. A
// request is answered by its method and path alone; nothing else of it is
// read, and nothing is kept of it. What one client can make the server hold
// is bounded: connections in all, from one address and one network
// (hranice.hpp), the memory of each (the request line and headers must fit
// in it), the time a request's head may take, a connection's idle time and
// its whole life.
#pragma once

#include "hranice.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// s: a request's whole head must come within this of the accept (or of the
// end of the answer before it), however slowly its bytes trickle in.
inline constexpr long long lhutahlavy = 5;
inline constexpr unsigned necinnost = 10;          // s: an idle connection is closed
inline constexpr long long nejdelespojeni = 30;    // s: a connection is cut off at this age
inline constexpr std::size_t pametspojeni = 16384; // bytes per connection

// What a request gets, by its method and path.
enum class odpoved { stranka, metriky, api, zdravi, nenalezeno, nepovoleno };
odpoved vyber(std::string_view metoda, std::string_view cesta);

// The bodies served: the page at / and, at /metrics, the state file as it
// is (200) or a line saying why it is not served (503); the JSON at
// /api/v1/stav and the daemon's health at /healthz (200 or 503).
struct obsah {
    std::shared_ptr<const std::string> stranka;
    std::shared_ptr<const std::string> metriky;
    unsigned kodmetrik = 503;
    std::shared_ptr<const std::string> api;
    std::shared_ptr<const std::string> zdravi;
    unsigned kodzdravi = 503;
};
// Makes o the bodies of the requests that come from now on.
void zverejni(obsah o);

// Starts serving on the listening socket naslouchani; false when the
// library could not start.
bool spustserver(int naslouchani);
void zastavserver();

// Cuts off the connections that have lasted longer than nejdelespojeni and
// those whose request's head has not come within lhutahlavy (the main
// thread calls it twice a second).
void hlidejspojeni();

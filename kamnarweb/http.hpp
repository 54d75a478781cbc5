// kamnarweb's HTTP side, on libmicrohttpd: one thread of the library serves
// every connection from the bodies the main thread last made public. A
// request is answered by its method and path alone; nothing else of it is
// read, and nothing is kept of it. What one client can make the server hold
// is bounded: connections in all and from one address, the memory of each
// (the request line and headers must fit in it), a connection's idle time
// and its whole life.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

inline constexpr unsigned nejvicespojeni = 64;     // connections at once
inline constexpr unsigned nejvicezadresy = 16;     // connections at once from one address
inline constexpr unsigned necinnost = 10;          // s: an idle connection is closed
inline constexpr long long nejdelespojeni = 30;    // s: a connection is cut off at this age
inline constexpr std::size_t pametspojeni = 16384; // bytes per connection

// What a request gets, by its method and path.
enum class odpoved { stranka, metriky, nenalezeno, nepovoleno };
odpoved vyber(std::string_view metoda, std::string_view cesta);

// The bodies served: the page at / and, at /metrics, the state file as it
// is (200) or a line saying why it is not served (503).
struct obsah {
    std::shared_ptr<const std::string> stranka;
    std::shared_ptr<const std::string> metriky;
    unsigned kodmetrik = 503;
};
// Makes o the bodies of the requests that come from now on.
void zverejni(obsah o);

// Starts serving on the listening socket naslouchani; false when the
// library could not start.
bool spustserver(int naslouchani);
void zastavserver();

// Cuts off the connections that have lasted longer than nejdelespojeni (the
// main thread calls it every few seconds).
void hlidejspojeni();

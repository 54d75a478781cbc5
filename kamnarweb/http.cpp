#include "http.hpp"

#include "hodiny.hpp"

#include <fcntl.h>
#include <map>
#include <microhttpd.h>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::mutex zamekobsahu;
obsah zverejneno;

MHD_Daemon *server = nullptr;

// The open connections: a duplicate of each one's socket and when it began,
// in ms of the monotonic clock. The library's thread adds and removes them,
// the main thread cuts off old ones. The duplicate keeps the socket for this
// table until the library reports the connection's end, whenever the
// library closes its own descriptor: the table never names another socket.
struct spojeni {
    int fd;
    std::int64_t od;
    bool preruseno = false;
};
std::mutex zamekspojeni;
std::map<const MHD_Connection *, spojeni> otevrena;

void oznameni(void *, MHD_Connection *c, void **, MHD_ConnectionNotificationCode co) {
    std::lock_guard<std::mutex> z(zamekspojeni);
    if (co != MHD_CONNECTION_NOTIFY_STARTED) {
        if (auto i = otevrena.find(c); i != otevrena.end()) {
            close(i->second.fd);
            otevrena.erase(i);
        }
        return;
    }
    // Without a descriptor to spare the connection is bounded by its idle
    // time alone.
    const MHD_ConnectionInfo *i = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
    int fd = i ? fcntl(i->connect_fd, F_DUPFD_CLOEXEC, 0) : -1;
    if (fd >= 0)
        otevrena[c] = spojeni{fd, monotonnims()};
}

constexpr char nenalezeno[] = "Takova stranka tu neni\n";
constexpr char nepovoleno[] = "Povolene jsou jen metody GET a HEAD\n";

MHD_Result posli(MHD_Connection *c, unsigned kod, std::shared_ptr<const std::string> telo,
                 const char *typ) {
    // The body lives as long as the library needs it, whatever the main
    // thread makes public meanwhile.
    auto *drzak = new std::shared_ptr<const std::string>(std::move(telo));
    MHD_Response *r = MHD_create_response_from_buffer_with_free_callback_cls(
        (*drzak)->size(), const_cast<char *>((*drzak)->data()),
        [](void *d) { delete static_cast<std::shared_ptr<const std::string> *>(d); }, drzak);
    if (!r) {
        delete drzak;
        return MHD_NO;
    }
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, typ);
    MHD_add_response_header(r, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_add_response_header(r, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(r, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(r, "Content-Security-Policy",
                            "default-src 'none'; style-src 'unsafe-inline'; "
                            "frame-ancestors 'none'");
    MHD_Result ok = MHD_queue_response(c, kod, r);
    MHD_destroy_response(r);
    return ok;
}

MHD_Result posli(MHD_Connection *c, unsigned kod, const char *text, bool allow) {
    MHD_Response *r = MHD_create_response_from_buffer(
        std::char_traits<char>::length(text), const_cast<char *>(text), MHD_RESPMEM_PERSISTENT);
    if (!r)
        return MHD_NO;
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain; charset=utf-8");
    if (allow)
        MHD_add_response_header(r, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    MHD_Result ok = MHD_queue_response(c, kod, r);
    MHD_destroy_response(r);
    return ok;
}

MHD_Result pozadavek(void *, MHD_Connection *c, const char *cesta, const char *metoda, const char *,
                     const char *, std::size_t *, void **) {
    obsah o;
    {
        std::lock_guard<std::mutex> z(zamekobsahu);
        o = zverejneno;
    }
    switch (vyber(metoda, cesta)) {
    case odpoved::stranka:
        return posli(c, MHD_HTTP_OK, o.stranka, "text/html; charset=utf-8");
    case odpoved::metriky:
        return posli(c, o.kodmetrik, o.metriky,
                     o.kodmetrik == MHD_HTTP_OK ? "text/plain; version=0.0.4; charset=utf-8"
                                                : "text/plain; charset=utf-8");
    case odpoved::nenalezeno:
        return posli(c, MHD_HTTP_NOT_FOUND, nenalezeno, false);
    case odpoved::nepovoleno:
        break;
    }
    return posli(c, MHD_HTTP_METHOD_NOT_ALLOWED, nepovoleno, true);
}

} // namespace

odpoved vyber(std::string_view metoda, std::string_view cesta) {
    if (metoda != "GET" && metoda != "HEAD")
        return odpoved::nepovoleno;
    if (cesta == "/")
        return odpoved::stranka;
    return cesta == "/metrics" ? odpoved::metriky : odpoved::nenalezeno;
}

void zverejni(obsah o) {
    std::lock_guard<std::mutex> z(zamekobsahu);
    zverejneno = std::move(o);
}

bool spustserver(int naslouchani) {
    server = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL, 0, nullptr, nullptr, &pozadavek, nullptr,
        MHD_OPTION_LISTEN_SOCKET, naslouchani, MHD_OPTION_CONNECTION_LIMIT, nejvicespojeni,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, nejvicezadresy, MHD_OPTION_CONNECTION_TIMEOUT,
        necinnost, MHD_OPTION_CONNECTION_MEMORY_LIMIT, pametspojeni, MHD_OPTION_NOTIFY_CONNECTION,
        &oznameni, nullptr, MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_END);
    return server != nullptr;
}

void zastavserver() {
    if (server)
        MHD_stop_daemon(server);
    server = nullptr;
}

void hlidejspojeni() {
    std::int64_t ted = monotonnims();
    std::lock_guard<std::mutex> z(zamekspojeni);
    for (auto &[c, s] : otevrena)
        if (!s.preruseno && ted - s.od > nejdelespojeni * 1000) {
            // The library sees the end of the connection and closes it.
            shutdown(s.fd, SHUT_RDWR);
            s.preruseno = true;
        }
}

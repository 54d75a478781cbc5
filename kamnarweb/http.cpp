#include "http.hpp"

#include "hodiny.hpp"

#include <cstring>
#include <fcntl.h>
#include <map>
#include <microhttpd.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

std::mutex zamekobsahu;
obsah zverejneno;

MHD_Daemon *server = nullptr;

// The open connections: their clients, a duplicate of each one's socket,
// when it began and when its request's head began to be awaited, in ms of
// the monotonic clock. The library's thread adds and removes them and marks
// the heads that came, the main thread cuts off the late ones. The
// duplicate keeps the socket for this table until the library reports the
// connection's end, whenever the library closes its own descriptor: the
// table never names another socket.
struct spojeni {
    int fd;
    std::int64_t od;
    klient k;
    std::int64_t cekanahlavu; // 0: the head came, its answer is on its way
    bool preruseno = false;
    // Where the target of its request ends, as the library found it: the
    // version follows one blank after it, unless a NUL byte cut it short.
    const char *koneccile = nullptr;
};
std::mutex zamekspojeni;
std::map<const MHD_Connection *, spojeni> otevrena;

void oznameni(void *, MHD_Connection *c, void **, MHD_ConnectionNotificationCode co) {
    std::lock_guard<std::mutex> z(zamekspojeni);
    if (co != MHD_CONNECTION_NOTIFY_STARTED) {
        if (auto i = otevrena.find(c); i != otevrena.end()) {
            if (i->second.fd >= 0)
                close(i->second.fd);
            otevrena.erase(i);
        }
        return;
    }
    // Without a descriptor to spare the connection is counted, but bounded
    // by its idle time alone.
    const MHD_ConnectionInfo *i = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
    int fd = i ? fcntl(i->connect_fd, F_DUPFD_CLOEXEC, 0) : -1;
    const MHD_ConnectionInfo *a = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    std::int64_t ted = monotonnims();
    otevrena[c] =
        spojeni{fd, ted, klientz(a ? a->client_addr : nullptr, sizeof(sockaddr_in6)), ted};
}

// The library asks before it takes a connection in.
MHD_Result vpust(void *, const sockaddr *a, socklen_t delka) {
    std::lock_guard<std::mutex> z(zamekspojeni);
    std::vector<klient> klienti;
    klienti.reserve(otevrena.size());
    for (const auto &[c, s] : otevrena)
        klienti.push_back(s.k);
    return vpustit(klientz(a, delka), klienti) ? MHD_YES : MHD_NO;
}

// The head came (0) or the next one is awaited from now (the answer went).
void hlava(const MHD_Connection *c, std::int64_t cekana) {
    std::lock_guard<std::mutex> z(zamekspojeni);
    if (auto i = otevrena.find(c); i != otevrena.end())
        i->second.cekanahlavu = cekana;
}

void dokonceno(void *, MHD_Connection *c, void **, MHD_RequestTerminationCode) {
    hlava(c, monotonnims());
}

// The target as the client sent it, before the library decodes it: one with
// a control character is marked for a 400.
char zlycil;
void *cil(void *, const char *uri, MHD_Connection *c) {
    {
        std::lock_guard<std::mutex> z(zamekspojeni);
        if (auto i = otevrena.find(c); i != otevrena.end())
            i->second.koneccile = uri + std::strlen(uri);
    }
    return maridiciznak(uri) ? &zlycil : nullptr;
}

// Whether a NUL byte ended the target before its blank: the text of the
// line goes on after it up to the version.
bool nulvcili(const MHD_Connection *c, const char *verze) {
    std::lock_guard<std::mutex> z(zamekspojeni);
    auto i = otevrena.find(c);
    return i != otevrena.end() && i->second.koneccile && verze != i->second.koneccile + 1;
}

constexpr char nenalezeno[] = "Takova stranka tu neni\n";
constexpr char nepovoleno[] = "Povolene jsou jen metody GET a HEAD\n";
constexpr char spatnycil[] = "Cesta obsahuje ridici znak\n";

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

MHD_Result pozadavek(void *, MHD_Connection *c, const char *cesta, const char *metoda,
                     const char *verze, const char *, std::size_t *, void **kontext) {
    hlava(c, 0);
    if (*kontext == &zlycil || nulvcili(c, verze))
        return posli(c, MHD_HTTP_BAD_REQUEST, spatnycil, false);
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
    case odpoved::api:
        return posli(c, MHD_HTTP_OK, o.api, "application/json");
    case odpoved::zdravi:
        return posli(c, o.kodzdravi, o.zdravi, "text/plain; charset=utf-8");
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
    if (cesta == "/api/v1/stav")
        return odpoved::api;
    if (cesta == "/healthz")
        return odpoved::zdravi;
    return cesta == "/metrics" ? odpoved::metriky : odpoved::nenalezeno;
}

void zverejni(obsah o) {
    std::lock_guard<std::mutex> z(zamekobsahu);
    zverejneno = std::move(o);
}

bool spustserver(int naslouchani) {
    server = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL, 0, &vpust, nullptr, &pozadavek, nullptr,
        MHD_OPTION_LISTEN_SOCKET, naslouchani, MHD_OPTION_CONNECTION_LIMIT, nejvicespojeni,
        MHD_OPTION_CONNECTION_TIMEOUT, necinnost, MHD_OPTION_CONNECTION_MEMORY_LIMIT, pametspojeni,
        MHD_OPTION_NOTIFY_CONNECTION, &oznameni, nullptr, MHD_OPTION_NOTIFY_COMPLETED, &dokonceno,
        nullptr, MHD_OPTION_URI_LOG_CALLBACK, &cil, nullptr, MHD_OPTION_STRICT_FOR_CLIENT, 1,
        MHD_OPTION_END);
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
        if (s.fd >= 0 && !s.preruseno &&
            (ted - s.od > nejdelespojeni * 1000 ||
             (s.cekanahlavu != 0 && ted - s.cekanahlavu > lhutahlavy * 1000))) {
            // The library sees the end of the connection and closes it.
            shutdown(s.fd, SHUT_RDWR);
            s.preruseno = true;
        }
}

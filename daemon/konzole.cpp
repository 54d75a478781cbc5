#include "konzole.hpp"

#include "priorita.hpp"
#include "pripis.hpp"
#include "soubory.hpp"
#include "vlakna.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <unistd.h>

namespace {

// Text waiting for the writer: the bursts of a datagram flood fit, a console
// that stops reading costs at most this much memory.
constexpr std::size_t nejvicecekajiciho = 1 << 20;
// A console that has taken nothing for this long is not read at all (a pipe
// nobody reads, a terminal held for good): what waits for it is dropped, and
// nothing waits until it takes text again, so that it holds no memory.
constexpr std::chrono::seconds nectenakonzole{10};

struct fronta {
    zamekpi zamek;
    std::condition_variable_any prace, hotovo;
    std::string cekajici;
    bool pise = false;
    std::chrono::steady_clock::time_point piseod; // when the writer took its text
};

// Made once and never destroyed: the writer may still be inside a write
// that never returns when the process exits.
fronta *konz = nullptr;
std::atomic<bool> bezi{false};

void *pisar(void *) {
    std::string pisu;
    for (;;) {
        {
            std::unique_lock z(konz->zamek);
            konz->prace.wait(z, [] { return !konz->cekajici.empty(); });
            pisu.swap(konz->cekajici);
            konz->pise = true;
            konz->piseod = std::chrono::steady_clock::now();
        }
        zapisvse(STDOUT_FILENO, pisu); // closed or full: the text is dropped
        pisu.clear();
        {
            std::lock_guard z(konz->zamek);
            konz->pise = false;
        }
        konz->hotovo.notify_all();
    }
}

} // namespace

void konzole(std::string_view text) {
    if (!bezi) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return;
    }
    {
        std::lock_guard z(konz->zamek);
        if (konz->pise && std::chrono::steady_clock::now() - konz->piseod > nectenakonzole) {
            std::string().swap(konz->cekajici); // its memory back
            return;
        }
        if (konz->cekajici.size() + text.size() > nejvicecekajiciho)
            return;
        konz->cekajici.append(text);
    }
    konz->prace.notify_one();
}

void konzolef(const char *format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    vpripisf(text, format, args);
    va_end(args);
    konzole(text);
}

void pustkonzoli() {
    std::signal(SIGPIPE, SIG_IGN);
    std::fflush(stdout);
    konz = new fronta;
    bezi = pustvlakno(pisar, "konzole");
}

void dopiskonzoli(std::chrono::milliseconds limit) {
    if (!bezi) {
        std::fflush(stdout);
        return;
    }
    std::unique_lock z(konz->zamek);
    konz->hotovo.wait_for(z, limit, [] { return konz->cekajici.empty() && !konz->pise; });
}

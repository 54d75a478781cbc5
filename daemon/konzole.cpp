#include "konzole.hpp"

#include "priorita.hpp"
#include "pripis.hpp"
#include "soubory.hpp"
#include "vlakna.hpp"

#include <atomic>
#include <cerrno>
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

struct fronta {
    zamekpi zamek;
    std::condition_variable_any prace, hotovo;
    std::string cekajici;
    bool pise = false;
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
